// Saving from the real main window, checked with sox.
#include "app/TMainForm.h"
#include "app/dialogs/TForm6.h"
#include "cli/Tolvane.h"
#include "document/ClipboardImage.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "fileio/SampleFileReader.h"
#include "gui/WindowTestSupport.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace tolvane {
namespace {

using test::TempDir;

class RecordingShell : public Shell {
public:
    QString program;
    QStringList arguments;
    bool open(const QString& p, const QStringList& a) override {
        program = p;
        arguments = a;
        return true;
    }
};

class SaveTest : public testing::Test {
protected:
    void SetUp() override {
        m_store =
            std::make_unique<QSettingsStore>(QString::fromStdString(m_dir.file("settings.ini")));
        m_form = std::make_unique<TMainForm>(*m_store, m_dialogs, &m_audio);
        m_form->show();
        QApplication::processEvents();
        m_file = m_dir.file("loop.wav");
        std::filesystem::copy_file(TOLVANE_DEMO_LOOP, m_file);
        m_form->openDroppedFile(QString::fromStdString(m_file));
        waitUntilIdle();
        ASSERT_TRUE(m_form->document().DocumentOpen);
    }

    void waitUntilIdle() { test::waitUntilIdle(*m_form); }

    void modify() {
        const std::vector<std::uint8_t> samples(4000, 9);
        const auto image = makeClipboardImage(samples, 1, 22050, 44100, 16);
        auto* mime = new QMimeData;
        mime->setData("audio/wav", QByteArray(reinterpret_cast<const char*>(image.data()),
                                              qsizetype(image.size())));
        QApplication::clipboard()->setMimeData(mime);
        m_form->mnuPasteAllKeepClick();
        ASSERT_TRUE(m_form->isModified());
    }

    TempDir m_dir;
    test::ScriptedDialogs m_dialogs;
    test::FakeAudioBackend m_audio;
    std::unique_ptr<QSettingsStore> m_store;
    std::unique_ptr<TMainForm> m_form;
    std::string m_file;
};

TEST_F(SaveTest, SaveAsWritesTheSampleAndTakesTheNewName) {
    const std::string target = m_dir.file("copy.aif");
    m_dialogs.files.push_back(QString::fromStdString(target));
    m_form->SaveAsitemClick();
    waitUntilIdle();
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(test::soxDecodeToRaw16(target), test::soxDecodeToRaw16(TOLVANE_DEMO_LOOP));
    EXPECT_EQ(m_form->windowTitle(), "copy.aif - WaveTolvane");
    EXPECT_EQ(m_form->document().FileName, target);
}

TEST_F(SaveTest, SaveClearsTheModifiedMark) {
    modify();
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    m_form->SaveitemClick();
    waitUntilIdle();
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane");
    SampleDocument saved;
    loadSampleFile(saved, m_file);
    EXPECT_EQ(saved.DataLength, 4000);
    EXPECT_EQ(saved.Channels, 1);
}

TEST_F(SaveTest, AnAiffOpenedUnderItsLongNameIsSavedAsAiff) {
    const std::string aiff = m_dir.file("long.aiff");
    test::runOrFail("sox " + test::shellQuote(TOLVANE_DEMO_LOOP) + " " + test::shellQuote(aiff));
    m_form->openDroppedFile(QString::fromStdString(aiff));
    waitUntilIdle();
    modify();
    m_form->SaveitemClick();
    waitUntilIdle();
    EXPECT_EQ(testSampleFile(aiff).result, Acceptance::Accepted)
        << "read back in the layout it was read in";

    const std::string snd = m_dir.file("loop.snd");
    std::filesystem::copy_file(aiff, snd);
    m_form->openDroppedFile(QString::fromStdString(snd));
    waitUntilIdle();
    modify();
    m_form->SaveitemClick(); // no WAV or AIFF name: the save dialog asks (and is cancelled)
    waitUntilIdle();
    ASSERT_FALSE(m_dialogs.fileRequests.empty());
    EXPECT_EQ(m_dialogs.fileRequests.back().caption, "Save Waveform As");
    EXPECT_EQ(testSampleFile(snd).result, Acceptance::Accepted) << "the file is untouched";
}

TEST_F(SaveTest, ASplitStereoDocumentSavesBothChannelsAndStaysSplit) {
    m_form->LR2Click();
    m_form->SaveitemClick();
    waitUntilIdle();
    EXPECT_FALSE(m_form->document().MergeChannels);
    EXPECT_EQ(test::soxDecodeToRaw16(m_file), test::soxDecodeToRaw16(TOLVANE_DEMO_LOOP));
}

TEST_F(SaveTest, AFailedSaveAsksAndLeavesNothing) {
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("no/such/folder/x.wav")));
    m_dialogs.answers.push_back(MessageAnswer::No);
    m_form->SaveAsitemClick();
    waitUntilIdle();
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_TRUE(m_dialogs.shown.back().text.startsWith("Error saving file!\r\n\r\n"));
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane");
}

// Accepts the next "Keymap settings", noting the line that says why it appears ("" for none).
void acceptKeymapWindow(QString& reason) {
    reason = "(no keymap window)";
    QTimer::singleShot(0, [&reason] {
        if (auto* keymap = dynamic_cast<TForm6*>(QApplication::activeModalWidget())) {
            auto* line = keymap->findChild<QLabel*>("KeymapReason");
            reason = line && !line->isHidden() ? line->text() : QString();
            keymap->accept();
        }
    });
}

TEST_F(SaveTest, SegmentsInLoopAreWrittenAsANumberedSeries) {
    m_form->setSensitivityPercent(60);
    QString reason;
    acceptKeymapWindow(reason);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("hits.wav")));
    m_form->SplitMenuItemClick();
    waitUntilIdle();
    EXPECT_EQ(reason,
              "The segment files are written next: their end points are smoothed as set here.")
        << "the first time, the keymap window says why it appears";
    const int slices = m_form->document().SliceCount;
    ASSERT_GT(slices, 0);
    const auto& lengths = m_form->segmentFileLengths(1);
    ASSERT_EQ(static_cast<int>(lengths.size()), slices + 1);
    for (int i = 1; i <= slices + 1; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "hits%02d.wav", i);
        ASSERT_TRUE(std::filesystem::exists(m_dir.file(name))) << name;
        EXPECT_EQ(std::filesystem::file_size(m_dir.file(name)), 44 + lengths[i - 1]) << name;
    }
    const QString folder =
        QString::fromStdString(std::filesystem::path(m_dir.file("hits.wav")).parent_path());
    EXPECT_EQ(m_form->statusText(0), QString("%1 files written to %2: hits01.wav to hits%3.wav")
                                         .arg(slices + 1)
                                         .arg(folder)
                                         .arg(slices + 1, 2, 10, QChar('0')));

    // Again while the loop plays, after a change that undo takes back: the window no longer
    // explains itself, and the status bar tells of the new series.
    modify();
    m_form->mnuUndoClick();
    waitUntilIdle();
    m_form->Button20Click();
    acceptKeymapWindow(reason);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("again.wav")));
    m_form->SplitMenuItemClick();
    waitUntilIdle();
    EXPECT_EQ(reason, "");
    EXPECT_TRUE(m_form->statusText(0).startsWith(
        QString("%1 files written to %2: again01.wav to ").arg(slices + 1).arg(folder)));
}

TEST_F(SaveTest, TheCommandLineWritesTheSameSeriesAsTheEditor) {
    m_form->setSensitivityPercent(60);
    QTimer::singleShot(0, [] {
        if (auto* keymap = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            keymap->accept(); // smoothing on at 30 %, the keymap's defaults
    });
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("gui.wav")));
    m_form->SplitMenuItemClick();
    waitUntilIdle();
    std::ostringstream out, err;
    ASSERT_EQ(cli::runTolvane({"export", m_file, "--sensitivity", "60", "--smooth", "30",
                               "--segments", m_dir.file("cli.wav")},
                              out, err),
              0)
        << err.str();
    const int files = m_form->document().SliceCount + 1;
    for (int i = 1; i <= files; ++i) {
        char gui[32], cli[32];
        std::snprintf(gui, sizeof gui, "gui%02d.wav", i);
        std::snprintf(cli, sizeof cli, "cli%02d.wav", i);
        EXPECT_EQ(test::readBytes(m_dir.file(gui)), test::readBytes(m_dir.file(cli))) << gui;
    }
}

TEST_F(SaveTest, CropKeepsTheRegionAndUndoBringsTheSampleBack) {
    m_form->document().LocatorL = 88200;
    m_form->document().LocatorR = 176400;
    m_form->CropRegion1Click();
    EXPECT_EQ(m_form->document().DataLength, 88200);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav* - WaveTolvane");
    m_form->mnuUndoClick();
    EXPECT_EQ(m_form->document().DataLength, 705600);
}

TEST_F(SaveTest, OutsideProgramsNeedAPathAndGetTheFileName) {
    auto shell = std::make_unique<RecordingShell>();
    RecordingShell* recorded = shell.get();
    m_form->setShell(std::move(shell));
    m_form->Editexternally1Click();
    EXPECT_EQ(recorded->program, "audacity");
    EXPECT_EQ(recorded->arguments, QStringList{QString::fromStdString(m_file)});
    m_form->ControlPanel1Click();
    EXPECT_EQ(recorded->program, "pavucontrol");
}

TEST_F(SaveTest, DiscardingAModifiedSampleAsksFirst) {
    modify();
    m_dialogs.answers.push_back(MessageAnswer::Cancel);
    m_form->CloseFile();
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown.back().title, "Current File Not Saved");
    EXPECT_EQ(m_dialogs.shown.back().text,
              QString("Save changes to %1?").arg(QString::fromStdString(m_file)));
    EXPECT_TRUE(m_form->document().DocumentOpen) << "Cancel keeps the document";
    m_dialogs.answers.push_back(MessageAnswer::No);
    m_form->CloseFile();
    EXPECT_FALSE(m_form->document().DocumentOpen);
}

TEST(TForm6, TheCapacityWarningRefusesOkAndWhiteKeysFixTheBase) {
    KeymapSettings keymap;
    TForm6 ok(keymap, 10);
    EXPECT_FALSE(ok.warningShown());
    EXPECT_TRUE(ok.okButton()->isEnabled());
    TForm6 many(keymap, 100);
    EXPECT_TRUE(many.warningShown());
    EXPECT_FALSE(many.okButton()->isEnabled());
    EXPECT_EQ(many.windowTitle(), "Keymap settings");
    keymap.note = 5;
    keymap.interval = 4;
    keymap.whiteKeysOnly = true;
    TForm6 white(keymap, 3);
    EXPECT_EQ(white.keymap().note, 1);
    EXPECT_EQ(white.keymap().interval, 0);
    EXPECT_FALSE(white.findChild<QSpinBox*>("UpDown1")->isEnabled());
}

} // namespace
} // namespace tolvane
