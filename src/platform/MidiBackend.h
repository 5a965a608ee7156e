#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

// A MIDI port could not be listed, opened or written: the system's text for it.
class MidiBackendError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An opened output port. Sending blocks until the bytes are on their way; a long SysEx is
// paced (and, where the system needs it, split) so that none of it is dropped. Thread: any one
// thread at a time.
class MidiOutPort {
public:
    virtual ~MidiOutPort() = default;
    // One complete message: a short message of one to three bytes or a SysEx F0 … F7.
    virtual void send(std::span<const std::uint8_t> message) = 0;
    // Returns once what was sent has left for the device (bounded in time). Ports that pass a
    // message on as they are given it have nothing to wait for.
    virtual void drain() {}
};

// What an input port delivers: one complete message (a SysEx whole, F0 … F7) with its time in
// seconds since the port opened. Called on the system's MIDI thread.
using MidiInputHandler = std::function<void(double seconds, std::vector<std::uint8_t> message)>;

// An opened input port; messages reach the handler given at opening until it is destroyed.
class MidiInPort {
public:
    virtual ~MidiInPort() = default;
};

// The system's MIDI ports. Inputs are ports we can receive from, outputs ports we can send
// to, each by the system's port name; device n is index n of the list.
class MidiBackend {
public:
    virtual ~MidiBackend() = default;
    virtual std::string apiName() const = 0;
    virtual std::vector<std::string> inputs() = 0;
    virtual std::vector<std::string> outputs() = 0;
    // Throw MidiBackendError when the port cannot be opened.
    virtual std::unique_ptr<MidiOutPort> openOutput(int index) = 0;
    virtual std::unique_ptr<MidiInPort> openInput(int index, MidiInputHandler handler) = 0;
};

// Which system service the real backend uses.
enum class MidiApi {
    Automatic, // the environment variable TOLVANE_MIDI_API ("alsa" or "jack"), else the ALSA
               // sequencer when it can be opened, else JACK
    Alsa,
    Jack,
};

// The real backend on RtMidi. Throws MidiBackendError when no MIDI service can be reached.
std::unique_ptr<MidiBackend> makeRtMidiBackend(MidiApi api = MidiApi::Automatic);
// The RtMidi backend, or, when no MIDI service can be reached, one with no devices whose
// ports refuse to open with the reason: the SCSI samplers still work without MIDI.
std::unique_ptr<MidiBackend> makeMidiBackendOrNone();
// A backend with no devices whose ports refuse to open with `reason`.
std::unique_ptr<MidiBackend> makeNoMidiBackend(const std::string& reason);

} // namespace tolvane
