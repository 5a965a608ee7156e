// The smaller windows: "Open Waveform", "Sensitivity" and "Preferences".
#include "app/TForm4.h"
#include "app/TOdForm.h"
#include "app/TSForm.h"
#include "audio/twabeAudio.h"
#include "fakes/FakeAudio.h"
#include "support/TestFiles.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

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
