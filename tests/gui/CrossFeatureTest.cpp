// Features used together in the real main window: undo while playing, undo after a save,
// stereo modes across pastes and undo, the save prompt and reloading, dialogs and playback.
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"
#include "gui/WindowTestSupport.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/PointEditing.h"

#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <fstream>

namespace tolvane {
namespace {

using test::putWaveOnClipboard;

class CrossFeatureTest : public test::LoadedWindowTest {
protected:
    // Sets the sensitivity and splits the stereo channels (L / R).
    void splitAtFullSensitivity() {
        m_form->setSensitivityPercent(100);
        m_form->LR2Click();
        m_form->setSensitivityPercent(100);
    }
    int countChannel(std::uint8_t tag) {
        int n = 0;
        for (int i = 1; i <= doc().CandidateCount; ++i)
            n += doc().CandidateTable[i].Channel == tag;
        return n;
    }
    QString channelButtonText() { return m_form->findChild<QToolButton*>("CButton")->text(); }
};

TEST_F(CrossFeatureTest, UndoingAPasteWhileLoopingPlaysTheRestoredSampleInItsFormat) {
    const auto original = bytes(0, static_cast<std::uint32_t>(doc().DataLength));
    putWaveOnClipboard(std::vector<std::uint8_t>(8000, 0x5A), 1, 16, 22050);
    m_form->mnuPasteAllKeepClick();
    ASSERT_EQ(doc().Channels, 1);
    EXPECT_EQ(m_audio.lastChannels, 1);
    EXPECT_EQ(m_audio.lastRate, 22050);
    action("Button20")->trigger(); // "Loop" over the pasted sample
    ASSERT_TRUE(m_form->player()->isPlaying());

    m_form->mnuUndoClick();
    EXPECT_FALSE(m_form->player()->isPlaying()) << "the buffer it played from is gone";
    EXPECT_EQ(m_audio.lastChannels, 2) << "the output follows the restored format";
    EXPECT_EQ(m_audio.lastRate, 44100);
    ASSERT_EQ(bytes(0, static_cast<std::uint32_t>(doc().DataLength)), original);

    action("Button3")->trigger(); // "Play" the whole view
    ASSERT_FALSE(out().written.empty());
    const auto& played = out().written.front().bytes;
    EXPECT_TRUE(std::equal(played.begin(), played.end(), original.begin()));
}

TEST_F(CrossFeatureTest, UndoingAPasteIntoASegmentRefreshesALoopThatIsPlaying) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t start = doc().SliceTable[1].Position;
    const std::uint32_t end = doc().SliceTable[2].Position;
    doc().LocatorL = start;
    doc().LocatorR = end;
    movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(end - start, 0x33), 2);
    m_form->PasteIntoSegment2Click();
    action("Button20")->trigger();
    ASSERT_FALSE(out().written.empty());
    EXPECT_EQ(out().written.front().bytes[0], 0x33);

    m_form->mnuUndoClick();
    const auto& refreshed = out().written.front().bytes;
    const auto restored = bytes(start, end);
    for (std::size_t i = 0; i < refreshed.size(); i += 1001)
        ASSERT_EQ(refreshed[i], restored[i % restored.size()]) << i;
}

TEST_F(CrossFeatureTest, RebuildingTheTableForgetsASinglePointUndo) {
    m_form->setSensitivityPercent(100);
    m_form->chooseTool(Tool::Add);
    movePointer(QPoint(300, wave()->height() / 3));
    QTest::mouseClick(wave(), Qt::LeftButton, {}, QPoint(300, wave()->height() / 3));
    ASSERT_TRUE(action("mnuUndo")->isEnabled());

    m_form->LR2Click(); // every record gets a twin: the index of the added point means another
    EXPECT_FALSE(action("mnuUndo")->isEnabled());
    const int count = doc().CandidateCount;
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().CandidateCount, count) << "nothing was taken out";
}

TEST_F(CrossFeatureTest, UndoAfterASaveLeavesTheDocumentModified) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t start = doc().SliceTable[1].Position;
    const std::uint32_t end = doc().SliceTable[2].Position;
    movePointer(QPoint((xOf(start) + xOf(end)) / 2, wave()->height() / 3));
    putWaveOnClipboard(std::vector<std::uint8_t>(100, 0x11), 2);
    m_form->PasteIntoSegment2Click();
    m_form->SaveitemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_FALSE(m_form->isModified());

    m_form->mnuUndoClick(); // the sample now differs from the file just written
    EXPECT_TRUE(m_form->isModified());
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    m_dialogs.answers.push_back(MessageAnswer::Cancel);
    m_form->CloseFile();
    EXPECT_TRUE(m_dialogs.texts().contains(
        QString("Save changes to %1?").arg(QString::fromStdString(doc().FileName))));
    EXPECT_TRUE(doc().DocumentOpen);
}

TEST_F(CrossFeatureTest, AWholeSampleUndoBringsBackTheSplitModeItsTableWasMadeIn) {
    splitAtFullSensitivity();
    const int leftPoints = countChannel(kChannelLeftSplit);
    ASSERT_GT(leftPoints, 0);
    putWaveOnClipboard(std::vector<std::uint8_t>(8000, 1), 1);
    m_form->mnuPasteAllKeepClick(); // stereo to mono
    ASSERT_EQ(doc().Channels, 1);
    EXPECT_EQ(countChannel(kChannelLeftSplit), 0) << "a mono sample has no left-channel points";

    m_form->mnuUndoClick();
    EXPECT_EQ(doc().Channels, 2);
    EXPECT_FALSE(doc().MergeChannels);
    EXPECT_EQ(countChannel(kChannelLeftSplit), leftPoints);
    EXPECT_EQ(channelButtonText(), "L / R");
    EXPECT_TRUE(action("LR2")->isChecked());
    EXPECT_FALSE(action("LR1")->isChecked());
}

TEST_F(CrossFeatureTest, PastingStereoOverSplitStereoKeepsTheSplitTable) {
    splitAtFullSensitivity();
    const int leftPoints = countChannel(kChannelLeftSplit);
    putWaveOnClipboard(std::vector<std::uint8_t>(static_cast<std::size_t>(doc().DataLength), 2), 2);
    m_form->mnuPasteAllKeepClick();
    EXPECT_FALSE(doc().MergeChannels);
    EXPECT_EQ(countChannel(kChannelLeftSplit), leftPoints);
    EXPECT_EQ(channelButtonText(), "L / R");
    // Every segment of the split table is longer than a frame.
    m_form->setSensitivityPercent(100);
    for (int i = 2; i <= doc().SliceCount; ++i) {
        if (doc().SliceTable[i].Channel == doc().SliceTable[i - 1].Channel) {
            EXPECT_GT(doc().SliceTable[i].Position - doc().SliceTable[i - 1].Position, 4u) << i;
        }
    }
}

TEST_F(CrossFeatureTest, ALeftChannelPointCanBeDraggedInSplitStereo) {
    splitAtFullSensitivity();
    int left = 0;
    for (int i = 1; i <= doc().SliceCount && !left; ++i)
        if (doc().SliceTable[i].Channel == kChannelLeftSplit)
            left = i;
    ASSERT_GT(left, 0);
    const std::uint32_t from = doc().SliceTable[left].Position;
    drag(QPoint(xOf(from) + 5, iconY(kChannelLeftSplit)),
         QPoint(xOf(from) + 33, iconY(kChannelLeftSplit)));
    bool moved = false;
    for (int i = 1; i <= doc().CandidateCount; ++i) {
        const PointRecord& p = doc().CandidateTable[i];
        moved = moved || (p.Channel == kChannelLeftSplit && p.Position > from + 100 &&
                          p.Position < from + 40000 && p.Position % 4 == 0);
    }
    EXPECT_TRUE(moved);
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().SliceTable[left].Position, from);
}

TEST_F(CrossFeatureTest, TheSavePromptAsksForANameForAFileItCannotWriteBack) {
    const std::string snd = m_dir.file("take.snd");
    test::runOrFail("sox " + test::shellQuote(TOLVANE_DEMO_LOOP) + " -t aiff " +
                    test::shellQuote(snd));
    const auto before = test::readBytes(snd);
    m_form->openDroppedFile(QString::fromStdString(snd));
    test::waitUntilIdle(*m_form);
    putWaveOnClipboard(std::vector<std::uint8_t>(4000, 3), 2);
    m_form->mnuPasteAllKeepClick();

    const std::string chosen = m_dir.file("take.wav");
    m_dialogs.answers.push_back(MessageAnswer::Yes);
    m_dialogs.files.push_back(QString::fromStdString(chosen));
    m_form->CloseFile();
    EXPECT_FALSE(doc().DocumentOpen);
    EXPECT_EQ(test::readBytes(snd), before) << "the .snd file is left as it was";
    EXPECT_EQ(testSampleFile(chosen).result, Acceptance::Accepted);
    EXPECT_EQ(testSampleFile(chosen).info.dataLength, 4000u);
}

TEST_F(CrossFeatureTest, ReloadingAChangedFileDoesNotOfferToSaveOverIt) {
    putWaveOnClipboard(std::vector<std::uint8_t>(4000, 3), 2);
    m_form->mnuPasteAllKeepClick();
    ASSERT_TRUE(m_form->isModified());
    // Another program writes a shorter loop into the file.
    const std::string file = doc().FileName;
    test::runOrFail("sox " + test::shellQuote(TOLVANE_DEMO_LOOP) + " " +
                    test::shellQuote(file + ".tmp.wav") + " trim 0 1 && mv " +
                    test::shellQuote(file + ".tmp.wav") + " " + test::shellQuote(file) +
                    " && touch -d '+2 seconds' " + test::shellQuote(file));
    const auto changed = test::readBytes(file);
    m_dialogs.answers.push_back(MessageAnswer::Yes); // "File has changed! Reload?"
    m_dialogs.answers.push_back(MessageAnswer::Yes); // a save question would take this
    m_form->applicationActivated();
    test::waitUntilIdle(*m_form);
    for (const QString& text : m_dialogs.texts())
        EXPECT_FALSE(text.startsWith("Save changes")) << text.toStdString();
    EXPECT_EQ(test::readBytes(file), changed);
    EXPECT_EQ(doc().DataLength, 176400);
    EXPECT_FALSE(m_form->isModified());
}

TEST_F(CrossFeatureTest, ASeriesStopsAtItsFirstFailureWithEveryLengthInItsSlot) {
    m_form->setSensitivityPercent(100);
    const int files = doc().SliceCount + 1;
    ASSERT_GE(files, 6);
    QTimer::singleShot(0, [] {
        if (auto* keymap = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            keymap->accept();
    });
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("hits.aiff")));
    // Room for files as long as the first one: a longer one later in the series fails.
    const auto series = loopSegmentSeries(doc());
    const std::uint32_t firstLength = sampleFileDataLength(series[0].byteCount, 30);
    ASSERT_TRUE(std::any_of(series.begin(), series.end(), [&](const LoopSegment& s) {
        return sampleFileDataLength(s.byteCount, 30) > firstLength;
    }));
    {
        const test::FileSizeLimit full(54 + firstLength);
        m_form->SplitMenuItemClick();
        test::waitUntilIdle(*m_form);
    }
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        if (entry.path().string().find("hits") != std::string::npos)
            written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    ASSERT_FALSE(written.empty());
    ASSERT_LT(written.size(), static_cast<std::size_t>(files)) << "the disk filled";
    for (std::size_t i = 0; i < written.size(); ++i) {
        // "hits01.aiff", "hits02.aiff", ...: no gaps, the AIFF extension kept whole.
        char expected[32];
        std::snprintf(expected, sizeof expected, "hits%02zu.aiff", i + 1);
        EXPECT_EQ(written[i], expected);
        EXPECT_EQ(testSampleFile(m_dir.file(written[i])).result, Acceptance::Accepted);
    }
    EXPECT_EQ(m_form->segmentFileLengths(1).size(), written.size() + 1)
        << "the failed file's length is in its slot too";
    EXPECT_TRUE(m_dialogs.texts().back().startsWith("Error saving files!"));
}

TEST_F(CrossFeatureTest, AFailedLoadLeavesTheOpenSampleReadyToPlay) {
    const std::string before = doc().FileName;
    m_form->loadFile(QString::fromStdString(m_dir.file("gone.wav"))); // vanished after the test
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.texts().back(), kMsgUnableToLoad);
    EXPECT_EQ(doc().FileName, before);
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 44100 hz stereo");
    EXPECT_TRUE(m_form->player()->isOpen());
    EXPECT_TRUE(action("Button3")->isEnabled());
    action("Button3")->trigger();
    EXPECT_TRUE(m_form->player()->isPlaying());
}

TEST_F(CrossFeatureTest, OwnDialogsDoNotStopPlaybackButLeavingTheProgramReleasesTheOutput) {
    action("Button20")->trigger();
    ASSERT_TRUE(m_form->player()->isPlaying());
    QEvent deactivate(QEvent::WindowDeactivate); // a modal box of the program takes the focus
    QApplication::sendEvent(m_form.get(), &deactivate);
    EXPECT_TRUE(m_form->player()->isPlaying());

    m_form->Button24Click();
    const int opens = m_audio.opens;
    m_form->applicationStateChanged(Qt::ApplicationInactive); // idle, but the output is open
    EXPECT_FALSE(m_form->player()->isOpen());
    EXPECT_FALSE(action("Button3")->isEnabled());
    m_form->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(m_form->player()->isOpen());
    EXPECT_EQ(m_audio.opens, opens + 1);
    EXPECT_TRUE(action("Button3")->isEnabled());
}

TEST_F(CrossFeatureTest, ZoomCommandsKeepTheirStatesAndTheCursorFollowsTheView) {
    m_form->setSensitivityPercent(100);
    movePointer(QPoint(xOf(doc().SliceTable[1].Position) + 20, wave()->height() / 3));
    m_form->PopUpZtsClick();
    EXPECT_TRUE(action("SaveSelectItem")->isEnabled());
    EXPECT_TRUE(action("button4")->isEnabled());

    m_form->PopUp11Click();
    action("Button3")->trigger();
    auto* timer = m_form->findChild<QTimer*>("SuperTimer1");
    ASSERT_TRUE(timer->isActive());
    const int before = timer->interval();
    m_form->PopupZinClick();
    EXPECT_TRUE(timer->isActive());
    EXPECT_NE(timer->interval(), before);
    EXPECT_EQ(timer->interval(), std::max(m_form->view().playTimerInterval, 1));

    for (int i = 0; i < 12 && action("PopupZin")->isEnabled(); ++i)
        m_form->PopupZinClick();
    EXPECT_FALSE(action("PopupZin")->isEnabled());
    const ViewState atLimit = m_form->view();
    EXPECT_NEAR(atLimit.zoom, kMaxZoom, 1.0);
    // Shift-clicks and the zoom tool stop where the menu item does.
    QTest::mouseClick(wave(), Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 40));
    m_form->chooseTool(Tool::Zoom);
    QTest::mouseClick(wave(), Qt::LeftButton, {}, QPoint(300, 40));
    EXPECT_EQ(m_form->view().viewLength, atLimit.viewLength);
}

TEST_F(CrossFeatureTest, TheOneToOneKeyKeepsTheToolAndTheWheelScrollsByItsDelta) {
    m_form->PopupZinClick();
    m_form->PopupZinClick();
    QTest::keyClick(m_form.get(), Qt::Key_6);
    EXPECT_EQ(m_form->view().zoom, 1.0);
    EXPECT_EQ(m_form->tool(), Tool::Select);
    EXPECT_TRUE(action("SpeedButton1")->isChecked());

    m_form->PopupZinClick();
    m_form->PopupZinClick();
    const std::int32_t start = m_form->view().viewStart;
    const std::int64_t bytesPerPixel = m_form->view().viewLength / wave()->width();
    QWheelEvent touchpad(QPointF(100, 100), m_form->mapToGlobal(QPointF(100, 100)), QPoint(),
                         QPoint(0, 12), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_form.get(), &touchpad);
    EXPECT_EQ(m_form->view().viewStart - start, 12 * bytesPerPixel);
}

TEST_F(CrossFeatureTest, TheSaveToolSelectsAndPlaysOnAPressAndRightClickSaves) {
    m_form->setSensitivityPercent(100);
    m_form->chooseTool(Tool::SaveSegment);
    const std::uint32_t start = doc().SliceTable[2].Position;
    const std::uint32_t end = doc().SliceTable[3].Position;
    const QPoint inside((xOf(start) + xOf(end)) / 2, wave()->height() / 3);
    movePointer(inside);
    QTest::mousePress(wave(), Qt::LeftButton, {}, inside);
    ASSERT_TRUE(m_form->view().selected);
    EXPECT_EQ(m_form->view().selected->start, start);
    ASSERT_FALSE(out().written.empty());
    EXPECT_EQ(out().written.back().bytes, bytes(start, end));
    EXPECT_EQ(m_form->findChild<QTimer*>("SuperTimer1")->interval(), 5)
        << "a single segment's cursor is polled every 5 ms";
    QTest::mouseRelease(wave(), Qt::LeftButton, {}, inside);

    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("segment.wav")));
    QTest::mouseClick(wave(), Qt::RightButton, {}, inside);
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(testSampleFile(m_dir.file("segment.wav")).info.dataLength, end - start);
}

TEST_F(CrossFeatureTest, DraggingAPointTakesItsOwnMarkerAway) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t position = doc().SliceTable[2].Position;
    const int x = xOf(position);
    const QRgb lineColour = toQRgb(m_form->settings().colours.div);
    const int y = wave()->height() / 2 + 5;
    ASSERT_EQ(m_form->waveformPicture().pixel(x, y), lineColour);
    const QPoint grab(x + 5, iconY(1));
    movePointer(grab);
    QTest::mousePress(wave(), Qt::LeftButton, {}, grab);
    QTest::mouseMove(wave(), grab + QPoint(40, 0));
    EXPECT_NE(m_form->waveformPicture().pixel(x, y), lineColour);
    QTest::mouseRelease(wave(), Qt::LeftButton, {}, grab + QPoint(40, 0));
}

TEST_F(CrossFeatureTest, TheOldRightMouseMenuSettingPutsTheSegmentToolsAway) {
    start(true, {{"OldRMB", "true"}});
    for (const char* name : {"bzoom", "bcopy", "bsseg"})
        EXPECT_FALSE(action(name)->isVisible()) << name;
    EXPECT_TRUE(action("SpeedButton2")->isVisible());
    QTest::keyClick(m_form.get(), Qt::Key_8);
    EXPECT_EQ(m_form->tool(), Tool::Select) << "a hidden tool cannot be chosen by its key";
}

TEST_F(CrossFeatureTest, AutoPlayIsKeptAsTheUserLeftIt) {
    m_dialogs.autoPlayOnReturn = false;
    m_form->OpenFile(); // cancelled
    m_form->close();
    QSettings ini(QString::fromStdString(m_dir.file("settings.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value("1/Config/AutoPlay").toString(), "false");
}

TEST_F(CrossFeatureTest, TheFileToolbarButtonsFollowTheirCommands) {
    for (const char* name : {"SaveWaveB", "SpeedButton17", "SpeedButton16"})
        ASSERT_NE(action(name), nullptr) << name;
    EXPECT_EQ(action("SaveWaveB")->statusTip(), "Click to save segments in defined region");
    EXPECT_TRUE(action("SpeedButton17")->isEnabled());
    m_form->CloseFile();
    EXPECT_FALSE(action("SaveWaveB")->isEnabled());
    EXPECT_FALSE(action("SpeedButton17")->isEnabled());
}

TEST_F(CrossFeatureTest, TheHiddenRefindButtonReCuts) {
    m_form->setSensitivityPercent(100);
    m_form->chooseTool(Tool::Add);
    movePointer(QPoint(300, wave()->height() / 3));
    QTest::mouseClick(wave(), Qt::LeftButton, {}, QPoint(300, wave()->height() / 3));
    const int withAdded = doc().CandidateCount;
    action("refind")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(doc().CandidateCount, withAdded - 1) << "the scan found the table again";
    EXPECT_EQ(action("mnuUndo")->text(), "&Undo");
}

TEST_F(CrossFeatureTest, WorkFromTopPutsTheBarsAndLocatorsAboveTheWaveform) {
    auto* bars = m_form->findChild<TWaveBox*>("PaintBox2");
    auto* locator = m_form->findChild<QWidget*>("Button19");
    ASSERT_GT(bars->y(), wave()->y());
    action("mnuPpanel")->trigger();
    EXPECT_LT(bars->geometry().bottom(), wave()->y());
    EXPECT_LT(locator->y(), bars->y());
    for (QMenu* menu : m_form->findChildren<QMenu*>())
        EXPECT_FALSE(menu->actions().contains(action("mnuPpanel"))) << "a hidden item";
    action("ViewETItem")->setChecked(false);
    EXPECT_FALSE(m_form->findChild<QToolBar*>("EditToolbar")->isVisible());
}

} // namespace
} // namespace tolvane
