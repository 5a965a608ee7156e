#pragma once

#include "audition/VoiceMixer.h"
#include "platform/AudioBackend.h"
#include "platform/MidiBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace tolvane {

// What a MIDI message asks of the keys: a note on (velocity 1 to 127), a note off (a note-on of
// velocity 0 too), every voice silenced (controllers 120 "all sound off" and 123 "all notes
// off"), or nothing. Every MIDI channel plays.
struct KeyMessage {
    enum class Kind { None, NoteOn, NoteOff, Silence };
    Kind kind = Kind::None;
    int note = 0;
    int velocity = 0;
};
KeyMessage readKeyMessage(std::span<const std::uint8_t> message);

// Where the mixer goes: an output's (or the player's) setMixSource.
using MixAttachment = std::function<bool(AudioMixSource*)>;

// Plays the segments from a MIDI keyboard: the notes of an input port go from the MIDI thread
// straight into a VoiceMixer that the audio output mixes into every block it plays, beside
// what the player queues. `onNoteOn` (when given) also hears every note-on, on the MIDI
// thread. The port closes first and the output stops mixing when this ends.
class Audition {
public:
    // Throws MidiBackendError when the port cannot be opened, std::runtime_error when the
    // output cannot mix.
    Audition(MidiBackend& midi, int inputIndex, AudioOutput& output, std::uint32_t sampleRate,
             std::function<void(int note)> onNoteOn = {})
        : Audition(
              midi, inputIndex,
              [&output](AudioMixSource* source) { return output.setMixSource(source); }, sampleRate,
              std::move(onNoteOn)) {}
    Audition(MidiBackend& midi, int inputIndex, MixAttachment attach, std::uint32_t sampleRate,
             std::function<void(int note)> onNoteOn = {});
    ~Audition();
    Audition(const Audition&) = delete;
    Audition& operator=(const Audition&) = delete;

    // Thread: the one that made it.
    void setProgram(std::unique_ptr<AuditionProgram> program) {
        m_mixer->setProgram(std::move(program));
    }
    void silence() { m_mixer->silence(); }
    void setSampleRate(std::uint32_t rate) { m_mixer->setSampleRate(rate); }
    const VoiceMixer& mixer() const { return *m_mixer; }

private:
    void received(const std::vector<std::uint8_t>& message);

    MixAttachment m_attach;
    std::function<void(int)> m_onNoteOn;
    std::unique_ptr<VoiceMixer> m_mixer;
    std::unique_ptr<MidiInPort> m_port; // last: closed first, so no note comes late
};

} // namespace tolvane
