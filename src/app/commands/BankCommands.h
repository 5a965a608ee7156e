#pragma once

#include "app/commands/CommandContext.h"
#include "export/SoundBank.h"
#include "platform/InstrumentHost.h"

#include <QString>
#include <memory>
#include <vector>

namespace tolvane {

class SaveCommands;

// Sound banks: "Save To Sound Bank &File" writes the segments between the locators as a
// SoundFont 2, DLS, GigaSampler, Pinnacle or SFZ instrument with one key per segment, keyed by
// the keymap settings the segment series also uses (kept by SaveCommands).
class BankCommands {
public:
    BankCommands(CommandContext& ctx, SaveCommands& save) : m_ctx(ctx), m_save(save) {}

    // The command alone: the keymap window first, then the bank dialog.
    void SaveSFItemClick();
    // The bank half of "Save Midi Template And Sound Bank", after the MIDI file is written: the
    // bank dialog opens with the MIDI file's name part, the keymap window is not shown again.
    void saveBankAfterTemplate(const QString& midiFileName);

    // Who hears of new GigaSampler files (the host library of the settings when none is set).
    void setInstrumentHost(std::unique_ptr<InstrumentHost> host) { m_host = std::move(host); }

private:
    void saveBank(const QString& presetFileName);
    BankSettings bankSettings() const;
    InstrumentHost& host();
    void reportOutcome(BankFormat format, const std::vector<BankFileResult>& results,
                       const std::vector<HostNotice>& notices);

    CommandContext& m_ctx;
    SaveCommands& m_save;
    std::unique_ptr<InstrumentHost> m_host;
};

} // namespace tolvane
