#include "slicing/PointEditing.h"

#include "slicing/SliceSelection.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument documentWithPoints(std::uint16_t channels, bool merged,
                                  const std::vector<PointRecord>& points) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.MergeChannels = merged;
    doc.DataLength = 100000;
    doc.CandidateCount = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        doc.CandidateTable[i + 1] = points[i];
    doc.candidateEndRecord() = PointRecord{100000, 0, 0, 0, 1, 0};
    return doc;
}

TEST(PointEditing, DraggingPastANeighbourReSortsAndKeepsTheCount) {
    SampleDocument doc = documentWithPoints(
        1, false, {{100, 1, 1, 0, 1, 0}, {200, 2, 1, 0, 1, 0}, {300, 3, 1, 0, 1, 0}});
    const int index = movePoint(doc, 1, 250);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(doc.CandidateCount, 3);
    EXPECT_EQ(doc.CandidateTable[1].Position, 200u);
    EXPECT_EQ(doc.CandidateTable[2], (PointRecord{250, 1, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[3].Position, 300u);
    EXPECT_EQ(doc.CandidateTable[4].Position, 100000u);
}

TEST(PointEditing, PointsLandOnTheirChannelsSample) {
    SampleDocument split =
        documentWithPoints(2, false, {{400, 1, 1, 0, 1, 0}, {800, 1, 1, 0, 2, 0}});
    const int right = movePoint(split, 1, 1005);
    EXPECT_EQ(split.CandidateTable[right].Position % 4, 2u) << "right channel: low two bits 2";
    EXPECT_EQ(split.CandidateTable[right].Position, 1006u);
    const int left = movePoint(split, 1, 1203);
    EXPECT_EQ(split.CandidateTable[left].Position, 1200u);

    SampleDocument merged = documentWithPoints(2, true, {{400, 1, 1, 0, 1, 0}});
    EXPECT_EQ(merged.CandidateTable[movePoint(merged, 1, 1002)].Position, 1000u);

    SampleDocument mono = documentWithPoints(1, false, {{400, 1, 1, 0, 1, 0}});
    EXPECT_EQ(mono.CandidateTable[movePoint(mono, 1, 1001)].Position, 1000u) << "whole samples";
}

TEST(PointEditing, AddedPointsAreLockedAndSurviveTheSliderAtZero) {
    SampleDocument doc = documentWithPoints(1, false, {{100, 1, 1, 0, 1, 0}, {300, 3, 1, 0, 1, 0}});
    doc.Threshold = 5000;
    const auto index = addPoint(doc, 200, 1, false);
    ASSERT_TRUE(index);
    EXPECT_EQ(*index, 2);
    EXPECT_EQ(doc.CandidateTable[2], (PointRecord{200, kAddedPointStrength, 1, 1, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[4].Position, 100000u);
    doc.Threshold = thresholdForSliderPosition(0);
    rebuildSliceTable(doc);
    ASSERT_EQ(doc.SliceCount, 1);
    EXPECT_EQ(doc.SliceTable[1].Position, 200u);

    const auto current = addPoint(doc, 250, 1, true);
    EXPECT_EQ(doc.CandidateTable[*current].Strength, doc.Threshold + 10) << "Add At Current Length";
}

TEST(PointEditing, AddingToAFullTableIsRefused) {
    SampleDocument doc = documentWithPoints(1, false, {});
    doc.CandidateCount = kMaxCandidates;
    EXPECT_FALSE(addPoint(doc, 10, 1, false));
    EXPECT_EQ(doc.CandidateCount, kMaxCandidates);
}

TEST(PointEditing, LockAllTakesTheVisibleSlicePointsAndUnlockAllFreesEveryOne) {
    SampleDocument doc = documentWithPoints(
        1, false, {{100, 9000, 1, 0, 1, 0}, {200, 10, 1, 0, 1, 0}, {300, 9000, 0, 0, 1, 0}});
    doc.Threshold = 5000;
    lockAll(doc);
    EXPECT_EQ(doc.CandidateTable[1].Locked, 1);
    EXPECT_EQ(doc.CandidateTable[2].Locked, 0) << "too weak: not a slice point";
    EXPECT_EQ(doc.CandidateTable[3].Locked, 0) << "disabled: not a slice point";

    unlockAll(doc);
    doc.Threshold = thresholdForSliderPosition(0);
    rebuildSliceTable(doc);
    EXPECT_EQ(doc.SliceCount, 0) << "only the start and end records remain";
}

} // namespace
} // namespace tolvane
