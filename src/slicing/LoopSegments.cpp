#include "slicing/LoopSegments.h"

namespace tolvane {

std::vector<LoopSegment> loopSegments(const SampleDocument& doc, int c) {
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    const bool merged = doc.Channels == 2 && doc.MergeChannels;
    std::uint32_t locatorL = doc.LocatorL;
    std::uint32_t locatorR = doc.LocatorR;
    char suffix = 0;
    std::uint8_t tag = kChannelMonoOrRight;
    if (split) {
        const bool left = c == 1;
        suffix = left ? 'L' : 'R';
        tag = left ? kChannelLeftSplit : kChannelMonoOrRight;
        locatorL = (locatorL & ~3u) + (left ? 0 : 2);
        locatorR = (locatorR & ~3u) - (left ? 2 : 0);
    } else if (merged) {
        locatorL &= ~3u;
        locatorR &= ~3u;
    }
    // The channel's slice points, then its end.
    std::vector<std::uint32_t> points;
    for (int i = 1; i <= doc.SliceCount; ++i)
        if (!split || doc.SliceTable[i].Channel == tag)
            points.push_back(doc.SliceTable[i].Position);
    points.push_back(static_cast<std::uint32_t>(doc.DataLength) - (split && c == 1 ? 2 : 0));

    std::size_t j = 0;
    while (j + 1 < points.size() && points[j] <= locatorL)
        ++j;
    const std::uint32_t divisor = merged ? 1 : doc.Channels;
    const int mode = merged ? 3 : 1;
    std::vector<LoopSegment> segments;
    std::uint32_t cur = locatorL;
    int f = 1;
    for (; j < points.size() && points[j] < locatorR; ++j, ++f) {
        segments.push_back({f, cur, (points[j] - cur) / divisor, mode, suffix});
        cur = points[j];
    }
    const std::uint32_t end = locatorR >= 2 ? locatorR - 2 : 0;
    segments.push_back({f, cur, end > cur ? (end - cur) / divisor : 0, mode, suffix});
    return segments;
}

std::vector<LoopSegment> loopSegmentSeries(const SampleDocument& doc) {
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    if (!split)
        return loopSegments(doc, 1);
    std::vector<LoopSegment> all;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c) {
        const auto channel = loopSegments(doc, c);
        all.insert(all.end(), channel.begin(), channel.end());
    }
    return all;
}

std::string seriesFileName(const std::string& base, const LoopSegment& segment, int sliceCount,
                           const std::string& extension) {
    const std::size_t digits = std::to_string(sliceCount + 1).size();
    std::string number = std::to_string(segment.index);
    if (number.size() < digits)
        number.insert(0, digits - number.size(), '0');
    std::string name = base + number;
    if (segment.suffix)
        name += segment.suffix;
    return name + extension;
}

} // namespace tolvane
