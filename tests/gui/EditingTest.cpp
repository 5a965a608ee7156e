// Undo, the audio clipboard and slice-point editing in the real main window.
#include "app/TMainForm.h"
#include "app/controls/TWaveBox.h"
#include "document/ClipboardImage.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "gui/WindowTestSupport.h"
#include "slicing/PointEditing.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::ScriptedDialogs;
using test::TempDir;

using test::putWaveOnClipboard;

class EditingTest : public test::LoadedWindowTest {};

TEST_F(EditingTest, PasteIntoSegmentFillsTheRestWithSilenceAndUndoAlternates) {
    m_form->setSensitivityPercent(100);
    ASSERT_GE(doc().SliceCount, 3);
    const std::uint32_t start = doc().SliceTable[1].Position;
    const std::uint32_t end = doc().SliceTable[2].Position;
    const auto original = bytes(start, end);
    movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(100, 0x11), 2);
    m_form->PasteIntoSegment2Click();

    const auto pasted = bytes(start, end);
    EXPECT_EQ(std::vector<std::uint8_t>(pasted.begin(), pasted.begin() + 100),
              std::vector<std::uint8_t>(100, 0x11));
    EXPECT_TRUE(
        std::all_of(pasted.begin() + 100, pasted.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    EXPECT_TRUE(action("mnuUndo")->isEnabled());
    EXPECT_EQ(action("mnuUndo")->text(), "&Undo");

    m_form->mnuUndoClick();
    EXPECT_EQ(bytes(start, end), original);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane")
        << "undoing the only change removes the *";
    EXPECT_EQ(action("mnuUndo")->text(), "&Redo");
    m_form->mnuUndoClick();
    EXPECT_EQ(bytes(start, end), pasted);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    EXPECT_EQ(action("mnuUndo")->text(), "&Undo");
}

TEST_F(EditingTest, ALongerClipboardIsCutToTheSegment) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t start = doc().SliceTable[1].Position;
    const std::uint32_t end = doc().SliceTable[2].Position;
    const auto after = bytes(end, end + 64);
    movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(end - start + 4000, 0x22), 2);
    m_form->PasteIntoSegment2Click();
    const auto segment = bytes(start, end);
    EXPECT_TRUE(
        std::all_of(segment.begin(), segment.end(), [](std::uint8_t b) { return b == 0x22; }));
    EXPECT_EQ(bytes(end, end + 64), after);
}

TEST_F(EditingTest, WithUndoOffTheUndoCommandNeverEnables) {
    start(false);
    m_form->setSensitivityPercent(100);
    movePointer(QPoint(xOf(doc().SliceTable[1].Position) + 20, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(40, 0x11), 2);
    m_form->PasteIntoSegment2Click();
    m_form->Recut1Click();
    EXPECT_FALSE(action("mnuUndo")->isEnabled());
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
}

TEST_F(EditingTest, DraggingAPointPastItsNeighbourReSortsIt) {
    m_form->setSensitivityPercent(100);
    const int count = doc().CandidateCount;
    const std::uint32_t first = doc().SliceTable[1].Position;
    const std::uint32_t second = doc().SliceTable[2].Position;
    drag(QPoint(xOf(first) + 5, iconY(1)), QPoint(xOf(second) + 20, iconY(1)));
    EXPECT_EQ(doc().CandidateCount, count);
    bool sorted = true;
    for (int i = 2; i <= doc().CandidateCount; ++i)
        sorted = sorted && doc().CandidateTable[i - 1].Position <= doc().CandidateTable[i].Position;
    EXPECT_TRUE(sorted);
    EXPECT_GT(doc().SliceTable[2].Position, second)
        << "the moved point now follows its old neighbour";
    EXPECT_EQ(doc().SliceTable[1].Position, second);

    m_form->mnuUndoClick();
    EXPECT_EQ(doc().SliceTable[1].Position, first);
}

TEST_F(EditingTest, ARightChannelPointDraggedInSplitStereoStaysOnTheRightSample) {
    m_form->LR2Click();
    m_form->setSensitivityPercent(100);
    int right = 0;
    for (int i = 1; i <= doc().SliceCount && !right; ++i)
        if (doc().SliceTable[i].Channel == 1 && !doc().SliceTable[i].Locked)
            right = i;
    ASSERT_GT(right, 0);
    const std::uint32_t from = doc().SliceTable[right].Position;
    drag(QPoint(xOf(from) + 5, iconY(1)), QPoint(xOf(from) + 33, iconY(1)));
    bool found = false;
    for (int i = 1; i <= doc().CandidateCount; ++i) {
        const PointRecord& p = doc().CandidateTable[i];
        if (p.Channel == 1 && p.Position > from + 100 && p.Position < from + 40000 &&
            p.Position % 4 == 2)
            found = true;
    }
    EXPECT_TRUE(found);
}

TEST_F(EditingTest, AnAddedPointIsLockedEnabledAndSurvivesTheSliderAtZero) {
    m_form->chooseTool(Tool::Add);
    const int count = doc().CandidateCount;
    movePointer(QPoint(300, wave()->height() / 3));
    QTest::mouseClick(wave(), Qt::LeftButton, {}, QPoint(300, wave()->height() / 3));
    ASSERT_EQ(doc().CandidateCount, count + 1);
    int added = 0;
    for (int i = 1; i <= doc().CandidateCount; ++i)
        if (doc().CandidateTable[i].Strength == kAddedPointStrength)
            added = i;
    ASSERT_GT(added, 0) << "without Add At Current Length the strength is 32640";
    EXPECT_EQ(doc().CandidateTable[added].Locked, 1);
    EXPECT_EQ(doc().CandidateTable[added].Enabled, 1);
    m_form->setSensitivityPercent(0);
    EXPECT_EQ(doc().SliceCount, 1);
    EXPECT_EQ(doc().SliceTable[1].Position, doc().CandidateTable[added].Position);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane")
        << "point edits do not modify the sample";
}

TEST_F(EditingTest, LockAllTakesTheVisiblePointsAndUnlockAllLeavesNoneAtZero) {
    m_form->setSensitivityPercent(60);
    const int visible = doc().SliceCount;
    ASSERT_GT(visible, 0);
    ASSERT_LT(visible, doc().CandidateCount);
    m_form->mnuLockAllClick();
    int locked = 0;
    for (int i = 1; i <= doc().CandidateCount; ++i)
        locked += doc().CandidateTable[i].Locked != 0;
    EXPECT_EQ(locked, visible);
    m_form->setSensitivityPercent(0);
    EXPECT_EQ(doc().SliceCount, visible);
    m_form->mnuUnlockAllClick();
    m_form->setSensitivityPercent(0);
    EXPECT_EQ(doc().SliceCount, 0);
}

TEST_F(EditingTest, APressAboveTheIconStripSelectsASegmentInsteadOfDragging) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t first = doc().SliceTable[1].Position;
    const int x = xOf(first) + 5;
    movePointer(QPoint(x, wave()->height() / 4));
    QTest::mousePress(wave(), Qt::LeftButton, {}, QPoint(x, wave()->height() / 4));
    QTest::mouseMove(wave(), QPoint(x + 60, wave()->height() / 4));
    QTest::mouseRelease(wave(), Qt::LeftButton, {}, QPoint(x + 60, wave()->height() / 4));
    EXPECT_EQ(doc().SliceTable[1].Position, first) << "nothing moved";
    ASSERT_TRUE(m_form->view().selected);
    EXPECT_EQ(m_form->view().selected->start, first);
    EXPECT_EQ(doc().SelectedSegment, 2);
}

TEST_F(EditingTest, PasteAllRefusesOtherWidthsAndReplacesTheSample) {
    putWaveOnClipboard(std::vector<std::uint8_t>(100, 7), 1, 8);
    m_form->mnuPasteAllKeepClick();
    EXPECT_EQ(m_dialogs.texts().back(), kMsgPasted16Bit);
    EXPECT_EQ(doc().DataLength, 705600);

    putWaveOnClipboard(std::vector<std::uint8_t>(4000, 3), 1);
    m_form->mnuPasteAllKeepClick();
    EXPECT_EQ(doc().DataLength, 4000);
    EXPECT_EQ(doc().Channels, 1);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().DataLength, 705600);
    EXPECT_EQ(doc().Channels, 2);
}

TEST_F(EditingTest, CopyPutsAWaveImageOnTheClipboard) {
    m_form->mnuCopyAllClick();
    const QByteArray item = QApplication::clipboard()->mimeData()->data("audio/wav");
    ASSERT_EQ(item.size(), 46 + 705600);
    EXPECT_EQ(item.left(4), "RIFF");
    const auto pasted = readPastedSample(
        {reinterpret_cast<const std::uint8_t*>(item.constData()), std::size_t(item.size())});
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted->channels, 2);
    EXPECT_TRUE(std::equal(pasted->data.begin(), pasted->data.end(), doc().SampleData.data()));
}

TEST_F(EditingTest, AFullDiskStopsThePasteAndKeepsTheSample) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t start = doc().SliceTable[1].Position;
    const std::uint32_t end = doc().SliceTable[2].Position;
    const auto original = bytes(start, end);
    movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(100, 0x11), 2);
    {
        const test::FileSizeLimit full(64);
        m_form->PasteIntoSegment2Click();
    }
    EXPECT_EQ(bytes(start, end), original);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane");
    ASSERT_FALSE(m_dialogs.texts().isEmpty());
    EXPECT_TRUE(m_dialogs.texts().back().startsWith("The undo buffer could not be written"));
}

TEST_F(EditingTest, TheUndoFileIsGoneAfterExit) {
    const std::string path = m_form->undoRecord().File.path();
    ASSERT_TRUE(std::filesystem::exists(path));
    m_form.reset();
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
} // namespace tolvane
