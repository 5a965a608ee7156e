// Effect plug-ins from the real main window: the menu, the plug-in window with its pages and
// presets, processing with undo, refusals and the question for a plug-in without pages.
#include "app/dialogs/TPlugInForm.h"
#include "audio/TAudioDriver.h"
#include "gui/WindowTestSupport.h"
#include "plugins/TestPlugins.h"

#include <QComboBox>
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

    QAction* item(const QString& name) {
        for (QAction* action : menu->actions())
            if (action->text() == name)
                return action;
        return nullptr;
    }

    // Chooses the plug-in; `use` works the plug-in window, which then closes with "Process"
    // (or "Cancel").
    void choose(const QString& name, std::function<void(TPlugInForm&)> use, bool process) {
        QTimer::singleShot(0, [use = std::move(use), process] {
            auto* form = dynamic_cast<TPlugInForm*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr) << "the plug-in window is not open";
            use(*form);
            form->findChild<QPushButton*>(process ? "ProcessButton" : "CancelButton")->click();
        });
        item(name)->trigger();
        test::waitUntilIdle(*m_form);
    }

    Samples samples() {
        return test::samples16(bytes(0, static_cast<std::uint32_t>(doc().DataLength)));
    }

    QMenu* menu = nullptr;
};

TEST_F(PluginWindowTest, MenuListsTheEffectsAndHidesNoPluginsAvailable) {
    for (const char* name : {"Test Gain", "Test Spread", "Test Delay", "Test Stereo Gain"}) {
        ASSERT_NE(item(name), nullptr) << name;
        EXPECT_EQ(item(name)->toolTip(), QString("Show ") + name);
    }
    ASSERT_NE(item("No plugins available"), nullptr);
    EXPECT_FALSE(item("No plugins available")->isVisible());
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
    EXPECT_EQ(m_dialogs.shown[0].text.toStdString(), kMsgPluginRefused);
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

} // namespace
} // namespace tolvane
