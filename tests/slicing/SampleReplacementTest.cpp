#include "slicing/SampleReplacement.h"

#include "slicing/PointEditing.h"
#include "slicing/SliceTables.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;

std::vector<std::uint8_t> silence(std::size_t bytes) {
    return std::vector<std::uint8_t>(bytes, 0);
}

TEST(SampleReplacement, StereoOverStereoKeepsTheSplitTableAndItsMode) {
    SampleDocument doc = documentWithSlices(
        2, false, 40000, {{8000, 10, 1, 0, kChannelLeftSplit, 0}, {8002, 10, 1, 0, 1, 0}});
    EXPECT_FALSE(replaceSampleKeepingPoints(doc, {silence(20000), 2, 48000}));
    EXPECT_FALSE(doc.MergeChannels);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.DataLength, 20000);
    EXPECT_EQ(doc.SampleRate, 48000u);
    EXPECT_EQ(doc.BytesPerSecond, 192000u);
    EXPECT_EQ(doc.LocatorR, 20000u);
    EXPECT_EQ(doc.candidateEndRecord().Position, 20000u);
}

TEST(SampleReplacement, SplitStereoBecomingMonoLosesTheLeftTwins) {
    SampleDocument doc = documentWithSlices(2, false, 40000,
                                            {{8000, 10, 1, 0, kChannelLeftSplit, 0},
                                             {8002, 10, 1, 0, 1, 0},
                                             {30000, 10, 1, 0, kChannelLeftSplit, 0}});
    doc.LocatorL = 30000;
    EXPECT_TRUE(replaceSampleKeepingPoints(doc, {silence(24000), 1, 44100}));
    EXPECT_FALSE(doc.MergeChannels);
    EXPECT_EQ(doc.LastChannel, 1);
    ASSERT_EQ(doc.CandidateCount, 1) << "the point beyond the data goes, the twin goes";
    EXPECT_EQ(doc.CandidateTable[1].Position, 8002u);
    EXPECT_EQ(doc.CandidateTable[1].Channel, kChannelMonoOrRight);
    EXPECT_EQ(doc.LocatorL, 24000u) << "the left locator at most at the new end";
}

TEST(SampleReplacement, MonoBecomingStereoPutsThePointsOnFramesMerged) {
    SampleDocument doc = documentWithSlices(1, false, 40000, {{1002, 10, 1, 0, 1, 0}});
    EXPECT_TRUE(replaceSampleKeepingPoints(doc, {silence(40000), 2, 44100}));
    EXPECT_TRUE(doc.MergeChannels);
    EXPECT_EQ(doc.FirstChannel, 1);
    EXPECT_EQ(doc.LastChannel, 2);
    EXPECT_EQ(doc.CandidateTable[1].Position, 1000u);
}

TEST(PointFlags, LockingEnablesAndDisablingUnlocks) {
    SampleDocument doc = documentWithSlices(1, false, 4000, {{1000, 10, 0, 0, 1, 0}});
    lockPoint(doc, 1);
    EXPECT_EQ(doc.CandidateTable[1].Enabled, 1);
    EXPECT_EQ(doc.CandidateTable[1].Locked, 1);
    disablePoint(doc, 1);
    EXPECT_EQ(doc.CandidateTable[1].Enabled, 0);
    EXPECT_EQ(doc.CandidateTable[1].Locked, 0);
    enablePoint(doc, 1);
    EXPECT_EQ(doc.CandidateTable[1].Enabled, 1);
    EXPECT_EQ(doc.CandidateTable[1].Locked, 0);
}

} // namespace
} // namespace tolvane
