#include "slicing/Randomise.h"

#include "slicing/LoopSegments.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// Bytes of the other channel's samples read along with a segment of split stereo at a time.
constexpr std::size_t kSplitReadBlock = 64 * 1024;

// Copies one segment from the region's copy to `to`: every byte in mono and merged stereo,
// straight into place; in split stereo the channel's own samples, one per frame, stepping over
// the other channel's, through a small block.
std::uint32_t placeSegment(SampleDocument& doc, const RegionCopyReader& original,
                           std::uint32_t regionStart, const LoopSegment& segment,
                           std::uint32_t to) {
    const std::uint64_t from = segment.start - regionStart;
    std::uint8_t* data = doc.SampleData.data();
    if (!isSplitStereo(doc)) {
        original(from, data + to, segment.byteCount);
        return to + segment.byteCount;
    }
    const std::uint32_t samples = segment.byteCount / 2;
    std::vector<std::uint8_t> block(
        std::min<std::size_t>(kSplitReadBlock, 4 * std::size_t{samples}));
    for (std::uint32_t done = 0; done < samples;) {
        const auto frames =
            static_cast<std::uint32_t>(std::min<std::size_t>(samples - done, block.size() / 4));
        // The last frame's other sample may lie past the region: read only up to this one.
        original(from + 4u * done, block.data(), 4 * std::size_t{frames} - 2);
        for (std::uint32_t i = 0; i < frames; ++i)
            std::memcpy(data + to + 4 * (done + i), block.data() + 4 * i, 2);
        done += frames;
    }
    return to + 4 * samples;
}

int shuffleChannel(SampleDocument& doc, int c, const RegionCopyReader& original,
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

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, std::uint64_t offset, std::uint8_t* to, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::pread(fd, to, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        offset += static_cast<std::uint64_t>(n);
        count -= static_cast<std::size_t>(n);
    }
    return true;
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

int shuffleLoopSegments(SampleDocument& doc, const RegionCopyReader& original,
                        ShuffleGenerator& generator) {
    const ShuffleRegion region = shuffleRegion(doc);
    if (!isSplitStereo(doc))
        return shuffleChannel(doc, 1, original, region.start, generator);
    int count = 0;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
        count += shuffleChannel(doc, c, original, region.start, generator);
    return count;
}

int shuffleLoopSegments(SampleDocument& doc, std::span<const std::uint8_t> original,
                        ShuffleGenerator& generator) {
    if (original.size() < shuffleRegion(doc).length)
        throw std::invalid_argument("the copy of the region is shorter than the region");
    return shuffleLoopSegments(
        doc,
        [original](std::uint64_t offset, std::uint8_t* to, std::size_t count) {
            std::memcpy(to, original.data() + offset, count);
        },
        generator);
}

int shuffleLoopSegments(SampleDocument& doc, ShuffleGenerator& generator) {
    const ShuffleRegion region = shuffleRegion(doc);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> scratch(std::tmpfile(), &std::fclose);
    const auto cannot = [] {
        return std::runtime_error(std::string(kMsgCannotRandomise) + " " + kMsgCannotRandomiseHint);
    };
    if (!scratch)
        throw cannot();
    const int fd = ::fileno(scratch.get());
    if (!writeAll(fd, doc.SampleData.data() + region.start, region.length))
        throw cannot();
    return shuffleLoopSegments(
        doc,
        [fd, &cannot](std::uint64_t offset, std::uint8_t* to, std::size_t count) {
            if (!readAll(fd, offset, to, count))
                throw cannot();
        },
        generator);
}

} // namespace tolvane
