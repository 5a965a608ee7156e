// The smaller windows: "Open Waveform", "Sensitivity" and "Preferences".
#include "app/Dialogs.h"
#include "app/dialogs/TForm4.h"
#include "app/dialogs/TForm6.h"
#include "app/dialogs/TOdForm.h"
#include "app/dialogs/TSForm.h"
#include "audio/twabeAudio.h"
#include "fakes/FakeAudio.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

// Records the pages the help buttons open instead of starting a browser.
class HelpRecorder : public QObject {
    Q_OBJECT
public:
    HelpRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~HelpRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST(HelpButtons, OpenWaveformAndPreferencesOpenTheirHelpPages) {
    HelpRecorder help;
    TOdForm open;
    open.findChild<QPushButton*>("HelpBtn")->click();
    ProgramSettings settings;
    TForm4 preferences(settings, {});
    auto* button = preferences.findChild<QPushButton*>("HelpBtn");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "&Help");
    button->click();
    ASSERT_EQ(help.opened.size(), 2);
    EXPECT_EQ(help.opened[0].fragment(), "open");
    EXPECT_EQ(help.opened[1].fragment(), "preferences");
    EXPECT_TRUE(QFileInfo::exists(help.opened[1].toLocalFile()));
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

#include "WindowsTest.moc"
