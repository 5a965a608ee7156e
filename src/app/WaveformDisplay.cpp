#include "app/WaveformDisplay.h"

#include "app/controls/TWaveBox.h"

#include <QAction>

namespace tolvane {

WaveformOptions WaveformDisplay::options() const {
    WaveformOptions options;
    options.colours = m_settings.colours;
    options.switches = {m_settings.ShowIcon, m_settings.ShowLock, m_settings.ShowEnable,
                        m_controls.SelectionBar1->isChecked(), m_controls.Regionbar1->isChecked()};
    options.traceEnabled = m_doc.DocumentOpen && !m_doc.Busy;
    options.pixelRatio = m_controls.wave->devicePixelRatioF();
    options.bothChannelItemsChecked =
        m_controls.LeftChannel->isChecked() && m_controls.RightChannel->isChecked();
    options.hiddenPoint = m_hidden;
    return options;
}

void WaveformDisplay::redrawAll() {
    m_view.redrawPending = true;
    // A pending scan starts from the paint; otherwise the picture (and the slice table) is
    // brought up to date now.
    if (!m_doc.DetectPending && !m_doc.DetectRunning)
        redrawWaveform();
    m_controls.wave->update();
}

void WaveformDisplay::redrawWaveform() {
    TWaveBox* wave = m_controls.wave;
    const int width = wave->width();
    const int height = wave->height();
    if (width < 1 || height < 1)
        return;
    const WaveformOptions drawing = options();
    if (m_view.redrawPending || m_bare.deviceIndependentSize().toSize() != wave->size() ||
        m_bare.devicePixelRatio() != drawing.pixelRatio) {
        m_bare = renderWaveform(m_doc, m_view, drawing, width, height);
        m_view.redrawPending = false;
    }
    m_picture = m_bare.copy();
    if (!m_doc.Busy)
        drawMarkers(m_picture, m_doc, m_view, drawing);
    wave->setPicture(m_picture);
    drawBars();
    if (!m_doc.Busy && onRedrawn)
        onRedrawn();
}

void WaveformDisplay::drawBars() {
    const WaveformOptions drawing = options();
    m_controls.bars->setPicture(renderBars(m_doc, m_view, drawing, m_controls.bars->width()));
    TWaveBox* strip = m_controls.strip;
    if (strip->height() > 0)
        strip->setPicture(renderStrip(m_doc, m_view, drawing, strip->width(), strip->height()));
}

} // namespace tolvane
