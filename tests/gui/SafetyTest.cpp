// Nothing lost, nothing unsafe, in the real main window: outputs that are nodes or the open
// file, the sound bank's keys, a tempo a MIDI file cannot hold, a scan that fills the table,
// processing that keeps the user's points, shortcuts while a worker runs, and a signal.
#include "app/CommandTable.h"
#include "app/dialogs/TForm6.h"
#include "app/dialogs/TNormaliseForm.h"
#include "gui/WindowTestSupport.h"
#include "slicing/LoopSegments.h"

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <functional>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class SafetyTest : public test::LoadedWindowTest {
protected:
    // Accepts the next modal dialog (the keymap window), as the user would.
    static void acceptNextDialog() {
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->accept();
        });
    }
    std::string openFile() const { return m_dir.file("loop.wav"); }
    test::Bytes openFileBytes() const { return test::readBytes(openFile()); }
    QStringList texts() const { return m_dialogs.texts(); }
};

// A FIFO in place of the file a save would replace is refused with the save's own error, and
// left a FIFO; the SoundFont's message says why after its own text.
TEST_F(SafetyTest, ANodeInPlaceOfAnOutputIsRefusedWithTheSaveError) {
    const std::string fifo = m_dir.file("fifo.wav");
    ASSERT_TRUE(test::makeNode(fifo, test::NodeKind::Fifo));
    m_dialogs.files.push_back(QString::fromStdString(fifo));
    m_dialogs.answers.push_back(MessageAnswer::No);
    m_form->SaveAsitemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_TRUE(m_dialogs.shown[0].text.startsWith("Error saving file!"))
        << m_dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(test::isNode(fifo, test::NodeKind::Fifo));
    EXPECT_EQ(doc().FileName, openFile()) << "the document keeps its file";

    m_dialogs.shown.clear();
    const std::string bank = m_dir.file("bank.sf2");
    ASSERT_TRUE(test::makeNode(bank, test::NodeKind::Fifo));
    acceptNextDialog();
    m_dialogs.files.push_back(QString::fromStdString(bank));
    m_form->SaveSFItemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u) << texts().join("\n").toStdString();
    EXPECT_EQ(m_dialogs.shown[0].text,
              "Error saving SoundFont file;\r\nMay be insufficent disk space or file may be "
              "open\r\n\r\ncannot write " +
                  QString::fromStdString(bank) + ": it is not a regular file");
    EXPECT_TRUE(test::isNode(bank, test::NodeKind::Fifo));
}

// Every save but the document's own writes elsewhere than the open file: a region, a series
// whose file is the open one through a link, a template, a bank's wave, a point file.
TEST_F(SafetyTest, NoSaveButTheDocumentsOwnReplacesTheOpenFile) {
    const test::Bytes original = openFileBytes();
    fs::create_symlink("loop.wav", m_dir.path() / "s1.wav"); // the one segment of series "s"
    const std::string link = m_dir.file("s1.wav");
    const auto refusedFor = [&](const std::string& chosen, const std::string& output,
                                const std::function<void()>& command) {
        m_dialogs.shown.clear();
        m_dialogs.files.push_back(QString::fromStdString(chosen));
        command();
        test::waitUntilIdle(*m_form);
        ASSERT_EQ(m_dialogs.shown.size(), 1u) << chosen;
        EXPECT_TRUE(m_dialogs.shown[0].text.startsWith(
            "Cannot save to " + QString::fromStdString(output) +
            ":\r\nit is the file of the open sample, " + QString::fromStdString(openFile())))
            << m_dialogs.shown[0].text.toStdString();
        EXPECT_EQ(openFileBytes(), original) << chosen;
        EXPECT_TRUE(fs::is_symlink(link));
    };
    refusedFor(openFile(), openFile(), [&] { m_form->SaveRegionItemClick(); });
    refusedFor(m_dir.file("s.wav"), link, [&] {
        acceptNextDialog();
        m_form->SplitMenuItemClick();
    });
    refusedFor(m_dir.file("s.sfz"), link, [&] {
        acceptNextDialog();
        m_form->SaveSFItemClick();
    });
    refusedFor(openFile(), openFile(), [&] { m_form->SavePointClick(); });
    m_form->setLoopLength(1, 0);
    refusedFor(link, link, [&] {
        acceptNextDialog();
        m_form->SaveMidMenuItemClick();
    });

    // "Save As" onto the open file is the document's own save.
    m_dialogs.shown.clear();
    m_dialogs.files.push_back(QString::fromStdString(openFile()));
    m_form->SaveAsitemClick();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(m_dialogs.shown.empty()) << texts().join("\n").toStdString();
}

// A sound bank gives each segment a key of its own: "Use base note only" does not apply to it
// (the window says so), and the keys must end at 127.
TEST(TForm6, ForASoundBankBaseNoteOnlyDoesNotHideTheTopKey) {
    KeymapSettings keymap;
    keymap.baseNoteOnly = true;
    TForm6 mapping(keymap, 100);
    EXPECT_FALSE(mapping.warningShown()) << "a sampler's map plays them all on one key";
    EXPECT_FALSE(mapping.baseNoteOnlyNoteShown());
    TForm6 bank(keymap, 100, nullptr, KeymapUse::SoundBank);
    EXPECT_TRUE(bank.warningShown()) << "48 + 99 lies above 127";
    EXPECT_FALSE(bank.okButton()->isEnabled());
    EXPECT_TRUE(bank.baseNoteOnlyNoteShown());
    TForm6 fits(keymap, 80, nullptr, KeymapUse::SoundBank);
    EXPECT_FALSE(fits.warningShown()) << "the last key is 127";
    EXPECT_TRUE(fits.okButton()->isEnabled());
    keymap.baseNoteOnly = false;
    TForm6 plain(keymap, 80, nullptr, KeymapUse::SoundBank);
    EXPECT_FALSE(plain.baseNoteOnlyNoteShown());
}

TEST_F(SafetyTest, ATempoAMidiFileCannotHoldIsRefused) {
    doc().LocatorL = 0;
    doc().LocatorR = 400; // a hundred frames as 32767 bars
    m_form->setLoopLength(32767, 0);
    m_dialogs.files.push_back(QString::fromStdString(m_dir.file("t.mid")));
    acceptNextDialog(); // the keymap window, should it open
    m_form->SaveMidMenuItemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_TRUE(m_dialogs.shown[0].text.contains("3.5763 to 60000000 BPM"))
        << m_dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(m_dialogs.fileRequests.empty()) << "refused before anything is asked";
    EXPECT_FALSE(fs::exists(m_dir.file("t.mid")));
}

// A recording with more hits than the table holds: the window says how far the scan reached,
// in the status bar and once in a message, not at every scan of the same sample.
TEST_F(SafetyTest, AFullTableIsSaidOnceASample) {
    const std::string longer = m_dir.file("long.wav");
    test::writeBytes(longer, test::clickTrainWave(8300, 820));
    m_form->openDroppedFile(QString::fromStdString(longer));
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(doc().FileName, longer);
    const QString said = "The table is full at 2:32 of 2:34; later hits were not scanned";
    ASSERT_EQ(m_dialogs.shown.size(), 1u) << texts().join("\n").toStdString();
    EXPECT_EQ(m_dialogs.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(m_dialogs.shown[0].text, said + ".");
    EXPECT_EQ(m_form->statusText(0), said);

    m_form->Recut1Click();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.shown.size(), 1u) << "not again for the same sample";
    EXPECT_EQ(m_form->statusText(0), said);

    m_form->openDroppedFile(QString::fromStdString(openFile()));
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.shown.size(), 1u) << "the loop fits";
    m_form->openDroppedFile(QString::fromStdString(longer));
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.shown.size(), 2u) << "a sample opened again is told again";
}

// Normalise, invert and quantise move no audio: without "Re-cut sample" the points stay as
// they are; with it, the points are found again and every locked one is kept.
TEST_F(SafetyTest, ProcessingKeepsThePointsTheUserLocked) {
    m_form->setLoopLength(1, 0);
    action("N16ths1")->trigger(); // a grid of locked points
    test::waitUntilIdle(*m_form);
    std::vector<PointRecord> grid(doc().CandidateTable.begin() + 1,
                                  doc().CandidateTable.begin() + 1 + doc().CandidateCount);
    ASSERT_GE(grid.size(), 15u) << "the sixteenths inside one bar";
    ASSERT_TRUE(
        std::all_of(grid.begin(), grid.end(), [](const PointRecord& p) { return p.Locked == 1; }));
    const auto table = [&] {
        return std::vector<PointRecord>(doc().CandidateTable.begin() + 1,
                                        doc().CandidateTable.begin() + 1 + doc().CandidateCount);
    };
    const auto same = [](const std::vector<PointRecord>& a, const std::vector<PointRecord>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 12) == 0;
    };

    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<TNormaliseForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QCheckBox*>("CheckBox1")->setChecked(false); // no "Re-cut sample"
        dialog->accept();
    });
    action("Normalise1")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(same(table(), grid)) << "the table as it was";
    action("Invert1")->trigger(); // the box is remembered
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(same(table(), grid));

    m_form->setSensitivityPercent(60);
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<TNormaliseForm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QCheckBox*>("CheckBox1")->setChecked(true);
        dialog->accept();
    });
    action("Normalise1")->trigger();
    test::waitUntilIdle(*m_form);
    const std::vector<PointRecord> found = table();
    EXPECT_GT(found.size(), grid.size()) << "the scan found the hits again";
    for (const PointRecord& point : grid)
        EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                [&](const PointRecord& p) {
                                    return p.Position == point.Position &&
                                           p.Channel == point.Channel && p.Locked == 1;
                                }))
            << "the locked point at " << point.Position << " is kept";
    EXPECT_TRUE(
        std::is_sorted(found.begin(), found.end(), [](const PointRecord& a, const PointRecord& b) {
            return a.Position < b.Position;
        }));
    m_form->mnuUndoClick();
    EXPECT_TRUE(same(table(), grid)) << "undo brings the table back";
}

// While a worker owns the document no command may start: every shortcut of the command table,
// pressed then, opens no dialog, asks nothing and starts nothing.
TEST_F(SafetyTest, WhileAWorkerRunsNoShortcutStartsAnything) {
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    int dialogsOpened = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++dialogsOpened;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    closer.start(0);
    const std::uint32_t threshold = static_cast<std::uint32_t>(doc().Threshold);
    action("Invert1")->trigger(); // its end is delivered on this thread, later
    ASSERT_TRUE(m_form->isBusy());
    for (const CommandRow& row : commandTable()) {
        if (std::string_view(row.shortcut).empty())
            continue;
        for (const QKeySequence& key : QKeySequence::listFromString(row.shortcut))
            QTest::keySequence(m_form.get(), key);
        EXPECT_EQ(dialogsOpened, 0) << row.name << " " << row.shortcut << " opened a dialog";
        EXPECT_TRUE(m_dialogs.shown.empty()) << row.name << " asked something";
        EXPECT_TRUE(m_dialogs.fileRequests.empty()) << row.name << " asked for a file";
        EXPECT_EQ(static_cast<std::uint32_t>(doc().Threshold), threshold) << row.name;
        ASSERT_TRUE(m_form->isBusy()) << row.name << " ended the worker's bracket";
        dialogsOpened = 0;
    }
    closer.stop();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(m_form->isVisible());
}

// Waits (at most a minute) until a file whose name starts with "TVT" is made where the
// inotify descriptor watches.
bool waitForUndoFile(int watch) {
    alignas(inotify_event) char buffer[16384];
    for (int waits = 0; waits < 60; ++waits) {
        pollfd ready{watch, POLLIN, 0};
        if (::poll(&ready, 1, 1000) <= 0)
            continue;
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && std::string(event->name).rfind("TVT", 0) == 0)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

// Interrupted from outside, the editor asks nothing but leaves no temporary file: its undo
// file goes with it.
TEST(EditorSignals, ASignalRemovesTheUndoFile) {
    test::TempDir temporary, dir;
    const std::string longer = dir.file("long.wav");
    test::writeBytes(longer, test::clickTrainWave(8300, 820)); // a scan that takes a while
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, temporary.path().c_str(), IN_CREATE), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(signal, SIG_DFL);
            ::setenv("TMPDIR", temporary.path().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const std::string shot = dir.file("shot.png");
            ::execl(TOLVANE_EDITOR, TOLVANE_EDITOR, "--settings", dir.file("settings.ini").c_str(),
                    "--screenshot", shot.c_str(), longer.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(child, 0);
        const bool created = waitForUndoFile(watch);
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(watch);
        ASSERT_TRUE(created) << "no undo file within a minute";
        ASSERT_TRUE(WIFSIGNALED(status)) << "the editor ended before the signal came";
        EXPECT_EQ(WTERMSIG(status), signal);
        for (const auto& entry : fs::directory_iterator(temporary.path()))
            EXPECT_NE(entry.path().filename().string().rfind("TVT", 0), 0u)
                << entry.path() << " is left after signal " << signal;
    }
}

} // namespace
} // namespace tolvane
