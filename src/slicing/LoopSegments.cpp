#include "slicing/LoopSegments.h"

#include "slicing/PointEditing.h"

#include <algorithm>
#include <cctype>

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// The slice points of one channel (every point unless split), on the channel's samples.
std::vector<std::int64_t> channelPoints(const SampleDocument& doc, std::uint8_t tag) {
    std::vector<std::int64_t> points;
    const int count = std::clamp(doc.SliceCount, 0, kMaxCandidates);
    for (int i = 1; i <= count; ++i) {
        const PointRecord& point = doc.SliceTable[i];
        if (!isSplitStereo(doc) || point.Channel == tag)
            points.push_back(alignToChannel(doc, point.Position, tag));
    }
    return points;
}

int digitsOf(std::size_t number) {
    return static_cast<int>(std::to_string(number).size());
}

std::string numberedName(const std::string& base, int index, int digits, char suffix,
                         const std::string& extension) {
    std::string number = std::to_string(index);
    if (number.size() < static_cast<std::size_t>(digits))
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    std::string name = base + number;
    if (suffix)
        name += suffix;
    return name + extension;
}

} // namespace

std::vector<LoopSegment> loopSegments(const SampleDocument& doc, int c, LoopEnd end) {
    const bool split = isSplitStereo(doc);
    const bool left = split && c == 1;
    const std::uint8_t tag = left ? kChannelLeftSplit : kChannelMonoOrRight;
    const std::int64_t frame = doc.Channels == 2 ? 4 : 2;
    const std::int64_t dataEnd = std::max(doc.DataLength, 0);
    const std::int64_t from = alignToChannel(doc, doc.LocatorL, tag);
    // Slice points end files up to the frame of LocatorR; the last file ends on the
    // channel's sample of the frame before it, so that every file holds whole frames.
    const std::int64_t rightFrame = std::min<std::int64_t>(doc.LocatorR, dataEnd) & ~(frame - 1);
    const std::int64_t lastFrame = end == LoopEnd::RightLocator ? rightFrame : rightFrame - frame;
    const std::int64_t lastEnd = lastFrame + (split && !left ? 2 : 0);

    std::vector<std::int64_t> points = channelPoints(doc, tag);
    const std::size_t channelSliceCount = points.size();
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    std::erase_if(points, [&](std::int64_t p) { return p <= from || p >= rightFrame; });
    points.push_back(lastEnd);

    LoopSegment segment;
    segment.channelMode = doc.Channels == 2 && !split ? kWriteBothChannels : kWriteOneChannel;
    segment.sourceLayout = split ? 2 : 1;
    segment.suffix = split ? (left ? 'L' : 'R') : 0;
    segment.digits = digitsOf(channelSliceCount + 1);
    const std::int64_t divisor = split ? 2 : 1;
    std::vector<LoopSegment> segments;
    std::int64_t cur = from;
    for (const std::int64_t point : points) {
        if (point <= cur)
            continue;
        ++segment.index;
        segment.start = static_cast<std::uint32_t>(cur);
        segment.byteCount = static_cast<std::uint32_t>((point - cur) / divisor);
        segments.push_back(segment);
        cur = point;
    }
    return segments;
}

std::vector<LoopSegment> loopSegmentSeries(const SampleDocument& doc) {
    if (!isSplitStereo(doc))
        return loopSegments(doc, 1);
    std::vector<LoopSegment> all;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c) {
        const auto channel = loopSegments(doc, c);
        all.insert(all.end(), channel.begin(), channel.end());
    }
    return all;
}

LoopSegment channelOfStereoSegment(const LoopSegment& stereo, int c) {
    LoopSegment channel = stereo;
    channel.start = stereo.start + (c == 2 ? 2 : 0);
    channel.byteCount = stereo.byteCount / 2;
    channel.channelMode = kWriteOneChannel;
    channel.sourceLayout = 2;
    channel.suffix = c == 2 ? 'R' : 'L';
    return channel;
}

std::optional<SeriesName> splitSeriesName(const std::string& chosen) {
    const std::size_t dot = chosen.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    std::string extension = chosen.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (extension != "wav" && extension != "aif" && extension != "aiff")
        return std::nullopt;
    return SeriesName{chosen.substr(0, dot), chosen.substr(dot)};
}

std::string seriesFileName(const SeriesName& name, const LoopSegment& segment) {
    return numberedName(name.base, segment.index, segment.digits, segment.suffix, name.extension);
}

} // namespace tolvane
