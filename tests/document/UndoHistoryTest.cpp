// Several undo levels: each step is an undo record with its own file, walked back and forth.
#include "document/UndoRecord.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument documentOf(std::size_t bytes, std::uint16_t channels, bool merged) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.MergeChannels = merged;
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = 44100u * 2u * channels;
    std::vector<std::uint8_t> data(bytes + kSpareBytes, 0);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    doc.DataLength = static_cast<std::int32_t>(bytes);
    doc.SampleData.assign(std::move(data));
    const std::uint8_t channel = channels == 2 && !merged ? kChannelLeftSplit : kChannelMonoOrRight;
    doc.CandidateCount = 3;
    for (int i = 1; i <= 3; ++i)
        doc.CandidateTable[i] =
            PointRecord{static_cast<std::uint32_t>(i * 64), i * 100, 1, 0, channel, 0};
    doc.CandidateTable[4] = PointRecord{static_cast<std::uint32_t>(bytes), 0, 0, 0, 1, 0};
    return doc;
}

// What an undo must give back.
struct Snapshot {
    std::vector<std::uint8_t> data;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    bool merged = false;
    std::vector<PointRecord> candidates;

    explicit Snapshot(const SampleDocument& doc)
        : data(doc.SampleData.data(), doc.SampleData.data() + doc.DataLength),
          channels(doc.Channels), rate(doc.SampleRate), merged(doc.MergeChannels),
          candidates(doc.CandidateTable.begin(),
                     doc.CandidateTable.begin() + doc.CandidateCount + 2) {}
    bool operator==(const Snapshot&) const = default;
};

using Operation = std::function<void(SampleDocument&, UndoRecord&)>;

// Ten different operations, each recorded as the editor records it and then made.
std::vector<Operation> tenOperations() {
    return {
        [](SampleDocument& doc, UndoRecord& undo) { // silence a segment
            recordRange(undo, doc, 64, 64, kUndoSilenceSegment);
            std::fill_n(doc.SampleData.data() + 64, 64, std::uint8_t{0});
        },
        [](SampleDocument& doc, UndoRecord& undo) { // add a point
            const int index = insertCandidate(doc, PointRecord{100, 5, 1, 1, 1, 0}, 100, false);
            recordPoint(undo, kUndoAddPoint, index, 100);
        },
        [](SampleDocument& doc, UndoRecord& undo) { // normalise, which keeps the table
            recordWholeSample(undo, doc, kUndoWholeSample);
            for (std::int32_t i = 0; i < doc.DataLength; ++i)
                doc.SampleData.data()[i] ^= 0x55;
        },
        [](SampleDocument& doc, UndoRecord& undo) { // move point 1
            PointRecord moved = removeCandidate(doc, 1);
            const std::uint32_t had = moved.Position;
            moved.Position = 150;
            recordPoint(undo, kUndoMovePoint, insertCandidate(doc, moved, 150, true), had);
        },
        [](SampleDocument& doc, UndoRecord& undo) { // re-cut
            recordCandidateTable(undo, doc, kUndoCandidateTable);
            doc.CandidateCount = 1;
            doc.CandidateTable[1] = PointRecord{32, 1, 1, 0, 1, 0};
            doc.CandidateTable[2] = PointRecord{static_cast<std::uint32_t>(doc.DataLength)};
        },
        [](SampleDocument& doc, UndoRecord& undo) { // lock point 1
            recordPoint(undo, kUndoLockPoint, 1);
            doc.CandidateTable[1].Locked = 1;
        },
        [](SampleDocument& doc, UndoRecord& undo) { // reverse a segment
            recordRange(undo, doc, 0, 128, kUndoReverseSegment);
            std::reverse(doc.SampleData.data(), doc.SampleData.data() + 128);
        },
        [](SampleDocument& doc, UndoRecord& undo) { // change the rate
            recordRateChange(undo, doc);
            doc.SampleRate = 22050;
            doc.BytesPerSecond = 22050u * doc.frameBytes();
        },
        [](SampleDocument& doc, UndoRecord& undo) { // crop: shorter data, a new table
            recordWholeSample(undo, doc, kUndoReplaceSample);
            std::copy_n(doc.SampleData.data() + 64, 128, doc.SampleData.data());
            doc.DataLength = 128;
            doc.CandidateCount = 0;
            doc.CandidateTable[1] = PointRecord{128};
        },
        [](SampleDocument& doc, UndoRecord& undo) { // paste into a segment
            recordRange(undo, doc, 0, 32, kUndoPasteIntoSegment);
            std::fill_n(doc.SampleData.data(), 32, std::uint8_t{0x7F});
        },
    };
}

struct Layout {
    const char* name;
    std::uint16_t channels;
    bool merged;
};

class UndoHistoryLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(UndoHistoryLayouts, TenOperationsAreUndoneAndRedoneInOrder) {
    SampleDocument doc = documentOf(512, GetParam().channels, GetParam().merged);
    UndoRecord undo;
    setUndoLevels(undo, 10);
    std::vector<Snapshot> states{Snapshot(doc)};
    for (const Operation& operation : tenOperations()) {
        resetUndoCaption(undo, states.size() > 1);
        operation(doc, undo);
        states.emplace_back(doc);
    }
    ASSERT_EQ(states.size(), 11u);
    for (std::size_t i = 1; i < states.size(); ++i)
        ASSERT_FALSE(states[i] == states[i - 1]) << "operation " << i << " changes something";

    for (std::size_t back = 10; back > 0; --back) {
        SCOPED_TRACE(back);
        ASSERT_TRUE(undoStep(undo, doc).applied);
        EXPECT_TRUE(states[back - 1] == Snapshot(doc));
        EXPECT_TRUE(canRedo(undo));
    }
    EXPECT_FALSE(undo.available) << "all ten are undone";
    EXPECT_FALSE(undoStep(undo, doc).applied);
    for (std::size_t forward = 1; forward <= 10; ++forward) {
        SCOPED_TRACE(forward);
        ASSERT_TRUE(redoStep(undo, doc).applied);
        EXPECT_TRUE(states[forward] == Snapshot(doc));
    }
    EXPECT_FALSE(canRedo(undo));
    EXPECT_TRUE(undo.available);
}

INSTANTIATE_TEST_SUITE_P(Undo, UndoHistoryLayouts,
                         ::testing::Values(Layout{"Mono", 1, true}, Layout{"Merged", 2, true},
                                           Layout{"Split", 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Records `count` silence steps at different places and returns the undo files' paths.
std::vector<std::string> recordSteps(UndoRecord& undo, SampleDocument& doc, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        recordRange(undo, doc, i * 16, 16, kUndoSilenceSegment);
        paths.push_back(undo.File.path());
        std::fill_n(doc.SampleData.data() + i * 16, 16, std::uint8_t{0});
    }
    return paths;
}

TEST(UndoHistory, ANewStepAfterUndoDropsTheRedoBranchAndItsFiles) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 10);
    const auto paths = recordSteps(undo, doc, 4);
    undoStep(undo, doc);
    undoStep(undo, doc);
    const Snapshot afterTwo(doc);
    for (const std::string& path : paths)
        EXPECT_TRUE(std::filesystem::exists(path));

    recordRange(undo, doc, 300, 16, kUndoReverseSegment);
    std::reverse(doc.SampleData.data() + 300, doc.SampleData.data() + 316);
    EXPECT_FALSE(canRedo(undo));
    EXPECT_FALSE(redoStep(undo, doc).applied);
    EXPECT_FALSE(std::filesystem::exists(paths[2])) << "the files of dropped steps go";
    EXPECT_FALSE(std::filesystem::exists(paths[3]));
    EXPECT_TRUE(std::filesystem::exists(paths[0]));
    undoStep(undo, doc);
    EXPECT_TRUE(afterTwo == Snapshot(doc));
    EXPECT_TRUE(undoStep(undo, doc).applied);
    EXPECT_TRUE(undoStep(undo, doc).applied);
    EXPECT_FALSE(undoStep(undo, doc).applied) << "three steps were kept";
}

TEST(UndoHistory, TheOldestStepFallsOffWithItsFileAndClearingRemovesEveryFile) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 3);
    const auto paths = recordSteps(undo, doc, 5);
    EXPECT_FALSE(std::filesystem::exists(paths[0]));
    EXPECT_FALSE(std::filesystem::exists(paths[1]));
    int undone = 0;
    while (undoStep(undo, doc).applied)
        ++undone;
    EXPECT_EQ(undone, 3);
    const std::vector<std::uint8_t> zeros(32, 0);
    EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), doc.SampleData.data()))
        << "the two steps that fell off stay done";

    clearUndo(undo); // a load, a new document or close
    for (const std::string& path : paths)
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    EXPECT_FALSE(canRedo(undo));
    EXPECT_FALSE(undo.available);
}

TEST(UndoHistory, AnUnreadableStepLeavesTheDocumentAndForgetsWhatLiesBeyondIt) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 10);
    const auto paths = recordSteps(undo, doc, 3);
    undoStep(undo, doc); // the third step is now one to redo
    const Snapshot before(doc);
    std::filesystem::resize_file(paths[1], 0); // the second step's bytes are lost

    EXPECT_THROW(undoStep(undo, doc), UndoFileError);
    EXPECT_TRUE(before == Snapshot(doc)) << "the document is as it was";
    EXPECT_FALSE(undo.available) << "the first step lies beyond the lost one";
    ASSERT_TRUE(canRedo(undo)) << "the step to redo is still good";
    EXPECT_TRUE(redoStep(undo, doc).applied);

    // The same on the way forward.
    undoStep(undo, doc);
    std::filesystem::resize_file(undo.history.newer.back().File.path(), 0);
    const Snapshot undone(doc);
    EXPECT_THROW(redoStep(undo, doc), UndoFileError);
    EXPECT_TRUE(undone == Snapshot(doc));
    EXPECT_FALSE(canRedo(undo));
}

TEST(UndoHistory, TheCaptionIsCleanExactlyAtTheUnmodifiedState) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 10);
    resetUndoCaption(undo, false); // the document was just loaded
    recordSteps(undo, doc, 1);
    resetUndoCaption(undo, true);
    recordSteps(undo, doc, 1);
    EXPECT_TRUE(undoStep(undo, doc).captionModified);
    EXPECT_TRUE(undoStep(undo, doc).captionClean) << "back at the loaded state";
    EXPECT_TRUE(redoStep(undo, doc).captionModified);

    noteDocumentSaved(undo); // saved after the first step
    EXPECT_TRUE(redoStep(undo, doc).captionModified);
    EXPECT_TRUE(undoStep(undo, doc).captionClean) << "back at the saved state";
    EXPECT_TRUE(undoStep(undo, doc).captionModified) << "the loaded state is not the file now";

    // A worker's operation resets the caption after it recorded: the state before it is clean.
    clearUndo(undo);
    recordSteps(undo, doc, 1);
    resetUndoCaption(undo, false);
    EXPECT_TRUE(undoStep(undo, doc).captionClean);
    recordSteps(undo, doc, 1); // a new branch from the clean state
    EXPECT_TRUE(undoStep(undo, doc).captionClean);
}

TEST(UndoHistory, ARebuiltTableForgetsPointStepsItCannotReach) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 10);
    recordSteps(undo, doc, 1);
    recordPoint(undo, kUndoLockPoint, 1);
    recordSteps(undo, doc, 1);
    forgetPointUndo(undo); // a scan replaced the table
    EXPECT_TRUE(undoStep(undo, doc).applied);
    EXPECT_FALSE(undo.available) << "the lock and the step below it are forgotten";

    clearUndo(undo);
    recordPoint(undo, kUndoLockPoint, 1);
    recordCandidateTable(undo, doc, kUndoCandidateTable);
    forgetPointUndo(undo);
    EXPECT_TRUE(undoStep(undo, doc).applied);
    EXPECT_TRUE(undoStep(undo, doc).applied) << "the re-cut's undo gives the lock its table back";
}

TEST(UndoHistory, OneLevelIsTheSingleToggle) {
    SampleDocument doc = documentOf(512, 1, true);
    UndoRecord undo;
    setUndoLevels(undo, 5);
    recordSteps(undo, doc, 3);
    setUndoLevels(undo, 1);
    EXPECT_FALSE(keepsHistory(undo));
    EXPECT_TRUE(undo.history.older.empty());
    const Snapshot done(doc);
    undoClick(undo, doc, true);
    EXPECT_TRUE(undo.showsRedo);
    undoClick(undo, doc, true);
    EXPECT_TRUE(done == Snapshot(doc));
    EXPECT_FALSE(undoStep(undo, doc).applied) << "the history walk needs several levels";

    undoClick(undo, doc, true); // undone: a step to redo, which a new level count forgets
    setUndoLevels(undo, 4);
    EXPECT_FALSE(undo.available);
    EXPECT_FALSE(canRedo(undo));
}

} // namespace
} // namespace tolvane
