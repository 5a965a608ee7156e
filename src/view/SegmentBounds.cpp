#include "view/SegmentBounds.h"

namespace tolvane {
namespace {

bool splitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// Whether slice record i belongs to the channel's own list.
bool onChannel(const SampleDocument& doc, int i, std::uint8_t channel) {
    return !splitStereo(doc) || doc.SliceTable[i].Channel == channel;
}

std::uint32_t channelStart(const SampleDocument& doc, std::uint8_t channel) {
    return splitStereo(doc) ? 2u * (2u - channel) : 0u;
}

std::uint32_t channelEnd(const SampleDocument& doc, std::uint8_t channel) {
    return static_cast<std::uint32_t>(doc.DataLength) - channelStart(doc, channel);
}

} // namespace

std::optional<SegmentSpan> segmentAt(const SampleDocument& doc, std::int64_t position,
                                     std::uint8_t channel) {
    if (!doc.DocumentOpen)
        return std::nullopt;
    SegmentSpan span;
    span.channel = splitStereo(doc) ? channel : kChannelMonoOrRight;
    span.start = channelStart(doc, channel);
    span.end = channelEnd(doc, channel);
    span.number = 1;
    for (int i = 1; i <= doc.SliceCount; ++i) {
        if (!onChannel(doc, i, channel))
            continue;
        if (doc.SliceTable[i].Position <= position) {
            span.start = doc.SliceTable[i].Position;
            span.number = i + 1;
        } else {
            span.end = doc.SliceTable[i].Position;
            break;
        }
    }
    return span;
}

} // namespace tolvane
