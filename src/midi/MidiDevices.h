#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// The port named `name`, else the first whose name contains it (as a user types a port's name
// on the command line or in a setting).
std::optional<int> findPortByName(const std::vector<std::string>& ports, const std::string& name);

// The devices of one direction as the system lists them, and the one chosen (by index, with
// its product name). An input and an output each keep one.
class MidiDeviceChoice {
public:
    // Takes a new list; the device chosen stays chosen when its name is still there, else the
    // first is.
    void refresh(std::vector<std::string> devices);
    bool valid(int id) const { return id >= 0 && id < count(); }
    void select(int id); // a valid id
    std::optional<int> find(const std::string& name) const;

    int id() const { return m_id; }
    const std::string& name() const { return m_name; }
    int count() const { return static_cast<int>(m_devices.size()); }
    const std::vector<std::string>& devices() const { return m_devices; }

private:
    std::vector<std::string> m_devices;
    int m_id = 0;
    std::string m_name;
};

} // namespace tolvane
