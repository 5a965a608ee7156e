#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <span>

namespace tolvane {

// A whole sample that takes the place of the document's ("Paste All"): its 16-bit bytes (whole
// frames) and format.
struct ReplacementSample {
    std::span<const std::uint8_t> data;
    std::uint16_t channels = 1;
    std::uint32_t rate = 44100;
};

// Puts the sample in place of the document's data, keeping the points that still fall inside
// it: the right locator moves to the new end (the left one at most there), the candidate table
// is cut back to the data. The channel mode changes only with the channel count (stereo comes
// in merged, with both channels chosen; mono has one channel), and kept points are then moved
// onto the new format's frames. Returns whether the channel count changed.
bool replaceSampleKeepingPoints(SampleDocument& doc, const ReplacementSample& sample);

} // namespace tolvane
