#include "audition/AuditionKeys.h"

#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

std::vector<int> auditionChannels(const SampleDocument& doc) {
    if (!isSplitStereo(doc))
        return {1};
    std::vector<int> channels;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
        channels.push_back(c);
    return channels;
}

// The frames a segment covers and the outputs it feeds.
AuditionPart partOf(const SampleDocument& doc, const LoopSegment& segment, int channel,
                    std::uint32_t throughFrame) {
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(doc.frameBytes());
    const bool oneChannelOfStereo = segment.sourceLayout == 2;
    const std::uint32_t frames =
        oneChannelOfStereo ? segment.byteCount / 2 : segment.byteCount / frameBytes;
    AuditionPart part;
    part.startFrame = segment.start / frameBytes;
    part.endFrame =
        throughFrame != 0 ? std::max(throughFrame, part.startFrame) : part.startFrame + frames;
    part.channelMask = oneChannelOfStereo ? static_cast<std::uint8_t>(channel == 2 ? 2 : 1) : 3;
    return part;
}

} // namespace

int segmentOnKey(const KeymapSettings& keymap, int count, int note) {
    for (int k = 0; k < count; ++k) {
        const KeyRange keys = keyForSample(keymap, k);
        if (keys.key > 127 && keys.low > 127)
            break;
        if (note >= keys.low && note <= keys.high)
            return k;
    }
    return -1;
}

std::vector<KeySegment> segmentsOnKey(const SampleDocument& doc, const KeymapSettings& keymap,
                                      int note) {
    std::vector<KeySegment> found;
    if (!doc.DocumentOpen || doc.Channels < 1 || doc.Channels > 2)
        return found;
    for (const int c : auditionChannels(doc)) {
        const std::vector<LoopSegment> segments = loopSegments(doc, c);
        const int k = segmentOnKey(keymap, static_cast<int>(segments.size()), note);
        if (k >= 0)
            found.push_back({c, k, segments[static_cast<std::size_t>(k)]});
    }
    return found;
}

std::unique_ptr<AuditionProgram>
makeAuditionProgram(const SampleDocument& doc, const KeymapSettings& keymap, bool playThrough) {
    auto program = std::make_unique<AuditionProgram>();
    if (!doc.DocumentOpen || doc.Channels < 1 || doc.Channels > 2 || doc.DataLength <= 0)
        return program;
    program->channels = doc.Channels;
    const std::size_t frameBytes = static_cast<std::size_t>(doc.frameBytes());
    const std::size_t bytes =
        std::min<std::size_t>(static_cast<std::size_t>(doc.DataLength), doc.SampleData.size()) /
        frameBytes * frameBytes;
    program->samples.resize(bytes / 2);
    std::memcpy(program->samples.data(), doc.SampleData.data(), bytes);

    const std::uint32_t rightFrame =
        static_cast<std::uint32_t>(std::min<std::size_t>(doc.LocatorR, bytes) / frameBytes);
    for (const int c : auditionChannels(doc)) {
        const std::vector<LoopSegment> segments = loopSegments(doc, c);
        for (int note = 0; note < kAuditionKeys; ++note) {
            const int k = segmentOnKey(keymap, static_cast<int>(segments.size()), note);
            if (k < 0)
                continue;
            AuditionKey& key = program->keys[static_cast<std::size_t>(note)];
            key.parts[static_cast<std::size_t>(key.partCount++)] =
                partOf(doc, segments[static_cast<std::size_t>(k)], c, playThrough ? rightFrame : 0);
        }
    }
    return program;
}

} // namespace tolvane
