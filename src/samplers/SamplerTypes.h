#pragma once

#include "samplers/SamplerProfile.h"
#include "samplers/TSamplerClass.h"

#include <array>
#include <optional>
#include <string>

namespace tolvane {

class MemoryStream;

// The three drivers; each sampler type is served by one of them.
enum class DriverKind { Sds, Smdi, Akai };

struct SamplerType {
    const char* text; // the entry of the "Protocol:" list
    DriverKind driver;
};

inline constexpr std::array<SamplerType, 6> kSamplerTypes = {{
    {"Generic MIDI SDS", DriverKind::Sds},
    {"Generic SCSI SMDI", DriverKind::Smdi},
    {"Yamaha A3000 SCSI (needs MIDI out)", DriverKind::Smdi},
    {"Yamaha EX SCSI (needs MIDI out)", DriverKind::Smdi},
    {"E-mu ESI and EOS (E4 / E64) SCSI", DriverKind::Smdi},
    {"Akai S2000 / S3000XL / S3200XL SCSI", DriverKind::Akai},
}};

// Which controls of the profile manager a sampler type uses.
struct ProtocolControls {
    bool midiInput = false; // with the channel
    bool midiOutput = false;
    bool scsi = false; // adaptor and device
    bool openLoopShown = false;
};
// By the type's text: SCSI types that need MIDI out use the output and the SCSI lists; other
// SCSI types only the SCSI lists; MIDI types the MIDI lists, the channel and "Open loop".
ProtocolControls controlsForSamplerType(const std::string& typeText);

// The driver table: one driver reference per sampler type.
class SamplerDriverTable {
public:
    SamplerDriverTable(TSamplerClass& sds, TSamplerClass& smdi, TSamplerClass& akai);
    // Nothing for a protocol index outside the table (a profile from elsewhere).
    TSamplerClass* driverFor(int protocol) const;

private:
    std::array<TSamplerClass*, kSamplerTypes.size()> m_drivers{};
};

// What a transfer window hands the chosen driver.
struct DriverConnections {
    StatusPanel* statusPanel = nullptr;
    MemoryStream* sampleStream = nullptr;
    TMidiInput* midiInput = nullptr;
    TMidiOutput* midiOutput = nullptr;
};

// The driver of a profile, set up in the documented order: the profile, the status panel, the
// sample stream, the MIDI ports. Nothing when the profile's protocol is not in the table.
TSamplerClass* chooseDriver(const SamplerDriverTable& table, const SamplerProfile& profile,
                            const DriverConnections& connections);

} // namespace tolvane
