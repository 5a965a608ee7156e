#include "slicing/TransientScan.h"

#include "slicing/SampleAccess.h"
#include "slicing/Signals.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSamples;

// Mono samples: silence with the given values placed from `frame` on.
std::vector<std::int16_t> silenceWith(int frames, int frame,
                                      const std::vector<std::int16_t>& values) {
    std::vector<std::int16_t> samples(frames, 0);
    std::copy(values.begin(), values.end(), samples.begin() + frame);
    return samples;
}

TEST(PassWindows, ScaleWithTheSampleRate) {
    const PassWindows cd = passWindowsForRate(44100);
    EXPECT_EQ(cd.W2, 240);
    EXPECT_EQ(cd.W3, 192);
    EXPECT_EQ(cd.W5, 300);
    EXPECT_EQ(cd.S, 20);
    const PassWindows half = passWindowsForRate(22050);
    EXPECT_EQ(half.W2, 120);
    EXPECT_EQ(half.W3, 96);
    EXPECT_EQ(half.W5, 150);
    EXPECT_EQ(half.S, 10);
    const PassWindows dat = passWindowsForRate(48000);
    EXPECT_EQ(dat.W2, 261);
    EXPECT_EQ(dat.W3, 209);
    EXPECT_EQ(dat.W5, 327);
    EXPECT_EQ(dat.S, 22);
}

TEST(BlockScan, HitInBlockSevenIsFoundFiveFramesAfterTheBlock) {
    // Block 7 holds frames 1230 to 1434; the hit starts at frame 1300.
    SampleDocument doc = documentWithSamples(1, 44100, test::hitsAt(20000, 1, {1300}));
    blockScan(doc, DetectorParameters{});
    ASSERT_GE(doc.CandidateCount, 1);
    const PointRecord& hit = doc.CandidateTable[1];
    EXPECT_EQ(hit.Position, 1440u * 2);
    EXPECT_EQ(hit.Channel, 1);
    EXPECT_EQ(hit.Enabled, 1);
    EXPECT_EQ(hit.Locked, 0);
    EXPECT_GT(hit.Strength, 0);

    // The refinement moves it back onto the silence just before the attack.
    SampleDocument scanned = documentWithSamples(1, 44100, test::hitsAt(20000, 1, {1300}));
    scanTransients(scanned);
    ASSERT_GE(scanned.CandidateCount, 1);
    const std::uint32_t frame = scanned.CandidateTable[1].Position / 2;
    EXPECT_LE(frame, 1300u);
    EXPECT_GE(frame, 1300u - 240u);
    EXPECT_EQ(sampleAt(scanned, scanned.CandidateTable[1].Position), 0);
    EXPECT_FALSE(scanned.DetectPending);
}

TEST(BlockScan, HistoryHoldsDetectionOffRightAfterATransient) {
    // Two blocks after the first hit a second one goes unseen; forty blocks later it is found.
    SampleDocument close =
        documentWithSamples(1, 44100, test::hitsAt(30000, 1, {1300, 1300 + 2 * 205}));
    blockScan(close, DetectorParameters{});
    EXPECT_EQ(close.CandidateCount, 1);

    SampleDocument apart =
        documentWithSamples(1, 44100, test::hitsAt(30000, 1, {1300, 1300 + 40 * 205}));
    blockScan(apart, DetectorParameters{});
    ASSERT_EQ(apart.CandidateCount, 2);
    EXPECT_EQ(apart.CandidateTable[2].Position, (205u * 47 + 5) * 2);
}

TEST(BlockScan, PreEmphasisWrapsToSixteenBitsAndRoundsHalfToEven) {
    // Block 30 (frames 5945 to 6149) after a long silence: full-scale alternation. After the
    // first sample (y = 32767) the pre-emphasised values are 32767 + 0.63 * 32768 = 53411 and
    // its negative, which wrap to -12125 and 12125.
    std::vector<std::int16_t> alternating;
    for (int i = 0; i < 205; ++i)
        alternating.push_back(i % 2 == 0 ? 32767 : -32768);
    SampleDocument wrapped =
        documentWithSamples(1, 44100, silenceWith(8000, 29 * 205, alternating));
    blockScan(wrapped, DetectorParameters{});
    ASSERT_GE(wrapped.CandidateCount, 1);
    EXPECT_EQ(wrapped.CandidateTable[1].Position, (205u * 30 * 2 + 10));
    EXPECT_EQ(wrapped.CandidateTable[1].Strength, 32767 + 12125);

    // 50, then 1: y = 1 - 0.63 * 50 = -30.5 exactly, which rounds to -30 (half to even).
    SampleDocument half = documentWithSamples(1, 44100, silenceWith(8000, 29 * 205, {50, 1}));
    blockScan(half, DetectorParameters{});
    ASSERT_EQ(half.CandidateCount, 1);
    EXPECT_EQ(half.CandidateTable[1].Strength, 50 - (-30));
}

TEST(BlockScan, StereoChannelsHittingTogetherGiveTwoCandidatesMergedIntoOne) {
    const auto mono = test::hitsAt(30000, 1, {1300});
    std::vector<std::int16_t> stereo;
    for (std::int16_t s : mono) {
        stereo.push_back(s);
        stereo.push_back(s);
    }
    SampleDocument doc = documentWithSamples(2, 44100, stereo);
    blockScan(doc, DetectorParameters{});
    ASSERT_EQ(doc.CandidateCount, 2);
    // Channel pass 1 reads the right sample (code 1, +2), pass 2 the left one (code 2).
    EXPECT_EQ(doc.CandidateTable[1].Position, 1440u * 4 + 2);
    EXPECT_EQ(doc.CandidateTable[1].Channel, 1);
    EXPECT_EQ(doc.CandidateTable[2].Position, 1440u * 4);
    EXPECT_EQ(doc.CandidateTable[2].Channel, 2);

    SampleDocument scanned = documentWithSamples(2, 44100, stereo);
    const ScanReport report = scanTransients(scanned);
    EXPECT_TRUE(report.merged);
    ASSERT_EQ(scanned.CandidateCount, 1);
    EXPECT_EQ(scanned.CandidateTable[1].Position % 4, 0u);
    EXPECT_EQ(scanned.CandidateTable[1].Channel, 1);
    EXPECT_EQ(scanned.CandidateTable[2].Position, std::uint32_t(scanned.DataLength));
}

TEST(TransientScan, SampleShorterThanOneBlockHasOnlyStartAndEndRecords) {
    for (int channels : {1, 2}) {
        SampleDocument doc =
            documentWithSamples(channels, 44100, test::whiteNoise(50, channels, 3, 30000));
        ASSERT_LT(doc.DataLength, 205 * channels * 2);
        scanTransients(doc);
        EXPECT_EQ(doc.CandidateCount, 0);
        EXPECT_EQ(doc.CandidateTable[0].Position, 0u);
        EXPECT_EQ(doc.CandidateTable[1].Position, std::uint32_t(doc.DataLength));
    }
}

TEST(TransientScan, ScanRunsOnlyWhenPending) {
    SampleDocument doc = documentWithSamples(1, 44100, test::hitsAt(20000, 1, {1300}));
    doc.DetectPending = false;
    doc.KeepCandidates = true;
    doc.CandidateCount = 0;
    EXPECT_FALSE(scanTransients(doc).scanned);
    EXPECT_EQ(doc.CandidateCount, 0);
    EXPECT_FALSE(doc.KeepCandidates);
}

TEST(TransientScan, SingleCandidateStillRunsPassesThreeAndFour) {
    // Constant 20 * 256: every quiet pair measures |20| + |20|; without pass 3 the trace is 0.
    SampleDocument doc = documentWithSamples(1, 44100, std::vector<std::int16_t>(5000, 20 * 256));
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{4000, 0, 1, 0, 1, 0};
    const QuietPairTrace trace = refineAndSettle(doc, passWindowsForRate(44100));
    EXPECT_EQ(trace.level, 40);
    // The first pair measured (k = 96) is the quietest: offset 2 * (96 - 1).
    EXPECT_EQ(trace.offset, 190);
    EXPECT_EQ(doc.CandidateTable[1].Position, 4000u - 192 * 2 + 190 * 2);
}

TEST(TransientScan, LouderSignalBeforeThanAfterGivesANegativeStrength) {
    // Loud noise up to frame 3000, then a faint tail: a candidate at 3400 swings less after it.
    auto samples = test::whiteNoise(3000, 1, 8, 20000);
    const auto tail = test::whiteNoise(3000, 1, 9, 100);
    samples.insert(samples.end(), tail.begin(), tail.end());
    SampleDocument doc = documentWithSamples(1, 44100, samples);
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{3400 * 2, 0, 1, 0, 1, 0};
    closeCandidateTable(doc);
    measureSwingAfter(doc);
    const std::int32_t swingAfter = doc.CandidateTable[1].Strength;
    EXPECT_GT(swingAfter, 0);
    measureStrengths(doc);
    EXPECT_LT(doc.CandidateTable[1].Strength, 0);
    EXPECT_GT(doc.CandidateTable[1].Strength, -65535LL * 40000);
}

TEST(TransientScan, SettlingForwardOffTheEndStopsOnTheLastFrame) {
    // A falling ramp to the very end: every 4-frame peak is lower than the one before.
    std::vector<std::int16_t> ramp(1000);
    for (int i = 0; i < 1000; ++i)
        ramp[i] = static_cast<std::int16_t>(10000 - 10 * i);
    SampleDocument mono = documentWithSamples(1, 44100, ramp);
    mono.CandidateCount = 1;
    mono.CandidateTable[1] = PointRecord{800, 0, 1, 0, 1, 0};
    settleForward(mono, 1);
    EXPECT_EQ(mono.CandidateTable[1].Position, std::uint32_t(mono.DataLength - 2));

    std::vector<std::int16_t> stereoRamp;
    for (std::int16_t s : ramp) {
        stereoRamp.push_back(s);
        stereoRamp.push_back(s);
    }
    SampleDocument stereo = documentWithSamples(2, 44100, stereoRamp);
    stereo.CandidateCount = 2;
    stereo.CandidateTable[1] = PointRecord{1600, 0, 1, 0, 2, 0};
    stereo.CandidateTable[2] = PointRecord{1602, 0, 1, 0, 1, 0};
    settleForward(stereo, 1);
    settleForward(stereo, 2);
    EXPECT_EQ(stereo.CandidateTable[1].Position, std::uint32_t(stereo.DataLength - 4));
    EXPECT_EQ(stereo.CandidateTable[2].Position, std::uint32_t(stereo.DataLength - 2));
}

TEST(TransientScan, SettlingBackwardStopsAtTheStartOfTheData) {
    std::vector<std::int16_t> rising(1000);
    for (int i = 0; i < 1000; ++i)
        rising[i] = static_cast<std::int16_t>(100 + 10 * i);
    SampleDocument doc = documentWithSamples(1, 44100, rising);
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{600, 0, 1, 0, 1, 0};
    settleBackward(doc, 1);
    EXPECT_EQ(doc.CandidateTable[1].Position, 0u);
}

TEST(TransientScan, PositionsStayInsideTheData) {
    SampleDocument doc = documentWithSamples(2, 44100, std::vector<std::int16_t>(200, 0));
    EXPECT_EQ(placeWithinData(doc, -6), 0u);
    EXPECT_EQ(placeWithinData(doc, 396), 396u);
    EXPECT_EQ(placeWithinData(doc, 400), 396u);
    EXPECT_EQ(placeWithinData(doc, 1002), 398u);
}

} // namespace
} // namespace tolvane

namespace tolvane {
namespace {

// A short loud burst every 820 frames (four blocks, as close as pass 1 finds them all), on
// every channel: more hits than the table holds.
SampleDocument moreHitsThanTheTableHolds(int channels, int hits) {
    constexpr int kGap = 820;
    constexpr int kBurst = 400;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(1000 + hits * kGap) * channels);
    for (int h = 0; h < hits; ++h)
        for (int i = 0; i < kBurst; ++i)
            for (int c = 0; c < channels; ++c) {
                const int level = 20000 * (kBurst - i) / kBurst;
                samples[static_cast<std::size_t>(1000 + h * kGap + i) * channels + c] =
                    static_cast<std::int16_t>(i % 2 ? -level : level);
            }
    return documentWithSamples(channels, 44100, samples);
}

// The table's size is the point file's fixed layout; when a long recording fills it, the scan
// says how far it got instead of leaving the rest without points silently.
TEST(TransientScan, AFullTableSaysHowFarTheScanReached) {
    SampleDocument doc = moreHitsThanTheTableHolds(1, 8300);
    const ScanReport report = scanTransients(doc);
    ASSERT_EQ(report.found, kMaxCandidates);
    ASSERT_TRUE(report.tableFull);
    const std::uint32_t reached = report.tableFull->reachedBytes;
    EXPECT_GT(reached, 2u * (1000 + 8191 * 820)) << "after the hit that filled it";
    EXPECT_LT(reached, 2u * (1000 + 8192 * 820)) << "and before the next";
    // 8192 hits reach 2:32 of the 2:34 the recording lasts.
    EXPECT_EQ(scanLimitText(doc, report),
              "the table is full at 2:32 of 2:34; later hits were not scanned");

    SampleDocument shorter = moreHitsThanTheTableHolds(1, 100);
    const ScanReport complete = scanTransients(shorter);
    EXPECT_FALSE(complete.tableFull);
    EXPECT_EQ(scanLimitText(shorter, complete), "");
}

TEST(TransientScan, AStereoTableFullOnTheRightChannelLeavesTheLeftUnscanned) {
    SampleDocument doc = moreHitsThanTheTableHolds(2, 8300);
    doc.MergeChannels = false;
    const ScanReport report = scanTransients(doc);
    ASSERT_TRUE(report.tableFull);
    EXPECT_EQ(report.tableFull->channelPass, 1);
    EXPECT_EQ(scanLimitText(doc, report),
              "the table is full at 2:32 of 2:34 of the right channel; its later hits and the "
              "left channel were not scanned");
}

} // namespace
} // namespace tolvane
