#include "app/TOdForm.h"

#include "fileio/SampleFileReader.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
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

TOdForm::TOdForm(QWidget* parent) : QDialog(parent) {
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_openDialog);
    layout->addLayout(info);

    connect(m_openDialog, &QFileDialog::currentChanged, this,
            [this](const QString& file) { OpenDialogSelectionChange(file); });
    connect(m_openDialog, &QFileDialog::accepted, this, &QDialog::accept);
    connect(m_openDialog, &QFileDialog::rejected, this, &QDialog::reject);
}

QString TOdForm::choose(const QString& folder) {
    m_lastPreviewed.clear();
    m_openDialog->setDirectory(folder);
    if (exec() != QDialog::Accepted || m_openDialog->selectedFiles().isEmpty())
        return {};
    return m_openDialog->selectedFiles().front();
}

void TOdForm::OpenDialogSelectionChange(const QString& file) {
    m_format->clear();
    m_size->clear();
    if (file == m_lastPreviewed)
        return;
    const QString lower = file.toLower();
    if (!(lower.endsWith(".wav") || lower.endsWith(".aif")) || file.contains('*'))
        return;
    m_lastPreviewed = file;
    const AcceptanceReport report = testSampleFile(file.toStdString());
    if (report.result == Acceptance::Unreadable)
        return;
    const FormatRecord& f = report.info.format;
    m_format->setText(openFormatText(f.samplesPerSec, f.bitsPerSample, f.channels));
    m_size->setText(openSizeText(report.info.dataLength));
}

QString TOdForm::formatText() const {
    return m_format->text();
}
QString TOdForm::sizeText() const {
    return m_size->text();
}

} // namespace tolvane
