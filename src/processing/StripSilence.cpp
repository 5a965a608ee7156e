#include "processing/StripSilence.h"

#include "processing/ProcessedSamples.h"
#include "slicing/PointEditing.h"
#include "slicing/SampleAccess.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tolvane {
namespace {

constexpr std::int64_t kChunkFrames = 8192;
constexpr std::int64_t kFirstSilenceFrames = 50;

// The level of each frame: |s|, or trunc((|L| + |R|) / 2), in 32 bits (-32768 has level 32768).
class FrameLevels {
public:
    explicit FrameLevels(const SampleDocument& doc)
        : m_data(doc.SampleData.data()), m_stereo(doc.Channels == 2) {}

    int operator()(std::int64_t frame) const {
        if (!m_stereo)
            return std::abs(loadSample(m_data + 2 * frame));
        const std::uint8_t* p = m_data + 4 * frame;
        return (std::abs(loadSample(p)) + std::abs(loadSample(p + 2))) / 2;
    }

private:
    const std::uint8_t* m_data;
    bool m_stereo;
};

// The search for silences, frame by frame. It tells its listener each silence it finds
// (`silence(startFrame, endFrame)`) and, after each chunk, up to which frame the audio outside
// the silences found is settled (`settledUpTo(frame)`): everything before a quiet run that may
// still become a silence.
template <typename Listener>
void searchSilences(const SampleDocument& doc, int threshold, int gap, Listener& listener) {
    const FrameLevels level(doc);
    const std::int64_t channels = doc.Channels;
    const std::int64_t frames = doc.DataLength / doc.frameBytes();
    std::int64_t minimum = kFirstSilenceFrames;
    std::int64_t run = 0; // quiet frames in a row
    std::int64_t runStart = 0;
    bool silent = false; // the run has reached its minimum: a silence is running
    for (std::int64_t chunk = 0; chunk < frames; chunk += kChunkFrames) {
        const std::int64_t chunkEnd = std::min(chunk + kChunkFrames, frames);
        std::int64_t f = chunk;
        if (!silent) {
            const std::int64_t target = minimum * channels;
            for (; f < chunkEnd && run < target; ++f) {
                if (level(f) >= threshold) {
                    run = 0;
                } else {
                    if (run == 0)
                        runStart = f;
                    ++run;
                }
            }
            silent = run == target;
        }
        if (silent) {
            // A running silence is ended only by a frame above the threshold.
            while (f < chunkEnd && level(f) <= threshold)
                ++f;
            if (f < chunkEnd) {
                listener.silence(runStart, f);
                minimum = gap;
                run = 0;
                silent = false;
                listener.settledUpTo(chunkEnd); // the rest of this chunk is not searched
                continue;
            }
        }
        listener.settledUpTo(run > 0 ? runStart : chunkEnd);
    }
    if (run > 0)
        listener.silence(runStart, frames);
    listener.settledUpTo(frames);
}

// Collects the silences, in bytes.
struct SilenceList {
    std::int64_t frameBytes;
    std::vector<SilenceSpan> silences;

    void silence(std::int64_t start, std::int64_t end) {
        silences.push_back({static_cast<std::uint32_t>(start * frameBytes),
                            static_cast<std::uint32_t>(end * frameBytes)});
    }
    void settledUpTo(std::int64_t) {}
};

// Moves the kept audio to the front while the search goes on, so that each byte is read once
// for the search and moved while it is still in the cache.
struct Compactor : SilenceList {
    std::uint8_t* data;
    std::int64_t keptFrom = 0; // the first frame of kept audio not yet moved
    std::int64_t written = 0;  // frames of kept audio moved so far

    explicit Compactor(SampleDocument& doc)
        : SilenceList{doc.frameBytes(), {}}, data(doc.SampleData.data()) {}

    void settledUpTo(std::int64_t frame) {
        if (frame <= keptFrom)
            return;
        if (written != keptFrom)
            std::memmove(data + written * frameBytes, data + keptFrom * frameBytes,
                         static_cast<std::size_t>((frame - keptFrom) * frameBytes));
        written += frame - keptFrom;
        keptFrom = frame;
    }
    void silence(std::int64_t start, std::int64_t end) {
        settledUpTo(start);
        SilenceList::silence(start, end);
        keptFrom = end;
    }
};

// Whether the search would find one silence over the whole data: quiet (below the threshold)
// for the first silence's minimum run, and at most the threshold after it. Stops at the first
// frame that says otherwise, which for real audio is near the start.
bool isAllSilence(const SampleDocument& doc, int threshold) {
    const FrameLevels level(doc);
    const std::int64_t frames = doc.DataLength / doc.frameBytes();
    const std::int64_t firstRun = kFirstSilenceFrames * doc.Channels;
    for (std::int64_t f = 0; f < frames; ++f)
        if (f < firstRun ? level(f) >= threshold : level(f) > threshold)
            return false;
    return true;
}

void checkOptions(const StripSilenceOptions& options) {
    if (options.threshold < kStripThresholdMin || options.threshold > kStripThresholdMax)
        throw std::invalid_argument("the strip threshold is 1 to 61");
    if (options.gap < kStripGapMin || options.gap > kStripGapMax)
        throw std::invalid_argument("the strip gap is 10 to 15000 frames");
}

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// Appends a candidate; false when the table is full.
bool appendCandidate(SampleDocument& doc, const PointRecord& point) {
    if (doc.CandidateCount >= kMaxCandidates)
        return false;
    doc.CandidateTable[++doc.CandidateCount] = point;
    return true;
}

// A locked point per channel entry at every join that audio follows: where each kept piece
// that a removed silence follows ends in the new data.
bool setPointsAtJoins(SampleDocument& doc, const std::vector<SilenceSpan>& silences,
                      const StripSilenceOptions& options) {
    const std::int32_t strength =
        options.addAtCurrentLength ? doc.Threshold + 10 : kAddedPointStrength;
    const int entries = isSplitStereo(doc) ? 2 : 1;
    std::uint32_t kept = 0; // bytes of the new data before the join
    std::uint32_t previousEnd = 0;
    for (const SilenceSpan& silence : silences) {
        kept += silence.start - previousEnd;
        previousEnd = silence.end;
        // No point at the start (nothing was kept before a leading silence) or at the new end
        // (nothing follows a trailing one): a point there would bound an empty segment.
        if (kept == 0 || kept >= static_cast<std::uint32_t>(doc.DataLength))
            continue;
        for (int k = 1; k <= entries; ++k) {
            const std::uint8_t channel =
                entries == 1 ? kChannelMonoOrRight : static_cast<std::uint8_t>(3 - k);
            const PointRecord point{(kept / 4) * 4 + 2u * static_cast<std::uint32_t>(k - 1),
                                    strength,
                                    1,
                                    1,
                                    channel,
                                    0};
            if (!appendCandidate(doc, point))
                return false;
        }
    }
    return true;
}

// The old slice points in kept audio, each moved left by the silences before it (that length
// rounded down to 4 bytes); those inside a silence go.
void keepOldPoints(SampleDocument& doc, const std::vector<PointRecord>& oldPoints,
                   const std::vector<SilenceSpan>& silences) {
    std::vector<std::uint32_t> removedBefore{0}; // bytes of silences 0 .. i - 1
    for (const SilenceSpan& silence : silences)
        removedBefore.push_back(removedBefore.back() + (silence.end - silence.start));
    for (PointRecord point : oldPoints) {
        // The first silence that ends after the point.
        const auto after = std::upper_bound(
            silences.begin(), silences.end(), point.Position,
            [](std::uint32_t position, const SilenceSpan& s) { return position < s.end; });
        if (after != silences.end() && after->start <= point.Position)
            continue; // inside a removed silence
        const std::uint32_t removed =
            removedBefore[static_cast<std::size_t>(after - silences.begin())];
        point.Position = placeWithinData(doc, std::int64_t{point.Position} - (removed & ~3u));
        appendCandidate(doc, point);
    }
}

} // namespace

std::vector<SilenceSpan> findSilences(const SampleDocument& doc, int threshold, int gap) {
    SilenceList list{doc.frameBytes(), {}};
    searchSilences(doc, threshold, gap, list);
    return list.silences;
}

StripSilenceReport stripSilence(SampleDocument& doc, UndoRecord& undo,
                                const StripSilenceOptions& options) {
    checkOptions(options);
    if (doc.DataLength <= 0 || isAllSilence(doc, options.threshold))
        throw ProcessingRefused(kMsgNothingWouldRemain);
    // The old slice points, before the table is rebuilt.
    const std::vector<PointRecord> oldPoints(doc.SliceTable.begin() + 1,
                                             doc.SliceTable.begin() + 1 +
                                                 std::clamp(doc.SliceCount, 0, kMaxCandidates));
    recordWholeSample(undo, doc, kUndoReplaceSample);

    Compactor compactor(doc);
    searchSilences(doc, options.threshold, options.gap, compactor);
    StripSilenceReport report;
    report.silences = std::move(compactor.silences);
    const auto length = static_cast<std::size_t>(compactor.written * compactor.frameBytes);
    report.removedBytes =
        static_cast<std::uint32_t>(doc.DataLength) - static_cast<std::uint32_t>(length);
    doc.LocatorL = 0;
    if (report.silences.empty()) {
        doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
        return report;
    }
    std::memset(doc.SampleData.data() + length, 0, kSpareBytes);
    doc.SampleData.setSize(length + kSpareBytes);
    doc.DataLength = static_cast<std::int32_t>(length);
    doc.LocatorR = static_cast<std::uint32_t>(length);
    doc.SelectedSegment = 1;

    doc.CandidateCount = 0;
    switch (options.points) {
    case StripPoints::AtJoins:
        report.tableFull = !setPointsAtJoins(doc, report.silences, options);
        if (options.smooth) {
            doc.DetectPending = true;
            doc.KeepCandidates = true;
        }
        break;
    case StripPoints::KeepOld:
        keepOldPoints(doc, oldPoints, report.silences);
        break;
    case StripPoints::Recut:
        doc.DetectPending = true;
        doc.KeepCandidates = false;
        break;
    }
    closeCandidateTable(doc);
    doc.CandidateTable[0].Enabled = 1;
    rebuildSliceTable(doc);
    return report;
}

} // namespace tolvane
