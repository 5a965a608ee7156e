#pragma once

#include "document/SampleDocument.h"
#include "slicing/ChannelMode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// One file of "Save Segments In Loop" (and of everything else that takes the segments between
// the locators one by one).
struct LoopSegment {
    int index = 0;               // 1, 2, ... within its channel
    std::uint32_t start = 0;     // byte offset of its first sample
    std::uint32_t byteCount = 0; // bytes of output data (one channel's bytes in split stereo)
    int channelMode = kWriteOneChannel;
    int sourceLayout = 1; // 2: one channel of stereo, every second sample from `start`
    char suffix = 0;      // 'L' or 'R' in split stereo, none otherwise
    int digits = 1;       // digits of the index in the file name: those of the channel's slice
                          // count + 1
};

// Where the last segment of the region ends.
enum class LoopEnd {
    FrameBeforeRightLocator, // a series of files: the frame at LocatorR is left out
    RightLocator,            // the region's every frame: a shuffle moves them all
};

// The segments between the locators for channel c (1 = left, 2 = right; a mono or merged
// document has only channel 1): from LocatorL to each slice point of the channel before
// LocatorR, and the last one up to the channel's sample one whole frame before LocatorR.
// Positions are taken on the channel's samples and in ascending order, so no segment runs
// backwards; empty segments (two points at one place, a point on that last frame) are left
// out, so a series may be empty. With LoopEnd::RightLocator the last one ends at the frame of
// LocatorR instead.
std::vector<LoopSegment> loopSegments(const SampleDocument& doc, int c,
                                      LoopEnd end = LoopEnd::FrameBeforeRightLocator);

// Every channel of the channel choice in turn (split stereo), or the one list.
std::vector<LoopSegment> loopSegmentSeries(const SampleDocument& doc);

// Channel c (1 = left, 2 = right) of a segment of merged stereo: the same frames, one channel,
// named with the channel's suffix as a segment of split stereo is.
LoopSegment channelOfStereoSegment(const LoopSegment& stereo, int c);

// The name chosen for a series, split where the index goes.
struct SeriesName {
    std::string base;      // everything before the extension: "/out/loop"
    std::string extension; // with its dot, as typed: ".wav", ".AIF", ".aiff"
};

// Splits a chosen name at its last '.' when what follows is wav, aif or aiff in any case;
// nothing for any other name (or a name that is only an extension).
std::optional<SeriesName> splitSeriesName(const std::string& chosen);

// base + index with leading zeros up to the segment's digits + suffix + extension.
std::string seriesFileName(const SeriesName& name, const LoopSegment& segment);

} // namespace tolvane
