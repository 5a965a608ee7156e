#include "view/PointHitTest.h"

#include "slicing/SliceSelection.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(PointHitTest, ZoneRunsFromOnePixelLeftToFifteenRightInTheIconStrip) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = 1;
    doc.DataLength = 4000;
    doc.CandidateCount = 2;
    doc.CandidateTable[1] = PointRecord{1000, 500, 1, 0, 1, 0};
    doc.CandidateTable[2] = PointRecord{3000, 500, 0, 0, 1, 0}; // disabled
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    ViewState view;
    showWholeSample(view, doc);
    const int width = 400, height = 100; // point 1 at x = 100, point 2 at x = 300

    const auto hit = findHoveredPoint(doc, view, width, height, 105, 95, Tool::Select);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->index, 1);
    EXPECT_EQ(hit->kind, HoverKind::Active);
    EXPECT_TRUE(findHoveredPoint(doc, view, width, height, 99.5, 95, Tool::Select));
    EXPECT_TRUE(findHoveredPoint(doc, view, width, height, 115, 95, Tool::Select));
    EXPECT_FALSE(findHoveredPoint(doc, view, width, height, 98.9, 95, Tool::Select));
    EXPECT_FALSE(findHoveredPoint(doc, view, width, height, 115.5, 95, Tool::Select));
    EXPECT_FALSE(findHoveredPoint(doc, view, width, height, 105, 50, Tool::Select))
        << "above the icon strip the press selects a segment instead";

    EXPECT_FALSE(findHoveredPoint(doc, view, width, height, 305, 95, Tool::Select));
    const auto disabled = findHoveredPoint(doc, view, width, height, 305, 95, Tool::EnableDisable);
    ASSERT_TRUE(disabled);
    EXPECT_EQ(disabled->kind, HoverKind::Disabled);
    EXPECT_EQ(disabled->index, 2);

    doc.CandidateTable[1].Locked = 1;
    const auto locked = findHoveredPoint(doc, view, width, height, 105, 95, Tool::LockUnlock);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->kind, HoverKind::Locked);
}

TEST(PointHitTest, InSplitStereoEachHalfFindsItsOwnChannelsPoint) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = 2;
    doc.MergeChannels = false;
    doc.DataLength = 8000;
    doc.CandidateCount = 2;
    doc.CandidateTable[1] = PointRecord{2000, 500, 1, 0, kChannelLeftSplit, 0};
    doc.CandidateTable[2] = PointRecord{2002, 500, 1, 0, kChannelMonoOrRight, 0};
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    ViewState view;
    showWholeSample(view, doc);
    const int width = 400, height = 100; // both at x = 100

    const auto left = findHoveredPoint(doc, view, width, height, 105, 45, Tool::Select);
    ASSERT_TRUE(left) << "the upper half's point behind its right twin";
    EXPECT_EQ(left->index, 1);
    const auto right = findHoveredPoint(doc, view, width, height, 105, 95, Tool::Select);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->index, 2);
}

} // namespace
} // namespace tolvane
