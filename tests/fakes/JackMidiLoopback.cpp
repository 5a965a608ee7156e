#include "fakes/JackMidiLoopback.h"

#include <cstdint>
#include <jack/jack.h>
#include <jack/midiport.h>

namespace tolvane::test {

JackMidiLoopback::JackMidiLoopback(const std::string& name) {
    m_client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!m_client)
        return;
    m_in = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_out = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!m_in || !m_out || jack_set_process_callback(m_client, &process, this) != 0 ||
        jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        m_client = nullptr;
    }
}

JackMidiLoopback::~JackMidiLoopback() {
    if (m_client) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

std::string JackMidiLoopback::inputPort() const {
    return m_client ? jack_port_name(m_in) : "";
}

std::string JackMidiLoopback::outputPort() const {
    return m_client ? jack_port_name(m_out) : "";
}

int JackMidiLoopback::process(unsigned frames, void* self) {
    auto* loop = static_cast<JackMidiLoopback*>(self);
    void* in = jack_port_get_buffer(loop->m_in, frames);
    void* out = jack_port_get_buffer(loop->m_out, frames);
    jack_midi_clear_buffer(out);
    const std::uint32_t count = jack_midi_get_event_count(in);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) == 0)
            jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
    return 0;
}

} // namespace tolvane::test
