// "Save Midi Timing Template" in the real main window: the tempo question, the keymap window,
// the format chosen in the dialog, split stereo, a failed write and notes above the top key.
#include "cli/Tolvane.h"
#include "export/MidiTemplate.h"
#include "export/TrackFile.h"
#include "export/TrackFileLibrary.h"
#include "gui/WindowTestSupport.h"
#include "slicing/LoopSegments.h"
#include "slicing/Tempo.h"

#include <QDialog>
#include <QTimer>
#include <sstream>

namespace tolvane {
namespace {

class TemplateTest : public test::LoadedWindowTest {
protected:
    // Accepts the keymap window as soon as it shows.
    void acceptKeymapWindow() {
        QTimer::singleShot(0, [] {
            if (auto* keymap = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                keymap->accept();
        });
    }
    // Note-on events of a one-track file written by the template.
    static int noteOns(const test::Bytes& file) {
        int count = 0;
        for (std::size_t i = 22; i + 3 < file.size(); ++i)
            count += file[i] == 0x90 && file[i + 2] == 0x60;
        return count;
    }
};

TEST_F(TemplateTest, AsksForATempoThenWritesTheChosenFormat) {
    m_form->setSensitivityPercent(100);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("never.mid")));
    action("SaveMidMenuItem")->trigger(); // bars and beats 0: "No" ends it
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].title, kMsgNoTempo);
    EXPECT_TRUE(m_dialogs.fileRequests.empty());

    m_dialogs.answers.push_back(MessageAnswer::Yes);
    m_dialogs.fileTypes.push_back(1);
    acceptKeymapWindow();
    action("SaveMidMenuItem")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(m_dialogs.fileRequests[0].caption, "Save Midi File As");
    EXPECT_EQ(m_dialogs.fileRequests[0].filters,
              QStringList({"Midi Format 0 Files (*.mid)", "Midi Format 1 Files (*.mid)"}));
    const auto file = test::readBytes(m_dir.file("never.mid"));
    ASSERT_GT(file.size(), 22u);
    EXPECT_EQ(file[9], 1) << "the second type is format 1";
    EXPECT_EQ(noteOns(file), static_cast<int>(loopSegmentSeries(doc()).size()));
    EXPECT_EQ(m_form->settings().SaveMidDir, QString::fromStdString(m_dir.path()));
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 44100 hz stereo");

    std::ostringstream out, err;
    ASSERT_EQ(cli::runTolvane({"export", m_dir.file("loop.wav"), "--sensitivity", "100", "--bars",
                               "1", "--midi", m_dir.file("cli.mid"), "--format", "1"},
                              out, err),
              0)
        << err.str();
    EXPECT_EQ(test::readBytes(m_dir.file("cli.mid")), file) << "the command line writes the same";
}

TEST_F(TemplateTest, SplitStereoWritesAFilePerChannelAndFailuresAreSaid) {
    m_form->setSensitivityPercent(100);
    m_form->LR2Click();
    m_form->setSensitivityPercent(100);
    m_form->setLoopLength(2, 0);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("split.mid")));
    acceptKeymapWindow();
    action("SaveMidMenuItem")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("splitL.mid")));
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("splitR.mid")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("split.mid")));

    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("missing/x.mid")));
    acceptKeymapWindow();
    action("SaveMidMenuItem")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown.back().text, kMsgMidiSaveError);
    EXPECT_FALSE(m_form->isBusy());
}

TEST_F(TemplateTest, NotesAboveTheTopKeyAreLeftOutAndCounted) {
    m_form->setSensitivityPercent(100);
    m_form->setLoopLength(2, 0);
    KeymapSettings keymap;
    keymap.octave = 10;
    keymap.note = 8; // G8 = 127: the first segment fits, every other one is left out
    m_form->setKeymap(keymap);
    const int segments = static_cast<int>(loopSegmentSeries(doc()).size());
    ASSERT_GT(segments, 2);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("high.mid")));
    acceptKeymapWindow();
    action("SaveMidMenuItem")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(noteOns(test::readBytes(m_dir.file("high.mid"))), 1);
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_TRUE(m_dialogs.shown.back().text.startsWith(QString::number(segments - 1) + " of"))
        << m_dialogs.shown.back().text.toStdString();
}

TEST_F(TemplateTest, TheCombinedCommandWritesTheBankAfterTheTemplate) {
    m_form->setSensitivityPercent(100);
    m_form->setLoopLength(2, 0);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("both.mid")));
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("both.sf2")));
    acceptKeymapWindow(); // once: the bank takes the keymap the template was written with
    action("SaveSFM")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(m_dialogs.shown.empty()) << m_dialogs.texts().join("|").toStdString();
    ASSERT_EQ(m_dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(m_dialogs.fileRequests[1].fileName, "both") << "the bank is named after the template";
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("both.mid")));
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("both.sf2")));
    EXPECT_FALSE(m_form->isBusy());
}

TEST_F(TemplateTest, TheTrackFileGoesThroughTheLibraryTheSettingsName) {
    m_form->setLoopLength(1, 0);
    action("SaveTrackItem")->trigger(); // no library set
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, kMsgTrackLibraryMissing);

    start(true, {{"TrackLib", "/nowhere/libtrack.so"}});
    m_form->setLoopLength(1, 0);
    action("SaveTrackItem")->trigger();
    EXPECT_TRUE(m_dialogs.shown.back().text.startsWith(QString(kMsgTrackLibraryMissing) +
                                                       "\r\n\r\n/nowhere/libtrack.so"))
        << "the message, then the system's reason";

    start(true, {{"TrackLib", TOLVANE_NO_ENTRIES_LIBRARY}});
    m_form->setLoopLength(1, 0);
    action("SaveTrackItem")->trigger();
    EXPECT_EQ(m_dialogs.shown.back().text,
              QString(kMsgTrackLibraryEntryMissing) + "\r\n\r\nno entry InitTrkAssets")
        << "the message, then what is missing";

    start(true, {{"TrackLib", TOLVANE_TRACK_LIBRARY}});
    m_form->setLoopLength(1, 0);
    action("SaveTrackItem")->trigger();
    EXPECT_EQ(m_dialogs.shown.back().text, kMsgTrackNeedsMono) << "the demo loop is stereo";

    // A mono loop: the library gets every segment and the note stream.
    const std::string mono = m_dir.file("mono.wav");
    test::Bytes samples(88200);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(i % 4000 < 40 ? 0x70 : i % 3);
    test::writeBytes(mono, test::waveImage(1, 44100, samples));
    m_form->openDroppedFile(QString::fromStdString(mono));
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(doc().Channels, 1);
    m_form->setSensitivityPercent(100);
    m_form->setLoopLength(1, 0);
    const std::size_t messages = m_dialogs.shown.size();
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("loop.trk")));
    acceptKeymapWindow();
    action("SaveTrackItem")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.shown.size(), messages) << m_dialogs.texts().join("|").toStdString();
    EXPECT_EQ(m_dialogs.fileRequests.back().caption, "Save Mixman Track File As");
    EXPECT_EQ(m_dialogs.fileRequests.back().fileName, "mono.trk");
    const auto dump = test::readBytes(m_dir.file("loop.trk"));
    ASSERT_GE(dump.size(), 2048u);
    EXPECT_EQ(dump[276], trackSamples(doc()).size());
    EXPECT_EQ(m_form->settings().SaveTrkDir, QString::fromStdString(m_dir.path()));

    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("refuse.trk")));
    acceptKeymapWindow();
    action("SaveTrackItem")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.shown.back().text, kMsgTrackWriteFailed);
}

} // namespace
} // namespace tolvane
