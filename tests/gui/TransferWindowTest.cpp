// "Sampler Transfer", "Request sample" and "Batch sample transfer" in the editor, on drivers
// that record what the windows ask of them.
#include "WindowTestSupport.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/TBatchTrans.h"
#include "app/dialogs/TSMDIForm.h"
#include "app/dialogs/TSReqForm.h"
#include "fakes/FakeMidi.h"
#include "fakes/RecordingSamplerDriver.h"
#include "fakes/SmdiSampler.h"
#include "fileio/WaveFileWriter.h"
#include "samplers/ProfileStore.h"
#include "samplers/TSMIDIDriver.h"
#include "samplers/TransferPlan.h"
#include "slicing/LoopSegments.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

namespace tolvane::test {
namespace {

class TransferWindowTest : public LoadedWindowTest {
protected:
    TempDir samplerDir;
    RecordingSamplerDriver* sds = nullptr;
    RecordingSamplerDriver* smdi = nullptr;
    RecordingSamplerDriver* akai = nullptr;

    void SetUp() override {
        LoadedWindowTest::SetUp();
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({samplerDir.file("sampler.sock")}));
        m_form->setSamplerPorts(std::make_unique<FakeMidiBackend>(),
                                std::make_unique<ScsiBus>(std::move(adaptors)));
        m_form->setProfileFile(samplerDir.file("profiles.samplers"));
        auto drivers = std::array{std::make_unique<RecordingSamplerDriver>(),
                                  std::make_unique<RecordingSamplerDriver>(),
                                  std::make_unique<RecordingSamplerDriver>()};
        sds = drivers[0].get();
        smdi = drivers[1].get();
        akai = drivers[2].get();
        m_form->sampler().setDrivers(std::move(drivers[0]), std::move(drivers[1]),
                                     std::move(drivers[2]));
        // Some slice points: the sensitivity slider half way.
        m_form->setSensitivityPercent(50);
        QApplication::processEvents();
    }

    void storeProfile(const std::string& name, int protocol, int offset = 0) {
        SamplerProfile profile;
        profile.protocol = static_cast<std::uint8_t>(protocol);
        profile.scsiInUse = protocol != 0;
        profile.offset = offset;
        ASSERT_TRUE(m_form->sampler().profiles().write(name, profile));
    }

    template <typename W> void inModal(std::function<void(W&)> steps) {
        QTimer::singleShot(0, [steps = std::move(steps)] {
            auto* window = dynamic_cast<W*>(QApplication::activeModalWidget());
            ASSERT_TRUE(window);
            steps(*window);
            window->reject();
        });
    }
    void inTransferWindow(const std::function<void(TSMDIForm&)>& steps) {
        inModal<TSMDIForm>(steps);
        action("SMIDITransfer1")->trigger();
    }
    template <typename Done> static void waitFor(Done done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    static void click(QWidget& window, const char* name) {
        auto* button = window.findChild<QPushButton*>(name);
        ASSERT_TRUE(button) << name;
        button->click();
    }
};

TEST_F(TransferWindowTest, TheSamplerMenuHoldsTheThreeWindows) {
    QMenu* menu = nullptr;
    for (QAction* top : m_form->menuBar()->actions())
        if (top->text() == "&Sampler")
            menu = top->menu();
    ASSERT_TRUE(menu);
    QStringList captions;
    for (QAction* item : menu->actions())
        captions << item->text();
    // The three windows, then (after a separator) playing the segments from a MIDI keyboard.
    EXPECT_EQ(captions, (QStringList{"&Batch Transfer", "Sample &Transfer", "&Profile Manager", "",
                                     "Play from MIDI keyboard", "Play through"}));
    EXPECT_EQ(action("SMIDITransfer1")->shortcut(), QKeySequence("Ctrl+I"));
    EXPECT_EQ(action("BatchTransfer1")->statusTip(), "Show batch transfer dialog");
}

// The File toolbar ends with the sample transfer button, which opens "Sampler Transfer".
TEST_F(TransferWindowTest, TheFileToolbarEndsWithTheSampleTransferButton) {
    auto* bar = m_form->findChild<QToolBar*>("FileToolbar");
    ASSERT_TRUE(bar);
    QAction* button = bar->actions().back();
    EXPECT_EQ(button->objectName(), "ToolbarButton971");
    EXPECT_EQ(button->statusTip(), "Show sampler transfer dialog");
    EXPECT_FALSE(button->icon().isNull());
    QString opened;
    inModal<TSMDIForm>([&](TSMDIForm& window) { opened = window.windowTitle(); });
    button->trigger();
    EXPECT_EQ(opened, "Sampler Transfer");
}

TEST_F(TransferWindowTest, WithoutAProfileEveryCommandSaysSo) {
    inTransferWindow([&](TSMDIForm& window) {
        EXPECT_EQ(window.windowTitle(), "Sampler Transfer");
        EXPECT_EQ(window.findChild<QComboBox*>("ComboBox1")->currentText(), "No Presets Stored");
        click(window, "Button5");
        click(window, "Button6");
    });
    EXPECT_EQ(m_dialogs.texts(),
              (QStringList{"No presets found - use the preset manager to add a preset.",
                           "No presets found - use the preset manager to add a preset."}));
    EXPECT_TRUE(akai->sent.empty());
}

TEST_F(TransferWindowTest, SendAllInLoopSendsEachSegmentWithItsKeyThenMapsAProgram) {
    storeProfile("S2000", kProtocolAkai, 3);
    const auto segments = loopSegments(doc(), 1, LoopEnd::RightLocator);
    ASSERT_GE(segments.size(), 2u);
    inTransferWindow([&](TSMDIForm& window) {
        EXPECT_TRUE(window.findChild<QCheckBox*>("CheckBox2")->isEnabled());
        EXPECT_TRUE(window.findChild<QComboBox*>("ComboBox3")->isHidden()) << "merged stereo";
        window.findChild<QCheckBox*>("CheckBox2")->setChecked(true);
        window.findChild<UpDown*>("UpDown1")->stepBy(10);
        click(window, "Button5");
        waitFor([&] { return !window.transferRunning(); });
        EXPECT_EQ(window.statusText(), "Inactive");
    });
    ASSERT_EQ(akai->sent.size(), segments.size());
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const SampleSendArguments& sent = akai->sent[k];
        EXPECT_EQ(sent.sampleNumber, 13 + static_cast<int>(k));
        EXPECT_EQ(sent.rootKey, keyForSample(m_form->keymap(), static_cast<int>(k)).key);
        EXPECT_EQ(sent.channelsSent, 2);
        EXPECT_TRUE(sent.stereoAsStereo);
        EXPECT_EQ(sent.startOffset, segments[k].start);
        EXPECT_EQ(akai->sentBytes[k].size(), segments[k].byteCount);
    }
    EXPECT_EQ(akai->sent[0].name, "loop001");
    ASSERT_EQ(akai->mappings.size(), 1u);
    EXPECT_EQ(akai->mappings[0].count, static_cast<int>(segments.size()));
    EXPECT_EQ(m_dialogs.texts(), QStringList{"Transfer complete!"});
    EXPECT_EQ(m_form->settings().PNo, 0);
}

TEST_F(TransferWindowTest, AbortDumpEndsTheRunAndTheWindowWorksAgain) {
    storeProfile("SMDI", kProtocolSmdi);
    smdi->hold = true;
    inTransferWindow([&](TSMDIForm& window) {
        click(window, "Button5");
        waitFor([&] { return smdi->sent.size() == 1; });
        EXPECT_FALSE(window.findChild<QPushButton*>("Button3")->isEnabled());
        QTest::keyClick(&window, Qt::Key_Escape); // presses "Abort dump"
        waitFor([&] { return !window.transferRunning(); });
        EXPECT_TRUE(window.findChild<QPushButton*>("Button5")->isEnabled());
        smdi->hold = false;
        click(window, "Button4"); // "Send region" goes through after the abort
        waitFor([&] { return !window.transferRunning(); });
    });
    EXPECT_EQ(smdi->aborts, 1);
    ASSERT_EQ(smdi->sent.size(), 2u);
    EXPECT_TRUE(smdi->sent[1].region);
    EXPECT_EQ(m_dialogs.texts(), (QStringList{"Transfer aborted!", "Transfer complete!"}));
}

// The transfer window stays on top of the editor: each box it raises, and the profile manager
// it opens, opens over it, or it would hide them and Enter would answer a question unseen.
TEST_F(TransferWindowTest, EveryBoxOfTheTransferWindowOpensOverIt) {
    QWidget* first = nullptr;
    inTransferWindow([&](TSMDIForm& window) {
        first = &window;
        click(window, "Button5"); // no profile yet
    });
    storeProfile("SMDI", kProtocolSmdi);
    m_form->Invert1Click(); // a change the request asks about
    waitUntilIdle(*m_form);
    m_dialogs.answers = {MessageAnswer::Cancel};
    QWidget* second = nullptr;
    QWidget* managerOver = nullptr;
    inTransferWindow([&](TSMDIForm& window) {
        second = &window;
        click(window, "Button4");
        waitFor([&] { return !window.transferRunning(); });
        smdi->hold = true;
        click(window, "Button4");
        waitFor([&] { return smdi->sent.size() == 2; });
        click(window, "Button7");
        waitFor([&] { return !window.transferRunning(); });
        click(window, "Button6"); // the save question, cancelled
        QTimer::singleShot(0, [&] {
            QWidget* manager = QApplication::activeModalWidget();
            ASSERT_TRUE(manager);
            managerOver = manager->parentWidget();
            dynamic_cast<QDialog*>(manager)->reject();
        });
        click(window, "Button9");
    });
    ASSERT_EQ(m_dialogs.texts(),
              (QStringList{"No presets found - use the preset manager to add a preset.",
                           "Transfer complete!", "Transfer aborted!",
                           "Save changes to " + QString::fromStdString(doc().FileName) + "?"}));
    EXPECT_EQ(m_dialogs.shown[0].raisedFrom, first);
    for (std::size_t i = 1; i < m_dialogs.shown.size(); ++i)
        EXPECT_EQ(m_dialogs.shown[i].raisedFrom, second) << i;
    EXPECT_EQ(managerOver, second);
    EXPECT_TRUE(smdi->received.empty()) << "cancelled at the question";
}

// The real boxes take the window they are raised from as their parent.
TEST_F(TransferWindowTest, AMessageBoxIsAChildOfTheWindowItIsRaisedFrom) {
    QDialog window(m_form.get());
    window.show();
    QtDialogs dialogs(m_form.get());
    const Dialogs::RaisedFrom over(dialogs, &window);
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        parent = box->parentWidget();
        box->accept();
    });
    dialogs.message(MessageKind::Information, "", "Transfer complete!", MessageButtons::Ok);
    EXPECT_EQ(parent, &window);
}

// The bar shows the driver's numbers, not a reading of its text ("57.35%" is 57, not 35).
TEST_F(TransferWindowTest, TheProgressBarShowsTheNumbersOfTheSampleUnderWay) {
    storeProfile("SMDI", kProtocolSmdi);
    smdi->hold = true;
    smdi->progressWhileSending = TransferProgress{
        TransferProgress::Activity::Sending, 5735, 10000, 2, 3, "Sending # 2: 57.35%"};
    inTransferWindow([&](TSMDIForm& window) {
        auto* bar = window.findChild<QProgressBar*>("ProgressBar1");
        click(window, "Button5");
        waitFor([&] { return bar->value() == 57; });
        EXPECT_EQ(bar->value(), 57);
        EXPECT_EQ(bar->text(), "Sample 2 of 3: 57%");
        EXPECT_EQ(window.statusText(), "Sending # 2: 57.35%");
        click(window, "Button7");
        waitFor([&] { return !window.transferRunning(); });
        EXPECT_EQ(bar->value(), 0) << "the bar empties at the end";
    });
}

// Position 32767 and an offset of 1 make sample 32768, past the 16384 numbers of an SDS
// sampler: refused before anything goes, with the reason.
TEST_F(TransferWindowTest, ASampleNumberPastTheSamplersNumbersIsRefused) {
    storeProfile("SDS", kProtocolSds, 1);
    inTransferWindow([&](TSMDIForm& window) {
        window.findChild<UpDown*>("UpDown1")->stepBy(32767);
        click(window, "Button4");
        waitFor([&] { return !window.transferRunning(); });
    });
    EXPECT_TRUE(sds->sent.empty());
    ASSERT_EQ(m_dialogs.texts().size(), 1);
    EXPECT_TRUE(m_dialogs.texts()[0].startsWith("Sample number 32768 is outside the sampler's "
                                                "numbers, 0 to 16383"))
        << m_dialogs.texts()[0].toStdString();
}

// The sample numbers are typed as well as stepped: the transfer window and the batch send to
// the typed number (plus the profile's offset); letters never reach the field.
TEST_F(TransferWindowTest, TypedPositionsAreTheNumbersSentTo) {
    storeProfile("SMDI", kProtocolSmdi, 2);
    inTransferWindow([&](TSMDIForm& window) {
        auto* position = window.findChild<QLineEdit*>("Edit1");
        EXPECT_FALSE(position->isReadOnly());
        position->selectAll();
        QTest::keyClicks(position, "1x20");
        EXPECT_EQ(position->text(), "120");
        click(window, "Button4");
        waitFor([&] { return !window.transferRunning(); });
        position->selectAll();
        QTest::keyClicks(position, "99999"); // past 32767: the field keeps what it can hold
        EXPECT_EQ(position->text(), "32767");
    });
    ASSERT_EQ(smdi->sent.size(), 1u);
    EXPECT_EQ(smdi->sent[0].sampleNumber, 122);

    const Bytes samples = {1, 0, 2, 0};
    writeWaveFile(samplerDir.file("a.wav"), 1, 44100, samples.data(), samples.size());
    writeWaveFile(samplerDir.file("b.wav"), 1, 44100, samples.data(), samples.size());
    inModal<TBatchTrans>([&](TBatchTrans& window) {
        window.addFiles({QString::fromStdString(samplerDir.file("a.wav")),
                         QString::fromStdString(samplerDir.file("b.wav"))});
        auto* position = window.findChild<QLineEdit*>("Edit1");
        EXPECT_FALSE(position->isReadOnly());
        position->selectAll();
        QTest::keyClicks(position, "40");
        click(window, "BatchSend");
        waitFor([&] { return !window.transferRunning(); });
    });
    action("BatchTransfer1")->trigger();
    ASSERT_EQ(smdi->sent.size(), 3u);
    EXPECT_EQ(smdi->sent[1].sampleNumber, 42);
    EXPECT_EQ(smdi->sent[2].sampleNumber, 43);
}

TEST_F(TransferWindowTest, ARequestedSampleBecomesTheDocumentAfterTheSavePrompt) {
    storeProfile("E4", kProtocolEmu);
    akai->receiveName = "unused";
    smdi->receiveBytes = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
    smdi->receiveFormat = {22050, 16, 1, 10};
    smdi->receiveName = "KICK 1";
    m_form->Invert1Click(); // a change to save or discard
    waitUntilIdle(*m_form);
    m_dialogs.answers = {MessageAnswer::No};
    inTransferWindow([&](TSMDIForm& window) {
        window.findChild<QCheckBox*>("CheckBox4")->setChecked(true);
        window.findChild<UpDown*>("UpDown1")->stepBy(4);
        click(window, "Button6");
        waitFor([&] { return !window.transferRunning(); });
    });
    waitUntilIdle(*m_form);
    EXPECT_EQ(smdi->received, std::vector<int>{4});
    EXPECT_EQ(m_dialogs.shown.front().title, "Current File Not Saved");
    EXPECT_EQ(doc().FileName, "KICK 1.wav");
    EXPECT_EQ(doc().SampleRate, 22000u) << "Round sample rate";
    EXPECT_EQ(doc().Channels, 1);
    EXPECT_EQ(doc().DataLength, 10);
    EXPECT_EQ(Bytes(doc().SampleData.data(), doc().SampleData.data() + 10), smdi->receiveBytes);
    EXPECT_TRUE(m_form->windowTitle().startsWith("KICK 1.wav"));
    EXPECT_TRUE(m_form->isModified());
}

// Receiving over the open sample is one step: undo gives back the split-stereo loop with its
// name, points and format; redo the received sample again. Without a sample there is nothing
// to undo.
TEST_F(TransferWindowTest, ReceivingIsOneUndoableStep) {
    storeProfile("SMDI", kProtocolSmdi);
    smdi->receiveBytes = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
    smdi->receiveFormat = {22050, 16, 1, 12};
    smdi->receiveName = "KICK 1";
    m_form->LR2Click(); // split stereo
    waitUntilIdle(*m_form);
    const std::string loopName = doc().FileName;
    const Bytes loop = bytes(0, static_cast<std::uint32_t>(doc().DataLength));
    const int loopPoints = doc().CandidateCount;
    const auto receive = [&] {
        inTransferWindow([&](TSMDIForm& window) {
            click(window, "Button6");
            waitFor([&] { return !window.transferRunning(); });
        });
        waitUntilIdle(*m_form);
    };
    EXPECT_TRUE(action("RevertItem")->isEnabled());
    receive();
    ASSERT_EQ(doc().FileName, "KICK 1.wav");
    ASSERT_EQ(doc().DataLength, 12);
    EXPECT_TRUE(action("mnuUndo")->isEnabled());
    EXPECT_FALSE(action("RevertItem")->isEnabled()) << "no file to go back to";

    m_form->mnuUndoClick();
    waitUntilIdle(*m_form);
    EXPECT_EQ(doc().FileName, loopName);
    EXPECT_EQ(doc().Channels, 2);
    EXPECT_EQ(doc().SampleRate, 44100u);
    EXPECT_FALSE(doc().MergeChannels);
    EXPECT_EQ(doc().CandidateCount, loopPoints);
    EXPECT_EQ(bytes(0, static_cast<std::uint32_t>(doc().DataLength)), loop);
    EXPECT_FALSE(m_form->isModified()) << "the loop was unmodified before the receive";
    EXPECT_TRUE(
        m_form->windowTitle().startsWith(QString::fromStdString(loopName).section('/', -1)));
    EXPECT_EQ(action("mnuUndo")->text(), "&Redo");
    EXPECT_TRUE(action("RevertItem")->isEnabled()) << "the loop's file is back";

    m_form->mnuUndoClick();
    waitUntilIdle(*m_form);
    EXPECT_EQ(doc().FileName, "KICK 1.wav");
    EXPECT_EQ(doc().Channels, 1);
    EXPECT_EQ(doc().SampleRate, 22050u);
    EXPECT_EQ(bytes(0, 12), smdi->receiveBytes);
    EXPECT_TRUE(m_form->isModified());
    EXPECT_FALSE(action("RevertItem")->isEnabled());

    m_dialogs.answers = {MessageAnswer::No}; // the save question of closing
    m_form->CloseFile();
    ASSERT_FALSE(doc().DocumentOpen);
    receive();
    EXPECT_EQ(doc().FileName, "KICK 1.wav");
    EXPECT_FALSE(action("mnuUndo")->isEnabled()) << "nothing was open to go back to";
    EXPECT_FALSE(action("RevertItem")->isEnabled());

    // Once saved, the sample has a file to go back to.
    const QString saved = QString::fromStdString(m_dir.file("kick.wav"));
    m_dialogs.files = {saved};
    m_form->SaveitemClick();
    waitUntilIdle(*m_form);
    ASSERT_EQ(doc().FileName, saved.toStdString());
    EXPECT_TRUE(action("RevertItem")->isEnabled());
}

TEST_F(TransferWindowTest, WaitForSendAsksTheSdsDriverForADumpAndNamesItUntitled) {
    storeProfile("SDS", kProtocolSds, 2);
    sds->receiveBytes = {7, 0, 6, 0};
    sds->receiveFormat = {32000, 16, 1, 4};
    inTransferWindow([&](TSMDIForm& window) {
        auto* button = window.findChild<QPushButton*>("Button2");
        EXPECT_EQ(button->text(), "Wait For Send");
        EXPECT_FALSE(window.findChild<QCheckBox*>("CheckBox2")->isEnabled()) << "Auto map";
        window.findChild<UpDown*>("UpDown1")->stepBy(3);
        button->click();
        waitFor([&] { return !window.transferRunning(); });
    });
    EXPECT_EQ(sds->received, std::vector<int>{100005});
    EXPECT_EQ(doc().FileName, "Untitled.wav");
    EXPECT_EQ(doc().SampleRate, 32000u);
}

TEST_F(TransferWindowTest, ListSamplesShowsTheRequestWindowAndReceivesTheChosenRow) {
    storeProfile("S2000", kProtocolAkai);
    akai->listing = {{0, "KICK"}, {1, "SNARE"}};
    akai->directory[1] = {2048, 44100, 16, 1};
    akai->receiveBytes = {9, 0, 8, 0};
    akai->receiveFormat = {44100, 16, 1, 4};
    akai->receiveName = "SNARE";
    QStringList rows;
    inTransferWindow([&](TSMDIForm& window) {
        QTimer::singleShot(0, [&] {
            auto* request = dynamic_cast<TSReqForm*>(QApplication::activeModalWidget());
            ASSERT_TRUE(request);
            waitFor([&] { return request->listingEnded(); });
            auto* list = request->findChild<QTreeWidget*>("ListView1");
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                rows << list->topLevelItem(i)->text(1) + " " + list->topLevelItem(i)->text(2);
            list->setCurrentItem(list->topLevelItem(1));
            click(*request, "Button1");
        });
        click(window, "Button2");
        waitFor([&] { return !window.transferRunning(); });
    });
    EXPECT_EQ(rows, (QStringList{"KICK 0 kb", "SNARE 4 kb"}));
    EXPECT_EQ(akai->received, std::vector<int>{1});
    EXPECT_EQ(doc().FileName, "SNARE.wav");
}

// "Receive" in the request window: the transfer window, hidden while the request window is up,
// is shown again and stays (with its receive) until the sample has arrived; only then does
// closing it end it. The click returns to the window's own loop, as a real one does.
TEST_F(TransferWindowTest, TheTransferWindowStaysWhileAListedSampleIsReceived) {
    storeProfile("S2000", kProtocolAkai);
    akai->listing = {{0, "KICK"}, {1, "SNARE"}};
    akai->receiveBytes = {9, 0, 8, 0};
    akai->receiveFormat = {44100, 16, 1, 4};
    akai->receiveName = "SNARE";
    akai->hold = true;
    bool hiddenWhileListing = false, shownWhileReceiving = false, received = false;
    QTimer::singleShot(0, [&] {
        auto* window = dynamic_cast<TSMDIForm*>(QApplication::activeModalWidget());
        ASSERT_TRUE(window);
        QTimer::singleShot(0, window, [&, window] {
            auto* request = dynamic_cast<TSReqForm*>(QApplication::activeModalWidget());
            ASSERT_TRUE(request);
            hiddenWhileListing = !window->isVisible();
            waitFor([&] { return request->listingEnded(); });
            auto* list = request->findChild<QTreeWidget*>("ListView1");
            list->setCurrentItem(list->topLevelItem(1));
            click(*request, "Button1");
        });
        click(*window, "Button2");
        QTimer::singleShot(0, window, [&, window] {
            shownWhileReceiving = window->isVisible() && window->transferRunning() &&
                                  QApplication::activeModalWidget() == window;
            akai->complete();
            waitFor([&] { return !window->transferRunning(); });
            received = true;
            window->reject();
        });
    });
    action("SMIDITransfer1")->trigger();
    EXPECT_TRUE(hiddenWhileListing);
    EXPECT_TRUE(shownWhileReceiving);
    EXPECT_TRUE(received);
    EXPECT_EQ(akai->received, std::vector<int>{1});
    EXPECT_EQ(akai->aborts, 0);
    EXPECT_EQ(doc().FileName, "SNARE.wav");
    EXPECT_EQ(m_form->transfer().transferWindow(), nullptr) << "gone once closed";
}

TEST_F(TransferWindowTest, BatchSendsWavAndAiffWithTheirByteOrderAndReportsBadFiles) {
    storeProfile("A3000", kProtocolYamahaA3000);
    const Bytes samples = {1, 0, 2, 0, 3, 0, 4, 0};
    writeWaveFile(samplerDir.file("b.wav"), 1, 44100, samples.data(), samples.size());
    std::uint32_t left = static_cast<std::uint32_t>(samples.size());
    writeSampleStream(samplerDir.file("a.aif"), 1, 44100, left,
                      [&](std::uint8_t* block, std::size_t capacity) {
                          const std::size_t n = std::min<std::size_t>(capacity, left);
                          std::copy_n(samples.begin(), n, block);
                          left -= static_cast<std::uint32_t>(n);
                          return n;
                      });
    writeBytes(samplerDir.file("bad.wav"), Bytes(40, 7));
    inModal<TBatchTrans>([&](TBatchTrans& window) {
        EXPECT_EQ(window.windowTitle(), "Batch sample transfer");
        window.addFiles({QString::fromStdString(samplerDir.file("b.wav")),
                         QString::fromStdString(samplerDir.file("gone.wav")),
                         QString::fromStdString(samplerDir.file("bad.wav")),
                         QString::fromStdString(samplerDir.file("a.aif"))});
        EXPECT_EQ(window.files().size(), 2);
        click(window, "Sort");
        click(window, "BatchSend");
        waitFor([&] { return !window.transferRunning(); });
    });
    action("BatchTransfer1")->trigger();
    const QString gone = QString::fromStdString(samplerDir.file("gone.wav"));
    const QString bad = QString::fromStdString(samplerDir.file("bad.wav"));
    EXPECT_EQ(m_dialogs.texts(),
              (QStringList{"File " + gone + " not found - file may have been moved or deleted",
                           "File " + bad + " corrupted!\r\n", "Batch transfer complete!"}));
    ASSERT_EQ(smdi->sent.size(), 2u);
    EXPECT_EQ(smdi->sent[0].name, "a");
    EXPECT_EQ(smdi->sent[0].byteOrder, 1);
    EXPECT_EQ(smdi->sent[1].byteOrder, 0);
    EXPECT_TRUE(smdi->sent[1].batch);
    EXPECT_EQ(smdi->sentBytes[1], samples);
    ASSERT_EQ(smdi->mappings.size(), 1u) << "Auto map is on by default";
    EXPECT_EQ(smdi->nameList, (std::vector<std::string>{"a", "b"}));
}

// The editor's own drivers against a simulated SMDI sampler on a socket.
class SimulatedSamplerWindowTest : public LoadedWindowTest {
protected:
    TempDir samplerDir;
    std::unique_ptr<SmdiSampler> sampler;

    void SetUp() override {
        LoadedWindowTest::SetUp();
        sampler = std::make_unique<SmdiSampler>(samplerDir.file("smdi.sock"));
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({sampler->path()}));
        m_form->setSamplerPorts(std::make_unique<FakeMidiBackend>(),
                                std::make_unique<ScsiBus>(std::move(adaptors)));
        m_form->setProfileFile(samplerDir.file("profiles.samplers"));
        SamplerProfile profile;
        profile.protocol = kProtocolSmdi;
        profile.scsiInUse = 1;
        ASSERT_TRUE(m_form->sampler().profiles().write("SMDI", profile));
        m_form->setSensitivityPercent(50);
        QApplication::processEvents();
        KeymapSettings keymap = m_form->keymap();
        keymap.smoothEndPoints = false;
        m_form->setKeymap(keymap);
    }

    void run(const std::function<void(TSMDIForm&)>& steps) {
        QTimer::singleShot(0, [&] {
            auto* window = dynamic_cast<TSMDIForm*>(QApplication::activeModalWidget());
            ASSERT_TRUE(window);
            steps(*window);
            window->reject();
        });
        action("SMIDITransfer1")->trigger();
    }
    // Until the transfer has ended, or 20 s: well inside the 30 s a SCSI command may take.
    static void waitIdle(TSMDIForm& window) {
        QElapsedTimer timer;
        timer.start();
        while (window.transferRunning() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    Bytes regionBytes() { return bytes(doc().LocatorL, doc().LocatorR); }
};

// The loop's segments go out with "Send all in loop" and each comes back with "Request", byte
// for byte.
TEST_F(SimulatedSamplerWindowTest, SegmentsSentComeBackThroughRequest) {
    const auto segments = loopSegments(doc(), 1, LoopEnd::RightLocator);
    ASSERT_GE(segments.size(), 2u);
    std::vector<Bytes> sent;
    for (const LoopSegment& s : segments)
        sent.emplace_back(doc().SampleData.data() + s.start,
                          doc().SampleData.data() + s.start + s.byteCount);
    run([&](TSMDIForm& window) {
        window.findChild<QPushButton*>("Button5")->click();
        waitIdle(window);
    });
    ASSERT_EQ(m_dialogs.texts(), QStringList{"Transfer complete!"});
    for (std::size_t k : {std::size_t{0}, segments.size() - 1}) {
        m_dialogs.answers = {MessageAnswer::No}; // the received sample replaces an unsaved one
        run([&](TSMDIForm& window) {
            window.findChild<UpDown*>("UpDown1")->stepBy(static_cast<int>(k));
            window.findChild<QPushButton*>("Button6")->click();
            waitIdle(window);
        });
        waitUntilIdle(*m_form);
        EXPECT_EQ(doc().Channels, 2) << k;
        EXPECT_EQ(doc().SampleRate, 44100u);
        EXPECT_EQ(Bytes(doc().SampleData.data(), doc().SampleData.data() + doc().DataLength),
                  sent[k])
            << k;
    }
}

// A sampler that falls silent in the middle of a send: "Abort dump" ends the wait at once (not
// at the SCSI command's 30 s limit) and the next send reaches the sampler, back again, on a new
// connection; left alone, the wait ends at the limit with a box that says what happened.
TEST_F(SimulatedSamplerWindowTest, ASamplerThatStopsAnsweringIsLeftAtOnceAndReachedAgain) {
    sampler->setPacketLength(512);
    sampler->silentAt(SmdiSampler::kDataPacket, 3);
    const Bytes region = regionBytes();
    bool endedByAbort = false;
    run([&](TSMDIForm& window) {
        window.findChild<QPushButton*>("Button4")->click();
        QElapsedTimer timer;
        timer.start();
        while (!sampler->silent() && timer.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(sampler->silent());
        window.findChild<QPushButton*>("Button7")->click();
        waitIdle(window);
        endedByAbort = !window.transferRunning();
        ASSERT_TRUE(endedByAbort);
        EXPECT_TRUE(window.findChild<QPushButton*>("Button4")->isEnabled());
        sampler->setSilent(false);
        window.findChild<QPushButton*>("Button4")->click();
        waitIdle(window);
    });
    EXPECT_TRUE(endedByAbort);
    EXPECT_EQ(m_dialogs.texts(), (QStringList{"Transfer aborted!", "Transfer complete!"}));
    ASSERT_TRUE(sampler->sample(0));
    EXPECT_EQ(sampler->sample(0)->data.size(), region.size());

    // Nobody aborts: the command's limit (short here) ends the wait, and the box says why.
    auto* driver =
        dynamic_cast<TSMIDIDriver*>(m_form->sampler().driverTable().driverFor(kProtocolSmdi));
    ASSERT_TRUE(driver);
    SmdiTimings shortLimit;
    shortLimit.commandTimeoutMs = 500;
    driver->setTimings(shortLimit);
    m_dialogs.shown.clear();
    sampler->silentAt(SmdiSampler::kSampleHeader, 2);
    run([&](TSMDIForm& window) {
        window.findChild<QPushButton*>("Button4")->click();
        waitIdle(window);
        QApplication::processEvents(); // the driver's own box
    });
    ASSERT_GE(m_dialogs.texts().size(), 1);
    EXPECT_TRUE(m_dialogs.texts().join("\n").contains("The sampler stopped answering."))
        << m_dialogs.texts().join("|").toStdString();
}

} // namespace
} // namespace tolvane::test
