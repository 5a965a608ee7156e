#pragma once

#include "app/commands/CommandContext.h"

#include <optional>
#include <vector>

class QAction;

namespace tolvane {

class PlayCommands;
class tpseek;

// Finding the slices: the scan that a paint starts when one is pending, "&Re-cut", the
// sensitivity slider and its dialog, and the stereo channel modes ("L + R", "L / R") and the
// channel items.
class SliceCommands {
public:
    SliceCommands(CommandContext& ctx, PlayCommands& play) : m_ctx(ctx), m_play(play) {}

    // The waveform's paint: a pending scan starts instead of a drawing.
    void Paintbox1Paint();
    void Recut1Click();
    // The re-cut "Randomise" ends with: the table is kept in the shuffle's undo step, and the
    // locators stay where the shuffle left them.
    void recutAfterRandomise();
    void TrackBar1Change(int position);
    void setSensitivityPercent(double percent);
    void showSensitivityDialog(); // "Sensitivity", from Ctrl+Y or a double-click on the label
    void LR1Click();              // "L + R"
    void LR2Click();              // "L / R"
    void LeftChannelClick();
    void RightChannelClick();

    // The next scan's merge leaves the channel choice as it is (a re-cut, a paste).
    void keepChannelChoiceAtNextScan() { m_scanFromRecut = true; }
    // The next scan replaces the table but keeps the points locked now.
    void keepLockedPointsAtNextScan();
    // "L + R" or "L / R" checked in the channel button's menu and shown on it.
    void showChannelMode(bool merged);
    // After a change of format or channel mode: both channels chosen, the button and the items
    // showing the document's mode.
    void showRestoredChannelMode();
    // The slider at 0 and its label, as after a load.
    void resetSlider();
    // A new sample: the first scan that fills the candidate table says so again.
    void newDocument() { m_scanLimitShown = false; }

private:
    void recut(std::uint8_t undoKind, bool snapLocators);
    void startScan();
    void scanCompleted(const tpseek& scanner);
    void afterMerge(bool fromScanEnd);
    void channelItemClicked(QAction* clicked);
    void setSliderPosition(int position);
    void showScanLimit(const QString& text);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    bool m_scanFromRecut = false;
    bool m_scanLimitShown = false; // once per sample
    std::optional<std::vector<PointRecord>> m_lockedToKeep;
};

} // namespace tolvane
