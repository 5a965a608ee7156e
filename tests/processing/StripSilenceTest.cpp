#include "processing/StripSilence.h"

#include "processing/ProcessedSamples.h"
#include "processing/ProcessingDocuments.h"
#include "slicing/PointEditing.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentOfSamples;
using test::samplesOf;

// Mono pieces: `count` samples of `level` each, in order.
std::vector<std::int16_t> pieces(const std::vector<std::pair<int, int>>& counts) {
    std::vector<std::int16_t> samples;
    for (const auto& [count, level] : counts)
        samples.insert(samples.end(), static_cast<std::size_t>(count),
                       static_cast<std::int16_t>(level));
    return samples;
}

// Each sample doubled into a frame (L, R) = (s, -s).
std::vector<std::int16_t> stereo(const std::vector<std::int16_t>& mono) {
    std::vector<std::int16_t> frames;
    for (const std::int16_t s : mono) {
        frames.push_back(s);
        frames.push_back(static_cast<std::int16_t>(-s));
    }
    return frames;
}

StripSilenceOptions options(int threshold, int gap, StripPoints points = StripPoints::AtJoins) {
    StripSilenceOptions o;
    o.threshold = threshold;
    o.gap = gap;
    o.points = points;
    return o;
}

TEST(FindSilences, TheFirstNeedsFiftyQuietFramesPerChannelLaterOnesTheGap) {
    // 49 quiet frames are not enough, 50 are; later silences need the gap (here 100).
    const auto mono = pieces({{10, 900},
                              {49, 0},
                              {10, 900},
                              {50, 0},
                              {9000, 900},
                              {99, 0},
                              {9000, 900},
                              {100, 0},
                              {5, 900}});
    SampleDocument doc = documentOfSamples(1, false, mono);
    EXPECT_EQ(findSilences(doc, 1, 100),
              (std::vector<SilenceSpan>{{2 * 69, 2 * 119}, {2 * 18218, 2 * 18318}}));
    // Stereo counts the minimum once per channel: the first silence needs 100 quiet frames, so
    // the runs of 50 and 99 are none, and the run of 100 is the first.
    SampleDocument frames = documentOfSamples(2, true, stereo(mono));
    EXPECT_EQ(findSilences(frames, 1, 10), (std::vector<SilenceSpan>{{4 * 18218, 4 * 18318}}));
}

TEST(FindSilences, AFrameAtTheThresholdBreaksARunButNotARunningSilence) {
    // Level 5 with threshold 5: not quiet while the run is short, quiet once it is a silence.
    const auto samples = pieces(
        {{10, 900}, {30, 0}, {1, 5}, {30, 0}, {10, 900}, {60, 0}, {1, 5}, {20, 0}, {10, 900}});
    SampleDocument doc = documentOfSamples(1, false, samples);
    EXPECT_EQ(findSilences(doc, 5, 10000), (std::vector<SilenceSpan>{{2 * 81, 2 * 162}}));
}

TEST(FindSilences, OnlyTheFirstSilenceOfAChunkIsFoundAndATrailingRunOfAnyLength) {
    // Chunks of 8192 frames: after the silence ending at frame 200 the rest of the first chunk
    // is not searched (the quiet frames 300 to 499 stay); the quiet run from 8100 counts from
    // 8192 on; the three quiet frames at the end are a silence.
    const auto samples = pieces(
        {{100, 900}, {100, 0}, {100, 900}, {200, 0}, {7600, 900}, {392, 0}, {8000, 900}, {3, 0}});
    SampleDocument doc = documentOfSamples(1, false, samples);
    EXPECT_EQ(findSilences(doc, 1, 150),
              (std::vector<SilenceSpan>{{200, 400}, {2 * 8192, 2 * 8492}, {2 * 16492, 2 * 16495}}));
}

TEST(StripSilence, JoinsGetLockedPointsOnTheirFrameAndTheLocatorsSpanTheData) {
    const auto mono = pieces({{60, 0}, {300, 900}, {8000, 900}, {200, 0}, {8000, 700}, {7, 0}});
    SampleDocument doc = documentOfSamples(1, false, mono);
    doc.Threshold = 100;
    UndoRecord undo;
    StripSilenceOptions o = options(1, 100);
    o.addAtCurrentLength = true;
    const StripSilenceReport report = stripSilence(doc, undo, o);
    EXPECT_EQ(report.silences.size(), 3u) << "leading, middle and trailing";
    EXPECT_EQ(doc.DataLength, 2 * 16300);
    EXPECT_EQ(report.removedBytes, 2u * 267);
    EXPECT_EQ(samplesOf(doc), pieces({{8300, 900}, {8000, 700}}));
    // One join: after the first kept piece (8300 samples, byte 16600, on a 4-byte frame).
    ASSERT_EQ(doc.CandidateCount, 1) << "no point at the start nor at the new end";
    EXPECT_EQ(doc.CandidateTable[1], (PointRecord{16600, 110, 1, 1, 1, 0}));
    EXPECT_EQ(doc.candidateEndRecord().Position, 32600u);
    EXPECT_EQ(doc.LocatorL, 0u);
    EXPECT_EQ(doc.LocatorR, 32600u);
    EXPECT_TRUE(doc.DetectPending && doc.KeepCandidates) << "Smooth refines the join points";
    EXPECT_EQ(undo.UndoKind, kUndoReplaceSample);
}

TEST(StripSilence, SplitStereoGetsAPointPerChannelAtEachJoin) {
    const auto mono = pieces({{9000, 900}, {300, 0}, {9000, 600}});
    for (const bool merged : {true, false}) {
        SampleDocument doc = documentOfSamples(2, merged, stereo(mono));
        StripSilenceOptions o = options(1, 100);
        o.smooth = false;
        UndoRecord undo;
        stripSilence(doc, undo, o);
        EXPECT_EQ(doc.DataLength, 4 * 18000);
        EXPECT_FALSE(doc.DetectPending) << "without Smooth the joins stay as they are";
        if (merged) {
            ASSERT_EQ(doc.CandidateCount, 1);
            EXPECT_EQ(doc.CandidateTable[1].Position, 36000u);
            EXPECT_EQ(doc.CandidateTable[1].Channel, 1);
        } else {
            ASSERT_EQ(doc.CandidateCount, 2);
            EXPECT_EQ(doc.CandidateTable[1], (PointRecord{36000, kAddedPointStrength, 1, 1, 2, 0}));
            EXPECT_EQ(doc.CandidateTable[2], (PointRecord{36002, kAddedPointStrength, 1, 1, 1, 0}));
        }
    }
}

TEST(StripSilence, KeepOldMovesKeptPointsLeftAndDropsThoseInsideASilence) {
    const auto mono = pieces({{9000, 900}, {300, 0}, {9000, 600}});
    const std::vector<PointRecord> points{{1000, 50, 1, 0, 1, 0},
                                          {18100, 50, 1, 1, 1, 0},  // inside the silence
                                          {18600, 50, 1, 0, 1, 0},  // its end: kept audio
                                          {20000, 50, 0, 1, 1, 0}}; // locked, disabled
    SampleDocument doc = documentOfSamples(1, false, mono, points);
    UndoRecord undo;
    stripSilence(doc, undo, options(1, 100, StripPoints::KeepOld));
    ASSERT_EQ(doc.CandidateCount, 3);
    EXPECT_EQ(doc.CandidateTable[1], points[0]);
    EXPECT_EQ(doc.CandidateTable[2].Position, 18000u);
    EXPECT_EQ(doc.CandidateTable[3], (PointRecord{19400, 50, 0, 1, 1, 0}));
    EXPECT_FALSE(doc.DetectPending);

    SampleDocument recut = documentOfSamples(1, false, mono, points);
    stripSilence(recut, undo, options(1, 100, StripPoints::Recut));
    EXPECT_EQ(recut.CandidateCount, 0);
    EXPECT_TRUE(recut.DetectPending);
    EXPECT_FALSE(recut.KeepCandidates);
}

TEST(StripSilence, UndoGivesBackEveryByteAndPointInEachChannelMode) {
    const auto mono = pieces({{9000, 900}, {300, 0}, {9000, 600}, {40, 0}});
    const std::vector<PointRecord> points{{1000, 50, 1, 0, 1, 0}, {20000, 50, 1, 0, 1, 0}};
    SampleDocument doc = documentOfSamples(1, false, mono, points);
    test::expectUndoAndRedo(doc, [](SampleDocument& d, UndoRecord& u) {
        stripSilence(d, u, options(1, 100, StripPoints::KeepOld));
    });
    for (const bool merged : {true, false}) {
        SampleDocument frames = documentOfSamples(2, merged, stereo(mono), points);
        test::expectUndoAndRedo(
            frames, [](SampleDocument& d, UndoRecord& u) { stripSilence(d, u, options(1, 100)); });
    }
}

TEST(StripSilence, WithoutSilenceTheDataStaysAndAllSilenceIsRefused) {
    SampleDocument loud = documentOfSamples(1, false, pieces({{9000, 900}, {40, 0}, {10, 900}}));
    loud.LocatorL = 100;
    loud.LocatorR = 200;
    UndoRecord undo;
    const StripSilenceReport report = stripSilence(loud, undo, options(1, 100));
    EXPECT_TRUE(report.silences.empty());
    EXPECT_EQ(loud.DataLength, 2 * 9050);
    EXPECT_EQ(loud.LocatorL, 0u) << "the locators span the whole sample anyway";
    EXPECT_EQ(loud.LocatorR, 2u * 9050);

    SampleDocument quiet = documentOfSamples(2, true, stereo(pieces({{100, 3}, {9000, 4}})));
    UndoRecord untouched;
    EXPECT_THROW(stripSilence(quiet, untouched, options(4, 100)), ProcessingRefused);
    EXPECT_EQ(quiet.DataLength, 4 * 9100);
    EXPECT_FALSE(untouched.available) << "nothing recorded";
    // One frame at the threshold inside the first 100 (the first silence's run) keeps it.
    SampleDocument nearly =
        documentOfSamples(2, true, stereo(pieces({{50, 3}, {1, 4}, {9000, 3}})));
    EXPECT_NO_THROW(stripSilence(nearly, untouched, options(4, 100)));
    EXPECT_THROW(stripSilence(nearly, untouched, options(0, 100)), std::invalid_argument);
}

} // namespace
} // namespace tolvane
