#include "processing/SegmentOperations.h"

#include "processing/ProcessedSamples.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tolvane {
namespace {

constexpr int kFadeFrames = 250;

// What an operation on a segment moves or clears: samples (mono, one channel of split stereo)
// or whole frames (merged stereo), as byte positions.
struct SegmentUnits {
    std::uint32_t first = 0;  // byte offset of the first unit
    std::uint32_t count = 0;  // units in the segment
    std::uint32_t stride = 2; // bytes from one unit to the next
    std::uint32_t width = 2;  // bytes of one unit

    std::uint32_t at(std::uint32_t i) const { return first + i * stride; }
    std::uint32_t endByte() const { return count == 0 ? first : at(count - 1) + width; }
};

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

SegmentUnits segmentUnits(const SampleDocument& doc, std::uint32_t start, std::uint32_t end,
                          std::uint8_t channelTag) {
    end = std::min(end, static_cast<std::uint32_t>(std::max(doc.DataLength, 0)));
    SegmentUnits units;
    if (isSplitStereo(doc)) {
        // The channel's own samples, whichever sample of its frame the start names: the right
        // channel's first segment starts at the start record (0) but at its sample 2.
        units.first = (start & ~3u) + (channelTag == kChannelLeftSplit ? 0u : 2u);
        units.stride = 4;
        units.count = end > units.first ? (end - units.first + 3) / 4 : 0;
    } else if (doc.Channels == 2) {
        units.first = start & ~3u;
        units.stride = units.width = 4;
        end &= ~3u;
        units.count = end > units.first ? (end - units.first) / 4 : 0;
    } else {
        units.first = start & ~1u;
        end &= ~1u;
        units.count = end > units.first ? (end - units.first) / 2 : 0;
    }
    return units;
}

void swapBytes(std::uint8_t* a, std::uint8_t* b, std::uint32_t width) {
    std::uint8_t held[4];
    std::memcpy(held, a, width);
    std::memcpy(a, b, width);
    std::memcpy(b, held, width);
}

// round(value * numerator / denominator), halves to the even neighbour.
int scaleRounded(int value, int numerator, int denominator) {
    const int product = value * numerator;
    int quotient = product / denominator;
    const int twiceRemainder = 2 * std::abs(product % denominator);
    if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0))
        quotient += product < 0 ? -1 : 1;
    return quotient;
}

// The 250 frames before the segment's frame fall linearly to 0: the samples of the segment's
// channel in split stereo, every sample otherwise.
void fadeOutBefore(SampleDocument& doc, std::uint32_t frameStart, const SegmentUnits& units) {
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(doc.frameBytes());
    const std::uint32_t fadeStart = frameStart - kFadeFrames * frameBytes;
    const bool oneChannel = isSplitStereo(doc);
    const std::uint32_t channelOffset = units.first - frameStart;
    std::uint8_t* data = doc.SampleData.data();
    for (int i = 0; i < kFadeFrames; ++i) {
        const std::uint32_t frame = fadeStart + static_cast<std::uint32_t>(i) * frameBytes;
        for (std::uint32_t at = 0; at < frameBytes; at += 2) {
            if (oneChannel && at != channelOffset)
                continue;
            std::uint8_t* p = data + frame + at;
            storeSample(p, scaleRounded(loadSample(p), kFadeFrames - 1 - i, kFadeFrames - 1));
        }
    }
}

} // namespace

void reverseSegment(SampleDocument& doc, UndoRecord& undo, std::uint32_t start, std::uint32_t end,
                    std::uint8_t channelTag) {
    const SegmentUnits units = segmentUnits(doc, start, end, channelTag);
    if (units.count == 0)
        return;
    recordRange(undo, doc, static_cast<std::int32_t>(units.first),
                static_cast<std::int32_t>(units.endByte() - units.first), kUndoReverseSegment);
    std::uint8_t* data = doc.SampleData.data();
    for (std::uint32_t i = 0, j = units.count - 1; i < j; ++i, --j)
        swapBytes(data + units.at(i), data + units.at(j), units.width);
}

void silenceSegment(SampleDocument& doc, UndoRecord& undo, std::uint32_t start, std::uint32_t end,
                    std::uint8_t channelTag) {
    const SegmentUnits units = segmentUnits(doc, start, end, channelTag);
    if (units.count == 0)
        return;
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(doc.frameBytes());
    const std::uint32_t frameStart = units.first - units.first % frameBytes;
    const bool fades = frameStart >= kFadeFrames * frameBytes;
    const std::uint32_t rangeStart = fades ? frameStart - kFadeFrames * frameBytes : units.first;
    recordRange(undo, doc, static_cast<std::int32_t>(rangeStart),
                static_cast<std::int32_t>(units.endByte() - rangeStart), kUndoSilenceSegment);
    if (fades)
        fadeOutBefore(doc, frameStart, units);
    std::uint8_t* data = doc.SampleData.data();
    for (std::uint32_t i = 0; i < units.count; ++i)
        std::memset(data + units.at(i), 0, units.width);
}

} // namespace tolvane
