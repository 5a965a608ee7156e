#pragma once

#include "midi/MidiDevices.h"
#include "midi/MidiEvent.h"
#include "platform/MidiBackend.h"
#include "platform/Poster.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tolvane {

class EmidioutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kMsgOutputNotOpen = "MIDI Output device not open";

// A MIDI output device: chosen by index or by product name, opened and closed, sending short
// and SysEx messages in the order they were given. Messages go out on a thread of the
// component's own, so that a long SysEx (paced as the port needs) does not hold up the caller;
// `Onmidioutput` runs on the window's thread (through the poster) when a SysEx has been sent.
// Thread: the window's thread (or any one thread).
class TMidiOutput {
public:
    TMidiOutput(MidiBackend& backend, Poster post);
    ~TMidiOutput();
    TMidiOutput(const TMidiOutput&) = delete;
    TMidiOutput& operator=(const TMidiOutput&) = delete;

    int DeviceID() const { return m_devices.id(); }
    void setDeviceID(int id);
    const std::string& ProductName() const { return m_devices.name(); }
    void setProductName(const std::string& name);
    // The devices as they were when the component was made or last refreshed.
    int NumDevs() const { return m_devices.count(); }
    const std::vector<std::string>& devices() const { return m_devices.devices(); }
    // Reads the system's device list again (only while closed); the chosen device stays
    // chosen by name when it is still there.
    void refreshDevices();

    bool OpenPort();
    bool ClosePort(); // sends what is still waiting first; whether the port was open
    bool isOpen() const { return m_port != nullptr; }

    void SendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void SendSysEx(std::span<const std::uint8_t> bytes);
    void SendEvent(const TMyMidiEvent& event);
    // Blocks until every message given so far is on its way.
    void flush();
    // Blocks until every message given so far has left for the device: a sender's pacing is
    // timed from there, not from a queue that a busy JACK cycle may take late.
    void flushToDevice();

    std::function<void()> Onmidioutput;

private:
    struct Outgoing {
        std::vector<std::uint8_t> bytes;
        bool sysex = false;
    };
    void queue(Outgoing message);
    void sendLoop(std::stop_token stop);
    void throwIfFailed();

    MidiBackend& m_backend;
    Poster m_post;
    MidiDeviceChoice m_devices;
    std::unique_ptr<MidiOutPort> m_port;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Outgoing> m_waiting;
    bool m_sending = false;
    std::string m_failure; // a send that failed on the sending thread, raised by the next call
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::jthread m_thread;
};

} // namespace tolvane
