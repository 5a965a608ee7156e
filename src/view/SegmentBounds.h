#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <optional>

namespace tolvane {

// One segment between two slice points of the same channel.
struct SegmentSpan {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    int number = 0; // index of the slice record that ends it (SliceCount + 1 for the last)
    std::uint8_t channel = 1; // 1: mono, merged, right; 2: left of split stereo
};

// The segment of a channel that contains `position`: from the last slice point at or before
// it to the next one. In split stereo only the channel's own points count, and its start and
// end entries lie on its own sample of the first and last frame.
std::optional<SegmentSpan> segmentAt(const SampleDocument& doc, std::int64_t position,
                                     std::uint8_t channel);

} // namespace tolvane
