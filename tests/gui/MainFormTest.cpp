// The main window driven as a user would, headless, with scripted dialogs.
#include "app/TMainForm.h"
#include "app/controls/LocatorButton.h"
#include "document/PointFile.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"
#include "gui/WindowTestSupport.h"
#include "slicing/TransientScan.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::ScriptedDialogs;
using test::TempDir;

class MainFormTest : public testing::Test {
protected:
    void SetUp() override {
        m_store = std::make_unique<QSettingsStore>(settingsFile());
        m_form = std::make_unique<TMainForm>(*m_store, m_dialogs, &m_audio);
        m_form->show();
        QApplication::processEvents();
    }

    QString settingsFile() const { return QString::fromStdString(m_dir.file("settings.ini")); }

    // Lets the load and scan workers finish.
    void waitUntilIdle() {
        test::waitUntilIdle(*m_form);
        ASSERT_FALSE(m_form->isBusy());
    }

    void openThroughDialog(const QString& file) {
        m_dialogs.files.push_back(file);
        m_form->OpenFile();
        waitUntilIdle();
    }

    QString copyOfDemo(const std::string& name) {
        const std::string path = m_dir.file(name);
        std::filesystem::copy_file(TOLVANE_DEMO_LOOP, path,
                                   std::filesystem::copy_options::overwrite_existing);
        return QString::fromStdString(path);
    }

    template <typename T = QAction> T* child(const char* name) {
        return m_form->findChild<T*>(name);
    }

    TempDir m_dir;
    ScriptedDialogs m_dialogs;
    test::FakeAudioBackend m_audio;
    std::unique_ptr<QSettingsStore> m_store;
    std::unique_ptr<TMainForm> m_form;
};

TEST_F(MainFormTest, StartsEmptyWhenNoFileIsGivenAndTheOpenDialogIsOff) {
    QSettings(settingsFile(), QSettings::IniFormat).setValue("1/Config/showopendialog", "false");
    m_store = std::make_unique<QSettingsStore>(settingsFile());
    m_form = std::make_unique<TMainForm>(*m_store, m_dialogs, &m_audio);
    m_form->FormShow("");
    EXPECT_TRUE(m_dialogs.fileRequests.empty());
    EXPECT_EQ(m_form->windowTitle(), "WaveTolvane");
    EXPECT_EQ(m_form->statusText(0), "Hint");
    EXPECT_EQ(m_form->statusText(1), "No File Loaded");
    EXPECT_EQ(m_form->statusText(3), "x1.0");
    EXPECT_FALSE(child("FileCloseItem")->isEnabled());
    EXPECT_FALSE(child("RevertItem")->isEnabled());
    EXPECT_FALSE(child("PopupZin")->isEnabled());
}

TEST_F(MainFormTest, RunsTheOpenCommandAtStartAndRefusesAMissingCommandLineFile) {
    m_form->FormShow("");
    ASSERT_EQ(m_dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(m_dialogs.fileRequests.front().caption, "Open Waveform");

    m_form->FormShow(QString::fromStdString(m_dir.file("gone.wav")));
    EXPECT_EQ(m_dialogs.texts().back(), "Error opening file - check path!");
    EXPECT_FALSE(m_form->document().DocumentOpen);
}

TEST_F(MainFormTest, OpensAndScansAsTheCommandLineToolDoes) {
    m_form->FormShow(""); // the window at its default size; the open dialog is cancelled
    const QString demo = copyOfDemo("demo-loop.wav");
    openThroughDialog(demo);
    const SampleDocument& doc = m_form->document();
    ASSERT_TRUE(doc.DocumentOpen);
    EXPECT_EQ(m_form->windowTitle(), "demo-loop.wav - WaveTolvane");
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 44100 hz stereo");
    EXPECT_EQ(m_form->waveWidth(), kDefaultWaveformWidth)
        << "the default window gives the merge's width";
    EXPECT_TRUE(child("FileCloseItem")->isEnabled());
    EXPECT_TRUE(child("PopupZin")->isEnabled());
    EXPECT_TRUE(child<QToolButton>("CButton")->isVisibleTo(m_form.get()));
    EXPECT_EQ(child<QToolButton>("CButton")->text(), "L + R");

    SampleDocument expected;
    openSampleDocument(expected, demo.toStdString());
    scanTransients(expected, ScanOptions{kDefaultWaveformWidth});
    ASSERT_EQ(doc.CandidateCount, expected.CandidateCount);
    for (int i = 1; i <= doc.CandidateCount; ++i)
        EXPECT_EQ(doc.CandidateTable[i], expected.CandidateTable[i]) << i;
    EXPECT_EQ(doc.Threshold, kThresholdAfterLoad) << "the slider at 0 cannot go one step down";
    EXPECT_EQ(doc.SliceCount, 0);
}

TEST_F(MainFormTest, RefusedFilesGiveTheirMessagesAndLeaveTheDocument) {
    openThroughDialog(copyOfDemo("loop.wav"));
    const std::string eight = m_dir.file("eight.wav");
    test::writeBytes(eight, test::waveImage(1, 8000, Bytes(100), 1, 8));
    const std::string broken = m_dir.file("broken.wav");
    test::writeBytes(broken, Bytes(64, 'x'));

    openThroughDialog(QString::fromStdString(eight));
    EXPECT_EQ(m_dialogs.texts().back(), kMsgTypeUnrecognised);
    EXPECT_EQ(m_dialogs.shown.back().kind, MessageKind::Warning);
    openThroughDialog(QString::fromStdString(broken));
    EXPECT_EQ(m_dialogs.texts().back(), kMsgUnableToLoad);
    EXPECT_EQ(m_dialogs.shown.back().kind, MessageKind::Error);
    EXPECT_EQ(m_form->windowTitle(), "loop.wav - WaveTolvane");
    EXPECT_EQ(m_form->document().DataLength, 705600);
}

TEST_F(MainFormTest, RecentFilesKeepTheNewestFirst) {
    const QString a = copyOfDemo("a.wav"), b = copyOfDemo("b.wav"), c = copyOfDemo("c.wav");
    for (const QString& file : {a, b, c})
        openThroughDialog(file);
    auto captions = [this] {
        QStringList list;
        for (int i = 1; i <= 4; ++i)
            list << child(QString("SubOpenItem%1").arg(i).toLatin1().constData())->text();
        return list;
    };
    EXPECT_EQ(captions(), (QStringList{c, b, a, ""}));
    EXPECT_FALSE(child("SubOpenItem4")->isVisible());
    openThroughDialog(b.toUpper() == b ? b : b); // already listed: the order stays
    EXPECT_EQ(captions(), (QStringList{c, b, a, ""}));
    m_form->OpenRecentFile(2);
    waitUntilIdle();
    EXPECT_EQ(captions(), (QStringList{a, b, c, ""})) << "the opened file swaps with the first";
    EXPECT_EQ(m_form->windowTitle(), "a.wav - WaveTolvane");

    std::filesystem::remove(b.toStdString());
    m_form->OpenRecentFile(1);
    EXPECT_EQ(m_dialogs.texts().back(), kMsgFileNotFound);
}

TEST_F(MainFormTest, SensitivitySelectsSlicePointsAndZoomLimitsHold) {
    openThroughDialog(copyOfDemo("loop.wav"));
    m_form->setSensitivityPercent(100);
    const SampleDocument& doc = m_form->document();
    int nonNegative = 0;
    for (int i = 1; i <= doc.CandidateCount; ++i)
        nonNegative += doc.CandidateTable[i].Strength >= 0;
    EXPECT_EQ(doc.SliceCount, nonNegative);
    EXPECT_EQ(child<QSlider>("TrackBar1")->value(), 65535);
    EXPECT_EQ(doc.Threshold, -1);
    EXPECT_TRUE(child("PopUpZts")->isEnabled());

    for (int i = 0; i < 9; ++i)
        m_form->PopupZinClick();
    EXPECT_FALSE(child("PopupZin")->isEnabled());
    EXPECT_GT(m_form->view().zoom, 500);
    EXPECT_EQ(m_form->statusText(3), QString::fromStdString(zoomInStatusText(m_form->view().zoom)));
    m_form->PopUp11Click();
    EXPECT_EQ(m_form->statusText(3), "x1.0");
    EXPECT_FALSE(child("PopUpZout")->isEnabled());
}

TEST_F(MainFormTest, SplittingAndMergingTheStereoChannels) {
    openThroughDialog(copyOfDemo("loop.wav"));
    const int merged = m_form->document().CandidateCount;
    m_form->LR2Click();
    EXPECT_FALSE(m_form->document().MergeChannels);
    EXPECT_EQ(m_form->document().CandidateCount, 2 * merged);
    EXPECT_EQ(child<QToolButton>("CButton")->text(), "L / R");
    EXPECT_GT(child<QWidget>("Paintbox3")->height(), 0) << "the strip shows for split stereo";
    m_form->LR1Click();
    EXPECT_TRUE(m_form->document().MergeChannels);
    EXPECT_EQ(child<QToolButton>("CButton")->text(), "L + R");
    EXPECT_EQ(child<QWidget>("Paintbox3")->height(), 0);
}

TEST_F(MainFormTest, PointFilesRoundTripThroughTheirDialogs) {
    openThroughDialog(copyOfDemo("loop.wav"));
    const PointTable before = m_form->document().CandidateTable;
    const int count = m_form->document().CandidateCount;
    const QString tlp = QString::fromStdString(m_dir.file("loop.tlp"));
    m_dialogs.files.push_back(tlp);
    m_form->SavePointClick();
    EXPECT_EQ(m_dialogs.fileRequests.back().caption, "Save point file");
    EXPECT_EQ(std::filesystem::file_size(tlp.toStdString()), kPointFileSize);

    m_form->document().CandidateCount = 0;
    m_dialogs.files.push_back(tlp);
    m_form->OpenPointClick();
    EXPECT_EQ(m_dialogs.fileRequests.back().caption, "Load point file");
    EXPECT_EQ(m_form->document().CandidateCount, count);
    EXPECT_EQ(m_form->document().CandidateTable, before);
}

TEST_F(MainFormTest, AFileChangedElsewhereIsOfferedForReloading) {
    const QString file = copyOfDemo("loop.wav");
    openThroughDialog(file);
    std::filesystem::last_write_time(file.toStdString(),
                                     std::filesystem::last_write_time(file.toStdString()) +
                                         std::chrono::seconds(5));
    m_dialogs.answers.push_back(MessageAnswer::No);
    m_form->applicationActivated();
    EXPECT_EQ(m_dialogs.texts().back(), "File has changed! Reload?");
    const auto shown = m_dialogs.shown.size();
    m_form->applicationActivated();
    EXPECT_EQ(m_dialogs.shown.size(), shown) << "asked once per change";
}

TEST_F(MainFormTest, DraggedLocatorSnapsToASlicePoint) {
    openThroughDialog(copyOfDemo("loop.wav"));
    m_form->setSensitivityPercent(100);
    auto* left = child<LocatorButton>("Button19");
    ASSERT_TRUE(left->isVisible());
    QTest::mousePress(left, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(5 + 200, 5), left->mapToGlobal(QPointF(205, 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(left, &move);
    QTest::mouseRelease(left, Qt::LeftButton, {}, QPoint(5 + 200 - (left->x() - 2), 5));
    const SampleDocument& doc = m_form->document();
    bool onSlicePoint = false;
    for (int i = 0; i <= doc.SliceCount + 1; ++i)
        onSlicePoint = onSlicePoint || doc.SliceTable[i].Position == doc.LocatorL;
    EXPECT_TRUE(onSlicePoint);
    EXPECT_GT(doc.LocatorL, 0u);
    EXPECT_LT(doc.LocatorL, doc.LocatorR);
}

TEST_F(MainFormTest, ClosingRemembersAMaximisedWindowAndItsNormalSize) {
    m_form->resize(700, 500);
    QApplication::processEvents();
    m_form->showMaximized();
    QApplication::processEvents();
    m_form->close();
    QSettings raw(settingsFile(), QSettings::IniFormat);
    raw.beginGroup("1/Config");
    EXPECT_EQ(raw.value("MWS").toString(), "2");
    EXPECT_EQ(raw.value("Max").toString(), "true");
    EXPECT_EQ(raw.value("Width").toString(), "640")
        << "the normal size is the one before maximising";
}

} // namespace
} // namespace tolvane
