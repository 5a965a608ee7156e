// The transport in the real main window, on a recording audio output.
#include "app/TMainForm.h"
#include "app/controls/TWaveBox.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "gui/WindowTestSupport.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

class PlaybackTest : public testing::Test {
protected:
    void SetUp() override {
        m_store =
            std::make_unique<QSettingsStore>(QString::fromStdString(m_dir.file("settings.ini")));
        m_form = std::make_unique<TMainForm>(*m_store, m_dialogs, &m_audio);
        m_form->show();
        QApplication::processEvents();
        m_form->openDroppedFile(TOLVANE_DEMO_LOOP);
        test::waitUntilIdle(*m_form);
        ASSERT_TRUE(m_form->document().DocumentOpen);
        ASSERT_TRUE(m_form->player()->isOpen());
    }

    QAction* action(const char* name) { return m_form->findChild<QAction*>(name); }
    test::FakeAudioOutput& out() { return *m_audio.last; }
    std::vector<std::uint8_t> bytes(std::uint32_t from, std::uint32_t count) {
        const std::uint8_t* data = m_form->document().SampleData.data();
        return {data + from, data + from + count};
    }

    test::TempDir m_dir;
    test::ScriptedDialogs m_dialogs;
    test::FakeAudioBackend m_audio;
    std::unique_ptr<QSettingsStore> m_store;
    std::unique_ptr<TMainForm> m_form;
};

TEST_F(PlaybackTest, PlaySendsTheVisibleRangeAndStopStopsIt) {
    m_form->PopupZinClick();
    action("Button3")->trigger();
    ASSERT_FALSE(out().written.empty());
    const ViewState& view = m_form->view();
    EXPECT_EQ(out().written.front().bytes, bytes(view.viewStart, view.viewLength));
    EXPECT_TRUE(action("Button3")->isChecked());
    action("Button24")->trigger();
    EXPECT_FALSE(m_form->player()->isPlaying());
    EXPECT_FALSE(action("Button3")->isChecked());
}

TEST_F(PlaybackTest, LoopRepeatsTheLocatorRegion) {
    SampleDocument& doc = m_form->document();
    doc.LocatorL = 88200;
    doc.LocatorR = 88200 + 4000;
    action("Button20")->trigger();
    ASSERT_FALSE(out().written.empty());
    const auto& first = out().written.front().bytes;
    for (std::size_t i = 0; i < first.size(); i += 997)
        ASSERT_EQ(first[i], doc.SampleData.data()[88200 + i % 4000]) << i;
}

TEST_F(PlaybackTest, AClickOnASegmentAuditionsItAndStopLeavesTheDeviceAlone) {
    m_form->setSensitivityPercent(100);
    auto* wave = m_form->findChild<TWaveBox*>("Paintbox1");
    const SampleDocument& doc = m_form->document();
    const std::uint32_t start = doc.SliceTable[2].Position;
    const std::uint32_t end = doc.SliceTable[3].Position;
    const int x = static_cast<int>(double(start + end) / 2 / doc.DataLength * wave->width());
    QTest::mouseMove(wave, QPoint(1, 1));
    QTest::mouseClick(wave, Qt::LeftButton, {}, QPoint(x, wave->height() / 3));
    ASSERT_FALSE(out().written.empty());
    EXPECT_EQ(out().written.back().bytes, bytes(start, end - start));
    EXPECT_TRUE(m_form->player()->segmentAudition);
    const int resets = out().resets;
    m_form->player()->stop();
    EXPECT_EQ(out().resets, resets) << "a segment audition plays out";
}

TEST_F(PlaybackTest, UncheckingTheLeftChannelSilencesItWhilePlaying) {
    action("Button3")->trigger();
    action("LeftChannel")->trigger(); // left off: the right channel only
    EXPECT_EQ(out().left, 0);
    EXPECT_GT(out().right, 0);
    action("LeftChannel")->trigger();
    EXPECT_GT(out().left, 0);
}

TEST_F(PlaybackTest, ADeviceThatRejectsTheRateSaysSo) {
    m_audio.refuse = true;
    m_form->openDroppedFile(TOLVANE_DEMO_LOOP);
    test::waitUntilIdle(*m_form);
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown.back().title, "Error Opening Wave Output Device:#32");
    EXPECT_EQ(m_dialogs.shown.back().text, kMsgRateRejected);
    EXPECT_FALSE(action("Button3")->isEnabled());
}

TEST(PlaybackWithoutSound, TheEditorStartsAndSaysThereIsNoSoundcard) {
    test::TempDir dir;
    QSettingsStore store(QString::fromStdString(dir.file("settings.ini")));
    test::ScriptedDialogs dialogs;
    TMainForm form(store, dialogs, nullptr);
    form.show();
    form.FormShow("");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.front().text,
              "Error! - no soundcard found - check system control panel\r\n\r\n"
              "Audio system: none could be started\r\n"
              "Device tried: the default output device");
    form.openDroppedFile(TOLVANE_DEMO_LOOP);
    test::waitUntilIdle(form);
    EXPECT_TRUE(form.document().DocumentOpen) << "editing works without sound";
    EXPECT_FALSE(form.document().DetectPending) << "and the scan ran";
    EXPECT_FALSE(form.findChild<QAction*>("Button3")->isEnabled());
}

// A system whose only devices record (they have no output) has nothing to play on either; the
// message names the system and the device the settings chose.
TEST(PlaybackWithoutSound, AnAudioSystemWithoutOutputsIsNamedWithTheDeviceTried) {
    test::TempDir dir;
    const QString settings = QString::fromStdString(dir.file("settings.ini"));
    QSettings(settings, QSettings::IniFormat).setValue("1/Config/WaveID", "2");
    QSettingsStore store(settings);
    test::ScriptedDialogs dialogs;
    test::FakeAudioBackend audio;
    audio.devices = {"", ""};
    TMainForm form(store, dialogs, &audio);
    form.FormShow("");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.front().text,
              "Error! - no soundcard found - check system control panel\r\n\r\n"
              "Audio system: Fake audio, which offers no output device\r\n"
              "Device tried: device 2 (chosen in Preferences)");

    audio.devices = {"", "Speakers"};
    test::ScriptedDialogs quiet;
    TMainForm withOutput(store, quiet, &audio);
    withOutput.FormShow("");
    EXPECT_FALSE(quiet.texts().join("").contains("no soundcard"));
}

} // namespace
} // namespace tolvane
