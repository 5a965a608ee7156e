#include "app/dialogs/TPlugInForm.h"

#include "audio/TAudioDriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

namespace tolvane {
namespace {

constexpr std::size_t kPreviewBufferBytes = 16384;
constexpr int kSliderSteps = 1000;
constexpr const char* kCpuIdle = "CPU: ---";

// Slider positions to control values: even steps, or steps of equal ratio for a logarithmic
// control with a positive range.
struct SliderScale {
    float minimum, maximum;
    bool logarithmic;
    float value(int position) const {
        const double t = static_cast<double>(position) / kSliderSteps;
        if (logarithmic)
            return static_cast<float>(minimum * std::pow(maximum / minimum, t));
        return static_cast<float>(minimum + (maximum - minimum) * t);
    }
    int position(float value) const {
        double t = 0.0;
        if (logarithmic)
            t = std::log(value / minimum) / std::log(maximum / minimum);
        else if (maximum != minimum)
            t = (value - minimum) / (maximum - minimum);
        return static_cast<int>(std::lround(std::clamp(t, 0.0, 1.0) * kSliderSteps));
    }
};

// Four significant digits, but whole numbers from 1000 on (22050 Hz, not 2.205e+04 Hz).
QString valueText(float value, const PluginControl& control) {
    QString text = control.integer || std::abs(value) >= 1000.0F
                       ? QString::number(std::lround(value))
                       : QString::number(static_cast<double>(value), 'g', 4);
    if (!control.unit.empty())
        text += " " + QString::fromStdString(control.unit);
    return text;
}

} // namespace

TPlugInForm::TPlugInForm(TDLib& lib, const SampleDocument& doc, Dialogs& dialogs,
                         AudioBackend* audio, int device, PlugInMode mode, const QString& name,
                         QWidget* parent)
    : QDialog(parent), m_lib(lib), m_doc(doc), m_dialogs(dialogs) {
    setObjectName("PlugInForm");
    setWindowTitle("Plugin: " + name);

    PlugTab = new QTabWidget(this);
    PlugTab->setObjectName("PlugTab");
    CPUUsage = new QLabel(kCpuIdle, this);
    CPUUsage->setObjectName("CPUUsage");

    auto* profile = new QGroupBox(" Profile: ", this);
    presetbox = new QComboBox(profile);
    presetbox->setObjectName("presetbox");
    presetbox->setToolTip("Select sampler profile");
    SaveAs = new QPushButton("Store", profile);
    SaveAs->setObjectName("SaveAs");
    SaveAs->setToolTip("Store the current plugin's settings");
    Remove = new QPushButton("Delete", profile);
    Remove->setObjectName("Remove");
    auto* profileLayout = new QVBoxLayout(profile);
    profileLayout->addWidget(presetbox);
    auto* profileButtons = new QHBoxLayout;
    profileButtons->addWidget(SaveAs);
    profileButtons->addWidget(Remove);
    profileLayout->addLayout(profileButtons);

    auto* process = new QGroupBox(" Process: ", this);
    ProcessBox = new QComboBox(process);
    ProcessBox->setObjectName("ProcessBox");
    ProcessBox->addItems({"All", "Loop"});
    ProcessBox->setCurrentIndex(static_cast<int>(mode));
    PreviewButton = new QPushButton("Preview", process);
    PreviewButton->setObjectName("PreviewButton");
    PreviewButton->setToolTip("Preview the plugin in real time");
    ProcessButton = new QPushButton("Process", process);
    ProcessButton->setObjectName("ProcessButton");
    ProcessButton->setToolTip("Process the sample");
    CancelButton = new QPushButton("Cancel", process);
    CancelButton->setObjectName("CancelButton");
    auto* processLayout = new QVBoxLayout(process);
    processLayout->addWidget(new QLabel("Selection:", process));
    processLayout->addWidget(ProcessBox);
    processLayout->addWidget(PreviewButton);
    processLayout->addWidget(ProcessButton);
    processLayout->addWidget(CancelButton);
    processLayout->addStretch();

    auto* side = new QVBoxLayout;
    side->addWidget(profile);
    side->addWidget(process);
    auto* left = new QVBoxLayout;
    left->addWidget(PlugTab);
    left->addWidget(CPUUsage);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(side);

    // The preview plays on the main player's device, always in stereo.
    if (audio != nullptr) {
        m_output = std::make_unique<TAudioDriver>();
        if (!m_output->open(*audio, device, 2, kPreviewBufferBytes, 16,
                            static_cast<int>(doc.SampleRate)))
            m_output.reset();
    }
    PreviewButton->setEnabled(m_output != nullptr);

    connect(PlugTab, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0)
            m_lib.ShowPage(index);
    });
    connect(presetbox, &QComboBox::activated, this, [this] { presetboxChange(); });
    connect(SaveAs, &QPushButton::clicked, this, [this] { SaveAsClick(); });
    connect(Remove, &QPushButton::clicked, this, [this] { RemoveClick(); });
    connect(PreviewButton, &QPushButton::clicked, this, [this] { PreviewButtonClick(); });
    connect(ProcessButton, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
}

TPlugInForm::~TPlugInForm() {
    stopPreview();
}

PlugInMode TPlugInForm::mode() const {
    return ProcessBox->currentIndex() == 1 ? PlugInMode::Loop : PlugInMode::All;
}

void TPlugInForm::FormShow() {
    const int width = m_lib.GetSheetSizeX(0);
    const int height = m_lib.GetSheetSizeY(0);
    const QSignalBlocker blocker(PlugTab);
    for (int i = 0; i < m_lib.GetNumPages(); ++i)
        PlugTab->addTab(new QWidget,
                        QString::fromStdString(m_lib.GetTabName(static_cast<std::uint16_t>(i))));
    PlugTab->setMinimumSize(width + 10, height >= 131 ? height + 29 : 160);
    m_lib.SetOrig(PlugTab->x() + 3, PlugTab->y() - 29);
    readPresets({});
    m_lib.ShowPage(0);
}

QWidget* TPlugInForm::controlRow(std::size_t index) {
    const PluginControl& control = m_lib.plugin()->controls[index];
    const float value = m_lib.controlValue(index);
    if (control.toggled) {
        auto* box = new QCheckBox;
        box->setChecked(value > (control.minimum + control.maximum) / 2);
        connect(box, &QCheckBox::toggled, this, [this, index, control](bool on) {
            m_lib.setControlValue(index, on ? control.maximum : control.minimum);
        });
        return box;
    }
    if (control.enumeration && !control.scalePoints.empty()) {
        auto* list = new QComboBox;
        for (const auto& [point, label] : control.scalePoints)
            list->addItem(QString::fromStdString(label), static_cast<double>(point));
        const auto nearest =
            std::min_element(control.scalePoints.begin(), control.scalePoints.end(),
                             [value](const auto& a, const auto& b) {
                                 return std::abs(a.first - value) < std::abs(b.first - value);
                             });
        list->setCurrentIndex(static_cast<int>(nearest - control.scalePoints.begin()));
        connect(list, &QComboBox::currentIndexChanged, this, [this, index, list](int) {
            m_lib.setControlValue(index, static_cast<float>(list->currentData().toDouble()));
        });
        return list;
    }
    const SliderScale scale{control.minimum, control.maximum,
                            control.logarithmic && control.minimum > 0.0F};
    auto* row = new QWidget;
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setObjectName(QString::fromStdString(control.symbol));
    slider->setRange(0, kSliderSteps);
    slider->setValue(scale.position(value));
    auto* shown = new QLabel(valueText(value, control), row);
    shown->setMinimumWidth(70);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(slider, 1);
    layout->addWidget(shown);
    connect(slider, &QSlider::valueChanged, this, [this, index, scale, shown, control](int at) {
        float chosen = scale.value(at);
        if (control.integer)
            chosen = std::round(chosen);
        m_lib.setControlValue(index, chosen);
        shown->setText(valueText(m_lib.controlValue(index), control));
    });
    return row;
}

void TPlugInForm::showPage(int page, int, int) {
    QWidget* sheet = PlugTab->widget(page);
    if (sheet == nullptr)
        return;
    removePage(page);
    auto* form = new QFormLayout(sheet);
    for (std::size_t control : m_lib.page(page).controls)
        form->addRow(QString::fromStdString(m_lib.plugin()->controls[control].name),
                     controlRow(control));
}

void TPlugInForm::removePage(int page) {
    QWidget* sheet = PlugTab->widget(page);
    if (sheet == nullptr)
        return;
    for (QWidget* child : sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
    delete sheet->layout();
}

void TPlugInForm::refreshPage() {
    if (PlugTab->currentIndex() >= 0)
        showPage(PlugTab->currentIndex(), 0, 0);
}

void TPlugInForm::readPresets(const QString& select) {
    const QString previous = select.isEmpty() ? presetbox->currentText() : select;
    presetbox->clear();
    presetbox->addItem(kNoPresetSelected);
    for (const PluginPreset& preset : m_lib.presetList())
        presetbox->addItem(QString::fromStdString(preset.name), preset.ours);
    const int found = presetbox->findText(previous);
    presetbox->setCurrentIndex(std::max(found, 0));
    updateRemove();
}

// "Delete" takes presets of ours only: the plug-in's own belong to its bundle.
void TPlugInForm::updateRemove() {
    Remove->setEnabled(presetbox->count() > 1 && presetbox->currentIndex() > 0 &&
                       presetbox->currentData().toBool());
}

void TPlugInForm::presetboxChange() {
    updateRemove();
    if (presetbox->currentIndex() <= 0)
        return;
    if (m_lib.LoadPersistData(presetbox->currentText().toStdString()) != 0)
        m_dialogs.message(MessageKind::Error, "", kMsgPresetLoadError);
}

void TPlugInForm::SaveAsClick() {
    const QString current = presetbox->currentIndex() > 0 ? presetbox->currentText() : QString();
    const std::optional<QString> name = m_dialogs.askName("Name Profile:", current);
    if (!name || name->trimmed().isEmpty())
        return;
    if (m_lib.SavePersistData(name->trimmed().toStdString()) != 0) {
        m_dialogs.message(MessageKind::Error, "", kMsgPluginError);
        return;
    }
    readPresets(name->trimmed());
    m_lib.Repaint();
}

void TPlugInForm::RemoveClick() {
    const int index = presetbox->currentIndex();
    if (index <= 0 || !m_lib.deletePreset(presetbox->currentText().toStdString()))
        return;
    readPresets(presetbox->itemText(index - 1));
    presetboxChange();
}

bool TPlugInForm::previewing() const {
    return m_preview && m_preview->running();
}

void TPlugInForm::PreviewButtonClick() {
    if (m_preview) {
        stopPreview();
        return;
    }
    CPUUsage->setText("CPU: 0%");
    PreviewButton->setText("Stop");
    TAudioDriver* output = m_output.get();
    PlugInPreview::Events events;
    m_stopping = false;
    // A buffer at a time, so that a stop is seen before the next wait for a free buffer.
    events.sink = [this, output](const std::uint8_t* data, std::size_t length) {
        for (std::size_t at = 0; at < length && !m_stopping; at += kPreviewBufferBytes)
            output->write(data + at, std::min(kPreviewBufferBytes, length - at));
    };
    events.cpu = [this](int percent) {
        QMetaObject::invokeMethod(
            CPUUsage,
            [label = CPUUsage, percent] { label->setText(QString("CPU: %1%").arg(percent)); },
            Qt::QueuedConnection);
    };
    events.connectFailed = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                stopPreview();
                m_dialogs.message(MessageKind::Error, "", kMsgConnectFailed);
            },
            Qt::QueuedConnection);
    };
    m_preview = std::make_unique<PlugInPreview>(m_lib, m_doc, std::move(events));
    m_preview->start();
}

// The preview thread may wait on the output: stopping the output lets it see the request.
void TPlugInForm::stopPreview() {
    if (!m_preview)
        return;
    m_stopping = true;
    m_preview->requestStop();
    if (m_output)
        m_output->stop();
    m_preview->join();
    m_preview.reset();
    if (m_output)
        m_output->flush();
    PreviewButton->setText("Preview");
    CPUUsage->setText(kCpuIdle);
}

void TPlugInForm::done(int result) {
    stopPreview();
    m_output.reset();
    m_lib.KillPage(PlugTab->currentIndex());
    PlugTab->clear();
    QDialog::done(result);
}

TPlugProgressForm::TPlugProgressForm(std::function<void()> cancel, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_cancel(std::move(cancel)) {
    setObjectName("Processing");
    setWindowTitle("Processing");
    m_gauge = new QProgressBar(this);
    m_gauge->setRange(0, 100);
    m_gauge->setValue(0);
    m_cancelButton = new QPushButton("Cancel", this);
    m_cancelButton->setObjectName("CancelButton");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Processing DirectX plugin:", this));
    layout->addWidget(m_gauge);
    layout->addWidget(m_cancelButton, 0, Qt::AlignHCenter);
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { CancelClick(); });
}

void TPlugProgressForm::setPercent(int percent) {
    m_gauge->setValue(percent);
}

void TPlugProgressForm::CancelClick() {
    m_cancelButton->setEnabled(false);
    if (m_cancel)
        m_cancel();
}

} // namespace tolvane
