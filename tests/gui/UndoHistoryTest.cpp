// Several undo levels in the real main window: ten different operations undone and redone in
// order, in mono, merged and split stereo, while playing; the one-level toggle left as it was.
#include "gui/WindowTestSupport.h"

#include <QKeySequence>

namespace tolvane {
namespace {

// What an undo or redo must give back.
struct WindowState {
    std::vector<std::uint8_t> data;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    bool merged = false;
    std::vector<PointRecord> candidates;
    bool operator==(const WindowState&) const = default;
};

class UndoHistoryWindowTest : public test::LoadedWindowTest {
protected:
    void SetUp() override { start(true, {{"UndoLevels", "10"}}); }

    WindowState state() {
        const SampleDocument& d = doc();
        return {bytes(0, static_cast<std::uint32_t>(d.DataLength)), d.Channels, d.SampleRate,
                d.MergeChannels,
                std::vector<PointRecord>(d.CandidateTable.begin(),
                                         d.CandidateTable.begin() + d.CandidateCount + 2)};
    }

    // The loop's left channel alone, as a mono file.
    void openMonoLoop() {
        const auto stereo = test::samples16(bytes(0, static_cast<std::uint32_t>(doc().DataLength)));
        std::vector<std::int16_t> left;
        for (std::size_t i = 0; i < stereo.size(); i += 2)
            left.push_back(stereo[i]);
        const std::string file = m_dir.file("mono.wav");
        test::writeBytes(file, test::waveImage(1, 44100, test::pcm16(left)));
        m_form->openDroppedFile(QString::fromStdString(file));
        test::waitUntilIdle(*m_form);
        ASSERT_EQ(doc().Channels, 1);
    }

    void pointIntoSlice(int slice) {
        const std::uint32_t start = doc().SliceTable[slice].Position;
        const std::uint32_t end = doc().SliceTable[slice + 1].Position;
        movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 4));
    }

    void run(const char* command) {
        action(command)->trigger();
        test::waitUntilIdle(*m_form);
    }

    void loop() {
        if (!m_form->player()->isPlaying()) // the button stops a loop that plays
            action("Button20")->trigger();
        ASSERT_TRUE(m_form->player()->isPlaying());
    }

    // Ten operations of ten different kinds, each from a playing loop; the state after each.
    std::vector<WindowState> tenOperations() {
        std::vector<WindowState> states{state()};
        const auto done = [&] { states.push_back(state()); };
        const auto filler = [](std::size_t count) {
            return std::vector<std::uint8_t>(count, 0x21);
        };
        m_form->setSensitivityPercent(100);
        m_form->setLoopLength(1, 0);
        loop();
        run("Invert1");
        done();
        loop();
        run("N16ths1"); // a grid of points
        done();
        loop();
        pointIntoSlice(2);
        run("mnuReverse");
        done();
        loop();
        pointIntoSlice(4);
        run("mnuSilence");
        done();
        loop();
        test::putWaveOnClipboard(filler(4000), m_form->document().Channels);
        pointIntoSlice(6);
        m_form->PasteIntoSegment2Click();
        done();
        loop();
        run("Randomise2"); // the segments shuffled, the points kept
        done();
        loop();
        run("Recut1"); // detected points in place of the grid
        done();
        loop();
        run("Randomise1"); // the segments shuffled and the points found again
        done();
        doc().LocatorL = doc().SliceTable[2].Position;
        doc().LocatorR = doc().SliceTable[6].Position;
        loop();
        m_form->CropRegion1Click();
        done();
        test::putWaveOnClipboard(filler(88200), m_form->document().Channels, 16, 22050);
        loop();
        m_form->mnuPasteAllKeepClick(); // another rate
        done();
        return states;
    }

    void walkTheHistory() {
        const auto states = tenOperations();
        ASSERT_EQ(states.size(), 11u);
        for (std::size_t i = 1; i < states.size(); ++i)
            ASSERT_FALSE(states[i] == states[i - 1]) << "operation " << i << " changed nothing";
        EXPECT_TRUE(action("mnuRedo")->isVisible());
        EXPECT_FALSE(action("mnuRedo")->isEnabled());

        for (std::size_t back = 10; back > 0; --back) {
            SCOPED_TRACE(back);
            loop();
            ASSERT_TRUE(action("mnuUndo")->isEnabled());
            m_form->mnuUndoClick();
            test::waitUntilIdle(*m_form);
            EXPECT_TRUE(state() == states[back - 1]);
            EXPECT_EQ(action("mnuUndo")->text(), "&Undo") << "the caption does not toggle";
            EXPECT_TRUE(action("mnuRedo")->isEnabled());
        }
        EXPECT_FALSE(action("mnuUndo")->isEnabled());
        EXPECT_EQ(m_form->windowTitle().contains('*'), false) << "back at the file as loaded";

        for (std::size_t forward = 1; forward <= 10; ++forward) {
            SCOPED_TRACE(forward);
            loop();
            m_form->mnuRedoClick();
            test::waitUntilIdle(*m_form);
            EXPECT_TRUE(state() == states[forward]);
        }
        EXPECT_FALSE(action("mnuRedo")->isEnabled());
        EXPECT_TRUE(m_form->windowTitle().contains('*'));
        // The output plays what the last redo put back.
        action("Button3")->trigger();
        ASSERT_FALSE(out().written.empty());
        const auto& played = out().written.back().bytes;
        EXPECT_TRUE(std::equal(played.begin(), played.end(), states.back().data.begin()));
    }
};

TEST_F(UndoHistoryWindowTest, TenOperationsInMergedStereo) {
    walkTheHistory();
}

TEST_F(UndoHistoryWindowTest, TenOperationsInSplitStereo) {
    m_form->setSensitivityPercent(100);
    m_form->LR2Click();
    ASSERT_FALSE(doc().MergeChannels);
    walkTheHistory();
}

TEST_F(UndoHistoryWindowTest, TenOperationsInMono) {
    openMonoLoop();
    walkTheHistory();
}

TEST_F(UndoHistoryWindowTest, TheShortcutsWalkAndANewOperationDropsTheRedoSteps) {
    EXPECT_EQ(action("mnuRedo")->shortcuts(),
              (QList<QKeySequence>{QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")}));
    EXPECT_TRUE(action("ShowSensitivity")->shortcut().isEmpty()) << "Ctrl+Y is Redo's now";
    const auto original = state();
    run("Invert1");
    const auto inverted = state();
    m_form->setLoopLength(1, 0);
    run("N16ths1");
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    QTest::keyClick(m_form.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(m_form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state() == original);
    QTest::keyClick(m_form.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(state() == inverted);
    QTest::keyClick(m_form.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(m_form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state() == inverted);

    pointIntoSlice(1);
    run("mnuReverse"); // a new branch: the grid cut cannot be redone now
    EXPECT_FALSE(action("mnuRedo")->isEnabled());
    m_form->mnuUndoClick();
    EXPECT_TRUE(state() == inverted);
}

TEST_F(UndoHistoryWindowTest, AnUnreadableStepChangesNothingAndSaysSo) {
    run("Invert1");
    m_form->setSensitivityPercent(100);
    pointIntoSlice(2);
    run("mnuReverse");
    const auto reversed = state();
    std::filesystem::resize_file(m_form->undoRecord().File.path(), 0);
    m_form->mnuUndoClick();
    EXPECT_TRUE(state() == reversed);
    ASSERT_FALSE(m_dialogs.texts().empty());
    EXPECT_TRUE(m_dialogs.texts().back().startsWith("The undo buffer could not be read"));
    EXPECT_FALSE(action("mnuUndo")->isEnabled()) << "the invert lay beyond the lost step";
}

TEST_F(UndoHistoryWindowTest, OneLevelKeepsTheToggleAndHidesRedo) {
    start(true, {{"UndoLevels", "1"}});
    EXPECT_FALSE(action("mnuRedo")->isVisible());
    EXPECT_EQ(action("ShowSensitivity")->shortcut(), QKeySequence("Ctrl+Y"));
    const auto original = state();
    run("Invert1");
    m_form->mnuUndoClick();
    EXPECT_EQ(action("mnuUndo")->text(), "&Redo");
    EXPECT_TRUE(state() == original);
    EXPECT_FALSE(action("mnuRedo")->isEnabled());
}

} // namespace
} // namespace tolvane
