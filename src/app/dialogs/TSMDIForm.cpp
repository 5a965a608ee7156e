#include "app/dialogs/TSMDIForm.h"

#include "app/Dialogs.h"
#include "app/Help.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/DialogButtons.h"
#include "app/dialogs/TForm6.h"
#include "app/dialogs/TSReqForm.h"
#include "processing/TWaveSmoother.h"
#include "samplers/BatchRun.h"
#include "samplers/TransferRuns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {
namespace {

constexpr const char* kHelpPage = "transfer";
constexpr int kMaxPosition = 32767;

} // namespace

TSMDIForm::TSMDIForm(TransferServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)), m_post(postTo(this)),
      m_status(
          m_post, [this](const QString& text) { showStatus(text); },
          [this](const TransferProgress& progress) { showProgress(progress); }),
      m_sampler(m_services, m_status, &m_services.doc.SampleData) {
    setObjectName("SMDIForm");
    setWindowTitle("Sampler Transfer");
    setWindowFlag(Qt::WindowStaysOnTopHint);
    buildControls();
}

TSMDIForm::~TSMDIForm() {
    *m_alive = false;
    if (m_running && m_sampler.driver())
        m_sampler.driver()->Abort();
    m_run.reset();
    m_receive.reset();
    m_sampler.detach();
}

void TSMDIForm::buildControls() {
    auto* grid = new QGridLayout;
    m_profiles = named(new QComboBox(this), "ComboBox1", "Select sampler profile");
    m_edit = named(new QPushButton("Edit", this), "Button9", "View profile manager");
    grid->addWidget(m_profiles, 0, 0, 1, 3);
    grid->addWidget(m_edit, 0, 3);

    const char* positionHint = "Select sample position to send / receive sample to / from";
    m_position = named(new QLineEdit("0", this), "Edit1", positionHint);
    m_positionUpDown = named(new UpDown(0, kMaxPosition, this), "UpDown1", positionHint);
    bindNumberField(*m_position, *m_positionUpDown);
    grid->addWidget(new QLabel("Position:", this), 1, 0);
    grid->addWidget(m_position, 1, 1);
    grid->addWidget(m_positionUpDown, 1, 2);
    m_channel = named(new QComboBox(this), "ComboBox3", "Select channel to send");
    m_channel->addItems({"L", "R"});
    grid->addWidget(m_channel, 1, 3);

    m_sendAll =
        named(new QPushButton("Send all in loop", this), "Button5", "Send all segments one by one");
    m_sendRegion =
        named(new QPushButton("Send region", this), "Button4", "Send region within locators");
    m_mapping = named(new QPushButton("Set mapping", this), "Button8", "Set key mapping");
    grid->addWidget(m_sendAll, 2, 0, 1, 2);
    grid->addWidget(m_sendRegion, 2, 2, 1, 2);
    m_autoMap = named(new QCheckBox("Auto map", this), "CheckBox2",
                      "Auto map sent samples to keyboard (supported samplers only)");
    m_saveTemplate = named(new QCheckBox("Save midi template", this), "CheckBox3",
                           "Save midi template when send is complete");
    m_dontPrompt =
        named(new QCheckBox("Don't prompt ", this), "CheckBox1", "Don't prompt between samples");
    m_dontPrompt->setChecked(true);
    m_dontPrompt->hide();
    grid->addWidget(m_autoMap, 3, 0, 1, 2);
    grid->addWidget(m_mapping, 3, 2, 1, 2);
    grid->addWidget(m_saveTemplate, 4, 0, 1, 2);
    grid->addWidget(m_dontPrompt, 4, 2, 1, 2);

    m_list = named(new QPushButton(kCaptionListSamples, this), "Button2",
                   "List samples in sampler (SMIDI only!)");
    m_request = named(new QPushButton("Request", this), "Button6", "Send SMIDI dump request");
    m_roundRate = named(new QCheckBox("Round sample rate", this), "CheckBox4",
                        "Adjust playback rate to nearest 100");
    m_receiveName = named(new QCheckBox("Receive sample name", this), "CheckBoxReceiveName");
    grid->addWidget(m_list, 5, 0, 1, 2);
    grid->addWidget(m_request, 5, 2, 1, 2);
    grid->addWidget(m_roundRate, 6, 0, 1, 2);
    grid->addWidget(m_receiveName, 6, 2, 1, 2);

    m_statusLabel = named(new QLabel(kInactive, this), "StatusLabel");
    m_progress = named(new QProgressBar(this), "ProgressBar1");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    m_abort = named(new QPushButton("Abort dump", this), "Button7", "Abort current transfer");
    m_abort->setEnabled(false);
    m_ok = named(new QPushButton("OK", this), "Button3");
    m_help = named(new QPushButton("Help", this), "Button10");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_abort);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_help);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_profiles, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox1Change(); });
    connect(m_edit, &QPushButton::clicked, this, [this] { Button9Click(); });
    connect(m_sendAll, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(m_sendRegion, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(m_mapping, &QPushButton::clicked, this, [this] { Button8Click(); });
    connect(m_list, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(m_request, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(m_abort, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (!m_running)
            accept();
    });
    connect(m_help, &QPushButton::clicked, this, [this] { showHelp(*this, kHelpPage); });
}

void TSMDIForm::showTransfer() {
    const SampleDocument& doc = m_services.doc;
    if (doc.DocumentOpen && m_services.stopPlayback)
        m_services.stopPlayback();
    showStatus(kInactive);
    const bool splitStereo = doc.DocumentOpen && doc.Channels == 2 && !doc.MergeChannels;
    m_channel->setVisible(splitStereo);
    m_channel->setCurrentIndex(doc.FirstChannel == 2 ? 1 : 0);
    m_sendAll->setEnabled(doc.DocumentOpen);
    m_sendRegion->setEnabled(doc.DocumentOpen);
    m_sampler.fillList(m_profiles);
    ComboBox1Change();
}

QString TSMDIForm::statusText() const {
    return m_statusLabel->text();
}

void TSMDIForm::showStatus(const QString& text) {
    m_statusLabel->setText(text);
    if (m_services.showStatus)
        m_services.showStatus(text);
}

void TSMDIForm::showProgress(const TransferProgress& progress) {
    showStatus(QString::fromStdString(progress.text));
    if (!m_running)
        return; // what a driver still reports after the end
    m_progress->setFormat(
        progress.samples > 1
            ? QString("Sample %1 of %2: %p%").arg(progress.sample).arg(progress.samples)
            : QString("%p%"));
    m_progress->setValue(progress.percent());
}

void TSMDIForm::ComboBox1Change() {
    if (!m_sampler.load(m_profiles))
        return;
    m_autoMap->setEnabled(m_sampler.protocol() >= kProtocolYamahaA3000);
    m_list->setText(m_sampler.isSds() ? kCaptionWaitForSend : kCaptionListSamples);
    if (m_sampler.driver())
        m_sampler.driver()->SetSmoother(&m_services.smoother);
}

void TSMDIForm::Button9Click() {
    if (m_services.openProfileManager)
        m_services.openProfileManager();
    m_sampler.fillList(m_profiles);
    ComboBox1Change();
}

void TSMDIForm::Button8Click() {
    TForm6 keymapWindow(m_services.keymap, samplesToSend(), this);
    if (keymapWindow.exec() == QDialog::Accepted)
        m_services.keymap = keymapWindow.keymap();
}

int TSMDIForm::samplesToSend() const {
    const SampleDocument& doc = m_services.doc;
    if (!doc.DocumentOpen)
        return 0;
    return static_cast<int>(
        loopSamplesToSend(doc, sendSourceOf(doc, m_channel->currentIndex() + 1)).size());
}

int TSMDIForm::firstSampleNumber() const {
    return m_positionUpDown->position() + m_sampler.profile().offset;
}

void TSMDIForm::setRunning(bool running) {
    m_running = running;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_profiles, m_edit, m_position, m_positionUpDown, m_sendAll, m_sendRegion, m_list,
             m_request, m_mapping, m_ok, m_channel})
        control->setEnabled(!running);
    if (!running) {
        m_sendAll->setEnabled(m_services.doc.DocumentOpen);
        m_sendRegion->setEnabled(m_services.doc.DocumentOpen);
    }
    m_abort->setEnabled(running);
    if (!running)
        m_progress->setValue(0);
}

void TSMDIForm::Button5Click() {
    send(false);
}

void TSMDIForm::Button4Click() {
    send(true);
}

void TSMDIForm::send(bool region) {
    if (!m_services.doc.DocumentOpen || m_running || !m_sampler.readyForCommand(m_profiles))
        return;
    m_services.smoother.enabled = !region && m_services.keymap.smoothEndPoints;
    m_services.smoother.amount = m_services.keymap.smoothLevel;
    m_templateWanted = !region && m_saveTemplate->isChecked();
    if (m_templateWanted && !(m_services.prepareTemplate && m_services.prepareTemplate()))
        return;
    TSamplerClass& driver = *m_sampler.driver();
    driver.ClearAbort();
    setRunning(true);
    connectDriver(
        driver, m_post, m_alive,
        [this, region] {
            bool mapping = !region && m_autoMap->isEnabled() && m_autoMap->isChecked();
            if (mapping && samplesExceedNotes(m_services.keymap, samplesToSend())) {
                if (m_services.dialogs.message(MessageKind::Warning, "", kMsgProceedWithoutMapping,
                                               MessageButtons::YesNo) != MessageAnswer::Yes) {
                    setRunning(false);
                    return;
                }
                mapping = false;
            }
            startRun(region, mapping);
        },
        [this, region](const TransferOutcome& outcome) {
            runEnded({true, 0, outcome, {}, false}, region);
        });
}

void TSMDIForm::startRun(bool region, bool mapping) {
    const SampleDocument& doc = m_services.doc;
    SendRunRequest request;
    request.protocol = m_sampler.protocol();
    request.region = region;
    request.source = sendSourceOf(doc, m_channel->currentIndex() + 1);
    request.samples = region ? std::vector<OutgoingSample>{regionSampleToSend(doc, request.source)}
                             : loopSamplesToSend(doc, request.source);
    request.firstSampleNumber = firstSampleNumber();
    request.baseName = transferBaseName(doc.FileName);
    request.fileName = doc.FileName;
    request.sampleRate = doc.SampleRate;
    request.sourceChannels = doc.Channels;
    request.autoMap = mapping;
    request.promptBetween = !m_dontPrompt->isChecked();
    request.keymap = m_services.keymap;
    if (request.samples.empty()) {
        setRunning(false);
        return;
    }
    m_run = std::make_unique<SendRun>(
        *m_sampler.driver(), m_post,
        [this] {
            return m_services.dialogs.message(MessageKind::Confirmation, "", kMsgSendNext,
                                              MessageButtons::YesNo) == MessageAnswer::Yes;
        },
        [this, region](const SendRunResult& result) { runEnded(result, region); });
    m_run->start(std::move(request));
}

void TSMDIForm::runEnded(const SendRunResult& result, bool region) {
    if (m_templateWanted && !region && result.outcome.completed() && m_services.writeTemplate)
        m_services.writeTemplate();
    if (result.refused)
        m_services.dialogs.message(MessageKind::Error, "",
                                   QString::fromStdString(result.outcome.message));
    else
        m_services.dialogs.message(MessageKind::Information, "",
                                   result.outcome.completed() ? kMsgTransferComplete
                                                              : kMsgTransferAborted);
    showStatus(kInactive);
    setRunning(false);
}

void TSMDIForm::Button2Click() {
    if (m_running || !m_sampler.readyForCommand(m_profiles))
        return;
    if (m_sampler.isSds()) {
        // "Wait For Send": the sampler starts the dump itself.
        if (!m_services.confirmDiscard || m_services.confirmDiscard())
            receive(firstSampleNumber() + kWaitForSendOffset);
        return;
    }
    TSamplerClass& driver = *m_sampler.driver();
    TSReqForm requestWindow(driver, parentWidget());
    hide();
    requestWindow.startListing();
    const bool chosen = requestWindow.exec() == QDialog::Accepted;
    show();
    showStatus(kInactive);
    if (chosen && (!m_services.confirmDiscard || m_services.confirmDiscard()))
        receive(requestWindow.chosenSample());
}

void TSMDIForm::Button6Click() {
    if (m_running || !m_sampler.readyForCommand(m_profiles))
        return;
    if (m_services.confirmDiscard && !m_services.confirmDiscard())
        return;
    receive(firstSampleNumber());
}

// The sample arrives in a stream of its own: the open document stays whole until the transfer
// has ended well.
void TSMDIForm::receive(int sampleNumber) {
    setRunning(true);
    m_receive = std::make_unique<ReceiveRun>(
        *m_sampler.driver(), m_post, [this](const ReceiveResult& result) { received(result); });
    m_receive->start(sampleNumber, true, &m_services.doc.SampleData);
}

void TSMDIForm::received(const ReceiveResult& result) {
    const ReceivedFormat& format = result.format;
    const bool nothing = format.channels == 0 && format.rate == 0 && format.lengthBytes == 0;
    if (result.outcome.completed() && !nothing) {
        const ReceivedCheck check =
            checkReceivedSample(format, m_receive->received().size(), m_roundRate->isChecked());
        if (!check.sample) {
            m_services.dialogs.message(MessageKind::Error, "", QString::fromStdString(check.error));
        } else {
            const std::string name =
                m_sampler.isSds() ? std::string("Untitled.wav") : receivedDocumentName(result.name);
            if (m_services.adoptReceived)
                m_services.adoptReceived(receivedDocument(m_receive->received(), *check.sample),
                                         name);
        }
    }
    showStatus(kInactive);
    setRunning(false);
}

void TSMDIForm::Button7Click() {
    if (!m_running)
        return;
    // The run's end routine enables the window again.
    if (m_run && m_run->running())
        m_run->abort();
    else if (m_receive && m_receive->running())
        m_receive->abort();
    else if (m_sampler.driver())
        m_sampler.driver()->Abort(); // still connecting
    showStatus(kInactive);
}

void TSMDIForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (m_abort->isEnabled())
            Button7Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TSMDIForm::reject() {
    // Closing the window while a transfer runs aborts it first.
    if (m_running)
        Button7Click();
    else
        QDialog::reject();
}

} // namespace tolvane
