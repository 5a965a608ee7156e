#include "app/dialogs/TBatchTrans.h"

#include "app/Dialogs.h"
#include "app/Help.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/DialogButtons.h"
#include "app/dialogs/TForm6.h"
#include "audio/twabeAudio.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"
#include "processing/TWaveSmoother.h"
#include "samplers/TransferRuns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tolvane {
namespace {

constexpr const char* kHelpPage = "batch";
constexpr int kMaxPosition = 32767;

QPushButton* button(QWidget* parent, const char* caption, const char* name,
                    const char* hint = nullptr) {
    return named(new QPushButton(caption, parent), name, hint);
}

} // namespace

TBatchTrans::TBatchTrans(TransferServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)), m_post(postTo(this)),
      m_status(m_post, [this](const QString& text) { showStatus(text); }),
      m_sampler(m_services, m_status, &m_services.doc.SampleData) {
    setObjectName("BatchTrans");
    setWindowTitle("Batch sample transfer");
    setAcceptDrops(true);
    buildControls();
}

TBatchTrans::~TBatchTrans() {
    *m_alive = false;
    stopAudition();
    m_run.reset();
    m_sampler.detach();
}

void TBatchTrans::buildControls() {
    m_profiles = named(new QComboBox(this), "ComboBox1", "Select sampler profile");
    m_edit = button(this, "Edit", "Edit", "View profile manager");
    m_list = named(new QTreeWidget(this), "ListView1",
                   "Samples to be transferred (Double click to open)");
    m_list->setHeaderLabels({"Name", "Size"});
    m_list->setRootIsDecorated(false);
    m_list->setColumnWidth(0, 300);
    const char* positionHint = "Select sample position to send first sample to";
    m_position = named(new QLineEdit("0", this), "Edit1", positionHint);
    m_positionUpDown = named(new UpDown(0, kMaxPosition, this), "UpDown1", positionHint);
    bindNumberField(*m_position, *m_positionUpDown);
    m_autoMap = named(new QCheckBox("Auto map", this), "AutoMap");
    m_autoMap->setChecked(true);
    m_add = button(this, "Add", "Add", "Add samples to be batch transferred");
    m_remove = button(this, "Remove", "Remove", "Remove selected sample");
    m_clear = button(this, "Clear All", "ClearAll", "Clear the list of samples");
    m_sort = button(this, "Sort", "Sort", "Sort the order of transferred samples by name");
    m_play = button(this, "Play", "Play", "Audition selected sample");
    m_mapping = button(this, "Set Mapping", "SetMapping", "Set key mapping");
    m_send = button(this, "Batch Send", "BatchSend");
    m_abort = button(this, "Abort dump", "Abort", "Abort current transfer");
    m_abort->setEnabled(false);
    m_help = button(this, "Help", "Help");
    m_close = button(this, "OK", "OK");
    m_statusLabel = named(new QLabel(kInactive, this), "StatusLabel");

    auto* top = new QHBoxLayout;
    top->addWidget(m_profiles, 1);
    top->addWidget(m_edit);
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_remove, m_clear, m_sort, m_play, m_mapping})
        side->addWidget(b);
    side->addWidget(m_autoMap);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_list, 1);
    middle->addLayout(side);
    auto* position = new QHBoxLayout;
    position->addWidget(new QLabel("Position:", this));
    position->addWidget(m_position);
    position->addWidget(m_positionUpDown);
    position->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_send);
    bottom->addWidget(m_abort);
    bottom->addStretch();
    bottom->addWidget(m_close);
    bottom->addWidget(m_help);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addLayout(position);
    layout->addWidget(m_statusLabel);
    layout->addLayout(bottom);
    resize(560, 380);

    connect(m_profiles, qOverload<int>(&QComboBox::activated), this, [this] { ComboBox1Change(); });
    connect(m_edit, &QPushButton::clicked, this, [this] { EditClick(); });
    connect(m_add, &QPushButton::clicked, this, [this] { AddClick(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { RemoveClick(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { ClearAllClick(); });
    connect(m_sort, &QPushButton::clicked, this, [this] { SortClick(); });
    connect(m_play, &QPushButton::clicked, this, [this] { PlayClick(); });
    connect(m_mapping, &QPushButton::clicked, this, [this] { SetMappingClick(); });
    connect(m_send, &QPushButton::clicked, this, [this] { BatchSendClick(); });
    connect(m_abort, &QPushButton::clicked, this, [this] { AbortClick(); });
    connect(m_close, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_help, &QPushButton::clicked, this, [this] { showHelp(*this, kHelpPage); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
}

void TBatchTrans::showBatch() {
    showStatus(kInactive);
    m_sampler.fillList(m_profiles);
    ComboBox1Change();
}

QString TBatchTrans::statusText() const {
    return m_statusLabel->text();
}

void TBatchTrans::showStatus(const QString& text) {
    m_statusLabel->setText(text);
    if (m_services.showStatus)
        m_services.showStatus(text);
}

void TBatchTrans::ComboBox1Change() {
    if (!m_sampler.load(m_profiles))
        return;
    m_mapping->setEnabled(!m_sampler.isSds());
    m_autoMap->setEnabled(!m_sampler.isSds());
    m_sampler.driver()->SetSmoother(&m_services.smoother);
}

QStringList TBatchTrans::files() const {
    QStringList paths;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        paths << m_list->topLevelItem(i)->data(0, Qt::UserRole).toString();
    return paths;
}

void TBatchTrans::addFiles(const QStringList& files) {
    for (const QString& file : files) {
        const BatchFileProblem problem = batchFileProblem(file.toStdString());
        if (problem != BatchFileProblem::None) {
            const MessageKind kind =
                problem == BatchFileProblem::CannotOpen ? MessageKind::Error : MessageKind::Warning;
            m_services.dialogs.message(
                kind, "", QString::fromStdString(batchAddMessage(problem, file.toStdString())));
            continue;
        }
        auto* row = new QTreeWidgetItem(
            m_list, {file, QString::fromStdString(batchSizeText(file.toStdString()))});
        row->setData(0, Qt::UserRole, file);
        row->setToolTip(0, "Keys: None");
    }
}

void TBatchTrans::AddClick() {
    FileRequest request;
    request.caption = "Select Waveforms";
    request.filters = {"AIFF (Apple) (*.aif)", "Wave (Microsoft) (*.wav)", "All files (*.*)"};
    addFiles(m_services.dialogs.openFiles(request, "&Add"));
}

void TBatchTrans::RemoveClick() {
    delete m_list->currentItem();
}

void TBatchTrans::ClearAllClick() {
    m_list->clear();
}

void TBatchTrans::SortClick() {
    m_list->sortItems(0, Qt::AscendingOrder);
    m_list->setSortingEnabled(false);
}

void TBatchTrans::stopAudition() {
    if (m_services.player)
        m_services.player->stop();
    m_play->setText("Play");
}

void TBatchTrans::PlayClick() {
    if (m_play->text() == "Stop" || !m_services.player) {
        stopAudition();
        return;
    }
    QTreeWidgetItem* row = m_list->currentItem();
    if (row && m_services.player->playFile(row->data(0, Qt::UserRole).toString().toStdString()))
        m_play->setText("Stop");
}

void TBatchTrans::SetMappingClick() {
    KeymapSettings keymap = m_services.keymap;
    keymap.smoothEndPoints = m_smooth;
    TForm6 keymapWindow(keymap, m_list->topLevelItemCount(), this);
    if (keymapWindow.exec() != QDialog::Accepted)
        return;
    const KeymapSettings chosen = keymapWindow.keymap();
    m_smooth = chosen.smoothEndPoints;
    const bool transferSmooth = m_services.keymap.smoothEndPoints;
    m_services.keymap = chosen;
    m_services.keymap.smoothEndPoints = transferSmooth;
}

void TBatchTrans::EditClick() {
    if (m_services.openProfileManager)
        m_services.openProfileManager();
    m_sampler.fillList(m_profiles);
    ComboBox1Change();
}

void TBatchTrans::ListView1DblClick() {
    QTreeWidgetItem* row = m_list->currentItem();
    if (!row || transferRunning() || !m_services.openFile)
        return;
    if (m_services.confirmDiscard && !m_services.confirmDiscard())
        return;
    m_services.openFile(row->data(0, Qt::UserRole).toString());
}

void TBatchTrans::setRunning(bool running) {
    m_running = running;
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_profiles, m_edit, m_add, m_remove, m_clear, m_sort,
                                         m_play, m_send, m_close, m_position, m_positionUpDown})
        control->setEnabled(!running);
    m_mapping->setEnabled(!running && !m_sampler.isSds());
    m_autoMap->setEnabled(!running && !m_sampler.isSds());
    m_abort->setEnabled(running);
}

void TBatchTrans::BatchSendClick() {
    stopAudition();
    if (transferRunning() || m_list->topLevelItemCount() == 0 ||
        !m_sampler.readyForCommand(m_profiles))
        return;
    m_services.smoother.enabled = m_smooth;
    m_services.smoother.amount = m_services.keymap.smoothLevel;
    TSamplerClass& driver = *m_sampler.driver();
    BatchRequest request;
    request.protocol = m_sampler.protocol();
    request.firstSampleNumber = m_positionUpDown->position() + m_sampler.profile().offset;
    request.autoMap = m_autoMap->isEnabled() && m_autoMap->isChecked();
    request.keymap = m_services.keymap;
    for (const QString& file : files())
        request.files.push_back(file.toStdString());
    driver.ClearAbort();
    setRunning(true);
    m_run = std::make_unique<BatchRun>(driver, m_post,
                                       [this](const BatchResult& result) { batchEnded(result); });
    connectDriver(
        driver, m_post, m_alive,
        [this, request] {
            if (m_run)
                m_run->start(request);
        },
        [this](const TransferOutcome& outcome) {
            batchEnded({true, 0, {}, outcome});
        });
}

void TBatchTrans::batchEnded(const BatchResult& result) {
    if (!result.error.empty())
        m_services.dialogs.message(MessageKind::Error, "", QString::fromStdString(result.error));
    m_services.dialogs.message(MessageKind::Information, "",
                               result.aborted ? kMsgTransferAborted : kMsgBatchComplete);
    showStatus(kInactive);
    setRunning(false);
}

void TBatchTrans::AbortClick() {
    if (m_run && m_run->running())
        m_run->abort();
    else
        setRunning(false);
    showStatus(kInactive);
}

void TBatchTrans::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TBatchTrans::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString file = url.toLocalFile();
        const BatchFileProblem problem = batchFileProblem(file.toStdString());
        if (problem == BatchFileProblem::Missing) {
            m_services.dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        } else if (problem == BatchFileProblem::CannotOpen) {
            m_services.dialogs.message(MessageKind::Error, "", kMsgUnableToLoad);
        } else if (problem == BatchFileProblem::Corrupted) {
            m_services.dialogs.message(MessageKind::Error, "", kMsgUnableToLoad);
        } else if (problem == BatchFileProblem::NotSixteenBit) {
            m_services.dialogs.message(MessageKind::Error, "", kMsgTypeUnrecognised);
        } else {
            addFiles({file});
        }
    }
}

void TBatchTrans::reject() {
    if (transferRunning()) {
        AbortClick();
        return;
    }
    stopAudition();
    QDialog::reject();
}

} // namespace tolvane
