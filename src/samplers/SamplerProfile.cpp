#include "samplers/SamplerProfile.h"

namespace tolvane {

std::array<std::uint8_t, SamplerProfile::kSize> SamplerProfile::toBytes() const {
    const auto o = static_cast<std::uint32_t>(offset);
    // Bytes 10 and 11 carry nothing and are written as 0.
    return {midiInput,
            midiOutput,
            adaptor,
            target,
            sysexId,
            channel,
            openLoop,
            scsiInUse,
            midiOutputInUse,
            protocol,
            0,
            0,
            static_cast<std::uint8_t>(o),
            static_cast<std::uint8_t>(o >> 8),
            static_cast<std::uint8_t>(o >> 16),
            static_cast<std::uint8_t>(o >> 24)};
}

std::optional<SamplerProfile> SamplerProfile::fromBytes(std::span<const std::uint8_t> b) {
    if (b.size() != kSize)
        return std::nullopt;
    SamplerProfile p;
    p.midiInput = b[0];
    p.midiOutput = b[1];
    p.adaptor = b[2];
    p.target = b[3];
    p.sysexId = b[4];
    p.channel = b[5];
    p.openLoop = b[6];
    p.scsiInUse = b[7];
    p.midiOutputInUse = b[8];
    p.protocol = b[9];
    p.offset = static_cast<std::int32_t>(std::uint32_t(b[12]) | std::uint32_t(b[13]) << 8 |
                                         std::uint32_t(b[14]) << 16 | std::uint32_t(b[15]) << 24);
    if (!p.valid())
        return std::nullopt;
    return p;
}

bool SamplerProfile::valid() const {
    constexpr std::uint8_t kTypes = 6;
    const auto between = [](int value, int low, int high) { return value >= low && value <= high; };
    return (target <= 7 || target == kNothingSelected) && between(sysexId, 1, 16) &&
           between(channel, 1, 16) && openLoop <= 1 && scsiInUse <= 1 && midiOutputInUse <= 1 &&
           protocol < kTypes && between(offset, kMinOffset, kMaxOffset);
}

std::uint8_t profileIndexByte(int index) {
    return index < 0 || index >= SamplerProfile::kNothingSelected
               ? SamplerProfile::kNothingSelected
               : static_cast<std::uint8_t>(index);
}

} // namespace tolvane
