#include "processing/Crop.h"
#include "slicing/LoopSegments.h"
#include "slicing/SliceSelection.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument withSlices(std::uint16_t channels, bool merged, std::int32_t length,
                          const std::vector<PointRecord>& points) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.MergeChannels = merged;
    doc.DataLength = length;
    doc.SampleData.setSize(static_cast<std::size_t>(length) + kSpareBytes);
    doc.CandidateCount = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        doc.CandidateTable[i + 1] = points[i];
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(length);
    return doc;
}

TEST(LoopSegments, WithoutSlicePointsOneFileTwoBytesShort) {
    const SampleDocument doc = withSlices(1, false, 10000, {});
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0].index, 1);
    EXPECT_EQ(series[0].start, 0u);
    EXPECT_EQ(series[0].byteCount, 9998u) << "the last file is 2 bytes shorter than its span";
    EXPECT_EQ(seriesFileName("loop", series[0], doc.SliceCount, ".wav"), "loop1.wav");
}

TEST(LoopSegments, IndicesHaveTheDigitsOfTheSliceCountPlusOne) {
    std::vector<PointRecord> points;
    for (int i = 1; i <= 9; ++i)
        points.push_back({std::uint32_t(i * 1000), 10, 1, 0, 1, 0});
    SampleDocument doc = withSlices(1, false, 10000, points);
    doc.LocatorL = 2000;
    doc.LocatorR = 5000;
    const auto series = loopSegmentSeries(doc);
    ASSERT_EQ(series.size(), 3u);
    EXPECT_EQ(series[0].start, 2000u);
    EXPECT_EQ(series[0].byteCount, 1000u);
    EXPECT_EQ(series[2].start, 4000u);
    EXPECT_EQ(series[2].byteCount, 998u);
    EXPECT_EQ(seriesFileName("loop", series[0], doc.SliceCount, ".wav"), "loop01.wav");
}

TEST(LoopSegments, SplitStereoWritesAnLAndAnRSeriesEachFromOne) {
    SampleDocument doc =
        withSlices(2, false, 40000,
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
    EXPECT_EQ(seriesFileName("loop", series[3], doc.SliceCount, ".aif"), "loop1R.aif");
}

TEST(Crop, BothLocatorsAtTheEndsChangeNothing) {
    SampleDocument doc = withSlices(1, false, 1000, {{100, 1, 1, 0, 1, 0}, {500, 1, 1, 0, 1, 0}});
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
    SampleDocument doc = withSlices(
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
