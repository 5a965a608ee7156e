// "Save To Sound Bank &File" from the real main window.
#include "cli/Tolvane.h"
#include "export/SoundBank.h"
#include "gui/WindowTestSupport.h"
#include "platform/InstrumentHost.h"
#include "support/RiffTree.h"

#include <QDialog>
#include <QTimer>
#include <sstream>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBankFailed =
    "Error writing file - may already be in use, or insufficient disk space?";

class BankTest : public test::LoadedWindowTest {
protected:
    // Accepts the keymap window when it shows.
    static void acceptKeymap() {
        QTimer::singleShot(0, [] {
            if (auto* keymap = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                keymap->accept();
        });
    }
    void saveBank(const std::string& name) {
        acceptKeymap();
        m_dialogs.files.push_back(QString::fromStdString(m_dir.file(name)));
        m_form->SaveSFItemClick();
        test::waitUntilIdle(*m_form);
    }
    int segments() { return static_cast<int>(loopSegments(doc(), 1).size()); }
};

// The demo loop is stereo and opens merged: each segment gives a left and a right sample.
TEST_F(BankTest, AMergedStereoSoundFontHoldsAPairPerSegmentAndMatchesTheCommandLine) {
    m_form->setSensitivityPercent(60);
    saveBank("gui.sf2");
    ASSERT_TRUE(m_dialogs.shown.empty()) << m_dialogs.texts().join("\n").toStdString();
    const FileRequest& dialog = m_dialogs.fileRequests.back();
    EXPECT_EQ(dialog.caption, "Save Sound Bank As");
    EXPECT_EQ(dialog.defaultSuffix, "sf2");
    EXPECT_EQ(dialog.fileName, "loop");
    EXPECT_EQ(dialog.filters.at(dialog.selectedFilter), "Sound Font 2.0 files (*.sf2)");
    EXPECT_EQ(dialog.filters.at(0), "DownLoadable Sound files - Level 1 (*.dls)");
    const test::RiffNode bank = test::readRiffTree(test::readBytes(m_dir.file("gui.sf2")));
    EXPECT_EQ(bank.child("pdta").child("shdr").size, 46u * (2 * segments() + 1));
    EXPECT_FALSE(m_form->windowTitle().contains('*')) << "writing a bank changes nothing";

    std::ostringstream out, err;
    ASSERT_EQ(cli::runTolvane({"export", m_dir.file("loop.wav"), "--sensitivity", "60", "--smooth",
                               "30", "--bank", m_dir.file("cli.sf2")},
                              out, err),
              0)
        << err.str();
    EXPECT_EQ(test::readBytes(m_dir.file("gui.sf2")), test::readBytes(m_dir.file("cli.sf2")))
        << "the keymap's defaults are the command line's: base note 48, smoothing 30 %";
}

TEST_F(BankTest, AMergedStereoDlsIsRefusedBeforeAnythingIsWritten) {
    saveBank("bank.DLS");
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, kMsgDlsStereo);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), {}), 2) << "loop and settings";
}

TEST_F(BankTest, SplitStereoWritesOneBankPerChannelAndAFailureDoesNotStopTheOther) {
    m_form->LR2Click(); // "L / R"
    test::waitUntilIdle(*m_form);
    ASSERT_FALSE(doc().MergeChannels);
    m_form->setSensitivityPercent(60);
    test::writeBytes(m_dir.file("bankL.dls"), {'o', 'l', 'd'});
    fs::permissions(m_dir.file("bankL.dls"), fs::perms::owner_read);
    saveBank("bank.dls");
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, QString(kBankFailed) + "\r\n\r\ncannot write " +
                                           QString::fromStdString(m_dir.file("bankL.dls")) +
                                           ": the file is read-only")
        << "the format's message, then the reason";
    EXPECT_EQ(test::readBytes(m_dir.file("bankL.dls")), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(test::readRiffTree(test::readBytes(m_dir.file("bankR.dls"))).type, "DLS ");
    EXPECT_FALSE(fs::exists(m_dir.file("bankR.sf2")));
}

TEST_F(BankTest, AGigaSamplerFileIsHandedToTheHostLibraryAndAMissingOneIsReported) {
    m_form->setInstrumentHost(std::make_unique<SharedLibraryInstrumentHost>("/nowhere/host.so"));
    saveBank("kit.gig");
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, "Dll not found - please reinstall WaveTolvane!");
    EXPECT_TRUE(fs::exists(m_dir.file("kit.gig"))) << "the bank is written all the same";

    m_dialogs.shown.clear();
    m_form->setInstrumentHost(
        std::make_unique<SharedLibraryInstrumentHost>(TOLVANE_TEST_HOST_WITHOUT_ENTRY));
    saveBank("kit2.gig");
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, "Error - please reinstall WaveTolvane!");

    m_dialogs.shown.clear();
    const std::string log = m_dir.file("told.txt");
    ::setenv("TOLVANE_TEST_HOST_LOG", log.c_str(), 1);
    m_form->setInstrumentHost(std::make_unique<SharedLibraryInstrumentHost>(TOLVANE_TEST_HOST));
    saveBank("kit3.gig");
    ::unsetenv("TOLVANE_TEST_HOST_LOG");
    EXPECT_TRUE(m_dialogs.shown.empty());
    const test::Bytes told = test::readBytes(log);
    EXPECT_EQ(std::string(told.begin(), told.end()), m_dir.file("kit3.gig") + "\n");
}

TEST_F(BankTest, WithNoHostLibrarySetNothingIsReportedAndCancellingWritesNothing) {
    saveBank("kit.gig"); // the settings name no host library
    EXPECT_TRUE(m_dialogs.shown.empty()) << m_dialogs.texts().join("\n").toStdString();
    EXPECT_TRUE(fs::exists(m_dir.file("kit.gig")));

    acceptKeymap();
    m_form->SaveSFItemClick(); // no file chosen
    test::waitUntilIdle(*m_form);
    EXPECT_FALSE(fs::exists(m_dir.file("loop.sf2")));
    EXPECT_TRUE(action("SaveSFItem")->isEnabled());
}

TEST_F(BankTest, APinnacleBankIsWrittenAfterItsSeries) {
    m_form->setSensitivityPercent(60);
    saveBank("pin.pbf");
    ASSERT_TRUE(m_dialogs.shown.empty()) << m_dialogs.texts().join("\n").toStdString();
    EXPECT_TRUE(fs::exists(m_dir.file("pin.pbf")));
    const int digits = static_cast<int>(std::to_string(doc().SliceCount + 1).size());
    const std::string first = "pin" + std::string(digits - 1, '0') + "1";
    EXPECT_TRUE(fs::exists(m_dir.file(first + "L.wav")));
    EXPECT_TRUE(fs::exists(m_dir.file(first + "R.wav")));
    EXPECT_TRUE(doc().MergeChannels) << "the document stays merged";
}

} // namespace
} // namespace tolvane
