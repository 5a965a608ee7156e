#include "app/dialogs/TOdForm.h"

#include "app/Help.h"
#include "audio/twabeAudio.h"
#include "fileio/SampleFileReader.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {

QString openFormatText(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
    QString text = QString("%1hz / %2 bit / ").arg(rate).arg(bits);
    if (channels == 1)
        text += "mono";
    else if (channels == 2)
        text += "stereo";
    return text;
}

QString openSizeText(std::uint32_t dataLength) {
    return QString("%1 kb").arg(dataLength / 1024);
}

TOdForm::TOdForm(QWidget* parent, twabeAudio* player) : QDialog(parent), m_player(player) {
    setObjectName("OdForm");
    setWindowTitle("Open Waveform");
    m_openDialog = new QFileDialog(this);
    m_openDialog->setObjectName("OpenDialog");
    m_openDialog->setWindowFlags(Qt::Widget);
    m_openDialog->setOption(QFileDialog::DontUseNativeDialog);
    m_openDialog->setFileMode(QFileDialog::ExistingFile);
    m_openDialog->setDefaultSuffix("wav");
    m_openDialog->setNameFilters(
        {"AIFF (Apple) (*.aif)", "Wave (Microsoft) (*.wav)", "All files (*)"});
    m_openDialog->selectNameFilter("Wave (Microsoft) (*.wav)");
    m_openDialog->setLabelText(QFileDialog::Accept, "&Open");
    m_openDialog->setLabelText(QFileDialog::Reject, "Cancel");

    auto* info = new QGridLayout;
    auto* formatCaption = new QLabel("Format:", this);
    auto* sizeCaption = new QLabel("Size:", this);
    m_format = new QLabel(this);
    m_format->setObjectName("Label3");
    m_size = new QLabel(this);
    m_size->setObjectName("Label4");
    info->addWidget(formatCaption, 0, 0);
    info->addWidget(m_format, 0, 1);
    info->addWidget(sizeCaption, 1, 0);
    info->addWidget(m_size, 1, 1);
    info->setColumnStretch(1, 1);
    m_autoPlay = new QCheckBox("Auto Play", this);
    m_autoPlay->setObjectName("Chek");
    m_autoPlay->setChecked(true);
    m_play = new QPushButton("Play", this);
    m_play->setObjectName("Button1");
    m_play->setEnabled(m_player != nullptr);
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("HelpBtn");
    connect(help, &QPushButton::clicked, this, [this] { showHelp(*this, "open"); });
    info->addWidget(m_autoPlay, 0, 2);
    info->addWidget(m_play, 1, 2);
    info->addWidget(help, 1, 3);
    connect(m_play, &QPushButton::clicked, this, [this] { Button1Click(); });
    if (m_player)
        m_player->OnWaveoutput = [this] { m_play->setText("Play"); };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_openDialog);
    layout->addLayout(info);

    connect(m_openDialog, &QFileDialog::currentChanged, this,
            [this](const QString& file) { OpenDialogSelectionChange(file); });
    connect(m_openDialog, &QFileDialog::accepted, this, &QDialog::accept);
    connect(m_openDialog, &QFileDialog::rejected, this, &QDialog::reject);
}

TOdForm::~TOdForm() {
    stopPreview();
    if (m_player)
        m_player->OnWaveoutput = nullptr; // the window sets its own again
}

QString TOdForm::choose(const QString& folder) {
    m_lastPreviewed.clear();
    stopPreview();
    m_openDialog->setDirectory(folder);
    const bool accepted = exec() == QDialog::Accepted && !m_openDialog->selectedFiles().isEmpty();
    stopPreview();
    return accepted ? m_openDialog->selectedFiles().front() : QString();
}

void TOdForm::OpenDialogSelectionChange(const QString& file) {
    m_format->clear();
    m_size->clear();
    if (file == m_lastPreviewed) {
        stopPreview();
        return;
    }
    const QString lower = file.toLower();
    if (!(lower.endsWith(".wav") || lower.endsWith(".aif")) || file.contains('*')) {
        stopPreview();
        return;
    }
    m_lastPreviewed = file;
    m_selected = file;
    stopPreview();
    const AcceptanceReport report = testSampleFile(file.toStdString());
    if (report.result == Acceptance::Unreadable)
        return;
    const FormatRecord& f = report.info.format;
    m_format->setText(openFormatText(f.samplesPerSec, f.bitsPerSample, f.channels));
    // The length a load gives, not what a damaged header may claim.
    const auto fileSize = QFileInfo(file).size();
    m_size->setText(openSizeText(static_cast<std::uint32_t>(
        loadedDataLength(report.info, static_cast<std::uint64_t>(fileSize)))));
    if (report.result == Acceptance::Accepted && m_autoPlay->isChecked())
        preview(file);
}

bool TOdForm::preview(const QString& file) {
    if (!m_player || !m_player->playFile(file.toStdString()))
        return false;
    m_play->setText("Stop");
    return true;
}

void TOdForm::stopPreview() {
    if (m_player)
        m_player->stop();
    if (m_play)
        m_play->setText("Play");
}

void TOdForm::Button1Click() {
    const QString lower = m_selected.toLower();
    const bool sample = lower.endsWith(".wav") || lower.endsWith(".aif");
    if (m_play->text() == "Play" && sample &&
        testSampleFile(m_selected.toStdString()).result == Acceptance::Accepted &&
        preview(m_selected))
        return;
    stopPreview();
}

QString TOdForm::buttonText() const {
    return m_play->text();
}
bool TOdForm::autoPlay() const {
    return m_autoPlay->isChecked();
}
void TOdForm::setAutoPlay(bool on) {
    m_autoPlay->setChecked(on);
}

QString TOdForm::formatText() const {
    return m_format->text();
}
QString TOdForm::sizeText() const {
    return m_size->text();
}

} // namespace tolvane
