#include "slicing/Randomise.h"

#include "slicing/LoopSegments.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// Copies one segment from the region's copy to `to`: every byte in mono and merged stereo;
// in split stereo the channel's own samples, one per frame, stepping over the other channel's.
std::uint32_t placeSegment(SampleDocument& doc, std::span<const std::uint8_t> original,
                           std::uint32_t regionStart, const LoopSegment& segment,
                           std::uint32_t to) {
    const std::size_t from = segment.start - regionStart;
    std::uint8_t* data = doc.SampleData.data();
    if (!isSplitStereo(doc)) {
        std::memcpy(data + to, original.data() + from, segment.byteCount);
        return to + segment.byteCount;
    }
    const std::uint32_t samples = segment.byteCount / 2;
    for (std::uint32_t i = 0; i < samples; ++i)
        std::memcpy(data + to + 4 * i, original.data() + from + 4 * i, 2);
    return to + 4 * samples;
}

int shuffleChannel(SampleDocument& doc, int c, std::span<const std::uint8_t> original,
                   std::uint32_t regionStart, ShuffleGenerator& generator) {
    std::vector<LoopSegment> left = loopSegments(doc, c, LoopEnd::RightLocator);
    const int count = static_cast<int>(left.size());
    if (left.empty())
        return 0;
    std::uint32_t to = left.front().start;
    while (!left.empty()) {
        std::uniform_int_distribution<std::size_t> pick(0, left.size() - 1);
        const std::size_t chosen = pick(generator);
        to = placeSegment(doc, original, regionStart, left[chosen], to);
        left[chosen] = left.back();
        left.pop_back();
    }
    return count;
}

} // namespace

ShuffleGenerator shuffleGeneratorFromSystem() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return ShuffleGenerator(seed);
}

ShuffleRegion shuffleRegion(const SampleDocument& doc) {
    const std::uint32_t end = std::min<std::uint32_t>(doc.LocatorR, std::max(doc.DataLength, 0));
    const std::uint32_t start = std::min(doc.LocatorL & ~3u, end);
    return {start, end - start};
}

int shuffleLoopSegments(SampleDocument& doc, std::span<const std::uint8_t> original,
                        ShuffleGenerator& generator) {
    const ShuffleRegion region = shuffleRegion(doc);
    if (original.size() < region.length)
        throw std::invalid_argument("the copy of the region is shorter than the region");
    if (!isSplitStereo(doc))
        return shuffleChannel(doc, 1, original, region.start, generator);
    int count = 0;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
        count += shuffleChannel(doc, c, original, region.start, generator);
    return count;
}

int shuffleLoopSegments(SampleDocument& doc, ShuffleGenerator& generator) {
    const ShuffleRegion region = shuffleRegion(doc);
    const std::uint8_t* first = doc.SampleData.data() + region.start;
    const std::vector<std::uint8_t> original(first, first + region.length);
    return shuffleLoopSegments(doc, original, generator);
}

} // namespace tolvane
