#include "slicing/SegmentRanges.h"

#include "slicing/PointEditing.h"

#include <algorithm>
#include <vector>

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

std::uint8_t channelOf(const SampleDocument& doc, std::uint8_t channelTag) {
    return isSplitStereo(doc) && channelTag == kChannelLeftSplit ? kChannelLeftSplit
                                                                 : kChannelMonoOrRight;
}

// The bounds of a channel's segments in ascending order: its first sample, its slice points
// strictly inside the data, its end. Segment n runs from bound n - 1 to bound n.
std::vector<std::int64_t> segmentBounds(const SampleDocument& doc, std::uint8_t channelTag) {
    const std::uint8_t channel = channelOf(doc, channelTag);
    const std::int64_t first = isSplitStereo(doc) && channel == kChannelMonoOrRight ? 2 : 0;
    const std::int64_t end = std::max<std::int64_t>(doc.DataLength - first, first);
    std::vector<std::int64_t> bounds{first};
    const int count = std::clamp(doc.SliceCount, 0, kMaxCandidates);
    for (int i = 1; i <= count; ++i) {
        const PointRecord& point = doc.SliceTable[i];
        if (isSplitStereo(doc) && point.Channel != channel)
            continue;
        const std::int64_t at = alignToChannel(doc, point.Position, channel);
        if (at > first && at < end)
            bounds.push_back(at);
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    bounds.push_back(end);
    return bounds;
}

std::optional<WriteRange> nonEmpty(const WriteRange& range) {
    if (range.byteCount == 0)
        return std::nullopt;
    return range;
}

} // namespace

std::optional<WriteRange> regionRange(const SampleDocument& doc) {
    const std::uint32_t dataEnd = static_cast<std::uint32_t>(std::max(doc.DataLength, 0));
    const std::uint32_t left = std::min(doc.LocatorL, dataEnd);
    const std::uint32_t right = std::min(doc.LocatorR, dataEnd);
    const std::uint32_t span = right > left ? right - left : 0;
    return nonEmpty(
        {left & ~3u, span & ~3u, doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel});
}

int segmentCount(const SampleDocument& doc, std::uint8_t channelTag) {
    return static_cast<int>(segmentBounds(doc, channelTag).size()) - 1;
}

std::optional<WriteRange> segmentRange(const SampleDocument& doc, int n, std::uint8_t channelTag) {
    const std::vector<std::int64_t> bounds = segmentBounds(doc, channelTag);
    if (n < 1 || n >= static_cast<int>(bounds.size()))
        return std::nullopt;
    return selectedSegmentRange(doc, static_cast<std::uint32_t>(bounds[n - 1]),
                                static_cast<std::uint32_t>(bounds[n]), channelTag);
}

std::optional<WriteRange> selectedSegmentRange(const SampleDocument& doc, std::uint32_t start,
                                               std::uint32_t end, std::uint8_t channelTag) {
    if (end <= start)
        return std::nullopt;
    if (!isSplitStereo(doc))
        return nonEmpty(
            {start, end - start, doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel});
    const std::uint8_t channel = channelOf(doc, channelTag);
    return nonEmpty(
        {alignToChannel(doc, start, channel), ((end - start) / 2) & ~3u, kWriteOneChannel});
}

std::optional<WriteRange> segmentRangeAt(const SampleDocument& doc, std::int64_t position,
                                         std::uint8_t channelTag) {
    const std::vector<std::int64_t> bounds = segmentBounds(doc, channelTag);
    // The last bound at or before the position starts the segment (the first one also for a
    // position before it); the last bound only ends one.
    const auto after = std::upper_bound(bounds.begin() + 1, bounds.end() - 1, position);
    const std::int64_t start = *(after - 1);
    const std::int64_t end = *after;
    const bool split = isSplitStereo(doc);
    return nonEmpty({static_cast<std::uint32_t>(start),
                     static_cast<std::uint32_t>((end - start) / (split ? 2 : 1)),
                     doc.Channels == 2 && !split ? kWriteBothChannels : kWriteOneChannel});
}

} // namespace tolvane
