#include "samplers/SamplerTypes.h"

namespace tolvane {

ProtocolControls controlsForSamplerType(const std::string& text) {
    const bool scsi = text.find("SCSI") != std::string::npos;
    if (scsi && text.find("needs") != std::string::npos)
        return {false, true, true, false};
    if (scsi)
        return {false, false, true, false};
    return {true, true, false, true};
}

SamplerDriverTable::SamplerDriverTable(TSamplerClass& sds, TSamplerClass& smdi,
                                       TSamplerClass& akai) {
    for (std::size_t i = 0; i < kSamplerTypes.size(); ++i) {
        switch (kSamplerTypes[i].driver) {
        case DriverKind::Sds:
            m_drivers[i] = &sds;
            break;
        case DriverKind::Smdi:
            m_drivers[i] = &smdi;
            break;
        case DriverKind::Akai:
            m_drivers[i] = &akai;
            break;
        }
    }
}

TSamplerClass* SamplerDriverTable::driverFor(int protocol) const {
    if (protocol < 0 || static_cast<std::size_t>(protocol) >= m_drivers.size())
        return nullptr;
    return m_drivers[static_cast<std::size_t>(protocol)];
}

TSamplerClass* chooseDriver(const SamplerDriverTable& table, const SamplerProfile& profile,
                            const DriverConnections& c) {
    TSamplerClass* driver = table.driverFor(profile.protocol);
    if (!driver)
        return nullptr;
    driver->SetProfile(profile);
    driver->SetStatusPanel(c.statusPanel);
    driver->SetSampleStream(c.sampleStream);
    driver->SetMidiPorts(c.midiInput, c.midiOutput);
    return driver;
}

} // namespace tolvane
