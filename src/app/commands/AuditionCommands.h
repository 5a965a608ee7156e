#pragma once

#include "app/commands/CommandContext.h"
#include "audition/VoiceMixer.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

namespace tolvane {

class Audition;
class SamplerCommands;
class SaveCommands;

// "Play from MIDI keyboard": the notes of the MIDI input of the "AuditionPort" setting play
// the segments the keymap puts on their keys, through the player's output, and select the
// key's segment in the view. The keys' program follows the document: every redraw hands the
// mixer a new one when the data, the segments, the keymap or "Play through" changed.
// Window's thread.
class AuditionCommands {
public:
    AuditionCommands(CommandContext& ctx, SamplerCommands& sampler, SaveCommands& save);
    ~AuditionCommands();
    AuditionCommands(const AuditionCommands&) = delete;
    AuditionCommands& operator=(const AuditionCommands&) = delete;

    void PlayFromKeyboard1Click(); // "Play from MIDI keyboard"
    void PlayThrough1Click();      // "Play through"
    // After a redraw (and when the output opened again): the program as the document is now.
    void refresh();
    void stop();
    // After Preferences: a keyboard now read from another input is opened there.
    void settingsChanged();

    bool active() const { return m_audition != nullptr; }
    const Audition* audition() const { return m_audition.get(); }

private:
    bool start();
    std::optional<int> choosePort();
    void keyPressed(int note);

    CommandContext& m_ctx;
    SamplerCommands& m_sampler;
    SaveCommands& m_save;
    std::unique_ptr<Audition> m_audition;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // What the mixer was last given, to tell whether the document changed since.
    std::vector<std::int16_t> m_samples;
    int m_channels = 0;
    std::array<AuditionKey, kAuditionKeys> m_keys{};
    std::uint32_t m_rate = 0;
    QString m_port; // the input opened
};

} // namespace tolvane
