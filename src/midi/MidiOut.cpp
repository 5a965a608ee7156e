#include "midi/MidiOut.h"

#include <system_error>
#include <utility>

namespace tolvane {

TMidiOutput::TMidiOutput(MidiBackend& backend, Poster post)
    : m_backend(backend), m_post(std::move(post)) {
    refreshDevices();
}

TMidiOutput::~TMidiOutput() {
    ClosePort();
}

void TMidiOutput::refreshDevices() {
    if (isOpen())
        return;
    try {
        m_devices.refresh(m_backend.outputs());
    } catch (const MidiBackendError&) {
        m_devices.refresh({});
    }
}

void TMidiOutput::setDeviceID(int id) {
    if (isOpen())
        throw EmidioutputError("Change to DeviceID while device was open");
    if (!m_devices.valid(id))
        throw EmidioutputError("Invalid device ID");
    m_devices.select(id);
}

void TMidiOutput::setProductName(const std::string& name) {
    if (isOpen())
        throw EmidioutputError("Change to ProductName while device was open");
    const std::optional<int> id = m_devices.find(name);
    if (!id)
        throw EmidioutputError("MIDI output Device " + name + " not installed");
    m_devices.select(*id);
}

bool TMidiOutput::OpenPort() {
    if (isOpen())
        return true;
    if (!m_devices.valid(m_devices.id()))
        throw EmidioutputError("Invalid device ID");
    try {
        m_port = m_backend.openOutput(m_devices.id());
    } catch (const MidiBackendError& e) {
        throw EmidioutputError(e.what());
    }
    m_failure.clear();
    try {
        m_thread = std::jthread([this](std::stop_token stop) { sendLoop(stop); });
    } catch (const std::system_error& e) {
        m_port.reset(); // a port nothing can send through is no open port
        throw EmidioutputError(std::string("Cannot start the MIDI output's thread: ") + e.what());
    }
    return true;
}

bool TMidiOutput::ClosePort() {
    if (!isOpen())
        return false;
    flush();
    {
        std::lock_guard lock(m_mutex);
        m_thread.request_stop();
    }
    m_changed.notify_all();
    m_thread = {};
    m_port.reset();
    return true;
}

void TMidiOutput::SendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    // Program change, channel pressure and the one-byte system messages have fewer data bytes.
    std::size_t length = 3;
    if ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 || status == 0xF1 || status == 0xF3)
        length = 2;
    else if (status >= 0xF4)
        length = 1;
    const std::uint8_t bytes[3] = {status, data1, data2};
    queue({{bytes, bytes + length}, false});
}

void TMidiOutput::SendSysEx(std::span<const std::uint8_t> bytes) {
    queue({{bytes.begin(), bytes.end()}, true});
}

void TMidiOutput::SendEvent(const TMyMidiEvent& event) {
    if (!isOpen())
        throw EmidioutputError(kMsgOutputNotOpen);
    if (!event.Sysex.empty())
        SendSysEx(event.Sysex);
    else
        SendShort(event.MidiMessage, event.Data1, event.Data2);
}

void TMidiOutput::flush() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_waiting.empty() && !m_sending; });
}

void TMidiOutput::flushToDevice() {
    flush();
    if (m_port)
        m_port->drain();
}

void TMidiOutput::queue(Outgoing message) {
    if (!isOpen())
        throw EmidioutputError(kMsgOutputNotOpen);
    throwIfFailed();
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(message));
    }
    m_changed.notify_all();
}

void TMidiOutput::throwIfFailed() {
    std::lock_guard lock(m_mutex);
    if (!m_failure.empty())
        throw EmidioutputError(std::exchange(m_failure, {}));
}

void TMidiOutput::sendLoop(std::stop_token stop) {
    for (;;) {
        Outgoing message;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return stop.stop_requested() || !m_waiting.empty(); });
            if (m_waiting.empty())
                return;
            message = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_sending = true;
        }
        std::string failure;
        try {
            m_port->send(message.bytes);
        } catch (const MidiBackendError& e) {
            failure = e.what();
        }
        {
            std::lock_guard lock(m_mutex);
            m_sending = false;
            if (!failure.empty())
                m_failure = failure;
        }
        m_changed.notify_all();
        if (message.sysex && failure.empty() && m_post)
            m_post([this, alive = std::weak_ptr<int>(m_alive)] {
                if (alive.lock() && Onmidioutput)
                    Onmidioutput();
            });
    }
}

} // namespace tolvane
