#include "view/ViewState.h"

#include "slicing/SliceSelection.h"
#include "view/SegmentBounds.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

constexpr int kWidth = 636;

// A mono document of `length` bytes with slice points at the given positions.
SampleDocument documentWithSlices(std::int32_t length, const std::vector<std::uint32_t>& slices,
                                  int channels = 1) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = static_cast<std::uint16_t>(channels);
    doc.BitsPerSample = 16;
    doc.SampleRate = 44100;
    doc.DataLength = length;
    doc.SampleData.setSize(static_cast<std::size_t>(length) + kSpareBytes);
    doc.CandidateCount = static_cast<int>(slices.size());
    for (std::size_t i = 0; i < slices.size(); ++i)
        doc.CandidateTable[i + 1] = PointRecord{slices[i], 100, 1, 0, 1, 0};
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(length);
    return doc;
}

TEST(Zoom, InDoublesUpTo512AndThenDisablesItself) {
    SampleDocument doc = documentWithSlices(4'000'000, {});
    ViewState view;
    showWholeSample(view, doc);
    view.pointerFull = kWidth / 2;
    ZoomOutcome outcome;
    for (int i = 0; i < 8; ++i)
        outcome = zoomIn(view, doc, kWidth);
    // The zoom follows the whole-sample range actually shown: DataLength / view length.
    EXPECT_NEAR(view.zoom, 256.0, 0.1);
    EXPECT_TRUE(outcome.zoomInEnabled);
    outcome = zoomIn(view, doc, kWidth);
    EXPECT_NEAR(view.zoom, 512.0, 0.1);
    EXPECT_FALSE(outcome.zoomInEnabled);
    EXPECT_EQ(outcome.statusText, "x512.0");
    EXPECT_NEAR(view.viewLength, 4'000'000 / 512, 2);
}

TEST(Zoom, InFromExactly256Reaches512AndStopsThere) {
    SampleDocument doc = documentWithSlices(1 << 22, {});
    ViewState view;
    showWholeSample(view, doc);
    view.pointerFull = kWidth / 2;
    view.zoom = 256.0;
    const ZoomOutcome outcome = zoomIn(view, doc, kWidth);
    EXPECT_FALSE(outcome.zoomInEnabled);
    EXPECT_FALSE(canZoomIn(view));
    zoomOut(view, doc, kWidth);
    EXPECT_TRUE(canZoomIn(view));
}

TEST(Zoom, OutRoundsHalfAndReturnsToTheWholeSampleFromTwo) {
    SampleDocument doc = documentWithSlices(900'000, {});
    ViewState view;
    showWholeSample(view, doc);
    view.pointerFull = kWidth / 2;
    view.zoom = 3;
    ZoomOutcome outcome = zoomOut(view, doc, kWidth);
    EXPECT_DOUBLE_EQ(view.zoom, 2.0);
    EXPECT_EQ(outcome.statusText, "x2.0");
    EXPECT_TRUE(outcome.zoomOutEnabled);
    outcome = zoomOut(view, doc, kWidth);
    EXPECT_DOUBLE_EQ(view.zoom, 1.0);
    EXPECT_EQ(view.viewStart, 0);
    EXPECT_EQ(view.viewEnd, 900'000);
    EXPECT_EQ(outcome.statusText, "x1.0");
    EXPECT_FALSE(outcome.zoomOutEnabled);
}

TEST(Zoom, InNearTheStartShiftsTheRangeInsteadOfShrinkingIt) {
    SampleDocument doc = documentWithSlices(400'000, {}, 2);
    ViewState view;
    showWholeSample(view, doc);
    view.pointerFull = 3;
    const ZoomOutcome outcome = zoomIn(view, doc, kWidth);
    EXPECT_EQ(view.viewStart, 0);
    EXPECT_EQ(view.viewLength, 200'000);
    EXPECT_DOUBLE_EQ(view.zoom, 2.0);
    EXPECT_EQ(outcome.statusText, "x 2.0");

    view.pointerFull = kWidth - 1;
    zoomIn(view, doc, kWidth);
    EXPECT_EQ(view.viewEnd, 400'000);
    EXPECT_EQ(view.viewStart % 4, 0);
}

TEST(Zoom, ToSegmentSelectsTheSegmentUnderThePointer) {
    SampleDocument doc = documentWithSlices(40'000, {10'000, 20'000, 30'000});
    ViewState view;
    showWholeSample(view, doc);
    view.pointerFull = pointerOnFullScale(view, doc, kWidth * 5 / 8, kWidth); // byte 25000
    const auto outcome = zoomToSegment(view, doc, kWidth);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(view.viewStart, 20'000);
    EXPECT_EQ(view.viewEnd, 30'000);
    EXPECT_EQ(doc.SelectedSegment, 3);
    EXPECT_DOUBLE_EQ(view.zoom, 4.0);
}

TEST(Scroll, KeepsTheLengthAndStaysInsideTheData) {
    SampleDocument doc = documentWithSlices(100'000, {}, 2);
    ViewState view;
    view.viewStart = 40'000;
    view.viewEnd = 60'000;
    view.viewLength = 20'000;
    scrollView(view, doc, -50'000, kWidth);
    EXPECT_EQ(view.viewStart, 0);
    EXPECT_EQ(view.viewEnd, 20'000);
    scrollView(view, doc, 95'002, kWidth);
    EXPECT_EQ(view.viewEnd, 100'000);
    EXPECT_EQ(view.viewLength, 20'000);
}

TEST(PlayCursor, TimerFollowsTheViewAndThePlayCommand) {
    SampleDocument doc = documentWithSlices(705'600, {}, 2);
    ViewState view;
    showWholeSample(view, doc);
    updatePlayTimer(view, doc, kWidth);
    EXPECT_EQ(view.cursorMultiplier, 2);
    EXPECT_EQ(view.playTimerInterval, 25);
    updatePlayTimer(view, doc, kWidth, CursorTimerFor::Play);
    EXPECT_EQ(view.playTimerInterval, 50);
    updatePlayTimer(view, doc, kWidth, CursorTimerFor::Loop);
    EXPECT_EQ(view.cursorMultiplier, 1) << "Loop counts the view in bytes of one channel's samples";
    EXPECT_EQ(view.playTimerInterval, 25);
}

TEST(RegionBar, ResizingToNothingKeepsFourBytes) {
    SampleDocument doc = documentWithSlices(100'000, {}, 2);
    ViewState view;
    showWholeSample(view, doc);
    view.viewStart = 40'000;
    view.viewLength = 20'000;
    view.viewEnd = 60'000;
    resizeRegion(view, doc, regionBarX(40'000, doc, kWidth), true, kWidth);
    EXPECT_EQ(view.viewLength, 4);
    EXPECT_DOUBLE_EQ(view.zoom, 25'000.0);
}

TEST(Locators, ButtonIsHiddenOutsideTheView) {
    ViewState view;
    view.viewStart = 1000;
    view.viewEnd = 2000;
    view.viewLength = 1000;
    EXPECT_FALSE(locatorButtonX(999, view, 500));
    EXPECT_FALSE(locatorButtonX(2001, view, 500));
    EXPECT_EQ(locatorButtonX(2000, view, 500, 20), 480)
        << "a right locator at the end stays visible";
    EXPECT_EQ(locatorButtonX(1500, view, 500), 250);
    EXPECT_EQ(locatorButtonX(1500, view, 500, 20), 230);
}

TEST(Locators, SnapToTheNearerSlicePointOnTheirSideOfTheOtherLocator) {
    SampleDocument doc = documentWithSlices(4000, {1000, 2000, 3000});
    EXPECT_EQ(snapLeftLocator(doc, 1400), 1000u);
    EXPECT_EQ(snapLeftLocator(doc, 1600), 2000u);
    doc.LocatorR = 3000;
    EXPECT_EQ(snapLeftLocator(doc, 3900), 2000u) << "never at or past the right locator";
    EXPECT_EQ(snapRightLocator(doc, 2600), 3000u);
    EXPECT_EQ(snapRightLocator(doc, 3800), 4000u);
    doc.LocatorL = 2000;
    EXPECT_EQ(snapRightLocator(doc, 100), 3000u) << "never at or before the left locator";
    doc.LocatorL = 1234;
    doc.LocatorR = 2890;
    resnapLocators(doc);
    EXPECT_EQ(doc.LocatorR, 3000u);
    EXPECT_EQ(doc.LocatorL, 1000u);
}

TEST(Segments, SplitStereoChannelsHaveTheirOwnPointsAndEnds) {
    SampleDocument doc = documentWithSlices(40'000, {}, 2);
    doc.MergeChannels = false;
    doc.CandidateCount = 3;
    doc.CandidateTable[1] = PointRecord{8000, 100, 1, 0, 2, 0};
    doc.CandidateTable[2] = PointRecord{8002, 100, 1, 0, 1, 0};
    doc.CandidateTable[3] = PointRecord{20'000, 100, 1, 0, 2, 0};
    rebuildSliceTable(doc);
    const auto right = segmentAt(doc, 30'000, 1);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->start, 8002u);
    EXPECT_EQ(right->end, 40'000u - 2);
    const auto left = segmentAt(doc, 10'000, 2);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->start, 8000u);
    EXPECT_EQ(left->end, 20'000u);
    EXPECT_EQ(left->number, 2) << "numbered by the record that starts it, plus 1";
    EXPECT_EQ(left->channel, 2);
}

TEST(Segments, PlusAndMinusWalkTheLoopAndWrapAtTheLocators) {
    SampleDocument doc = documentWithSlices(40'000, {10'000, 20'000, 30'000});
    doc.LocatorL = 10'000;
    doc.LocatorR = 30'000;
    ViewState view;
    ASSERT_TRUE(selectSegmentAt(view, doc, 15'000, 1));
    EXPECT_EQ(doc.SelectedSegment, 2);
    ASSERT_TRUE(selectNextSegment(view, doc));
    EXPECT_EQ(view.selected->start, 20'000u);
    EXPECT_EQ(doc.SelectedSegment, 3);
    ASSERT_TRUE(selectNextSegment(view, doc)) << "ends at the right locator: back to the first";
    EXPECT_EQ(view.selected->start, 10'000u);
    ASSERT_TRUE(selectPreviousSegment(view, doc)) << "starts at the left locator: to the last";
    EXPECT_EQ(view.selected->start, 20'000u);
    EXPECT_EQ(view.selected->end, 30'000u);
    ASSERT_TRUE(selectPreviousSegment(view, doc));
    EXPECT_EQ(view.selected->start, 10'000u);
}

TEST(Segments, PointerPositionsFallOnWholeSamples) {
    ViewState view;
    view.viewStart = 1000;
    view.viewEnd = 2000;
    view.viewLength = 1000;
    EXPECT_EQ(pointerBytePosition(0, view, 100), 1000u);
    EXPECT_EQ(pointerBytePosition(10.05, view, 100) % 2, 0u);
    EXPECT_EQ(pointerBytePosition(50, view, 100), 1500u);
}

} // namespace
} // namespace tolvane
