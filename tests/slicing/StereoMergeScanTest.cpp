// The stereo merge on whole scans: long recordings, and the tables of ordinary loops.
#include "fileio/SampleFileReader.h"
#include "slicing/Signals.h"
#include "slicing/StereoCandidates.h"
#include "slicing/TransientScan.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace tolvane {
namespace {

double mergeGap(const SampleDocument& doc, int viewWidth) {
    return static_cast<double>(doc.DataLength) / viewWidth * doc.Channels;
}

// The scan of a stereo document with the channels still apart (the table the merge starts
// from).
SampleDocument scannedUnmerged(SampleDocument doc) {
    doc.MergeChannels = false;
    scanTransients(doc);
    return doc;
}

// What the merge kept while it compared each record with the record before it, kept or not,
// and whether the table had a record dropped right after a dropped one (a chain), the only
// case where that rule and the rule of the last kept record part ways.
struct EarlierMerge {
    std::vector<PointRecord> kept;
    bool hasChain = false;
};

EarlierMerge mergeComparingWithEveryRecord(const SampleDocument& doc, int viewWidth) {
    EarlierMerge result;
    std::int64_t previous = 0;
    bool previousDropped = false;
    for (int i = 1; i <= doc.CandidateCount + 1; ++i) {
        PointRecord rec = doc.CandidateTable[i];
        const bool keep = static_cast<double>(rec.Position - previous) > mergeGap(doc, viewWidth);
        if (keep) {
            rec.Channel = kChannelMonoOrRight;
            rec.Position &= ~3u;
            result.kept.push_back(rec);
        } else if (previousDropped) {
            result.hasChain = true;
        }
        previousDropped = !keep;
        previous = doc.CandidateTable[i].Position;
    }
    if (!result.kept.empty())
        result.kept.pop_back(); // the last one kept gives way to the end record
    return result;
}

// True when the merged table is what the earlier rule kept.
void expectTableKeptAsBefore(const SampleDocument& unmerged, int viewWidth,
                             const std::string& what) {
    const EarlierMerge before = mergeComparingWithEveryRecord(unmerged, viewWidth);
    ASSERT_FALSE(before.hasChain) << what << ": not a table this check is for";
    SampleDocument merged = unmerged;
    mergeStereoCandidates(merged, viewWidth);
    ASSERT_EQ(merged.CandidateCount, static_cast<int>(before.kept.size())) << what;
    for (int i = 1; i <= merged.CandidateCount; ++i)
        EXPECT_EQ(merged.CandidateTable[i], before.kept[i - 1]) << what << ", record " << i;
}

TEST(StereoMergeScan, TheDemoLoopKeepsTheTableItAlwaysHad) {
    SampleDocument doc;
    openSampleDocument(doc, TOLVANE_DEMO_LOOP);
    const SampleDocument unmerged = scannedUnmerged(doc);
    ASSERT_GT(unmerged.CandidateCount, 10);
    for (int width : {kDefaultWaveformWidth, 300, 1200})
        expectTableKeptAsBefore(unmerged, width, "demo loop, width " + std::to_string(width));
}

TEST(StereoMergeScan, LoopsWithoutChainsKeepTheTableTheyAlwaysHad) {
    int checked = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const auto samples = test::denseClicks(44100 * 3, 2, seed * 17, 4000 + 1500 * seed);
        const SampleDocument unmerged =
            scannedUnmerged(test::documentWithSamples(2, 44100, samples));
        for (int width : {kDefaultWaveformWidth, 100}) {
            if (mergeComparingWithEveryRecord(unmerged, width).hasChain)
                continue;
            expectTableKeptAsBefore(unmerged, width, "seed " + std::to_string(seed));
            ++checked;
        }
    }
    EXPECT_GE(checked, 6) << "too few generated loops without chains to say anything";
}

// Two minutes of hits every quarter second: the merge gap (DataLength / 636 pixels, about
// 0.38 s here) spans more than one hit, so every record lies within the gap of the record
// before it. Comparing with the last record kept keeps every second hit.
TEST(StereoMergeScan, ALongRecordingOfCloseHitsKeepsAHitPerGap) {
    constexpr int kRate = 44100;
    constexpr int kFrames = kRate * 120;
    constexpr int kHitSpacing = kRate / 4;
    std::vector<int> onsets;
    for (int onset = kHitSpacing; onset + kHitSpacing < kFrames; onset += kHitSpacing)
        onsets.push_back(onset);
    SampleDocument doc = test::documentWithSamples(2, kRate, test::hitsAt(kFrames, 2, onsets));
    const SampleDocument unmerged = scannedUnmerged(doc);
    ASSERT_GE(unmerged.CandidateCount, static_cast<int>(onsets.size()));

    scanTransients(doc);
    const double gap = mergeGap(doc, kDefaultWaveformWidth);
    ASSERT_GT(gap, 4.0 * kHitSpacing) << "the case needs hits closer than the gap";
    EXPECT_GE(doc.CandidateCount, static_cast<int>(onsets.size()) / 2 - 2);
    // Every candidate found lies within the gap after a point that was kept (up to the last
    // one kept, which gives way to the end record), and the points kept lie a gap apart.
    int kept = 0;
    std::uint32_t farthestFromAKeptPoint = 0;
    for (int i = 1; i <= unmerged.CandidateCount; ++i) {
        const std::uint32_t position = unmerged.CandidateTable[i].Position;
        if (position > doc.DataLength - 2 * gap)
            break;
        while (kept < doc.CandidateCount && doc.CandidateTable[kept + 1].Position <= position)
            ++kept;
        farthestFromAKeptPoint =
            std::max(farthestFromAKeptPoint, position - doc.CandidateTable[kept].Position);
    }
    EXPECT_LE(farthestFromAKeptPoint, gap + 3);
    std::uint32_t closestKept = doc.CandidateTable[1].Position;
    for (int i = 2; i <= doc.CandidateCount + 1; ++i)
        closestKept = std::min(closestKept,
                               doc.CandidateTable[i].Position - doc.CandidateTable[i - 1].Position);
    EXPECT_GT(closestKept, gap - 4);
}

} // namespace
} // namespace tolvane
