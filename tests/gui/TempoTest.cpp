// Bars, beats and tempo, the grid cut and the shuffle in the real main window, with undo,
// stereo modes, playback and a missing temporary folder.
#include "slicing/Tempo.h"

#include "app/controls/LocatorButton.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/TTpoForm.h"
#include "gui/WindowTestSupport.h"
#include "slicing/GridCut.h"
#include "slicing/Randomise.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>

namespace tolvane {
namespace {

class TempoTest : public test::LoadedWindowTest {
protected:
    QString labelText(const char* name) { return m_form->findChild<QLabel*>(name)->text(); }
    // The tempo as the label should show it for the locator span, worked out from the format.
    QString expectedTempo(double quarterNotes) {
        const double seconds = (double(doc().LocatorR) - doc().LocatorL) / 4.0 / 44100.0;
        return QString::asprintf("%.2f BPM", 60.0 / seconds * quarterNotes);
    }
    std::vector<std::uint8_t> allBytes() { return bytes(0, std::uint32_t(doc().DataLength)); }
    std::vector<PointRecord> candidates() {
        return {doc().CandidateTable.begin(),
                doc().CandidateTable.begin() + doc().CandidateCount + 2};
    }
    // Sorted 16-bit samples of [from, to): the same multiset whatever the order of segments.
    std::vector<std::int16_t> sortedSamples(std::uint32_t from, std::uint32_t to) {
        std::vector<std::int16_t> samples((to - from) / 2);
        std::memcpy(samples.data(), doc().SampleData.data() + from, samples.size() * 2);
        std::sort(samples.begin(), samples.end());
        return samples;
    }
    void withoutSmoothing() { action("Smooth1")->setChecked(false); }
};

TEST_F(TempoTest, TheTempoFollowsBarsBeatsLocatorsUndoAndClose) {
    m_form->setSensitivityPercent(100); // slice points for the locators to land on
    EXPECT_EQ(labelText("edit1"), "0");
    EXPECT_EQ(labelText("edit2"), "0");
    EXPECT_EQ(labelText("Label3"), "0.00 BPM");

    m_form->findChild<UpDown*>("UpDown1")->stepBy(1);
    EXPECT_EQ(labelText("edit1"), "1");
    EXPECT_EQ(labelText("Label3"), expectedTempo(4));
    m_form->findChild<UpDown*>("UpDown2")->stepBy(2);
    EXPECT_EQ(labelText("Label3"), expectedTempo(6));
    EXPECT_EQ(doc().LoopBars, 1);
    EXPECT_EQ(doc().LoopBeats, 2);

    // The right locator released about halfway: the same bars and beats in less time.
    auto* right = m_form->findChild<LocatorButton*>("Button21");
    right->onReleased(xOf(std::uint32_t(doc().DataLength / 2)) + wave()->x() - right->width());
    ASSERT_LT(doc().LocatorR, std::uint32_t(doc().DataLength));
    EXPECT_EQ(labelText("Label3"), expectedTempo(6));
    const QString halfTempo = labelText("Label3");

    m_form->CropRegion1Click(); // the region becomes the sample
    EXPECT_EQ(labelText("Label3"), halfTempo);
    m_form->mnuUndoClick(); // the whole sample again, both locators at its ends
    EXPECT_EQ(doc().LocatorR, std::uint32_t(doc().DataLength));
    EXPECT_EQ(labelText("Label3"), expectedTempo(6));
    EXPECT_NE(labelText("Label3"), halfTempo);

    m_form->CloseFile();
    EXPECT_EQ(labelText("Label3"), "0.00 BPM");
}

TEST_F(TempoTest, OneBarOnLoadingWhenTheSettingSaysSo) {
    start(true, {{"SetOneBar", "true"}});
    EXPECT_EQ(labelText("edit1"), "1");
    EXPECT_EQ(labelText("edit2"), "0");
    EXPECT_EQ(labelText("Label3"), expectedTempo(4));
}

TEST_F(TempoTest, TheDialogTakesWholeNumbersHoweverItIsClosed) {
    TTpoForm form("2", "0", false);
    EXPECT_EQ(form.windowTitle(), "Change bars and beats");
    EXPECT_EQ(form.barsEdit()->selectedText(), "2");
    form.beatsEdit()->setText("x");
    EXPECT_FALSE(form.entries());
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Rejected) << "Enter with an entry that is no number";
    form.findChild<UpDown*>("UpDown2")->stepBy(3);
    EXPECT_EQ(form.beatsEdit()->text(), "3") << "the arrows write into the box";
    ASSERT_TRUE(form.entries());
    EXPECT_EQ(form.entries()->bars, 2);
    EXPECT_EQ(form.entries()->beats, 3);

    // In the window: a double-click on the beats opens it; Escape still takes the numbers.
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<TTpoForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->focusWidget(), dialog->beatsEdit());
        dialog->barsEdit()->setText("40000");
        dialog->beatsEdit()->setText("3");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseDClick(m_form->findChild<QLabel*>("edit2"), Qt::LeftButton);
    EXPECT_EQ(labelText("edit1"), QString::number(kMaxLoopBarsOrBeats)) << "clamped to the range";
    EXPECT_EQ(labelText("edit2"), "3");
}

TEST_F(TempoTest, GridCutAsksForATempoFirstAndUndoesAndRedoes) {
    withoutSmoothing();
    const auto before = candidates();
    m_dialogs.answers.push_back(MessageAnswer::No);
    action("N16ths1")->trigger();
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].title, kMsgNoTempo);
    EXPECT_EQ(m_dialogs.shown[0].text, kMsgSetOneBar);
    EXPECT_EQ(candidates(), before) << "No abandons the cut";

    m_dialogs.answers.push_back(MessageAnswer::Yes);
    action("N16ths1")->trigger();
    EXPECT_EQ(labelText("edit1"), "1");
    const int count = doc().CandidateCount;
    EXPECT_EQ(count, 15) << "a merged stereo loop: one grid, both ends dropped";
    for (int i = 1; i <= count; ++i)
        EXPECT_EQ(doc().CandidateTable[i].Locked, 1);
    EXPECT_EQ(doc().SliceCount, count);
    const auto grid = candidates();

    m_form->mnuUndoClick();
    EXPECT_EQ(candidates(), before);
    m_form->mnuUndoClick(); // redo
    EXPECT_EQ(candidates(), grid);
}

TEST_F(TempoTest, GridCutInSplitStereoAndWithSmoothing) {
    m_form->setSensitivityPercent(100);
    m_form->LR2Click();
    m_form->setLoopLength(1, 0);
    withoutSmoothing();
    action("N8ths1")->trigger();
    ASSERT_EQ(doc().CandidateCount, 14) << "a grid for each channel";
    int left = 0;
    for (int i = 1; i <= doc().CandidateCount; ++i)
        left += doc().CandidateTable[i].Channel == kChannelLeftSplit;
    EXPECT_EQ(left, 7);

    action("Smooth1")->setChecked(true);
    action("N8ths1")->trigger();
    const auto exact = candidates();
    test::waitUntilIdle(*m_form); // the refining scan
    EXPECT_FALSE(doc().DetectPending);
    EXPECT_EQ(doc().CandidateCount, 14) << "the scan keeps the grid's points";
    EXPECT_NE(candidates(), exact) << "and moves them towards quiet samples";
}

TEST_F(TempoTest, RandomiseKeepingPointsPermutesTheLoopAndUndoesEveryByte) {
    m_form->setSensitivityPercent(100);
    const auto before = allBytes();
    const auto points = candidates();
    const auto samples = sortedSamples(0, std::uint32_t(doc().DataLength));
    ASSERT_GT(doc().SliceCount, 4);
    action("Button20")->trigger(); // looping while it shuffles
    ASSERT_TRUE(m_form->player()->isPlaying());

    action("Randomise2")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_FALSE(m_form->player()->isPlaying());
    const auto shuffled = allBytes();
    EXPECT_NE(shuffled, before);
    EXPECT_EQ(sortedSamples(0, std::uint32_t(doc().DataLength)), samples);
    EXPECT_EQ(candidates(), points) << "the points are kept";
    EXPECT_TRUE(m_form->isModified());
    EXPECT_TRUE(m_form->windowTitle().contains('*'));

    action("Button3")->trigger();
    ASSERT_FALSE(out().written.empty());
    const auto& played = out().written.back().bytes;
    EXPECT_TRUE(std::equal(played.begin(), played.end(), shuffled.begin()))
        << "the player reads the shuffled data";

    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), before);
    EXPECT_FALSE(m_form->isModified());
    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), shuffled);
}

TEST_F(TempoTest, RandomiseReDetectsAndOneUndoRestoresDataAndPoints) {
    m_form->setSensitivityPercent(100);
    const auto before = allBytes();
    const auto points = candidates();
    action("Randomise1")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_NE(allBytes(), before);
    EXPECT_NE(candidates(), points) << "the points were found again";
    const auto shuffledPoints = candidates();
    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), before);
    EXPECT_EQ(candidates(), points);
    m_form->mnuUndoClick();
    EXPECT_EQ(candidates(), shuffledPoints);
}

TEST_F(TempoTest, RandomiseTheLeftChannelOfSplitStereoLeavesTheRightAlone) {
    m_form->setSensitivityPercent(100);
    m_form->LR2Click();
    m_form->setSensitivityPercent(100);
    action("RightChannel")->trigger(); // unchecked: the left channel only
    ASSERT_EQ(doc().LastChannel, 1);
    const auto before = allBytes();
    action("Randomise2")->trigger();
    test::waitUntilIdle(*m_form);
    const auto after = allBytes();
    EXPECT_NE(after, before);
    for (std::size_t i = 2; i + 1 < before.size(); i += 4)
        ASSERT_TRUE(before[i] == after[i] && before[i + 1] == after[i + 1]) << "byte " << i;
}

TEST_F(TempoTest, WithoutUndoTheShuffleUsesAScratchFileAndSaysWhenItCannot) {
    start(false);
    m_form->setSensitivityPercent(100);
    const auto before = allBytes();
    const bool hadFolder = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray folder = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(m_dir.file("missing")));
    action("Randomise2")->trigger();
    if (hadFolder)
        qputenv("TMPDIR", folder);
    else
        qunsetenv("TMPDIR");
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].title, kMsgCannotRandomise);
    EXPECT_EQ(m_dialogs.shown[0].text, kMsgCannotRandomiseHint);
    EXPECT_EQ(allBytes(), before);
    EXPECT_FALSE(m_form->isModified());

    action("Randomise2")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_NE(allBytes(), before);
    EXPECT_EQ(m_dialogs.shown.size(), 1u);
}

} // namespace
} // namespace tolvane
