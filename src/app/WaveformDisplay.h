#pragma once

#include "app/MainControls.h"
#include "app/ProgramSettings.h"
#include "document/SampleDocument.h"
#include "view/ViewState.h"
#include "view/WaveformRenderer.h"

#include <QImage>
#include <functional>
#include <optional>

namespace tolvane {

// The pictures of the waveform, its markers, the bars and the strip, kept off screen and
// handed to their controls. The bare waveform is rendered again only when the view asks for it
// (`redrawPending`); markers are drawn over a copy at every redraw, which also rebuilds the
// slice table. Window's thread.
class WaveformDisplay {
public:
    WaveformDisplay(SampleDocument& doc, ViewState& view, const ProgramSettings& settings,
                    const MainControls& controls)
        : m_doc(doc), m_view(view), m_settings(settings), m_controls(controls) {}

    // Redraw pending, then waveform, markers and bars; a pending scan is started by the next
    // paint instead.
    void redrawAll();
    void redrawWaveform();
    void drawBars();
    WaveformOptions options() const;
    const QImage& picture() const { return m_picture; }
    // A point being dragged: its own marker is left out until the drag ends.
    void hidePoint(std::optional<WaveformOptions::HiddenPoint> point) { m_hidden = point; }
    // Runs after each redraw that brought the slice table up to date.
    std::function<void()> onRedrawn;

private:
    SampleDocument& m_doc;
    ViewState& m_view;
    const ProgramSettings& m_settings;
    const MainControls& m_controls;
    QImage m_bare;
    QImage m_picture;
    std::optional<WaveformOptions::HiddenPoint> m_hidden;
};

} // namespace tolvane
