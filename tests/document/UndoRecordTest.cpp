#include "document/UndoRecord.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument documentOf(std::vector<std::uint8_t> bytes, std::uint16_t channels = 1) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.DataLength = static_cast<std::int32_t>(bytes.size());
    bytes.resize(bytes.size() + kSpareBytes, 0);
    doc.SampleData.assign(std::move(bytes));
    return doc;
}

std::vector<std::uint8_t> dataOf(const SampleDocument& doc) {
    return {doc.SampleData.data(), doc.SampleData.data() + doc.DataLength};
}

TEST(UndoFile, LivesInTheTemporaryFolderAndGoesAway) {
    std::string path;
    {
        UndoFile file;
        ASSERT_TRUE(file.isOpen());
        path = file.path();
        EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("TVT", 0), 0u);
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "the undo file is deleted with its owner";
}

TEST(Undo, RangeUndoThenRedoAndTheCaptionAlternates) {
    SampleDocument doc = documentOf({1, 2, 3, 4, 5, 6, 7, 8});
    UndoRecord undo;
    resetUndoCaption(undo, false);
    recordRange(undo, doc, 2, 4, kUndoPasteIntoSegment);
    for (int i = 2; i < 6; ++i)
        doc.SampleData.data()[i] = 0;
    EXPECT_TRUE(undo.available);

    UndoOutcome outcome = undoClick(undo, doc, true);
    EXPECT_EQ(dataOf(doc), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(undo.showsRedo);
    EXPECT_TRUE(outcome.captionClean) << "undoing the only change of a fresh file removes the *";

    outcome = undoClick(undo, doc, false);
    EXPECT_EQ(dataOf(doc), (std::vector<std::uint8_t>{1, 2, 0, 0, 0, 0, 7, 8}));
    EXPECT_FALSE(undo.showsRedo);
    EXPECT_TRUE(outcome.captionModified) << "redoing puts the * back";

    outcome = undoClick(undo, doc, true);
    EXPECT_TRUE(outcome.captionClean);
}

TEST(Undo, ChangesOfAModifiedDocumentKeepItsStar) {
    SampleDocument doc = documentOf({1, 2, 3, 4});
    UndoRecord undo;
    resetUndoCaption(undo, true);
    recordRange(undo, doc, 0, 4, kUndoSilenceSegment);
    const UndoOutcome outcome = undoClick(undo, doc, true);
    EXPECT_FALSE(outcome.captionClean);
    EXPECT_TRUE(outcome.captionModified);
}

TEST(Undo, WholeSampleExchangesDataLengthFormatAndCandidates) {
    SampleDocument doc = documentOf({1, 2, 3, 4, 5, 6, 7, 8}, 2);
    doc.MergeChannels = true;
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{4, 9, 1, 0, 1, 0};
    UndoRecord undo;
    resetUndoCaption(undo, false);
    recordWholeSample(undo, doc, kUndoReplaceSample);
    // "Paste All And Keep" of a mono sample of 2 bytes at 22050 Hz.
    doc.SampleData.assign({9, 9, 0, 0});
    doc.DataLength = 2;
    doc.Channels = 1;
    doc.SampleRate = 22050;
    doc.CandidateCount = 0;

    const UndoOutcome outcome = undoClick(undo, doc, true);
    EXPECT_TRUE(outcome.wholeSample);
    EXPECT_TRUE(outcome.formatChanged);
    EXPECT_EQ(doc.DataLength, 8);
    EXPECT_EQ(doc.Channels, 2);
    EXPECT_EQ(doc.SampleRate, 44100u);
    EXPECT_EQ(doc.CandidateCount, 1);
    EXPECT_EQ(doc.LocatorR, 8u);
    EXPECT_EQ(dataOf(doc), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    undoClick(undo, doc, false);
    EXPECT_EQ(doc.DataLength, 2);
    EXPECT_EQ(doc.Channels, 1);
    EXPECT_EQ(doc.SampleRate, 22050u);
    EXPECT_EQ(doc.CandidateCount, 0);
}

TEST(Undo, SinglePointKindsToggleBackAndForth) {
    SampleDocument doc = documentOf(std::vector<std::uint8_t>(100));
    doc.CandidateCount = 3;
    doc.CandidateTable[1] = PointRecord{10, 1, 1, 0, 1, 0};
    doc.CandidateTable[2] = PointRecord{20, 2, 1, 0, 1, 0};
    doc.CandidateTable[3] = PointRecord{30, 3, 1, 0, 1, 0};
    doc.CandidateTable[4] = PointRecord{100, 0, 0, 0, 1, 0};
    UndoRecord undo;

    // Disable point 2, then undo and redo it.
    doc.CandidateTable[2].Enabled = 0;
    recordPoint(undo, kUndoDisablePoint, 2);
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateTable[2].Enabled, 1);
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateTable[2].Enabled, 0);

    // Move point 1 (at 10) to 25: it passes point 2.
    PointRecord moved = removeCandidate(doc, 1);
    moved.Position = 25;
    const int index = insertCandidate(doc, moved, 25, true);
    ASSERT_EQ(index, 2);
    recordPoint(undo, kUndoMovePoint, index, 10);
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateTable[1].Position, 10u);
    EXPECT_EQ(doc.CandidateTable[1].Strength, 1);
    EXPECT_EQ(doc.CandidateCount, 3);
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateTable[2].Position, 25u);

    // Add a point at 15, undo takes it out, redo puts it back.
    const int added = insertCandidate(doc, PointRecord{15, 32640, 1, 1, 1, 0}, 15, false);
    recordPoint(undo, kUndoAddPoint, added, 15);
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateCount, 3);
    EXPECT_EQ(doc.CandidateTable[4].Position, 100u) << "the end record moves down too";
    undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateCount, 4);
    EXPECT_EQ(doc.CandidateTable[1].Position, 15u);
    EXPECT_EQ(doc.CandidateTable[1].Locked, 1);
}

TEST(Undo, ASinglePointStepWhoseIndexIsGoneChangesNothing) {
    SampleDocument doc = documentOf(std::vector<std::uint8_t>(100));
    doc.CandidateCount = 2;
    doc.CandidateTable[1] = PointRecord{10, 1, 1, 0, 1, 0};
    doc.CandidateTable[2] = PointRecord{20, 2, 1, 0, 1, 0};
    doc.CandidateTable[3] = PointRecord{100, 0, 0, 0, 1, 0};
    UndoRecord undo;
    recordPoint(undo, kUndoAddPoint, 7, 70); // recorded before the table shrank
    const auto table = doc.CandidateTable;
    EXPECT_FALSE(undoClick(undo, doc, false).applied);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.CandidateTable, table);
    EXPECT_FALSE(undo.available);

    recordPoint(undo, kUndoLockPoint, 1);
    forgetPointUndo(undo); // the table was rebuilt
    EXPECT_FALSE(undo.available);
    recordCandidateTable(undo, doc, kUndoCandidateTable);
    forgetPointUndo(undo);
    EXPECT_TRUE(undo.available) << "a table step does not name a point";
}

TEST(Undo, ASaveMeansUndoingNoLongerCleansTheCaption) {
    SampleDocument doc = documentOf({1, 2, 3, 4});
    UndoRecord undo;
    resetUndoCaption(undo, false);
    recordRange(undo, doc, 0, 4, kUndoSilenceSegment);
    noteDocumentSaved(undo);
    const UndoOutcome undone = undoClick(undo, doc, false);
    EXPECT_FALSE(undone.captionClean);
    EXPECT_TRUE(undone.captionModified);
    EXPECT_TRUE(undone.rangeChanged);
    EXPECT_TRUE(undoClick(undo, doc, true).captionClean) << "redo is back at the saved state";
}

TEST(Undo, TheChannelModeTravelsWithItsTable) {
    SampleDocument doc = documentOf(std::vector<std::uint8_t>(400), 2);
    doc.MergeChannels = false; // split: left and right records
    doc.CandidateCount = 2;
    doc.CandidateTable[1] = PointRecord{100, 1, 1, 0, kChannelLeftSplit, 0};
    doc.CandidateTable[2] = PointRecord{102, 1, 1, 0, kChannelMonoOrRight, 0};
    UndoRecord undo;
    recordWholeSample(undo, doc, kUndoReplaceSample);
    doc.MergeChannels = true;
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{100, 1, 1, 0, kChannelMonoOrRight, 0};
    const UndoOutcome outcome = undoClick(undo, doc, false);
    EXPECT_TRUE(outcome.channelModeChanged);
    EXPECT_FALSE(doc.MergeChannels);
    EXPECT_EQ(doc.CandidateCount, 2);
    undoClick(undo, doc, false);
    EXPECT_TRUE(doc.MergeChannels);

    recordCandidateTable(undo, doc, kUndoCandidateTable);
    doc.MergeChannels = false;
    undoClick(undo, doc, false);
    EXPECT_TRUE(doc.MergeChannels);
}

TEST(Undo, OffRecordsNothing) {
    SampleDocument doc = documentOf({1, 2, 3, 4});
    UndoRecord undo;
    undo.UndoEnabled = false;
    recordRange(undo, doc, 0, 4, kUndoSilenceSegment);
    recordPoint(undo, kUndoLockPoint, 1);
    recordCandidateTable(undo, doc, kUndoCandidateTable);
    EXPECT_FALSE(undo.available);
    EXPECT_FALSE(undoClick(undo, doc, false).applied);
}

TEST(Undo, CandidateTableExchange) {
    SampleDocument doc = documentOf(std::vector<std::uint8_t>(100));
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{50, 1, 1, 0, 1, 0};
    UndoRecord undo;
    resetUndoCaption(undo, false);
    recordCandidateTable(undo, doc, kUndoCandidateTable);
    doc.CandidateCount = 2;
    doc.CandidateTable[2] = PointRecord{60, 1, 1, 0, 1, 0};
    const UndoOutcome outcome = undoClick(undo, doc, false);
    EXPECT_EQ(doc.CandidateCount, 1);
    EXPECT_FALSE(outcome.captionModified) << "a re-cut does not modify the data";
}

} // namespace
} // namespace tolvane
