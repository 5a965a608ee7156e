#include "slicing/SliceSelection.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument documentWithCandidates(const std::vector<PointRecord>& candidates) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.DataLength = 100000;
    doc.CandidateCount = static_cast<int>(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        doc.CandidateTable[i + 1] = candidates[i];
    return doc;
}

std::vector<std::uint32_t> slicePositions(const SampleDocument& doc) {
    std::vector<std::uint32_t> positions;
    for (int i = 1; i <= doc.SliceCount; ++i)
        positions.push_back(doc.SliceTable[i].Position);
    return positions;
}

TEST(SensitivitySlider, MapsPositionsToThresholdsAndPercentages) {
    EXPECT_EQ(thresholdForSliderPosition(0), 65534);
    EXPECT_EQ(thresholdForSliderPosition(65535), -1);
    EXPECT_EQ(sliderPositionForPercent(0), 0);
    EXPECT_EQ(sliderPositionForPercent(100), 65535);
    EXPECT_EQ(sliderPositionForPercent(50), 32768) << "32767.5 rounds half to even";
    EXPECT_EQ(sliderPositionForPercent(150), 65535);
    EXPECT_EQ(sensitivityPercent(kThresholdAfterLoad), 0);
    EXPECT_EQ(sensitivityPercent(65534), 0);
    EXPECT_EQ(sensitivityPercent(-1), 100);
    EXPECT_EQ(sensitivityPercent(thresholdForSliderPosition(32768)), 50);
}

TEST(SliceTable, SelectsStrongerEnabledAndAllLockedCandidatesInTableOrder) {
    SampleDocument doc = documentWithCandidates({
        {100, 5000, 1, 0, 1, 0},  // exactly the threshold: not selected
        {200, 5001, 1, 0, 1, 0},  // stronger: selected
        {300, 60000, 0, 0, 1, 0}, // disabled: not selected
        {400, -70, 0, 1, 1, 0},   // locked: selected whatever else
        {500, -1, 1, 0, 1, 0},    // negative
    });
    doc.Threshold = 5000;
    rebuildSliceTable(doc);
    EXPECT_EQ(slicePositions(doc), (std::vector<std::uint32_t>{200, 400}));
    EXPECT_EQ(doc.SliceTable[0].Position, 0u);
    EXPECT_EQ(doc.SliceTable[3].Position, 100000u);
    EXPECT_EQ(doc.SliceTable[2], doc.CandidateTable[4]) << "the whole record is copied";

    doc.Threshold = thresholdForSliderPosition(65535);
    rebuildSliceTable(doc);
    EXPECT_EQ(slicePositions(doc), (std::vector<std::uint32_t>{100, 200, 400}))
        << "a negative strength is never selected by the slider";

    doc.Threshold = thresholdForSliderPosition(0);
    rebuildSliceTable(doc);
    EXPECT_EQ(slicePositions(doc), (std::vector<std::uint32_t>{400})) << "only locked points";
}

TEST(SliceTable, IsLeftAloneWhileBusyAndEmptyWithoutADocument) {
    SampleDocument doc = documentWithCandidates({{100, 9, 1, 0, 1, 0}, {200, 9, 1, 0, 1, 0}});
    doc.Threshold = 0;
    doc.Busy = true;
    rebuildSliceTable(doc);
    EXPECT_EQ(doc.SliceCount, 0);
    doc.Busy = false;
    rebuildSliceTable(doc);
    EXPECT_EQ(doc.SliceCount, 2);
    doc.DocumentOpen = false;
    rebuildSliceTable(doc);
    EXPECT_EQ(doc.SliceCount, 0);
}

} // namespace
} // namespace tolvane
