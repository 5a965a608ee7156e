#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// One file of "Save Segments In Loop" (and of everything else that takes the segments between
// the locators one by one).
struct LoopSegment {
    int index = 0;            // 1, 2, ... within its channel
    std::uint32_t start = 0;  // byte offset of its first sample
    std::uint32_t byteCount = 0; // bytes of output data (one channel's bytes in split stereo)
    int channelMode = 1;      // 1: one channel, 3: both
    char suffix = 0;          // 'L' or 'R' in split stereo, none otherwise
};

// The segments between the locators for channel c (1 = left, 2 = right; a mono or merged
// document has only channel 1): from LocatorL to each slice point of the channel before
// LocatorR, and the last one up to 2 bytes before LocatorR.
std::vector<LoopSegment> loopSegments(const SampleDocument& doc, int c);

// Every channel of the channel choice in turn (split stereo), or the one list.
std::vector<LoopSegment> loopSegmentSeries(const SampleDocument& doc);

// "loop" + index with leading zeros up to the digits of SliceCount + 1 + suffix + extension.
std::string seriesFileName(const std::string& base, const LoopSegment& segment, int sliceCount,
                           const std::string& extension);

} // namespace tolvane
