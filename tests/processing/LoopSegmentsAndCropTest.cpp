#include "processing/Crop.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/SliceSelection.h"
#include "slicing/SliceTables.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;

TEST(LoopSegments, WithoutSlicePointsOneFileTwoBytesShort) {
    const SampleDocument doc = documentWithSlices(1, false, 10000, {});
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0].index, 1);
    EXPECT_EQ(series[0].start, 0u);
    EXPECT_EQ(series[0].byteCount, 9998u) << "the last file is 2 bytes shorter than its span";
    EXPECT_EQ(seriesFileName(SeriesName{"loop", ".wav"}, series[0]), "loop1.wav");
}

TEST(LoopSegments, IndicesHaveTheDigitsOfTheSliceCountPlusOne) {
    std::vector<PointRecord> points;
    for (int i = 1; i <= 9; ++i)
        points.push_back({std::uint32_t(i * 1000), 10, 1, 0, 1, 0});
    SampleDocument doc = documentWithSlices(1, false, 10000, points);
    doc.LocatorL = 2000;
    doc.LocatorR = 5000;
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 3u);
    EXPECT_EQ(series[0].start, 2000u);
    EXPECT_EQ(series[0].byteCount, 1000u);
    EXPECT_EQ(series[2].start, 4000u);
    EXPECT_EQ(series[2].byteCount, 998u);
    EXPECT_EQ(seriesFileName(SeriesName{"loop", ".wav"}, series[0]), "loop01.wav");
}

TEST(LoopSegments, SplitStereoWritesAnLAndAnRSeriesEachFromOne) {
    SampleDocument doc = documentWithSlices(
        2, false, 40000,
        {{8000, 10, 1, 0, 2, 0}, {12002, 10, 1, 0, 1, 0}, {20000, 10, 1, 0, 2, 0}});
    doc.FirstChannel = 1;
    doc.LastChannel = 2;
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 5u);
    EXPECT_EQ(series[0].suffix, 'L');
    EXPECT_EQ(series[0].index, 1);
    EXPECT_EQ(series[0].byteCount, 4000u) << "one channel's bytes";
    EXPECT_EQ(series[0].channelMode, 1);
    EXPECT_EQ(series[3].suffix, 'R');
    EXPECT_EQ(series[3].index, 1);
    EXPECT_EQ(series[3].start, 2u);
    EXPECT_EQ(seriesFileName(SeriesName{"loop", ".aif"}, series[3]), "loop1R.aif");
}

TEST(LoopSegments, TheLastFileEndsOneWholeFrameBeforeTheRightLocator) {
    SampleDocument merged = documentWithSlices(2, true, 40000, {{20000, 10, 1, 0, 1, 0}});
    auto series = loopSegmentSeries(merged);
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[1].start, 20000u);
    EXPECT_EQ(series[1].byteCount, 19996u) << "a whole stereo frame short of LocatorR";
    merged.LocatorR = 39999;
    EXPECT_EQ(loopSegmentSeries(merged)[1].byteCount, 19992u) << "on the frame of LocatorR";

    // Split stereo: each channel's last file ends on its own sample of the frame before.
    const SampleDocument split = documentWithSlices(2, false, 40000, {});
    series = loopSegmentSeries(split);
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[0].start, 0u);
    EXPECT_EQ(series[0].byteCount, 19998u);
    EXPECT_EQ(series[1].start, 2u);
    EXPECT_EQ(series[1].byteCount, 19998u);
}

// The smoothed tail of the last merged file reads frames backwards: on a half frame it would
// put right samples where left ones belong.
TEST(LoopSegments, TheSmoothedLastFileOfAMergedSeriesKeepsItsChannelsApart) {
    std::vector<std::int16_t> samples;
    for (int frame = 0; frame < 5000; ++frame) {
        samples.push_back(static_cast<std::int16_t>(1000 + frame % 700));  // left: positive
        samples.push_back(static_cast<std::int16_t>(-1000 - frame % 500)); // right: negative
    }
    test::Bytes bytes = test::pcm16(samples);
    SampleDocument doc = documentWithSlices(2, true, static_cast<std::int32_t>(bytes.size()), {});
    std::copy(bytes.begin(), bytes.end(), doc.SampleData.data());
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0].byteCount % 4, 0u);

    test::TempDir dir;
    const std::string path = dir.file("last.wav");
    WriteSampleFile(doc, path, series[0].start, series[0].byteCount, series[0].channelMode, 30);
    const test::Bytes file = test::readBytes(path);
    EXPECT_EQ(test::getLe32(file, 40) % 4, 0u) << "whole frames in the data chunk";
    for (std::size_t at = 44; at + 3 < file.size(); at += 4) {
        const auto leftSample = static_cast<std::int16_t>(file[at] | file[at + 1] << 8);
        const auto rightSample = static_cast<std::int16_t>(file[at + 2] | file[at + 3] << 8);
        ASSERT_GE(leftSample, 0) << "byte " << at;
        ASSERT_LE(rightSample, 0) << "byte " << at;
    }
}

TEST(LoopSegments, UnsortedOrRepeatedSlicePointsNeverMakeABackwardOrEmptySegment) {
    // A slice table in any order, as an unsorted point file leaves it, with a point twice.
    const SampleDocument doc = documentWithSlices(1, false, 10000,
                                                  {{5000, 10, 1, 0, 1, 0},
                                                   {1000, 10, 1, 0, 1, 0},
                                                   {3000, 10, 1, 0, 1, 0},
                                                   {3000, 10, 1, 0, 1, 0}});
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 4u);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {0, 1000}, {1000, 2000}, {3000, 2000}, {5000, 4998}};
    for (std::size_t i = 0; i < series.size(); ++i) {
        EXPECT_EQ(series[i].index, static_cast<int>(i) + 1);
        EXPECT_EQ(series[i].start, expected[i].first) << i;
        EXPECT_EQ(series[i].byteCount, expected[i].second) << i;
    }
}

TEST(LoopSegments, TinyOrEmptyRangesGiveNoFileRatherThanAWrappedOne) {
    for (const bool merged : {true, false}) {
        SampleDocument doc = documentWithSlices(2, merged, 40000, {{8000, 10, 1, 0, 2, 0}});
        for (const std::uint32_t right : {0u, 2u, 4u}) {
            doc.LocatorR = right;
            EXPECT_TRUE(loopSegmentSeries(doc).empty()) << "LocatorR " << right;
        }
        doc.LocatorL = 20000;
        doc.LocatorR = 10000; // reversed
        EXPECT_TRUE(loopSegmentSeries(doc).empty());
        doc.LocatorL = 0;
        doc.LocatorR = 12;
        for (const LoopSegment& segment : loopSegmentSeries(doc))
            EXPECT_LE(segment.byteCount, 8u);
        EXPECT_TRUE(loopSegmentSeries(documentWithSlices(2, merged, 0, {})).empty()) << "no data";
    }
    // Mono locators on odd bytes still give whole samples.
    SampleDocument mono = documentWithSlices(1, false, 10000, {{4000, 10, 1, 0, 1, 0}});
    mono.LocatorL = 1001;
    mono.LocatorR = 9001;
    const auto series = loopSegmentSeries(mono);
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[0].start, 1000u);
    EXPECT_EQ(series[0].byteCount, 3000u);
    EXPECT_EQ(series[1].byteCount, 4998u);
}

TEST(SeriesName, TheExtensionIsEverythingAfterTheLastDotWhenItIsASampleFileOne) {
    const auto aiff = splitSeriesName("/out/x.aiff");
    ASSERT_TRUE(aiff);
    EXPECT_EQ(aiff->base, "/out/x");
    EXPECT_EQ(aiff->extension, ".aiff");
    LoopSegment first;
    first.index = 1;
    EXPECT_EQ(seriesFileName(*aiff, first), "/out/x1.aiff");

    const auto upper = splitSeriesName("/a.b/Loop.WAV");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->base, "/a.b/Loop");
    EXPECT_EQ(upper->extension, ".WAV");
    EXPECT_TRUE(splitSeriesName("loop.AIF"));
    for (const char* other : {"loop", "loop.mp3", "/a.wav/loop", ".wav", "loop.wave"})
        EXPECT_FALSE(splitSeriesName(other)) << other;
}

TEST(SeriesName, SplitStereoIndicesHaveTheDigitsOfTheirOwnChannel) {
    std::vector<PointRecord> points;
    for (std::uint32_t i = 1; i <= 10; ++i)
        points.push_back({i * 3000, 10, 1, 0, 2, 0}); // ten left points
    for (std::uint32_t i = 1; i <= 3; ++i)
        points.push_back({i * 7000 + 2, 10, 1, 0, 1, 0}); // three right points
    SampleDocument doc = documentWithSlices(2, false, 40000, points);
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 15u);
    const SeriesName name{"loop", ".wav"};
    EXPECT_EQ(seriesFileName(name, series[0]), "loop01L.wav");
    EXPECT_EQ(seriesFileName(name, series[10]), "loop11L.wav");
    EXPECT_EQ(seriesFileName(name, series[11]), "loop1R.wav");
    EXPECT_EQ(seriesFileName(name, series[14]), "loop4R.wav");
}

TEST(Crop, BothLocatorsAtTheEndsChangeNothing) {
    SampleDocument doc =
        documentWithSlices(1, false, 1000, {{100, 1, 1, 0, 1, 0}, {500, 1, 1, 0, 1, 0}});
    for (int i = 0; i < 1000; ++i)
        doc.SampleData.data()[i] = static_cast<std::uint8_t>(i);
    const PointTable before = doc.CandidateTable;
    cropToLocators(doc);
    EXPECT_EQ(doc.DataLength, 1000);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.CandidateTable[1], before[1]);
    EXPECT_EQ(doc.SampleData.data()[999], static_cast<std::uint8_t>(999));
}

TEST(Crop, KeepsTheRegionAndDropsACandidateOnTheLeftLocator) {
    SampleDocument doc = documentWithSlices(
        2, true, 4000, {{1000, 1, 1, 0, 1, 0}, {1500, 2, 1, 0, 1, 0}, {3000, 3, 1, 0, 1, 0}});
    doc.SampleData.data()[1000] = 0x55;
    doc.LocatorL = 1000;
    doc.LocatorR = 3000;
    cropToLocators(doc);
    EXPECT_EQ(doc.DataLength, 2000);
    EXPECT_EQ(doc.SampleData.data()[0], 0x55);
    ASSERT_EQ(doc.CandidateCount, 1) << "1000 is on the left locator, 3000 at the right end";
    EXPECT_EQ(doc.CandidateTable[1].Position, 500u);
    EXPECT_EQ(doc.CandidateTable[2].Position, 2000u);
    EXPECT_EQ(doc.LocatorL, 0u);
    EXPECT_EQ(doc.LocatorR, 2000u);
}

} // namespace
} // namespace tolvane
