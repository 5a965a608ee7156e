// Effect plug-ins from the real main window: the menu, the plug-in window with its pages and
// presets, processing with undo, refusals and the question for a plug-in without pages.
#include "app/dialogs/TFindEffectForm.h"
#include "app/dialogs/TPlugInForm.h"
#include "audio/TAudioDriver.h"
#include "gui/WindowTestSupport.h"
#include "platform/ChildProcess.h"
#include "plugins/TestPlugins.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <functional>

namespace tolvane {
namespace {

using Samples = std::vector<std::int16_t>;

class PluginWindowTest : public test::LoadedWindowTest {
protected:
    test::TestPluginEnvironment environment; // before the window is made

    void SetUp() override {
        LoadedWindowTest::SetUp();
        menu = m_form->findChild<QMenu*>("Plugins1");
        ASSERT_NE(menu, nullptr);
        m_form->plugins().buildMenu(menu);
    }

    // The item of that caption in the menu or the menus of its kinds.
    QAction* item(const QString& name) {
        for (QAction* action : menu->findChildren<QAction*>())
            if (action->text() == name)
                return action;
        return nullptr;
    }

    // Chooses the plug-in; `use` works the plug-in window (which opens at once, or once the
    // plug-in has been tried), which then closes with "Process" (or "Cancel").
    void choose(const QString& name, std::function<void(TPlugInForm&)> use, bool process) {
        bool used = false;
        QElapsedTimer waited;
        waited.start();
        std::function<void()> attempt = [&] {
            auto* form = dynamic_cast<TPlugInForm*>(QApplication::activeModalWidget());
            if (form == nullptr) {
                if (waited.elapsed() < 20000)
                    QTimer::singleShot(10, attempt);
                return;
            }
            use(*form);
            used = true;
            form->findChild<QPushButton*>(process ? "ProcessButton" : "CancelButton")->click();
        };
        QTimer::singleShot(0, attempt);
        item(name)->trigger();
        while (!used && waited.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(used) << "the plug-in window did not open";
        test::waitUntilIdle(*m_form);
    }

    Samples samples() {
        return test::samples16(bytes(0, static_cast<std::uint32_t>(doc().DataLength)));
    }

    QMenu* menu = nullptr;
};

TEST_F(PluginWindowTest, MenuGroupsTheEffectsByKindSortedAndHidesNoPluginsAvailable) {
    for (const char* name :
         {"Test Gain", "Test Spread", "Test Delay", "Test Stereo Gain", "Test Fragile Filter"}) {
        ASSERT_NE(item(name), nullptr) << name;
        EXPECT_EQ(item(name)->toolTip(), QString("Show ") + name);
    }
    ASSERT_NE(item("No plugins available"), nullptr);
    EXPECT_FALSE(item("No plugins available")->isVisible());
    QStringList top;
    for (QAction* action : menu->actions())
        top << action->text();
    EXPECT_EQ(top, (QStringList{"Find effect...", "", "No plugins available", "Amplifier", "Delay",
                                "Filter", "Other"}));
    QMenu* other = menu->actions().back()->menu();
    ASSERT_NE(other, nullptr);
    QStringList others;
    for (QAction* action : other->actions())
        others << action->text();
    EXPECT_EQ(others, (QStringList{"Test Spread", "Test Stereo Gain"}));
    EXPECT_EQ(item("Find effect...")->shortcut(), QKeySequence("Ctrl+Shift+F"));
}

// The window's first showing looks for the effects away from its thread.
TEST_F(PluginWindowTest, TheMenuOfTheFirstShowingIsFilledInTheBackground) {
    QMenu later;
    PluginCommands& plugins = m_form->plugins();
    plugins.buildMenuInBackground(&later);
    QStringList first;
    for (QAction* action : later.actions())
        first << action->text();
    EXPECT_TRUE(first.contains("Looking for effects...") || first.contains("Amplifier"))
        << first.join("|").toStdString();
    QElapsedTimer waited;
    waited.start();
    while (!later.actions()[0]->isEnabled() && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QStringList top;
    for (QAction* action : later.actions())
        top << action->text();
    EXPECT_EQ(top, (QStringList{"Find effect...", "", "No plugins available", "Amplifier", "Delay",
                                "Filter", "Other"}));
}

TEST_F(PluginWindowTest, FindEffectOpensTheChosenEffectsWindow) {
    bool searched = false;
    QTimer::singleShot(0, [&searched] {
        auto* find = dynamic_cast<TFindEffectForm*>(QApplication::activeModalWidget());
        ASSERT_NE(find, nullptr) << "the search is not open";
        // Whatever fails below, the search closes.
        const auto closing = std::shared_ptr<void>(nullptr, [find](void*) {
            if (find->isVisible())
                find->reject();
        });
        auto* list = find->findChild<QListWidget*>("ResultList");
        EXPECT_EQ(list->count(), 5) << "all of them before a word is typed";
        QTest::keyClicks(find->findChild<QLineEdit*>("FindEdit"), "gain STEREO");
        ASSERT_EQ(list->count(), 1);
        EXPECT_TRUE(list->item(0)->text().startsWith("Test Stereo Gain"));
        QTest::keyClicks(find->findChild<QLineEdit*>("FindEdit"), "x");
        EXPECT_EQ(list->count(), 0);
        EXPECT_FALSE(find->findChild<QPushButton*>("OpenButton")->isEnabled());
        find->findChild<QLineEdit*>("FindEdit")->setText("tolvane amp");
        ASSERT_EQ(list->count(), 1) << "maker and kind";
        EXPECT_TRUE(list->item(0)->text().startsWith("Test Gain"));
        find->findChild<QLineEdit*>("FindEdit")->setText("filter");
        ASSERT_EQ(list->count(), 1);
        searched = true;
        // The chosen effect's window comes next: cancel it.
        QTimer::singleShot(0, [] {
            auto* form = dynamic_cast<TPlugInForm*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr) << "the effect's window is not open";
            EXPECT_EQ(form->windowTitle(), "Plugin: Test Fragile Filter");
            form->findChild<QPushButton*>("CancelButton")->click();
        });
        find->findChild<QPushButton*>("OpenButton")->click();
    });
    QTest::keyClick(m_form.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(searched);
    EXPECT_TRUE(m_dialogs.shown.empty());
    EXPECT_FALSE(doc().Busy);
}

TEST_F(PluginWindowTest, ARangeRelativeToTheRateReachesHalfTheDocumentsRate) {
    for (const auto& [rate, top] : {std::pair{96000U, "48000 Hz"}, std::pair{22050U, "11025 Hz"}}) {
        doc().SampleRate = rate; // as the rate conversion leaves it
        doc().BytesPerSecond = rate * 4;
        choose(
            "Test Fragile Filter",
            [top = QString(top)](TPlugInForm& form) {
                auto* cutoff = form.findChild<QSlider*>("cutoff");
                ASSERT_NE(cutoff, nullptr);
                cutoff->setValue(cutoff->maximum());
                const auto* shown = cutoff->parentWidget()->findChild<QLabel*>();
                ASSERT_NE(shown, nullptr);
                EXPECT_EQ(shown->text(), top);
            },
            false);
    }
}

TEST_F(PluginWindowTest, GainOnItsPageProcessesTheLoopAsOneUndoStep) {
    const Samples before = samples();
    doc().LocatorL = 4000;
    doc().LocatorR = 8000;
    choose(
        "Test Gain",
        [](TPlugInForm& form) {
            EXPECT_EQ(form.windowTitle(), "Plugin: Test Gain");
            auto* tabs = form.findChild<QTabWidget*>("PlugTab");
            ASSERT_EQ(tabs->count(), 1);
            EXPECT_EQ(tabs->tabText(0), "Controls");
            form.findChild<QSlider*>("gain")->setValue(125); // 0.5 of a 0 to 4 range
            form.findChild<QComboBox*>("ProcessBox")->setCurrentIndex(1);
            EXPECT_EQ(form.findChild<QComboBox*>("presetbox")->itemText(1), "Half");
        },
        true);
    const Samples after = samples();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const bool inLoop = i * 2 >= 4000 && i * 2 < 8000;
        ASSERT_EQ(after[i], inLoop ? std::nearbyint(before[i] * 0.5) : before[i]) << i;
    }
    EXPECT_TRUE(m_form->isModified());
    EXPECT_FALSE(doc().Busy);
    action("mnuUndo")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(samples(), before) << "undo restores every byte";
}

TEST_F(PluginWindowTest, StoredPresetsListAndDeleteAndCancelChangesNothing) {
    const Samples before = samples();
    m_dialogs.names.push_back("Soft");
    choose(
        "Test Gain",
        [this](TPlugInForm& form) {
            form.findChild<QSlider*>("gain")->setValue(50);
            form.SaveAsClick();
            auto* presets = form.findChild<QComboBox*>("presetbox");
            EXPECT_EQ(presets->currentText(), "Soft");
            EXPECT_TRUE(form.findChild<QPushButton*>("Remove")->isEnabled());
            presets->setCurrentIndex(1); // "Half", the plug-in's own
            form.presetboxChange();
            EXPECT_EQ(form.findChild<QSlider*>("gain")->value(), 125) << "the page shows it";
            EXPECT_FALSE(form.findChild<QPushButton*>("Remove")->isEnabled());
            presets->setCurrentIndex(2);
            form.RemoveClick();
            EXPECT_EQ(presets->findText("Soft"), -1);
            EXPECT_TRUE(m_dialogs.shown.empty());
        },
        false);
    EXPECT_EQ(m_dialogs.nameCaptions, std::vector<QString>{"Name Profile:"});
    EXPECT_EQ(samples(), before);
    EXPECT_FALSE(m_form->isModified());
    EXPECT_FALSE(doc().Busy);
}

TEST_F(PluginWindowTest, PreviewFillsTheOutputWithTheLoopAndStopsWhileTheOutputIsFull) {
    doc().LocatorL = 4002;
    doc().LocatorR = 40000;
    const auto loop = bytes(4000, 4000 + 16384);
    choose(
        "Test Gain",
        [this, &loop](TPlugInForm& form) {
            form.findChild<QSlider*>("gain")->setValue(500); // 2
            test::FakeAudioOutput& preview = out();
            form.PreviewButtonClick();
            EXPECT_EQ(form.findChild<QPushButton*>("PreviewButton")->text(), "Stop");
            // Nothing is played back: the thread fills the six buffers and waits.
            for (int i = 0; i < 500 && preview.queued.size() < TAudioDriver::kBuffers; ++i)
                QThread::msleep(10);
            ASSERT_GE(preview.queued.size(), static_cast<std::size_t>(TAudioDriver::kBuffers));
            QThread::msleep(50); // the thread now waits for a free buffer
            form.PreviewButtonClick();
            EXPECT_FALSE(form.previewing());
            EXPECT_EQ(form.findChild<QPushButton*>("PreviewButton")->text(), "Preview");
            const Samples first = test::samples16(preview.written.front().bytes);
            const Samples source = test::samples16(loop);
            ASSERT_EQ(first.size(), source.size());
            for (std::size_t i = 0; i < first.size(); ++i)
                ASSERT_EQ(first[i], std::clamp(source[i] * 2, -32768, 32767)) << i;
        },
        false);
    EXPECT_FALSE(m_form->isModified());
}

TEST_F(PluginWindowTest, RefusedPlugInAndOneWithoutPagesAsk) {
    const Samples before = samples();
    ASSERT_EQ(doc().Channels, 2);
    item("Test Spread")->trigger(); // mono in, stereo out: four channels from stereo
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text.toStdString(),
              std::string(kMsgPluginSetupFailed) +
                  "It turns one channel into two (1 audio input, 2 audio outputs), so it cannot "
                  "accept stereo data.");
    m_dialogs.answers.push_back(MessageAnswer::No);
    item("Test Delay")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 2u);
    EXPECT_EQ(m_dialogs.shown[1].text.toStdString(), kMsgNoPages);
    EXPECT_FALSE(m_form->isModified());
    m_dialogs.answers.push_back(MessageAnswer::Yes);
    item("Test Delay")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(m_form->isModified());
    EXPECT_EQ(samples(), before) << "the delay is taken out again";
    EXPECT_FALSE(doc().Busy);
}

// Effects tried in a child process before the editor loads them: a crashing one is refused with
// the reason, marked in the menu and remembered beside the settings; a good one opens.
class PluginProbeWindowTest : public PluginWindowTest {
protected:
    test::TestPluginEnvironment faulty{TOLVANE_FAULTY_LV2_PATH}; // the test plug-ins and these

    void SetUp() override {
        LoadedWindowTest::SetUp();
        buildMenuTryingWith({TOLVANE_COMMAND, "plugins", "--probe"});
    }
    void buildMenuTryingWith(std::vector<std::string> command) {
        menu = m_form->findChild<QMenu*>("Plugins1");
        ASSERT_NE(menu, nullptr);
        m_form->plugins().setProbe(std::move(command),
                                   probeStoreBeside(m_dir.file("settings.ini")));
        m_form->plugins().buildMenu(menu);
    }
};

// What the editor itself runs as the child: wavetolvane --probe-plugin URI --rate R.
TEST_F(PluginProbeWindowTest, TheEditorTriesAnEffectAsAChildOfItself) {
    const std::vector<std::string> editor = {TOLVANE_EDITOR, "--probe-plugin"};
    const ProbeVerdict gain = probeInChild(editor, test::kGainUri, 48000);
    EXPECT_TRUE(gain.usable) << gain.reason;
    EXPECT_EQ(gain.layouts, (std::vector<std::string>{"mono: works", "stereo: works"}));
    const ProbeVerdict crash = probeInChild(editor, test::kCrashUri, 48000);
    EXPECT_FALSE(crash.usable);
    EXPECT_TRUE(crash.reason.starts_with("it crashed (signal ")) << crash.reason;
    const ChildResult outOfRange = runChildProcess(
        {TOLVANE_EDITOR, "--probe-plugin", test::kGainUri, "--rate", "12"}, kProbeDeadline);
    EXPECT_EQ(outOfRange.end, ChildResult::End::Exited);
    EXPECT_EQ(outOfRange.status, 64) << "a rate out of range: " << outOfRange.output;
    EXPECT_NE(outOfRange.output.find("--rate needs a rate from 1000 to 768000"), std::string::npos)
        << outOfRange.output;
}

TEST_F(PluginProbeWindowTest, ACrashingEffectIsNeverLoadedAndTheVerdictsAreRemembered) {
    const Samples before = samples();
    ASSERT_NE(item("Faulty Crash"), nullptr);
    item("Faulty Crash")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    const QString message = m_dialogs.shown[0].text;
    EXPECT_TRUE(message.startsWith("The plugin Faulty Crash cannot be used: it crashed (signal "))
        << message.toStdString();
    EXPECT_TRUE(message.endsWith("when tried on mono data.")) << message.toStdString();
    ASSERT_NE(item("Faulty Crash (unusable)"), nullptr);
    EXPECT_TRUE(item("Faulty Crash (unusable)")->toolTip().startsWith("Unusable: it crashed"));
    EXPECT_EQ(samples(), before);
    EXPECT_FALSE(m_form->isModified());
    EXPECT_FALSE(doc().Busy);

    // A good one is tried, then opens.
    choose(
        "Test Gain", [](TPlugInForm&) {}, false);
    EXPECT_EQ(m_dialogs.shown.size(), 1u);

    // The next run knows both without trying them (its command could not start).
    start(true);
    buildMenuTryingWith({"/nonexistent/tolvane"});
    ASSERT_NE(item("Faulty Crash (unusable)"), nullptr);
    item("Faulty Crash (unusable)")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 2u);
    EXPECT_EQ(m_dialogs.shown[1].text, message);
    choose(
        "Test Gain", [](TPlugInForm&) {}, false);
    EXPECT_EQ(m_dialogs.shown.size(), 2u);
    item("Test Stereo Gain")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 3u);
    EXPECT_TRUE(m_dialogs.shown[2].text.startsWith(
        "The plugin Test Stereo Gain cannot be used: it could not be tried: cannot start"))
        << m_dialogs.shown[2].text.toStdString();
    EXPECT_EQ(item("Test Stereo Gain")->text(), "Test Stereo Gain") << "tried again next time";
}

} // namespace
} // namespace tolvane
