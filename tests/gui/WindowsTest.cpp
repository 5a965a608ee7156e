// The smaller windows: "Open Waveform", "Sensitivity" and "Preferences".
#include "app/Dialogs.h"
#include "app/dialogs/TForm4.h"
#include "app/dialogs/TForm6.h"
#include "app/dialogs/TOdForm.h"
#include "app/dialogs/TQuantiseForm.h"
#include "app/dialogs/TSForm.h"
#include "app/dialogs/TStripForm.h"
#include "audio/twabeAudio.h"
#include "fakes/FakeAudio.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

// Drags a slider (held down, as the mouse holds it) to a position.
void dragTo(QSlider* slider, int position) {
    slider->setSliderDown(true);
    slider->setSliderPosition(position);
}

QString valueShownBeside(const QWidget& window, const QSlider* slider) {
    const auto* label = window.findChild<QLabel*>(slider->objectName() + "Value");
    return label ? label->text() : "(no value label)";
}

TEST(SliderValues, EachSliderShowsItsValueWithItsUnitWhileDragged) {
    TQuantiseForm quantise(4);
    EXPECT_EQ(valueShownBeside(quantise, quantise.slider()), "4 bits");
    dragTo(quantise.slider(), 1);
    EXPECT_EQ(valueShownBeside(quantise, quantise.slider()), "1 bit");
    dragTo(quantise.slider(), 0);
    EXPECT_EQ(valueShownBeside(quantise, quantise.slider()), "0 bits (silence)");
    EXPECT_EQ(quantise.level(), 0);

    TStripForm strip(20, 2000, 44100);
    EXPECT_EQ(valueShownBeside(strip, strip.thresholdSlider()), "-64.3 dB");
    EXPECT_EQ(valueShownBeside(strip, strip.gapSlider()), "45.4 ms");
    dragTo(strip.thresholdSlider(), 61);
    dragTo(strip.gapSlider(), 15000);
    EXPECT_EQ(valueShownBeside(strip, strip.thresholdSlider()), "-54.6 dB");
    EXPECT_EQ(valueShownBeside(strip, strip.gapSlider()), "340 ms");
    TStripForm slowRate(1, 12, 8000);
    EXPECT_EQ(valueShownBeside(slowRate, slowRate.thresholdSlider()), "-90.3 dB");
    EXPECT_EQ(valueShownBeside(slowRate, slowRate.gapSlider()), "1.5 ms");
    EXPECT_EQ(stripGapText(2000, 0), "2000 frames") << "no sample, no rate";

    ProgramSettings settings;
    settings.Seconds = 4;
    settings.Buffers = 6;
    TForm4 preferences(settings);
    auto* size = preferences.findChild<QSlider*>("BufferSize");
    auto* buffers = preferences.findChild<QSlider*>("Buffers");
    ASSERT_TRUE(size && buffers);
    EXPECT_EQ(valueShownBeside(preferences, size), "4 s");
    EXPECT_EQ(valueShownBeside(preferences, buffers), "6 buffers");
    dragTo(size, 1);
    dragTo(buffers, 10);
    EXPECT_EQ(valueShownBeside(preferences, size), "1 s");
    EXPECT_EQ(valueShownBeside(preferences, buffers), "10 (8 used)") << "the player queues 8";
    dragTo(buffers, 1);
    EXPECT_EQ(valueShownBeside(preferences, buffers), "1 buffer");

    KeymapSettings keymap;
    keymap.smoothLevel = 30;
    TForm6 keymapWindow(keymap, 4);
    auto* smoothing = keymapWindow.findChild<QSlider*>("smoothbar");
    EXPECT_EQ(valueShownBeside(keymapWindow, smoothing), "50%");
    dragTo(smoothing, 60);
    EXPECT_EQ(valueShownBeside(keymapWindow, smoothing), "100%");
    EXPECT_EQ(smoothing->toolTip(), "Smooth level (100%)");
    EXPECT_EQ(keymapWindow.keymap().smoothLevel, 60);
}

TEST(SaveDialog, TheChosenTypeSetsTheExtensionOfTheTypedName) {
    EXPECT_EQ(withExtension("take.wav", ".aif"), "take.aif");
    EXPECT_EQ(withExtension("take.1.wav", ".aif"), "take.1.aif");
    EXPECT_EQ(withExtension("take", ".wav"), "take.wav");
    EXPECT_EQ(withExtension("", ".wav"), "");
    EXPECT_EQ(filterExtension("Wave (Microsoft) (*.wav)"), ".wav");
    EXPECT_EQ(filterExtension("All files (*)"), "");

    // The real dialog: "Wave" is selected first, and choosing AIFF changes the typed name.
    QtDialogs dialogs;
    QString selectedFirst, afterChange;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        selectedFirst = dialog->selectedNameFilter();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        ASSERT_TRUE(name && types);
        name->setText("take.wav");
        types->setCurrentIndex(0);
        emit types->activated(0);
        afterChange = name->text();
        dialog->reject();
    });
    test::TempDir dir;
    dialogs.saveFile({"Save Waveform As",
                      QString::fromStdString(dir.path().string()),
                      {"AIFF (Apple) (*.aif)", "Wave (Microsoft) (*.wav)"},
                      "wav",
                      {},
                      1});
    EXPECT_EQ(selectedFirst, "Wave (Microsoft) (*.wav)");
    EXPECT_EQ(afterChange, "take.aif");
}

TEST(TForm6, WhiteKeysRestoreTheRememberedNoteAfterReopeningAndIntervalsStayEven) {
    KeymapSettings keymap;
    keymap.note = 5;
    keymap.interval = 4;
    KeymapSettings kept;
    {
        TForm6 first(keymap, 3);
        first.findChild<QCheckBox*>("CheckBox2")->setChecked(true);
        kept = first.keymap();
    }
    ASSERT_TRUE(kept.whiteKeysOnly);
    TForm6 reopened(kept, 3);
    reopened.findChild<QCheckBox*>("CheckBox2")->setChecked(false);
    EXPECT_EQ(reopened.keymap().note, 5);
    EXPECT_EQ(reopened.keymap().interval, 4);

    auto* interval = reopened.findChild<QSpinBox*>("UpDown3");
    interval->setValue(5); // typed
    EXPECT_EQ(reopened.keymap().interval, 4);
    auto* octave = reopened.findChild<QSpinBox*>("UpDown2");
    octave->setValue(4);
    EXPECT_EQ(octave->text(), reopened.findChild<QLabel*>("Label2")->text())
        << "the box reads the octave as its label does";
}

TEST(TOdForm, SelectionShowsFormatAndSizeOfASampleFile) {
    TOdForm form;
    EXPECT_EQ(form.windowTitle(), "Open Waveform");
    form.OpenDialogSelectionChange(TOLVANE_DEMO_LOOP);
    EXPECT_EQ(form.formatText(), "44100hz / 16 bit / stereo");
    EXPECT_EQ(form.sizeText(), "689 kb");
    form.OpenDialogSelectionChange(TOLVANE_DEMO_LOOP); // the same file again: labels cleared only
    EXPECT_EQ(form.formatText(), "");

    test::TempDir dir;
    const std::string text = dir.file("notes.txt");
    test::writeBytes(text, {'h', 'i'});
    form.OpenDialogSelectionChange(QString::fromStdString(text));
    EXPECT_EQ(form.formatText(), "");
    EXPECT_EQ(openFormatText(22050, 8, 1), "22050hz / 8 bit / mono");
}

TEST(TOdForm, PreviewsTheSelectedFileAndTheSameFileAgainStopsIt) {
    test::FakeAudioBackend backend;
    test::QueuedPoster poster;
    twabeAudio player(backend, [&poster](std::function<void()> job) { poster(std::move(job)); });
    TOdForm form(nullptr, &player);
    form.OpenDialogSelectionChange(TOLVANE_DEMO_LOOP);
    EXPECT_TRUE(player.isPlaying()) << "Auto Play starts checked";
    EXPECT_EQ(form.buttonText(), "Stop");
    ASSERT_NE(backend.last, nullptr);
    EXPECT_FALSE(backend.last->written.empty());
    form.OpenDialogSelectionChange(TOLVANE_DEMO_LOOP);
    EXPECT_FALSE(player.isPlaying()) << "choosing the same file again stops the preview";
    form.Button1Click();
    EXPECT_EQ(form.buttonText(), "Stop");
    form.Button1Click();
    EXPECT_EQ(form.buttonText(), "Play");
    EXPECT_FALSE(player.isPlaying());

    form.setAutoPlay(false);
    test::TempDir dir;
    const std::string other = dir.file("other.wav");
    test::writeBytes(other, test::waveImage(1, 8000, test::Bytes(400, 1)));
    form.OpenDialogSelectionChange(QString::fromStdString(other));
    EXPECT_FALSE(player.isPlaying());
}

TEST(TSForm, EnterTakesOnlyAWholeNumberFromZeroToHundred) {
    TSForm form(42);
    EXPECT_EQ(form.windowTitle(), "Sensitivity");
    EXPECT_EQ(form.edit()->text(), "42");
    form.edit()->setText("101");
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Rejected) << "an invalid value does nothing";
    EXPECT_FALSE(form.isValid());
    form.edit()->setText("75");
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.value(), 75);

    TSForm cancelled(10);
    cancelled.show();
    QTest::keyClick(&cancelled, Qt::Key_Escape);
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
}

TEST(TForm4, OkTakesTheEditedColoursAndCancelNothing) {
    ProgramSettings settings;
    {
        TForm4 cancelled(settings);
        cancelled.selectColourItem(2);
        cancelled.setColourOfSelectedItem(0x00FF00);
        cancelled.reject();
        EXPECT_EQ(settings.colours.wave, 0x0080FFu);
    }
    TForm4 form(settings);
    EXPECT_EQ(form.windowTitle(), "Preferences");
    form.selectColourItem(2); // "Waveform"
    form.setColourOfSelectedItem(0x00FF00);
    auto* buttons = form.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.settings().colours.wave, 0x00FF00u);
    EXPECT_EQ(form.settings().colours.background, settings.colours.background);
}

} // namespace
} // namespace tolvane
