#pragma once

#include "app/commands/CommandContext.h"

namespace tolvane {

class SaveCommands;
class TempoCommands;
class WorkerThread;

// "Save &Midi Timing Template": the loop's rhythm as a Standard MIDI File whose notes play the
// segments on the keys a bank of the same loop gives them.
class TemplateCommands {
public:
    TemplateCommands(CommandContext& ctx, TempoCommands& tempo, SaveCommands& save)
        : m_ctx(ctx), m_tempo(tempo), m_save(save) {}

    void SaveMidMenuItemClick();
    void SaveTrackItemClick(); // the track file, through the track-file library

private:
    void saveTemplate();
    void templateSaved(const WorkerThread& worker, const QString& chosen, int notesLeftOut);
    bool confirmKeymap();
    void warnNotesLeftOut(int notesLeftOut, const char* file);

    CommandContext& m_ctx;
    TempoCommands& m_tempo;
    SaveCommands& m_save;
};

} // namespace tolvane
