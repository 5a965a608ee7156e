#include "app/dialogs/TForm4.h"

#include "app/Help.h"
#include "app/controls/SliderValue.h"
#include "audio/twabeAudio.h"
#include "document/UndoRecord.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tolvane {
namespace {

constexpr std::uint32_t ViewColours::*kColourItems[] = {
    &ViewColours::background, &ViewColours::line,     &ViewColours::wave,
    &ViewColours::div,        &ViewColours::disabled, &ViewColours::bar,
    &ViewColours::seg,        &ViewColours::regBar,   &ViewColours::regSeg};

constexpr const char* kColourNames[] = {"Background",       "Zero line",        "Waveform",
                                        "Cut Line",         "Disabled Channel", "Segment Bar",
                                        "Selected Segment", "Region Bar",       "Region"};

QCheckBox* addCheck(QVBoxLayout* layout, const char* caption, bool checked) {
    auto* box = new QCheckBox(caption);
    box->setChecked(checked);
    layout->addWidget(box);
    return box;
}

// A small picture of the scheme: background, zero line, a waveform with a cut line, and the bars.
QPixmap schemePreview(const ViewColours& c) {
    QPixmap picture(220, 90);
    QPainter p(&picture);
    p.fillRect(0, 0, 220, 70, QColor(toQRgb(c.background)));
    p.setPen(QColor(toQRgb(c.line)));
    p.drawLine(0, 35, 220, 35);
    for (int x = 0; x < 220; x += 2) {
        const int h =
            static_cast<int>(28 * std::exp(-((x % 110) / 30.0)) * ((x * 7) % 5 + 1) / 5.0);
        p.setPen(QColor(toQRgb(x < 165 ? c.wave : c.disabled)));
        p.drawLine(x, 35 - h, x, 35 + h);
    }
    p.setPen(QColor(toQRgb(c.div)));
    p.drawLine(110, 0, 110, 70);
    p.fillRect(0, 70, 220, 10, QColor(toQRgb(c.bar)));
    p.fillRect(110, 70, 110, 10, QColor(toQRgb(c.seg)));
    p.fillRect(0, 80, 220, 10, QColor(toQRgb(c.regBar)));
    p.fillRect(40, 80, 80, 10, QColor(toQRgb(c.regSeg)));
    return picture;
}

} // namespace

QString bufferSizeText(int seconds) {
    return QString("%1 s").arg(seconds);
}

QString bufferCountText(int count) {
    if (count > kMaxPlayBuffers)
        return QString("%1 (%2 used)").arg(count).arg(kMaxPlayBuffers);
    return count == 1 ? "1 buffer" : QString("%1 buffers").arg(count);
}

TForm4::TForm4(const ProgramSettings& settings, const std::vector<std::string>& devices,
               QWidget* parent, const std::vector<std::string>& midiInputs)
    : QDialog(parent), m_settings(settings), m_colours(settings.colours) {
    setObjectName("Form4");
    setWindowTitle("Preferences");
    auto* tabs = new QTabWidget(this);
    tabs->addTab(createGeneralPage(), "General");
    tabs->addTab(createColoursPage(), "Colours");
    tabs->addTab(createDevicesPage(devices, midiInputs), "Devices");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* help = buttons->addButton("&Help", QDialogButtonBox::HelpRole);
    help->setObjectName("HelpBtn");
    connect(help, &QPushButton::clicked, this, [this] { showHelp(*this, "preferences"); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OKClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

QWidget* TForm4::createGeneralPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto pathRow = [&](const char* caption, const QString& value) {
        layout->addWidget(new QLabel(caption));
        auto* row = new QHBoxLayout;
        auto* edit = new QLineEdit(value);
        auto* browse = new QPushButton("&Browse...");
        row->addWidget(edit);
        row->addWidget(browse);
        layout->addLayout(row);
        connect(browse, &QPushButton::clicked, this, [this, edit] {
            const QString file = QFileDialog::getOpenFileName(this, "Browse for file", edit->text(),
                                                              "Executable files (*)");
            if (!file.isEmpty())
                edit->setText(file);
        });
        return edit;
    };
    m_controlPanel = pathRow("Soundcard control panel location:", m_settings.CPLoc);
    m_editor = pathRow("Sample editor location:", m_settings.EditLoc);
    m_filterEnable =
        addCheck(layout, "Save SoundFont filter enable in *.mid", m_settings.FilterEnable);
    m_enableUndo = addCheck(layout, "Enable undo buffer", m_settings.EnableUndo);
    m_alwaysConvert = addCheck(layout, "Always convert 24-bit, float and FLAC files to 16-bit",
                               m_settings.AlwaysConvert);
    auto* levelsRow = new QHBoxLayout;
    levelsRow->addWidget(new QLabel("Undo levels"));
    m_undoLevels = new QSpinBox;
    m_undoLevels->setObjectName("UndoLevels");
    m_undoLevels->setRange(1, kMaxUndoLevels);
    m_undoLevels->setValue(m_settings.UndoLevels);
    levelsRow->addWidget(m_undoLevels);
    levelsRow->addStretch();
    layout->addLayout(levelsRow);
    m_oldRmb = addCheck(layout, "Use old right mouse menu", m_settings.OldRMB);
    m_prompt = addCheck(layout, "Prompt when closing unsaved file", m_settings.prompt);
    m_buttonText = addCheck(layout, "Show legend on transport controls", m_settings.ShowButtonText);
    m_openDialog = addCheck(layout, "Show open dialog on startup", m_settings.showopendialog);
    m_oneBar = addCheck(layout, "Default to 1 bar on loading", m_settings.SetOneBar);
    layout->addStretch();
    return page;
}

QWidget* TForm4::createColoursPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_colourItems = new QComboBox;
    m_colourItems->setObjectName("ColourItems");
    for (const char* name : kColourNames)
        m_colourItems->addItem(name);
    m_preview = new QLabel;
    m_colourPanel = new QLabel;
    m_colourPanel->setFixedSize(60, 24);
    m_colourPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_colourPanel->setAutoFillBackground(true);
    auto* change = new QPushButton("&Change");
    auto* row = new QHBoxLayout;
    row->addWidget(m_colourItems);
    row->addWidget(m_colourPanel);
    row->addWidget(change);
    layout->addLayout(row);
    layout->addWidget(m_preview);
    layout->addStretch();
    connect(m_colourItems, &QComboBox::currentIndexChanged, this, [this] { showSelectedColour(); });
    connect(change, &QPushButton::clicked, this, [this] { ChangeClick(); });
    showSelectedColour();
    return page;
}

QWidget* TForm4::createDevicesPage(const std::vector<std::string>& devices,
                                   const std::vector<std::string>& midiInputs) {
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    m_devices = new QComboBox;
    m_devices->setObjectName("WaveOutput");
    // The system's default device ("the wave mapper", -1) first, then every output device;
    // the list index less one is the device number.
    const bool any = std::any_of(devices.begin(), devices.end(),
                                 [](const std::string& d) { return !d.empty(); });
    if (!any) {
        m_devices->addItem("No devices found");
    } else {
        m_devices->addItem("Default output device");
        for (std::size_t i = 0; i < devices.size(); ++i)
            m_devices->addItem(devices[i].empty() ? QString("(device %1: no output)").arg(i)
                                                  : QString::fromStdString(devices[i]));
        m_devices->setCurrentIndex(std::clamp(m_settings.WaveID + 1, 0, m_devices->count() - 1));
    }
    layout->addRow("Wave output:", m_devices);
    auto slider = [&](const char* name, const char* caption, int value, QString (*text)(int)) {
        auto* s = new QSlider(Qt::Horizontal);
        s->setObjectName(name);
        s->setRange(1, 10);
        s->setPageStep(2);
        s->setValue(std::clamp(value, 1, 10));
        auto* row = new QHBoxLayout;
        row->addWidget(s);
        row->addWidget(sliderValueLabel(s, text));
        layout->addRow(caption, row);
        return s;
    };
    m_bufferSize = slider("BufferSize", "Buffer size:", m_settings.Seconds, bufferSizeText);
    m_buffers = slider("Buffers", "Buffers:", m_settings.Buffers, bufferCountText);
    // Any name may be typed: a keyboard plugged in later is found by it.
    m_auditionPort = new QComboBox;
    m_auditionPort->setObjectName("AuditionPort");
    m_auditionPort->setEditable(true);
    for (const std::string& input : midiInputs)
        m_auditionPort->addItem(QString::fromStdString(input));
    m_auditionPort->setCurrentText(m_settings.AuditionPort);
    layout->addRow("MIDI keyboard:", m_auditionPort);
    return page;
}

void TForm4::selectColourItem(int index) {
    m_colourItems->setCurrentIndex(index);
}

void TForm4::setColourOfSelectedItem(std::uint32_t colour) {
    m_colours.*kColourItems[m_colourItems->currentIndex()] = colour;
    showSelectedColour();
}

void TForm4::showSelectedColour() {
    const std::uint32_t colour =
        m_colours.*kColourItems[std::max(m_colourItems->currentIndex(), 0)];
    QPalette palette = m_colourPanel->palette();
    palette.setColor(QPalette::Window, QColor(toQRgb(colour)));
    m_colourPanel->setPalette(palette);
    m_preview->setPixmap(schemePreview(m_colours));
}

void TForm4::ChangeClick() {
    const std::uint32_t current = m_colours.*kColourItems[m_colourItems->currentIndex()];
    const QColor chosen = QColorDialog::getColor(QColor(toQRgb(current)), this);
    if (chosen.isValid())
        setColourOfSelectedItem(
            static_cast<std::uint32_t>(chosen.red() | chosen.green() << 8 | chosen.blue() << 16));
}

void TForm4::OKClick() {
    m_settings.colours = m_colours;
    m_settings.CPLoc = m_controlPanel->text();
    m_settings.EditLoc = m_editor->text();
    m_settings.ShowButtonText = m_buttonText->isChecked();
    m_settings.SetOneBar = m_oneBar->isChecked();
    m_settings.showopendialog = m_openDialog->isChecked();
    if (m_devices->count() > 1)
        m_settings.WaveID = m_devices->currentIndex() - 1;
    m_settings.Seconds = m_bufferSize->value();
    m_settings.Buffers = m_buffers->value();
    m_settings.FilterEnable = m_filterEnable->isChecked();
    m_settings.prompt = m_prompt->isChecked();
    m_settings.EnableUndo = m_enableUndo->isChecked();
    m_settings.AlwaysConvert = m_alwaysConvert->isChecked();
    m_settings.UndoLevels = m_undoLevels->value();
    m_settings.OldRMB = m_oldRmb->isChecked();
    m_settings.AuditionPort = m_auditionPort->currentText().trimmed();
    accept();
}

} // namespace tolvane
