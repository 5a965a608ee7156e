#pragma once

#include "app/commands/CommandContext.h"
#include "view/ViewState.h"

class QMouseEvent;

namespace tolvane {

class PlayCommands;
class TempoCommands;

// What is on screen: the zoom commands, the segment and region bars with their gestures, the
// strip, wheel scrolling, the locator buttons and the pointer position.
class ViewCommands {
public:
    ViewCommands(CommandContext& ctx, PlayCommands& play, TempoCommands& tempo)
        : m_ctx(ctx), m_play(play), m_tempo(tempo) {}

    void PopupZinClick();
    void PopUpZoutClick();
    void PopUp11Click();
    void PopUpZtsClick();
    void SelectionBar1Click();
    void Regionbar1Click();
    void mnuPpanelClick();    // "Work from top"
    void SpeedButton5Click(); // sample icons
    void SpeedButton6Click(); // lock icons
    void SpeedButton7Click(); // disabled icons
    // Scrolls by a wheel's angle delta (120 a notch): that many pixels' worth of bytes.
    void scrollByWheel(int delta);
    // The pointer over the waveform at x: its place on the full scale and the "s: " text.
    void pointAt(int x);
    void PaintBox2MouseDown(QMouseEvent* event);
    void PaintBox2MouseMove(QMouseEvent* event);
    void PaintBox2MouseUp(QMouseEvent* event);
    void Paintbox3MouseUp(QMouseEvent* event);
    // A locator button was dropped at x (in the panel).
    void locatorReleased(bool left, int x);

    // The whole sample at zoom 1, nothing selected (after the sample was replaced).
    void showWholeSample();

private:
    void applyZoom(const ZoomOutcome& outcome);
    void viewMoved();
    void segmentBarClicked(QMouseEvent* event, std::uint8_t channel);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    TempoCommands& m_tempo;
    // Region bar drag state.
    enum class RegionDrag { None, Move, Resize, Page, Segment };
    RegionDrag m_regionDrag = RegionDrag::None;
    int m_regionGrab = 0;
    bool m_regionKeepStart = true;
};

} // namespace tolvane
