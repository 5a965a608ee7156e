#include "export/TrackFile.h"

#include "export/NoteStream.h"
#include "slicing/LoopSegments.h"

#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

constexpr std::uint8_t kTrackVelocity = 0x4B;
constexpr std::size_t kNameField = 256;
constexpr std::size_t kCommentOffset = 1568;
constexpr std::size_t kSmoothingOffset = 1823;

void put32(std::span<std::uint8_t> record, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        record[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putText(std::span<std::uint8_t> record, std::size_t at, std::size_t field,
             const std::string& text) {
    const std::string kept = cutText(text, field - 1);
    std::memcpy(record.data() + at, kept.data(), kept.size());
    record[at + kept.size()] = 0;
}

} // namespace

std::vector<TrackSample> trackSamples(const SampleDocument& doc) {
    std::vector<TrackSample> samples;
    for (const LoopSegment& segment : loopSegments(doc, 1))
        samples.push_back({segment.start, segment.byteCount});
    return samples;
}

std::vector<std::uint8_t> trackNoteStream(const SampleDocument& doc, const KeymapSettings& keymap,
                                          int* notesLeftOut) {
    const std::vector<std::int64_t> starts = segmentStartTicks(doc, 1);
    std::vector<int> notes;
    for (std::size_t k = 0; k < starts.size(); ++k)
        notes.push_back(static_cast<int>(k) * (keymap.interval + 1));
    const bool reversed = keymap.reverseNotes && !keymap.baseNoteOnly;
    std::vector<std::uint8_t> stream;
    const int leftOut = appendNoteEvents(
        stream, segmentNoteEvents(starts, loopTicks(doc), notes, reversed), kTrackVelocity);
    if (notesLeftOut)
        *notesLeftOut = leftOut;
    return stream;
}

void fillTrackRecord(std::span<std::uint8_t> record, const SampleDocument& doc,
                     const KeymapSettings& keymap, const std::vector<TrackSample>& samples,
                     std::uint32_t noteStreamLength, const TrackAddresses& addresses) {
    const auto n =
        static_cast<std::uint32_t>(std::min<std::size_t>(samples.size(), kMaxTrackSamples));
    putText(record, 0, kNameField, keymap.bankName);
    std::memcpy(record.data() + 256, &doc.LoopTempo, sizeof(double));
    put32(record, 264, addresses.noteStream);
    put32(record, 268, noteStreamLength);
    put32(record, 272, 4u * doc.LoopBars + static_cast<std::uint32_t>(doc.LoopBeats));
    put32(record, 276, n);
    for (std::uint32_t k = 1; k <= n; ++k) {
        put32(record, 276 + 4 * k, samples[k - 1].length);
        put32(record, 788 + 4 * k, k - 1 < addresses.samples.size() ? addresses.samples[k - 1] : 0);
        record[1303 + k] = static_cast<std::uint8_t>(k - 1);
        record[1431 + k] = static_cast<std::uint8_t>(k - 1);
    }
    record[1560] = 0;
    record[1562] = 1;
    record[1563] = 0;
    putText(record, kCommentOffset, kSmoothingOffset - kCommentOffset,
            keymap.bankName + " - a loop sliced by WaveTolvane");
    record[kSmoothingOffset] = static_cast<std::uint8_t>(
        keymap.smoothEndPoints ? std::clamp(keymap.smoothLevel, 0, 60) : 0);
}

std::string trackRefusal(const SampleDocument& doc) {
    if (doc.Channels != 1)
        return kMsgTrackNeedsMono;
    if (loopSegments(doc, 1).size() > static_cast<std::size_t>(kMaxTrackSamples))
        return kMsgTrackTooManySamples;
    return {};
}

} // namespace tolvane
