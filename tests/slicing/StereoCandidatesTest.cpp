#include "slicing/StereoCandidates.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument stereoDocument(std::int32_t length, const std::vector<PointRecord>& candidates) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = 2;
    doc.DataLength = length;
    doc.MergeChannels = true;
    doc.CandidateCount = static_cast<int>(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        doc.CandidateTable[i + 1] = candidates[i];
    doc.candidateEndRecord().Position = static_cast<std::uint32_t>(length);
    return doc;
}

TEST(StereoMerge, KeepsRecordsFartherThanAPixelFromTheLastKeptOneAndGivesTheLastToTheEnd) {
    // 40000 bytes over 100 pixels, stereo: records closer than 800 bytes to the last record
    // kept are dropped.
    SampleDocument doc =
        stereoDocument(40000, {
                                  {1000, 10, 1, 0, 2, 0},  // kept
                                  {1002, 11, 1, 0, 1, 0},  // 2 after the kept one: dropped
                                  {5002, 12, 1, 1, 1, 0},  // kept, moved to 5000
                                  {5700, 13, 1, 0, 2, 0},  // 698 after: dropped
                                  {6400, 14, 1, 0, 2, 0},  // 1398 after the kept 5002: kept
                                  {20000, 15, 1, 0, 2, 0}, // kept
                              });
    doc.LocatorL = 1002;
    doc.LocatorR = 39998;
    mergeStereoCandidates(doc, 100);

    ASSERT_EQ(doc.CandidateCount, 4) << "five kept, the end record among them, less one";
    EXPECT_EQ(doc.CandidateTable[1], (PointRecord{1000, 10, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[2], (PointRecord{5000, 12, 1, 1, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[3], (PointRecord{6400, 14, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[4].Position, 20000u);
    EXPECT_EQ(doc.CandidateTable[5].Position, 40000u);
    EXPECT_EQ(doc.CandidateTable[5].Channel, 1);
    EXPECT_EQ(doc.LocatorL, 1000u);
    EXPECT_EQ(doc.LocatorR, 39996u);
    EXPECT_TRUE(doc.MergeChannels);
}

TEST(StereoMerge, WhenTheEndRecordIsTooCloseTheLastCandidateMakesWayForIt) {
    SampleDocument doc = stereoDocument(40000, {{1000, 1, 1, 0, 2, 0}, {39900, 2, 1, 0, 2, 0}});
    mergeStereoCandidates(doc, 100);
    EXPECT_EQ(doc.CandidateCount, 1);
    EXPECT_EQ(doc.CandidateTable[2].Position, 40000u);

    SampleDocument empty = stereoDocument(40, {});
    mergeStereoCandidates(empty, 1); // the end record itself is too close: nothing is kept
    EXPECT_EQ(empty.CandidateCount, 0);
    EXPECT_EQ(empty.CandidateTable[1].Position, 40u);
}

TEST(StereoMerge, AChainOfCloseRecordsKeepsOneRecordPerGap) {
    // Records every 500 bytes, the gap 800: each lies within the gap of the record before it,
    // but every second one is more than the gap after the last one kept.
    std::vector<PointRecord> chain;
    for (std::uint32_t position = 1000; position <= 10000; position += 500)
        chain.push_back({position, 1, 1, 0, 2, 0});
    SampleDocument doc = stereoDocument(40000, chain);
    mergeStereoCandidates(doc, 100);
    ASSERT_EQ(doc.CandidateCount, 10);
    for (int i = 1; i <= doc.CandidateCount; ++i)
        EXPECT_EQ(doc.CandidateTable[i].Position, 1000u * i) << i;
}

TEST(StereoSplit, GivesEveryPointALeftAndARightRecord) {
    SampleDocument doc = stereoDocument(40000, {{1000, 10, 1, 0, 1, 0}, {5000, 20, 1, 1, 1, 0}});
    EXPECT_TRUE(splitStereoCandidates(doc));
    ASSERT_EQ(doc.CandidateCount, 4);
    EXPECT_EQ(doc.CandidateTable[1], (PointRecord{1000, 10, 1, 0, 2, 0}));
    EXPECT_EQ(doc.CandidateTable[2], (PointRecord{1002, 10, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[3], (PointRecord{5000, 20, 1, 1, 2, 0}));
    EXPECT_EQ(doc.CandidateTable[4], (PointRecord{5002, 20, 1, 1, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[5].Position, 40000u);
    EXPECT_FALSE(doc.MergeChannels);

    // Only a merged table is split.
    const PointTable before = doc.CandidateTable;
    EXPECT_TRUE(splitStereoCandidates(doc));
    EXPECT_EQ(doc.CandidateCount, 4);
    EXPECT_EQ(doc.CandidateTable, before);
}

TEST(StereoSplit, StopsAtTheTablesCapacity) {
    std::vector<PointRecord> many;
    for (std::uint32_t i = 0; i < 5000; ++i)
        many.push_back({4 * (i + 1), 1, 1, 0, 1, 0});
    SampleDocument doc = stereoDocument(4 * 6000, many);
    EXPECT_FALSE(splitStereoCandidates(doc));
    ASSERT_EQ(doc.CandidateCount, kMaxCandidates);
    EXPECT_EQ(doc.candidateEndRecord().Position, 24000u);
    int left = 0;
    for (int i = 1; i <= doc.CandidateCount; ++i) {
        const PointRecord& p = doc.CandidateTable[i];
        ASSERT_LE(doc.CandidateTable[i - 1].Position, p.Position) << "sorted";
        ASSERT_EQ(p.Channel, p.Position % 4 == 2 ? 1 : 2);
        left += p.Channel == 2;
    }
    EXPECT_EQ(left, 5000) << "every point keeps its left record; right copies are dropped";
}

} // namespace
} // namespace tolvane
