#include "platform/MidiBackend.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <mutex>
#include <rtmidi/RtMidi.h>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tolvane {
namespace {

// Our own clients' ports are not devices to offer: JACK would list the input we opened as a
// place to send to.
constexpr const char* kClientName = "WaveTolvane";

// JACK hands each port one buffer of MIDI events per period, as many bytes as the period has
// audio bytes in jackd2, and RtMidi's own JACK output writes whatever waits into it (dropping
// what does not fit, without a word) and drops any message of 16 KB or more. So on JACK our
// ports are clients of our own: output messages wait in a ring, each period takes what fits
// and leaves the rest for the next, and a SysEx goes in pieces that fit a period; the input
// puts the pieces together again. RtMidi serves the ALSA sequencer and lists the ports.
constexpr std::size_t kJackRingBytes = 1 << 16;
constexpr std::size_t kJackMaxPiece = 512;
constexpr auto kJackStallLimit = std::chrono::seconds(10);

bool isOwnPort(const std::string& name) {
    return name.rfind(kClientName, 0) == 0;
}

RtMidi::Api rtApi(MidiApi api) {
    return api == MidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

template <typename Port> std::vector<std::string> portNames(Port& port) {
    std::vector<std::string> names;
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = port.getPortName(i);
        if (!isOwnPort(name))
            names.push_back(std::move(name));
    }
    return names;
}

// RtMidi's own index of the port listed as `index` (the lists leave our own ports out).
template <typename Port> unsigned rtIndexOf(Port& port, int index, const char* kind) {
    const std::vector<std::string> names = portNames(port);
    if (index < 0 || static_cast<std::size_t>(index) >= names.size())
        throw MidiBackendError(std::string("There is no MIDI ") + kind + " device " +
                               std::to_string(index));
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (port.getPortName(i) == names[static_cast<std::size_t>(index)])
            return i;
    throw MidiBackendError(std::string("The MIDI ") + kind + " device " +
                           names[static_cast<std::size_t>(index)] + " has gone");
}

class RtOutPort : public MidiOutPort {
public:
    RtOutPort(MidiApi api, int index) : m_out(rtApi(api), kClientName) {
        m_out.openPort(rtIndexOf(m_out, index, "output"), "out");
    }
    void send(std::span<const std::uint8_t> message) override {
        if (!message.empty())
            m_out.sendMessage(message.data(), message.size());
    }

private:
    RtMidiOut m_out;
};

// A SysEx may come in pieces (a start without F7, then data bytes, the last ending in F7);
// real-time bytes may come between them. The handler gets each SysEx whole.
class SysExAssembler {
public:
    explicit SysExAssembler(MidiInputHandler handler) : m_handler(std::move(handler)) {}

    void take(double seconds, std::span<const std::uint8_t> message) {
        if (message.empty())
            return;
        const std::uint8_t first = message.front();
        if (first >= 0xF8) {
            m_handler(seconds, {message.begin(), message.end()});
            return;
        }
        if (first == 0xF0)
            m_sysex.clear();
        const bool continuing = !m_sysex.empty() && first < 0x80;
        if (first == 0xF0 || continuing) {
            m_sysex.insert(m_sysex.end(), message.begin(), message.end());
            if (m_sysex.back() == 0xF7)
                m_handler(seconds, std::exchange(m_sysex, {}));
            return;
        }
        m_sysex.clear(); // a SysEx cut short by another message is lost, as on a cable
        m_handler(seconds, {message.begin(), message.end()});
    }

private:
    MidiInputHandler m_handler;
    std::vector<std::uint8_t> m_sysex;
};

class RtInPort : public MidiInPort {
public:
    RtInPort(MidiApi api, int index, MidiInputHandler handler)
        : m_assembler(std::move(handler)), m_in(rtApi(api), kClientName, 1024) {
        m_in.ignoreTypes(false, false, false); // the port layer decides what to drop
        m_in.setCallback(&RtInPort::received, this);
        m_in.openPort(rtIndexOf(m_in, index, "input"), "in");
    }
    ~RtInPort() override {
        m_in.closePort();
        m_in.cancelCallback();
    }

private:
    static void received(double delta, std::vector<unsigned char>* message, void* self) {
        auto* port = static_cast<RtInPort*>(self);
        port->m_seconds += delta;
        port->m_assembler.take(port->m_seconds, *message);
    }

    SysExAssembler m_assembler;
    double m_seconds = 0;
    RtMidiIn m_in;
};

// A JACK client of ours with one MIDI port. A connection takes effect in the server's graph a
// cycle or two after it is made, and what goes through the port before that is lost; so
// `connect` waits until two cycles have run with it.
class JackClient {
public:
    JackClient(JackPortFlags direction, JackProcessCallback process, void* owner) {
        m_client = jack_client_open(kClientName, JackNoStartServer, nullptr);
        if (!m_client)
            throw MidiBackendError("The JACK server is not running");
        m_port = jack_port_register(m_client, direction == JackPortIsInput ? "in" : "out",
                                    JACK_DEFAULT_MIDI_TYPE, direction, 0);
        if (!m_port || jack_set_process_callback(m_client, process, owner) != 0) {
            jack_client_close(m_client);
            throw MidiBackendError("Cannot open a JACK MIDI port");
        }
        m_direction = direction;
    }
    ~JackClient() {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    jack_port_t* port() const { return m_port; }
    std::size_t bufferFrames() const { return jack_get_buffer_size(m_client); }
    // The process callback counts each cycle here.
    void cycleRan() { ++m_cycles; }

    // Starts processing and connects the port with `other`, the device.
    void connect(const std::string& other) {
        if (jack_activate(m_client) != 0)
            throw MidiBackendError("Cannot open a JACK MIDI port");
        const std::string ours = jack_port_name(m_port);
        const bool sending = m_direction == JackPortIsOutput;
        if (jack_connect(m_client, sending ? ours.c_str() : other.c_str(),
                         sending ? other.c_str() : ours.c_str()) != 0)
            throw MidiBackendError("Cannot connect to the MIDI device " + other);
        const std::uint64_t from = m_cycles;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (m_cycles < from + 2 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    JackPortFlags m_direction = JackPortIsInput;
    std::atomic<std::uint64_t> m_cycles = 0;
};

class JackInPort : public MidiInPort {
public:
    JackInPort(const std::string& source, MidiInputHandler handler)
        : m_assembler(std::move(handler)), m_start(std::chrono::steady_clock::now()) {
        m_jack = std::make_unique<JackClient>(JackPortIsInput, &process, this);
        m_client = m_jack.get();
        m_jack->connect(source);
    }
    ~JackInPort() override { m_jack.reset(); } // no cycle runs after this

private:
    // JACK's process thread: each event to the handler, SysEx pieces put together. It runs
    // only between activation and the client's close, so the client is there throughout.
    static int process(jack_nframes_t frames, void* self) {
        auto* port = static_cast<JackInPort*>(self);
        port->m_client->cycleRan();
        void* buffer = jack_port_get_buffer(port->m_client->port(), frames);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - port->m_start).count();
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                port->m_assembler.take(seconds, {event.buffer, event.size});
        }
        return 0;
    }

    SysExAssembler m_assembler;
    std::chrono::steady_clock::time_point m_start;
    std::unique_ptr<JackClient> m_jack;
    JackClient* m_client = nullptr; // m_jack's, for the process thread
};

class JackOutPort : public MidiOutPort {
public:
    explicit JackOutPort(const std::string& destination) {
        m_ring = jack_ringbuffer_create(kJackRingBytes);
        if (!m_ring)
            throw MidiBackendError("Cannot open a JACK MIDI port");
        try {
            m_jack = std::make_unique<JackClient>(JackPortIsOutput, &process, this);
            m_client = m_jack.get();
            m_piece = std::clamp<std::size_t>(m_jack->bufferFrames(), 16, kJackMaxPiece);
            m_jack->connect(destination);
        } catch (...) {
            m_jack.reset();
            jack_ringbuffer_free(m_ring);
            throw;
        }
    }
    ~JackOutPort() override {
        // What waits still goes out, unless the server has stopped taking it; then a cycle
        // passes that clears the port's buffer. The server keeps running a closing client's
        // port for a cycle or more, and a buffer left holding the last messages would hand
        // them to the device again in each of those cycles.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        waitUntilTaken(end);
        const std::uint64_t drained = m_emptyCycles;
        while (m_emptyCycles < drained + 2 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_jack.reset(); // no cycle runs after this
        jack_ringbuffer_free(m_ring);
    }

    void send(std::span<const std::uint8_t> message) override {
        for (std::size_t offset = 0; offset < message.size(); offset += m_piece)
            queue(message.subspan(offset, std::min(m_piece, message.size() - offset)));
    }
    // A cycle has taken everything queued: the device has it in that cycle.
    void drain() override { waitUntilTaken(std::chrono::steady_clock::now() + kJackStallLimit); }

private:
    // Until a cycle has taken every waiting message, or `end`.
    void waitUntilTaken(std::chrono::steady_clock::time_point end) const {
        while (jack_ringbuffer_read_space(m_ring) > 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void queue(std::span<const std::uint8_t> piece) {
        const auto length = static_cast<std::uint32_t>(piece.size());
        const auto end = std::chrono::steady_clock::now() + kJackStallLimit;
        while (jack_ringbuffer_write_space(m_ring) < sizeof length + length) {
            if (std::chrono::steady_clock::now() > end)
                throw MidiBackendError("The MIDI device takes nothing: the JACK server stalled");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(&length), sizeof length);
        jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(piece.data()), length);
    }

    // JACK's process thread: as many waiting messages as this period's buffer holds. The buffer
    // is cleared in every cycle, the closing ones too. It runs only between activation and the
    // client's close, so the client is there throughout.
    static int process(jack_nframes_t frames, void* self) {
        auto* port = static_cast<JackOutPort*>(self);
        port->m_client->cycleRan();
        void* buffer = jack_port_get_buffer(port->m_client->port(), frames);
        jack_midi_clear_buffer(buffer);
        std::uint8_t piece[kJackMaxPiece];
        bool wrote = false;
        for (;;) {
            std::uint32_t length = 0;
            if (jack_ringbuffer_peek(port->m_ring, reinterpret_cast<char*>(&length),
                                     sizeof length) < sizeof length ||
                length > jack_midi_max_event_size(buffer) ||
                jack_ringbuffer_read_space(port->m_ring) < sizeof length + length)
                break;
            jack_ringbuffer_read_advance(port->m_ring, sizeof length);
            jack_ringbuffer_read(port->m_ring, reinterpret_cast<char*>(piece), length);
            jack_midi_event_write(buffer, 0, piece, length);
            wrote = true;
        }
        if (!wrote)
            ++port->m_emptyCycles;
        return 0;
    }

    jack_ringbuffer_t* m_ring = nullptr;
    std::size_t m_piece = kJackMaxPiece;
    std::unique_ptr<JackClient> m_jack;
    JackClient* m_client = nullptr;               // m_jack's, for the process thread
    std::atomic<std::uint64_t> m_emptyCycles = 0; // cycles that left the buffer empty
};

// RtMidi's errors, and a thread JACK or RtMidi could not start, as the port layer's.
template <typename F> auto guarded(F&& f) {
    try {
        return f();
    } catch (const RtMidiError& e) {
        throw MidiBackendError(e.getMessage());
    } catch (const std::system_error& e) {
        throw MidiBackendError(std::string("Cannot start a MIDI thread: ") + e.what());
    }
}

class RtMidiBackend : public MidiBackend {
public:
    explicit RtMidiBackend(MidiApi api) : m_api(api) {}

    std::string apiName() const override { return m_api == MidiApi::Jack ? "JACK" : "ALSA"; }

    std::vector<std::string> inputs() override {
        return guarded([&] {
            RtMidiIn in(rtApi(m_api), kClientName);
            return portNames(in);
        });
    }
    std::vector<std::string> outputs() override {
        return guarded([&] {
            RtMidiOut out(rtApi(m_api), kClientName);
            return portNames(out);
        });
    }
    std::unique_ptr<MidiOutPort> openOutput(int index) override {
        return guarded([&]() -> std::unique_ptr<MidiOutPort> {
            if (m_api != MidiApi::Jack)
                return std::make_unique<RtOutPort>(m_api, index);
            const std::vector<std::string> names = outputs();
            if (index < 0 || static_cast<std::size_t>(index) >= names.size())
                throw MidiBackendError("There is no MIDI output device " + std::to_string(index));
            return std::make_unique<JackOutPort>(names[static_cast<std::size_t>(index)]);
        });
    }
    std::unique_ptr<MidiInPort> openInput(int index, MidiInputHandler handler) override {
        return guarded([&]() -> std::unique_ptr<MidiInPort> {
            if (m_api != MidiApi::Jack)
                return std::make_unique<RtInPort>(m_api, index, std::move(handler));
            const std::vector<std::string> names = inputs();
            if (index < 0 || static_cast<std::size_t>(index) >= names.size())
                throw MidiBackendError("There is no MIDI input device " + std::to_string(index));
            return std::make_unique<JackInPort>(names[static_cast<std::size_t>(index)],
                                                std::move(handler));
        });
    }

private:
    MidiApi m_api;
};

bool alsaSequencerPresent() {
    return ::access("/dev/snd/seq", R_OK | W_OK) == 0;
}

MidiApi chosenApi(MidiApi api) {
    if (api != MidiApi::Automatic)
        return api;
    if (const char* env = std::getenv("TOLVANE_MIDI_API")) {
        const std::string_view name(env);
        if (name == "jack")
            return MidiApi::Jack;
        if (name == "alsa")
            return MidiApi::Alsa;
    }
    return alsaSequencerPresent() ? MidiApi::Alsa : MidiApi::Jack;
}

// RtMidi only warns when it finds no JACK server, and then lists no ports: ask JACK itself.
bool jackServerRunning() {
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, nullptr);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

} // namespace

std::unique_ptr<MidiBackend> makeRtMidiBackend(MidiApi api) {
    const MidiApi chosen = chosenApi(api);
    if (chosen == MidiApi::Jack && !jackServerRunning())
        throw MidiBackendError(alsaSequencerPresent()
                                   ? "The JACK server is not running"
                                   : "No ALSA sequencer (/dev/snd/seq) and no JACK server running");
    try {
        // Reaching the service once tells whether it is there at all.
        RtMidiIn probe(rtApi(chosen), kClientName);
    } catch (const RtMidiError& e) {
        throw MidiBackendError(e.getMessage());
    }
    return std::make_unique<RtMidiBackend>(chosen);
}

namespace {

// No MIDI service could be reached: no devices, and opening says why.
class UnavailableMidi : public MidiBackend {
public:
    explicit UnavailableMidi(std::string reason) : m_reason(std::move(reason)) {}
    std::string apiName() const override { return "none"; }
    std::vector<std::string> inputs() override { return {}; }
    std::vector<std::string> outputs() override { return {}; }
    std::unique_ptr<MidiOutPort> openOutput(int) override { throw MidiBackendError(m_reason); }
    std::unique_ptr<MidiInPort> openInput(int, MidiInputHandler) override {
        throw MidiBackendError(m_reason);
    }

private:
    std::string m_reason;
};

} // namespace

std::unique_ptr<MidiBackend> makeNoMidiBackend(const std::string& reason) {
    return std::make_unique<UnavailableMidi>(reason);
}

std::unique_ptr<MidiBackend> makeMidiBackendOrNone() {
    try {
        return makeRtMidiBackend();
    } catch (const MidiBackendError& e) {
        return makeNoMidiBackend(e.what());
    }
}

} // namespace tolvane
