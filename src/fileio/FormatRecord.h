#pragma once

#include <cstdint>

namespace tolvane {

inline constexpr std::uint16_t kFormatTagPcm = 1;

// The PCM format record both readers produce.
struct FormatRecord {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    friend bool operator==(const FormatRecord&, const FormatRecord&) = default;
};

} // namespace tolvane
