#pragma once

#include <string>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace tolvane::test {

// A MIDI cable on a JACK server: a client with an input port "in" and an output port "out"
// that puts every event it receives on "in" out on "out" in the same period, unchanged. So a
// program's output connected to "<name>:in" reaches its input connected to "<name>:out".
class JackMidiLoopback {
public:
    explicit JackMidiLoopback(const std::string& name);
    ~JackMidiLoopback();
    JackMidiLoopback(const JackMidiLoopback&) = delete;
    JackMidiLoopback& operator=(const JackMidiLoopback&) = delete;

    bool ok() const { return m_client != nullptr; }
    std::string inputPort() const;  // where to send to
    std::string outputPort() const; // where to receive from

private:
    static int process(unsigned frames, void* self);
    jack_client_t* m_client = nullptr;
    jack_port_t* m_in = nullptr;
    jack_port_t* m_out = nullptr;
};

} // namespace tolvane::test
