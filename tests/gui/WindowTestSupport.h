#pragma once

#include "app/TMainForm.h"
#include "app/controls/TWaveBox.h"
#include "document/ClipboardImage.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane::test {

// Lets the window's load, scan and save workers finish (at most 20 seconds).
inline void waitUntilIdle(TMainForm& form) {
    QElapsedTimer timer;
    timer.start();
    while ((form.isBusy() || form.document().DetectPending) && timer.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
}

// Puts a RIFF/WAVE clipboard item of the given samples on the clipboard, as another program would.
inline void putWaveOnClipboard(const std::vector<std::uint8_t>& samples, std::uint16_t channels,
                               std::uint16_t bits = 16, std::uint32_t rate = 44100) {
    const auto image = makeClipboardImage(samples, channels, rate, rate * 2 * channels, bits);
    auto* mime = new QMimeData;
    mime->setData("audio/wav",
                  QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));
    QApplication::clipboard()->setMimeData(mime);
}

// The real main window on a recording audio output and scripted dialogs, with a copy of the
// demo loop (stereo, 44100 Hz) open and scanned.
class LoadedWindowTest : public testing::Test {
protected:
    void SetUp() override { start(true); }

    // Starts a window with the given extra settings and opens the loop.
    void start(bool undoEnabled, const std::vector<std::pair<QString, QString>>& settings = {}) {
        m_form.reset();
        QSettings ini(QString::fromStdString(m_dir.file("settings.ini")), QSettings::IniFormat);
        ini.setValue("1/Config/EnableUndo", undoEnabled ? "true" : "false");
        for (const auto& [name, value] : settings)
            ini.setValue("1/Config/" + name, value);
        ini.sync();
        m_store =
            std::make_unique<QSettingsStore>(QString::fromStdString(m_dir.file("settings.ini")));
        m_form = std::make_unique<TMainForm>(*m_store, m_dialogs, &m_audio);
        m_form->show();
        m_form->resize(640, 480);
        QApplication::processEvents();
        const std::string file = m_dir.file("loop.wav");
        std::filesystem::copy_file(TOLVANE_DEMO_LOOP, file,
                                   std::filesystem::copy_options::overwrite_existing);
        m_form->openDroppedFile(QString::fromStdString(file));
        waitUntilIdle(*m_form);
        ASSERT_TRUE(doc().DocumentOpen);
    }

    SampleDocument& doc() { return m_form->document(); }
    TWaveBox* wave() { return m_form->findChild<TWaveBox*>("Paintbox1"); }
    QAction* action(const char* name) { return m_form->findChild<QAction*>(name); }
    FakeAudioOutput& out() { return *m_audio.last; }
    int xOf(std::uint32_t position) {
        return static_cast<int>((double(position) - m_form->view().viewStart) /
                                m_form->view().viewLength * wave()->width());
    }
    // A y inside the icon strip of a channel (1: the bottom one, 2: the one above the centre).
    int iconY(std::uint8_t channel) { return wave()->height() / channel - 8; }

    // Qt drops a move to where the pointer already is, so go somewhere else first.
    void movePointer(QPoint to) {
        QTest::mouseMove(wave(), QPoint(to.x() > 3 ? 1 : 5, 1));
        QTest::mouseMove(wave(), to);
    }

    void drag(QPoint from, QPoint to) {
        movePointer(from);
        QTest::mousePress(wave(), Qt::LeftButton, {}, from);
        QTest::mouseMove(wave(), (from + to) / 2);
        QTest::mouseMove(wave(), to);
        QTest::mouseRelease(wave(), Qt::LeftButton, {}, to);
    }

    std::vector<std::uint8_t> bytes(std::uint32_t from, std::uint32_t to) {
        return {doc().SampleData.data() + from, doc().SampleData.data() + to};
    }

    TempDir m_dir;
    ScriptedDialogs m_dialogs;
    FakeAudioBackend m_audio;
    std::unique_ptr<QSettingsStore> m_store;
    std::unique_ptr<TMainForm> m_form;
};

} // namespace tolvane::test
