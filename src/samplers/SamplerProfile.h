#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tolvane {

// One sampler connection as it is stored: 16 bytes in a fixed order.
struct SamplerProfile {
    static constexpr std::size_t kSize = 16;
    static constexpr std::uint8_t kNothingSelected = 255; // a list with no selection
    static constexpr std::int32_t kMinOffset = -1024;
    static constexpr std::int32_t kMaxOffset = 1024;

    std::uint8_t midiInput = 0;  // item index of the "MIDI Input:" list
    std::uint8_t midiOutput = 0; // item index of the "MIDI Output:" list
    std::uint8_t adaptor = 0;    // item index of the "SCSI  Adaptor:" list
    std::uint8_t target = 0;     // SCSI target ID (item index of the "SCSI Device:" list)
    std::uint8_t sysexId = 1;    // 1 to 16
    std::uint8_t channel = 1;    // MIDI channel 1 to 16
    std::uint8_t openLoop = 0;   // 0 or 1
    std::uint8_t scsiInUse = 0;  // the SCSI controls were enabled when it was stored
    std::uint8_t midiOutputInUse = 0;
    std::uint8_t protocol = 0; // index of the sampler type, 0 to 5
    std::int32_t offset = 0;   // added to sample numbers, -1024 to 1024

    std::array<std::uint8_t, kSize> toBytes() const;
    // Nothing unless exactly 16 bytes whose fields lie within their ranges (a damaged record).
    static std::optional<SamplerProfile> fromBytes(std::span<const std::uint8_t> bytes);
    // Every field within its range: a SCSI target 0 to 7 (or none), SysEx ID and channel 1 to
    // 16, the switches 0 or 1, a known sampler type, the offset -1024 to 1024.
    bool valid() const;
    bool operator==(const SamplerProfile&) const = default;
};

// A list index as a profile byte: -1 (nothing selected) and anything else out of range
// become 255.
std::uint8_t profileIndexByte(int index);

} // namespace tolvane
