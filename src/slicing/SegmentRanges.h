#pragma once

#include "document/SampleDocument.h"
#include "slicing/ChannelMode.h"

#include <cstdint>
#include <optional>

namespace tolvane {

// What the sample writer is given for one file: the first byte, the bytes of output data and
// the channel mode (kWriteOneChannel or kWriteBothChannels).
struct WriteRange {
    std::uint32_t start = 0;
    std::uint32_t byteCount = 0;
    int channelMode = kWriteOneChannel;
};

// "Save Region Defined In Loop": from LocatorL rounded down to a multiple of 4, the bytes
// LocatorR - LocatorL rounded down to a multiple of 4, both channels of a stereo document
// (LocatorR counts at most up to DataLength). Nothing when no such byte lies between them.
std::optional<WriteRange> regionRange(const SampleDocument& doc);

// The segments of a channel are the spans between its slice points, from its sample of the
// first frame (0, or 2 for the right channel of split stereo) to DataLength less that much.
// Channel tags: 2 for the left channel of split stereo, 1 for the right one; mono and merged
// stereo have the one list of every slice point, whatever the tag. Points are taken on the
// channel's samples and in ascending order, so no segment runs backwards.

// How many segments the channel has: its slice points + 1.
int segmentCount(const SampleDocument& doc, std::uint8_t channelTag);

// "Save Selected Segment" of segment n (1 to segmentCount) of a channel; nothing when there is
// no such segment or it holds no byte to write.
std::optional<WriteRange> segmentRange(const SampleDocument& doc, int n, std::uint8_t channelTag);

// "Save Selected Segment" for a segment given by its bounds (as the view keeps the selection):
// mono and merged stereo write [start, end) as it is (merged: both channels); split stereo
// writes the channel's samples from start's frame, ((end - start) / 2) rounded down to a
// multiple of 4 bytes. Nothing when that holds no byte.
std::optional<WriteRange> selectedSegmentRange(const SampleDocument& doc, std::uint32_t start,
                                               std::uint32_t end, std::uint8_t channelTag);

// "Save Segment" for the segment of a channel under a byte position (from the last of its
// bounds at or before the position to the next): split stereo writes the channel's samples of
// the span, (end - start) / 2 bytes; mono and merged the span as it is. Nothing when the
// segment is empty.
std::optional<WriteRange> segmentRangeAt(const SampleDocument& doc, std::int64_t position,
                                         std::uint8_t channelTag);

} // namespace tolvane
