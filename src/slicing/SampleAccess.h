#pragma once

#include "document/SampleDocument.h"

#include <cstdint>

namespace tolvane {

// The 16-bit sample at a byte offset of SampleData. Windows of the scan reach before the data
// and past its end; there the signal is silence.
inline int sampleAt(const SampleDocument& doc, std::int64_t byteOffset) {
    if (byteOffset < 0 || byteOffset + 1 >= static_cast<std::int64_t>(doc.SampleData.size()))
        return 0;
    const std::uint8_t* p = doc.SampleData.data() + byteOffset;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

// Where a candidate moved to `position` ends up: never before the data (0), and never at or
// past its end (the last frame, on the same sample of the frame).
inline std::uint32_t placeWithinData(const SampleDocument& doc, std::int64_t position) {
    if (position < 0)
        return 0;
    if (position < doc.DataLength)
        return static_cast<std::uint32_t>(position);
    std::int64_t last = doc.DataLength - doc.frameBytes();
    if (doc.Channels == 2 && (position & 3) == 2)
        last += 2; // a right-channel position stays on the right sample
    return static_cast<std::uint32_t>(last < 0 ? 0 : last);
}

} // namespace tolvane
