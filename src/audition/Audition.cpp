#include "audition/Audition.h"

#include <stdexcept>

namespace tolvane {

KeyMessage readKeyMessage(std::span<const std::uint8_t> message) {
    if (message.size() < 3)
        return {};
    const std::uint8_t status = message[0] & 0xF0;
    const int data1 = message[1] & 0x7F;
    const int data2 = message[2] & 0x7F;
    if (status == 0x90 && data2 > 0)
        return {KeyMessage::Kind::NoteOn, data1, data2};
    if (status == 0x90 || status == 0x80)
        return {KeyMessage::Kind::NoteOff, data1, 0};
    if (status == 0xB0 && (data1 == 120 || data1 == 123))
        return {KeyMessage::Kind::Silence, 0, 0};
    return {};
}

Audition::Audition(MidiBackend& midi, int inputIndex, MixAttachment attach,
                   std::uint32_t sampleRate, std::function<void(int note)> onNoteOn)
    : m_attach(std::move(attach)), m_onNoteOn(std::move(onNoteOn)),
      m_mixer(std::make_unique<VoiceMixer>(sampleRate)) {
    if (!m_attach(m_mixer.get()))
        throw std::runtime_error("The audio output cannot play notes.");
    try {
        m_port = midi.openInput(
            inputIndex, [this](double, std::vector<std::uint8_t> message) { received(message); });
    } catch (...) {
        m_attach(nullptr);
        throw;
    }
}

Audition::~Audition() {
    m_port.reset();
    m_attach(nullptr);
}

void Audition::received(const std::vector<std::uint8_t>& message) {
    const KeyMessage key = readKeyMessage(message);
    switch (key.kind) {
    case KeyMessage::Kind::NoteOn:
        m_mixer->noteOn(key.note, key.velocity);
        if (m_onNoteOn)
            m_onNoteOn(key.note);
        break;
    case KeyMessage::Kind::NoteOff:
        m_mixer->noteOff(key.note);
        break;
    case KeyMessage::Kind::Silence:
        m_mixer->silence();
        break;
    case KeyMessage::Kind::None:
        break;
    }
}

} // namespace tolvane
