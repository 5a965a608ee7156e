#pragma once

#include "app/commands/CommandContext.h"

namespace tolvane {

enum class KeymapFor;
class BankCommands;
class SaveCommands;
class TempoCommands;
class WorkerThread;

// "Save &Midi Timing Template": the loop's rhythm as a Standard MIDI File whose notes play the
// segments on the keys a bank of the same loop gives them; "Save Midi Template &And Sound Bank
// ..." writes the bank after it; the hidden "Save Mixman Track File".
class TemplateCommands {
public:
    TemplateCommands(CommandContext& ctx, TempoCommands& tempo, SaveCommands& save,
                     BankCommands& banks)
        : m_ctx(ctx), m_tempo(tempo), m_save(save), m_banks(banks) {}

    void SaveMidMenuItemClick();
    void SaveSFMClick();       // the template, then the bank
    void SaveTrackItemClick(); // the track file, through the track-file library
    // "Save midi template" of the transfer window: the tempo check before the send, and the
    // command after it without the keymap window (the send used the keymap already).
    bool templateTempoCheck();
    void saveTemplateAfterSend();

private:
    void saveTemplate(bool thenBank, bool keymapChosen = false);
    void templateSaved(const WorkerThread& worker, const QString& chosen, int notesLeftOut,
                       bool thenBank);
    bool confirmKeymap(KeymapFor save);
    void warnNotesLeftOut(int notesLeftOut, const char* file);

    CommandContext& m_ctx;
    TempoCommands& m_tempo;
    SaveCommands& m_save;
    BankCommands& m_banks;
};

} // namespace tolvane
