#include "midi/MidiDevices.h"

namespace tolvane {

std::optional<int> findPortByName(const std::vector<std::string>& ports, const std::string& name) {
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i] == name)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].find(name) != std::string::npos)
            return static_cast<int>(i);
    return std::nullopt;
}

void MidiDeviceChoice::refresh(std::vector<std::string> devices) {
    m_devices = std::move(devices);
    const std::optional<int> same = find(m_name);
    m_id = same.value_or(0);
    m_name = m_devices.empty() ? std::string() : m_devices[static_cast<std::size_t>(m_id)];
}

void MidiDeviceChoice::select(int id) {
    m_id = id;
    m_name = m_devices[static_cast<std::size_t>(id)];
}

std::optional<int> MidiDeviceChoice::find(const std::string& name) const {
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        if (m_devices[i] == name)
            return static_cast<int>(i);
    return std::nullopt;
}

} // namespace tolvane
