#include "slicing/GridCut.h"
#include "slicing/LoopSegments.h"
#include "slicing/Randomise.h"
#include "slicing/SliceSelection.h"
#include "slicing/SliceTables.h"
#include "slicing/Tempo.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace tolvane {
namespace {

using test::documentWithSlices;

PointRecord slicePoint(std::uint32_t position, std::uint8_t channel = kChannelMonoOrRight) {
    return {position, 100, 1, 0, channel, 0};
}

// Fills the data with noise, so that every segment's bytes are unlike every other's.
void fillWithNoise(SampleDocument& doc, unsigned seed) {
    std::mt19937 noise(seed);
    for (std::int32_t i = 0; i < doc.DataLength; ++i)
        doc.SampleData.data()[i] = static_cast<std::uint8_t>(noise());
}

std::vector<std::uint8_t> bytesOf(const SampleDocument& doc) {
    return {doc.SampleData.data(), doc.SampleData.data() + doc.DataLength};
}

// The samples of one channel (every second 16-bit sample from `first`) of [from, to).
std::vector<std::uint8_t> channelBytes(const std::vector<std::uint8_t>& data, std::size_t from,
                                       std::size_t to, std::size_t step) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = from; i + 1 < to; i += step) {
        bytes.push_back(data[i]);
        bytes.push_back(data[i + 1]);
    }
    return bytes;
}

// Whether `after` is the segments of `before` (cut at `cuts`, in bytes of the channel's stream)
// laid one after another in some order, each used once.
bool isPermutationOfSegments(const std::vector<std::uint8_t>& before,
                             const std::vector<std::uint8_t>& after,
                             const std::vector<std::size_t>& cuts) {
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        pieces.emplace_back(before.begin() + from, before.begin() + cut);
        from = cut;
    }
    pieces.emplace_back(before.begin() + from, before.end());
    std::size_t at = 0;
    while (!pieces.empty()) {
        auto match = std::find_if(pieces.begin(), pieces.end(), [&](const auto& piece) {
            return at + piece.size() <= after.size() &&
                   std::equal(piece.begin(), piece.end(), after.begin() + at);
        });
        if (match == pieces.end())
            return false;
        at += match->size();
        pieces.erase(match);
    }
    return at == after.size();
}

TEST(Tempo, FromTheLocatorSpanBarsAndBeats) {
    SampleDocument doc = documentWithSlices(2, true, 2 * 44100 * 4, {});
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    setLoopLength(doc, 1, 0);
    EXPECT_EQ(tempoText(doc.LoopTempo), "120.00 BPM") << "two seconds of stereo as one bar";
    setLoopLength(doc, 2, 2);
    EXPECT_DOUBLE_EQ(doc.LoopTempo, 300.0) << "ten quarter notes in two seconds";
    doc.LocatorR = doc.LocatorR / 2;
    updateLoopTempo(doc);
    EXPECT_DOUBLE_EQ(doc.LoopTempo, 600.0) << "the locators give the span";

    doc.LocatorR = doc.LocatorL;
    updateLoopTempo(doc);
    EXPECT_EQ(tempoText(doc.LoopTempo), "0.00 BPM") << "an empty span has no tempo";

    setLoopLength(doc, -3, 40000);
    EXPECT_EQ(doc.LoopBars, 0);
    EXPECT_EQ(doc.LoopBeats, kMaxLoopBarsOrBeats);
    EXPECT_FALSE(loopLengthUnset(doc));
    setLoopLength(doc, 0, 0);
    EXPECT_TRUE(loopLengthUnset(doc));
}

TEST(GridCut, EighthsOfOneMonoBarDropTheFirstAndLastStep) {
    SampleDocument doc = documentWithSlices(1, false, 10000, {slicePoint(5000)});
    setLoopLength(doc, 1, 0);
    ASSERT_TRUE(cutToGrid(doc, GridNote::Eighths));
    // Step 0 would lie at 50 (not past 100), step 8 past the data's end.
    ASSERT_EQ(doc.CandidateCount, 7);
    for (int s = 1; s <= 7; ++s) {
        const PointRecord& point = doc.CandidateTable[s];
        EXPECT_EQ(point.Position, static_cast<std::uint32_t>(1250 * s + 50)) << "step " << s;
        EXPECT_EQ(point.Enabled, 1);
        EXPECT_EQ(point.Locked, 1);
        EXPECT_EQ(point.Channel, kChannelMonoOrRight);
        EXPECT_EQ(point.Strength, kGridPointStrength);
    }
    EXPECT_EQ(doc.candidateEndRecord().Position, 10000u);
    EXPECT_EQ(doc.candidateEndRecord().Enabled, 0);
    EXPECT_EQ(doc.SliceCount, 7) << "the slice table follows";
    EXPECT_EQ(doc.LocatorL, 0u);
    EXPECT_EQ(doc.LocatorR, 10000u);
}

TEST(GridCut, StepsRoundDownToWholeFramesAndFollowTheLocators) {
    SampleDocument doc = documentWithSlices(1, false, 100000, {});
    doc.LocatorL = 10000;
    doc.LocatorR = 10000 + 3 * 1001 * 2; // a span of 6006 bytes: 8ths of it are not whole
    setLoopLength(doc, 0, 3);            // three beats: six eighths
    ASSERT_TRUE(cutToGrid(doc, GridNote::Eighths));
    ASSERT_EQ(doc.CandidateCount, 7) << "both ends of the region lie inside the data";
    for (int s = 0; s <= 6; ++s)
        EXPECT_EQ(doc.CandidateTable[s + 1].Position, 10000u + 1001 * s - (1001 * s) % 2 + 50);
    EXPECT_EQ(doc.LocatorL, 10050u) << "snapped to the nearest grid point";
    EXPECT_EQ(doc.LocatorR, 16056u);
}

TEST(GridCut, StereoPointsLieOnTheirChannelsSamples) {
    SampleDocument merged = documentWithSlices(2, true, 40000, {});
    setLoopLength(merged, 1, 0);
    ASSERT_TRUE(cutToGrid(merged, GridNote::Sixteenths));
    ASSERT_EQ(merged.CandidateCount, 15) << "one grid for merged stereo";
    for (int i = 1; i <= merged.CandidateCount; ++i) {
        EXPECT_EQ(merged.CandidateTable[i].Position % 4, 0u);
        EXPECT_EQ(merged.CandidateTable[i].Channel, kChannelMonoOrRight);
    }
    EXPECT_EQ(merged.CandidateTable[1].Position, 2500u + 48) << "12 frames after the step";

    SampleDocument split = documentWithSlices(2, false, 40000, {});
    setLoopLength(split, 1, 0);
    ASSERT_TRUE(cutToGrid(split, GridNote::Sixteenths));
    ASSERT_EQ(split.CandidateCount, 30) << "a grid for each channel";
    for (int i = 1; i <= split.CandidateCount; i += 2) {
        const PointRecord& left = split.CandidateTable[i];
        const PointRecord& right = split.CandidateTable[i + 1];
        EXPECT_EQ(left.Channel, kChannelLeftSplit);
        EXPECT_EQ(right.Channel, kChannelMonoOrRight);
        EXPECT_EQ(left.Position % 4, 0u);
        EXPECT_EQ(right.Position, left.Position + 2);
    }

    split.FirstChannel = split.LastChannel = 2;
    ASSERT_TRUE(cutToGrid(split, GridNote::Sixteenths));
    ASSERT_EQ(split.CandidateCount, 15) << "only the chosen channel";
    EXPECT_EQ(split.CandidateTable[1].Channel, kChannelMonoOrRight);
}

TEST(GridCut, RefusesWithoutALengthOrWhenTheTableWouldOverflow) {
    SampleDocument doc = documentWithSlices(1, false, 2000000, {slicePoint(5000)});
    const auto table = doc.CandidateTable;
    setLoopLength(doc, 0, 0);
    EXPECT_FALSE(cutToGrid(doc, GridNote::Eighths));
    setLoopLength(doc, 300, 0); // 9600 thirty-seconds
    EXPECT_GT(gridPointCount(doc, GridNote::ThirtySeconds), kMaxCandidates);
    EXPECT_FALSE(cutToGrid(doc, GridNote::ThirtySeconds));
    setLoopLength(doc, kMaxLoopBarsOrBeats, kMaxLoopBarsOrBeats);
    EXPECT_FALSE(cutToGrid(doc, GridNote::ThirtySeconds));
    EXPECT_EQ(doc.CandidateCount, 1);
    EXPECT_EQ(doc.CandidateTable, table);
    setLoopLength(doc, 255, 3); // 8184 thirty-seconds: 8183 points once both ends are dropped
    EXPECT_TRUE(cutToGrid(doc, GridNote::ThirtySeconds));
    EXPECT_LE(doc.CandidateCount, kMaxCandidates);
}

TEST(Randomise, MonoAndMergedSegmentsArePermutedByteForByte) {
    for (const std::uint16_t channels : {1, 2}) {
        SampleDocument doc =
            documentWithSlices(channels, channels == 2, 48000,
                               {slicePoint(4000), slicePoint(9000), slicePoint(20004),
                                slicePoint(30000), slicePoint(41000)});
        fillWithNoise(doc, channels);
        doc.LocatorL = 4000;
        doc.LocatorR = 41000;
        const auto before = bytesOf(doc);
        ShuffleGenerator generator(7);
        EXPECT_EQ(shuffleLoopSegments(doc, generator), 4);
        const auto after = bytesOf(doc);
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + 4000, after.begin()));
        EXPECT_TRUE(std::equal(before.begin() + 41000, before.end(), after.begin() + 41000));
        EXPECT_TRUE(isPermutationOfSegments({before.begin() + 4000, before.begin() + 41000},
                                            {after.begin() + 4000, after.begin() + 41000},
                                            {5000, 16004, 26000}))
            << channels << " channels";
        EXPECT_NE(before, after) << "this seed does not happen to keep the order";
    }
}

TEST(Randomise, MergedStereoMovesWholeFramesUpToAnOddRightLocator) {
    SampleDocument doc = documentWithSlices(2, true, 40000, {slicePoint(10000), slicePoint(20000)});
    fillWithNoise(doc, 3);
    doc.LocatorR = 30002; // not on a frame: the region ends at the frame 30000
    const auto before = bytesOf(doc);
    ShuffleGenerator generator(1);
    shuffleLoopSegments(doc, generator);
    const auto after = bytesOf(doc);
    EXPECT_TRUE(isPermutationOfSegments({before.begin(), before.begin() + 30000},
                                        {after.begin(), after.begin() + 30000}, {10000, 20000}));
    EXPECT_TRUE(std::equal(before.begin() + 30000, before.end(), after.begin() + 30000));
}

TEST(Randomise, SplitStereoShufflesEachChosenChannelOnItsOwn) {
    SampleDocument doc =
        documentWithSlices(2, false, 40000,
                           {slicePoint(8000, kChannelLeftSplit), slicePoint(12002),
                            slicePoint(16000, kChannelLeftSplit), slicePoint(24002),
                            slicePoint(30000, kChannelLeftSplit)});
    fillWithNoise(doc, 5);
    doc.FirstChannel = doc.LastChannel = 1;
    const auto before = bytesOf(doc);
    ShuffleGenerator generator(11);
    EXPECT_EQ(shuffleLoopSegments(doc, generator), 4);
    const auto after = bytesOf(doc);
    EXPECT_EQ(channelBytes(after, 2, 40000, 4), channelBytes(before, 2, 40000, 4))
        << "every right-channel sample untouched";
    EXPECT_TRUE(isPermutationOfSegments(channelBytes(before, 0, 40000, 4),
                                        channelBytes(after, 0, 40000, 4), {4000, 8000, 15000}))
        << "the left channel's segments, down to its last sample";

    doc.FirstChannel = 1;
    doc.LastChannel = 2;
    const auto bothBefore = bytesOf(doc);
    EXPECT_EQ(shuffleLoopSegments(doc, generator), 7);
    const auto bothAfter = bytesOf(doc);
    EXPECT_TRUE(isPermutationOfSegments(channelBytes(bothBefore, 2, 40000, 4),
                                        channelBytes(bothAfter, 2, 40000, 4), {6000, 12000}));
}

TEST(Randomise, OneSegmentStaysAndASeedRepeats) {
    SampleDocument single = documentWithSlices(1, false, 20000, {});
    fillWithNoise(single, 9);
    const auto before = bytesOf(single);
    ShuffleGenerator generator(3);
    EXPECT_EQ(shuffleLoopSegments(single, generator), 1);
    EXPECT_EQ(bytesOf(single), before);

    std::vector<PointRecord> points;
    for (std::uint32_t p = 1000; p < 20000; p += 1000)
        points.push_back(slicePoint(p));
    SampleDocument a = documentWithSlices(1, false, 20000, points);
    fillWithNoise(a, 9);
    SampleDocument b = documentWithSlices(1, false, 20000, points);
    fillWithNoise(b, 9);
    ShuffleGenerator first(42), second(42);
    shuffleLoopSegments(a, first);
    shuffleLoopSegments(b, second);
    EXPECT_EQ(bytesOf(a), bytesOf(b));
    EXPECT_NE(bytesOf(a), before);
}

// Segments far longer than the blocks the split-stereo copy is read in: the copy kept in a
// scratch file gives the bytes of a copy in memory, in mono, merged and split stereo.
TEST(Randomise, TheScratchFileGivesWhatACopyInMemoryGives) {
    const std::int32_t length = 1600000;
    for (const auto& [channels, merged] : {std::pair{1, false}, {2, true}, {2, false}}) {
        std::vector<PointRecord> points;
        for (std::uint32_t p = 200000; p < 1600000; p += 300000) {
            if (!merged && channels == 2)
                points.push_back(slicePoint(p, kChannelLeftSplit));
            points.push_back(slicePoint(p + (!merged && channels == 2 ? 2 : 0)));
        }
        SampleDocument inFile =
            documentWithSlices(static_cast<std::uint16_t>(channels), merged, length, points);
        fillWithNoise(inFile, 13);
        inFile.LocatorL = 4000;
        inFile.LocatorR = 1500002;
        SampleDocument inMemory =
            documentWithSlices(static_cast<std::uint16_t>(channels), merged, length, points);
        fillWithNoise(inMemory, 13);
        inMemory.LocatorL = inFile.LocatorL;
        inMemory.LocatorR = inFile.LocatorR;
        const auto before = bytesOf(inMemory);
        const ShuffleRegion region = shuffleRegion(inMemory);
        const std::vector<std::uint8_t> copy(before.begin() + region.start,
                                             before.begin() + region.start + region.length);
        ShuffleGenerator first(5), second(5);
        const int shuffled = shuffleLoopSegments(inFile, first);
        EXPECT_EQ(shuffleLoopSegments(inMemory, copy, second), shuffled);
        EXPECT_EQ(bytesOf(inFile), bytesOf(inMemory)) << channels << " channels, merged " << merged;
        EXPECT_NE(bytesOf(inFile), before);
    }
}

} // namespace
} // namespace tolvane
