#pragma once

#include "midi/MidiDevices.h"
#include "midi/MidiEvent.h"
#include "platform/MidiBackend.h"
#include "platform/Poster.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

class EMidiInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A MIDI input device: received messages wait in a ring of `Capacity` events until the
// program takes them. A SysEx arrives in buffers of `SysexBufferSize` bytes, one event each,
// of which `SysexBufferCount` may wait at once; a buffer goes back to the device when its
// event is taken. `OnMidiInput` runs on the window's thread when events are waiting,
// `OnOverflow` when one was lost because the ring or the buffers were full. Active sensing
// and timing clock never reach the ring; with `SysexOnly` only SysEx does.
// Thread: the window's thread; the device's thread only fills the ring.
class TMidiInput {
public:
    TMidiInput(MidiBackend& backend, Poster post);
    ~TMidiInput();
    TMidiInput(const TMidiInput&) = delete;
    TMidiInput& operator=(const TMidiInput&) = delete;

    int DeviceID() const { return m_devices.id(); }
    void setDeviceID(int id);
    const std::string& ProductName() const { return m_devices.name(); }
    void setProductName(const std::string& name);
    int NumDevs() const { return m_devices.count(); }
    const std::vector<std::string>& devices() const { return m_devices.devices(); }
    void refreshDevices(); // only while closed

    int Capacity = 1024; // taken when the port opens
    const std::string& Error() const { return m_error; }
    std::size_t SysexBufferSize() const { return m_sysexBufferSize; }
    void setSysexBufferSize(std::size_t size);
    std::size_t SysexBufferCount() const { return m_sysexBufferCount; }
    void setSysexBufferCount(std::size_t count);
    std::atomic<bool> SysexOnly = false;

    bool OpenPort();
    void StartInput();
    bool ClosePort(); // whether it was open
    bool isOpen() const { return m_port != nullptr; }

    std::size_t PendingCount() const;
    std::optional<TMyMidiEvent> TakeEvent();

    std::function<void()> OnMidiInput;
    std::function<void()> OnOverflow;

private:
    struct Entry {
        TMyMidiEvent event;
        std::unique_ptr<TMyMidiHdr> header; // the SysEx buffer that carried it
    };
    void received(std::vector<std::uint8_t> message);
    bool queue(Entry entry); // under the lock; false when the ring is full
    void notify(bool overflow);

    MidiBackend& m_backend;
    Poster m_post;
    MidiDeviceChoice m_devices;
    std::string m_error;
    std::size_t m_sysexBufferSize = 4096;
    std::size_t m_sysexBufferCount = 16;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_ring;
    std::size_t m_first = 0, m_count = 0;
    std::vector<std::unique_ptr<TMyMidiHdr>> m_freeBuffers;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_startTime;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::unique_ptr<MidiInPort> m_port; // last: destroyed first, so no message comes late
};

} // namespace tolvane
