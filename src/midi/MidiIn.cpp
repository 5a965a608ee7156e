#include "midi/MidiIn.h"

#include <algorithm>

namespace tolvane {

TMidiInput::TMidiInput(MidiBackend& backend, Poster post)
    : m_backend(backend), m_post(std::move(post)) {
    refreshDevices();
}

TMidiInput::~TMidiInput() {
    ClosePort();
}

void TMidiInput::refreshDevices() {
    if (isOpen())
        return;
    try {
        m_devices.refresh(m_backend.inputs());
    } catch (const MidiBackendError&) {
        m_devices.refresh({});
    }
}

void TMidiInput::setDeviceID(int id) {
    if (isOpen())
        throw EMidiInputError("Change to DeviceID while device was open");
    if (!m_devices.valid(id))
        throw EMidiInputError("Invalid device ID");
    m_devices.select(id);
}

void TMidiInput::setProductName(const std::string& name) {
    if (isOpen())
        throw EMidiInputError("Change to ProductName while device was open");
    const std::optional<int> id = m_devices.find(name);
    if (!id)
        throw EMidiInputError("MIDI Input Device " + name + " not installed ");
    m_devices.select(*id);
}

void TMidiInput::setSysexBufferSize(std::size_t size) {
    if (isOpen())
        throw EMidiInputError("Change to SysexBufferSize while device was open");
    m_sysexBufferSize = size;
}

void TMidiInput::setSysexBufferCount(std::size_t count) {
    if (isOpen())
        throw EMidiInputError("Change to SysexBuffercount while device was open");
    m_sysexBufferCount = count;
}

bool TMidiInput::OpenPort() {
    if (isOpen())
        return true;
    if (!m_devices.valid(m_devices.id()))
        throw EMidiInputError("Invalid device ID");
    {
        std::lock_guard lock(m_mutex);
        m_ring.clear();
        m_ring.resize(static_cast<std::size_t>(std::max(Capacity, 1)));
        m_first = m_count = 0;
        m_freeBuffers.clear();
        for (std::size_t i = 0; i < m_sysexBufferCount; ++i)
            m_freeBuffers.push_back(
                std::make_unique<TMyMidiHdr>(std::max<std::size_t>(m_sysexBufferSize, 1)));
        m_started = false;
    }
    try {
        m_port =
            m_backend.openInput(m_devices.id(), [this](double, std::vector<std::uint8_t> message) {
                received(std::move(message));
            });
    } catch (const MidiBackendError& e) {
        m_error = e.what();
        throw EMidiInputError(e.what());
    }
    m_error.clear();
    return true;
}

void TMidiInput::StartInput() {
    std::lock_guard lock(m_mutex);
    if (!isOpen())
        return;
    m_started = true;
    m_startTime = std::chrono::steady_clock::now();
}

bool TMidiInput::ClosePort() {
    if (!isOpen())
        return false;
    m_port.reset(); // no message arrives after this
    std::lock_guard lock(m_mutex);
    m_started = false;
    m_ring.clear();
    m_first = m_count = 0;
    m_freeBuffers.clear();
    return true;
}

std::size_t TMidiInput::PendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_port ? m_count : 0;
}

std::optional<TMyMidiEvent> TMidiInput::TakeEvent() {
    std::lock_guard lock(m_mutex);
    if (!m_port || m_count == 0)
        return std::nullopt;
    Entry entry = std::move(m_ring[m_first]);
    m_first = (m_first + 1) % m_ring.size();
    --m_count;
    if (entry.header) {
        entry.event.Sysex.assign(entry.header->data.begin(),
                                 entry.header->data.begin() +
                                     static_cast<std::ptrdiff_t>(entry.header->recorded));
        entry.header->recorded = 0;
        m_freeBuffers.push_back(std::move(entry.header)); // back to the device
    }
    return std::move(entry.event);
}

// Runs on the device's thread.
void TMidiInput::received(std::vector<std::uint8_t> message) {
    if (message.empty() || message[0] == kActiveSensing || message[0] == kTimingClock)
        return;
    const bool sysex = message[0] == kSysexStatus;
    if (!sysex && SysexOnly)
        return;
    bool overflow = false;
    bool queued = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_started)
            return;
        const auto now =
            static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - m_startTime)
                                           .count());
        if (!sysex) {
            Entry entry;
            entry.event.Time = now;
            entry.event.MidiMessage = message[0];
            entry.event.Data1 = message.size() > 1 ? message[1] : 0;
            entry.event.Data2 = message.size() > 2 ? message[2] : 0;
            overflow = !queue(std::move(entry));
            queued = !overflow;
        } else {
            // One buffer after the other, as long as a buffer and a place in the ring are free.
            for (std::size_t offset = 0; offset < message.size();) {
                if (m_freeBuffers.empty() || m_count == m_ring.size()) {
                    overflow = true;
                    break;
                }
                Entry entry;
                entry.event.Time = now;
                entry.event.MidiMessage = kSysexStatus;
                entry.header = std::move(m_freeBuffers.back());
                m_freeBuffers.pop_back();
                const std::size_t length =
                    std::min(entry.header->data.size(), message.size() - offset);
                std::copy_n(message.begin() + static_cast<std::ptrdiff_t>(offset), length,
                            entry.header->data.begin());
                entry.header->recorded = length;
                offset += length;
                queue(std::move(entry));
                queued = true;
            }
        }
    }
    if (queued)
        notify(false);
    if (overflow)
        notify(true);
}

bool TMidiInput::queue(Entry entry) {
    if (m_count == m_ring.size())
        return false;
    m_ring[(m_first + m_count) % m_ring.size()] = std::move(entry);
    ++m_count;
    return true;
}

void TMidiInput::notify(bool overflow) {
    if (!m_post)
        return;
    m_post([this, overflow, alive = std::weak_ptr<int>(m_alive)] {
        if (!alive.lock())
            return;
        if (overflow) {
            if (OnOverflow)
                OnOverflow();
        } else if (isOpen() && PendingCount() > 0 && OnMidiInput) {
            OnMidiInput();
        }
    });
}

} // namespace tolvane
