#pragma once

#include "app/commands/CommandContext.h"

namespace tolvane {

class PlayCommands;
class TempoCommands;
class SliceCommands;
class ViewCommands;

// Undo and redo, the audio clipboard (the whole sample or one segment, out and in), and
// locking or unlocking every point.
class EditCommands {
public:
    EditCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view, SliceCommands& slices,
                 TempoCommands& tempo)
        : m_ctx(ctx), m_play(play), m_view(view), m_slices(slices), m_tempo(tempo) {}

    void mnuUndoClick();
    void mnuRedoClick();
    void mnuCopyAllClick();
    void CopySegment1Click();
    void PasteIntoSegment2Click();
    void mnuPasteAllKeepClick();
    void mnuPasteNewClick();
    void mnuLockAllClick();
    void mnuUnlockAllClick();

private:
    void walkHistory(std::uint8_t kind, const std::function<UndoOutcome()>& step);
    void followUndo(const UndoOutcome& outcome);
    void pasteAll(bool findNew);
    void takeNewFormat(bool channelsChanged);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    SliceCommands& m_slices;
    TempoCommands& m_tempo;
};

} // namespace tolvane
