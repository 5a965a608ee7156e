#include "slicing/SegmentRanges.h"

#include "slicing/SliceSelection.h"
#include "slicing/SliceTables.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;

void expectRange(const std::optional<WriteRange>& range, std::uint32_t start,
                 std::uint32_t byteCount, int channelMode) {
    ASSERT_TRUE(range);
    EXPECT_EQ(range->start, start);
    EXPECT_EQ(range->byteCount, byteCount);
    EXPECT_EQ(range->channelMode, channelMode);
}

TEST(RegionRange, WholeFramesBetweenTheLocatorsAndNothingWhenThereAreNone) {
    SampleDocument stereo = documentWithSlices(2, false, 40000, {});
    stereo.LocatorL = 1002;
    stereo.LocatorR = 39999;
    expectRange(regionRange(stereo), 1000, 38996, kWriteBothChannels);
    stereo.LocatorR = 90000;
    expectRange(regionRange(stereo), 1000, 38996, kWriteBothChannels); // up to the data's end

    SampleDocument mono = documentWithSlices(1, false, 10000, {});
    mono.LocatorL = 4000;
    mono.LocatorR = 6000;
    expectRange(regionRange(mono), 4000, 2000, kWriteOneChannel);
    mono.LocatorR = 4002;
    EXPECT_FALSE(regionRange(mono)) << "less than four bytes";
    mono.LocatorR = 2000;
    EXPECT_FALSE(regionRange(mono)) << "reversed";
    EXPECT_FALSE(regionRange(documentWithSlices(1, false, 0, {}))) << "no data";
}

TEST(SegmentRange, MonoAndMergedSegmentsRunBetweenNeighbouringSlicePoints) {
    const SampleDocument merged =
        documentWithSlices(2, true, 40000, {{8000, 10, 1, 0, 1, 0}, {20000, 10, 1, 0, 1, 0}});
    ASSERT_EQ(segmentCount(merged, 1), 3);
    expectRange(segmentRange(merged, 1, 1), 0, 8000, kWriteBothChannels);
    expectRange(segmentRange(merged, 2, 2), 8000, 12000, kWriteBothChannels); // any tag
    expectRange(segmentRange(merged, 3, 1), 20000, 20000, kWriteBothChannels);
    EXPECT_FALSE(segmentRange(merged, 0, 1));
    EXPECT_FALSE(segmentRange(merged, 4, 1));

    const SampleDocument mono = documentWithSlices(1, false, 10000, {{3000, 10, 1, 0, 1, 0}});
    expectRange(segmentRange(mono, 2, 1), 3000, 7000, kWriteOneChannel);
}

// Split stereo numbers each channel's segments on their own: segment 2 of the right channel
// runs between right-channel points, whatever the left channel has between them.
TEST(SegmentRange, SplitStereoSegmentsArePerChannel) {
    const SampleDocument split = documentWithSlices(
        2, false, 40000,
        {{8000, 10, 1, 0, 2, 0}, {12002, 10, 1, 0, 1, 0}, {20000, 10, 1, 0, 2, 0}});
    EXPECT_EQ(segmentCount(split, kChannelLeftSplit), 3);
    EXPECT_EQ(segmentCount(split, kChannelMonoOrRight), 2);
    expectRange(segmentRange(split, 2, kChannelLeftSplit), 8000, 6000, kWriteOneChannel);
    expectRange(segmentRange(split, 1, kChannelMonoOrRight), 2, 6000, kWriteOneChannel);
    expectRange(segmentRange(split, 2, kChannelMonoOrRight), 12002, 13996, kWriteOneChannel);
    EXPECT_FALSE(segmentRange(split, 3, kChannelMonoOrRight));
}

TEST(SegmentRange, UnsortedRepeatedOrTinyTablesNeverWrap) {
    const SampleDocument unsorted = documentWithSlices(1, false, 10000,
                                                       {{5000, 10, 1, 0, 1, 0},
                                                        {1000, 10, 1, 0, 1, 0},
                                                        {5000, 10, 1, 0, 1, 0},
                                                        {30000, 10, 1, 0, 1, 0}});
    ASSERT_EQ(segmentCount(unsorted, 1), 3) << "the repeated and the outside point count once";
    expectRange(segmentRange(unsorted, 2, 1), 1000, 4000, kWriteOneChannel);
    expectRange(segmentRange(unsorted, 3, 1), 5000, 5000, kWriteOneChannel);

    for (const std::int32_t length : {0, 2, 4, 8}) {
        const SampleDocument split = documentWithSlices(2, false, length, {});
        for (const std::uint8_t tag : {kChannelLeftSplit, kChannelMonoOrRight}) {
            const auto range = segmentRange(split, 1, tag);
            EXPECT_LE(range.value_or(WriteRange{}).byteCount, std::uint32_t(length)) << length;
            const auto at = segmentRangeAt(split, 0, tag);
            EXPECT_LE(at.value_or(WriteRange{}).byteCount, std::uint32_t(length)) << length;
        }
    }
    EXPECT_FALSE(selectedSegmentRange(unsorted, 5000, 1000, 1)) << "bounds the wrong way round";
}

TEST(SegmentRangeAt, TheSegmentUnderAPositionOfItsChannel) {
    const SampleDocument split = documentWithSlices(
        2, false, 40000,
        {{8000, 10, 1, 0, 2, 0}, {12002, 10, 1, 0, 1, 0}, {20000, 10, 1, 0, 2, 0}});
    expectRange(segmentRangeAt(split, 10000, kChannelLeftSplit), 8000, 6000, kWriteOneChannel);
    expectRange(segmentRangeAt(split, 10000, kChannelMonoOrRight), 2, 6000, kWriteOneChannel);
    expectRange(segmentRangeAt(split, 39000, kChannelMonoOrRight), 12002, 13998, kWriteOneChannel);
    expectRange(segmentRangeAt(split, -5, kChannelLeftSplit), 0, 4000, kWriteOneChannel);

    const SampleDocument merged = documentWithSlices(2, true, 40000, {{8000, 10, 1, 0, 1, 0}});
    expectRange(segmentRangeAt(merged, 8000, 1), 8000, 32000, kWriteBothChannels);
}

} // namespace
} // namespace tolvane
