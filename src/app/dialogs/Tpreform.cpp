#include "app/dialogs/Tpreform.h"

#include "app/Dialogs.h"
#include "app/Help.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/DialogButtons.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "samplers/ScsiEnumeration.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {
namespace {

constexpr const char* kHelpPage = "profiles";

} // namespace

Tpreform::Tpreform(Ports ports, SamplerProfileStore& store, Dialogs& dialogs, int midiChannel,
                   QWidget* parent)
    : QDialog(parent), m_ports(ports), m_store(store), m_dialogs(dialogs),
      m_targets(std::make_unique<TargetEnumeration>(ports.bus.entry())) {
    setObjectName("preform");
    setWindowTitle("Sampler profile manager");
    buildControls();
    fillMidiLists();
    m_type->setCurrentIndex(0);
    m_channelUpDown->setPosition(midiChannel);
    m_channel->setText(QString::number(m_channelUpDown->position()));
    fillAdaptorList();
    ComboBox4Change();
}

Tpreform::~Tpreform() {
    m_targets.reset(); // waits for an INQUIRY under way; its result is then dropped
}

void Tpreform::buildControls() {
    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char* caption, QWidget* field, QWidget* extra = nullptr) {
        auto* label = new QLabel(caption, this);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (extra)
            grid->addWidget(extra, row, 2);
        ++row;
        return label;
    };
    m_profiles = named(new QComboBox(this), "ComboBox1", "Select saved profile");
    grid->addWidget(m_profiles, row++, 0, 1, 3);
    m_type = named(new QComboBox(this), "ComboBox4", "Select sampler type");
    for (const SamplerType& type : kSamplerTypes)
        m_type->addItem(type.text);
    addRow("Protocol:", m_type);
    m_input = named(new QComboBox(this), "cmbInput", "Midi input device");
    m_inputLabel = addRow("MIDI Input:", m_input);
    m_output = named(new QComboBox(this), "cmbOutput", "Midi output device");
    m_outputLabel = addRow("MIDI Output:", m_output);

    m_channel = named(new QLineEdit(this), "Edit3", "Change midi channel");
    m_channel->setReadOnly(true);
    m_channel->setMaxLength(2);
    m_channelUpDown = named(new UpDown(1, 16, this), "UpDown1", "Change midi channel");
    m_channelUpDown->onClick = [this] {
        m_channel->setText(QString::number(m_channelUpDown->position()));
    };
    m_channelLabel = addRow("Channel:", m_channel, m_channelUpDown);

    m_offset = named(new QLineEdit("0", this), "Edit1", "Change offset of sample number");
    m_offset->setMaxLength(5); // "-1024": four digits and the sign
    m_offsetUpDown = named(new UpDown(SamplerProfile::kMinOffset, SamplerProfile::kMaxOffset, this),
                           "UpDown2", "Change offset of sample number");
    m_offsetUpDown->setPosition(0);
    m_offsetUpDown->onClick = [this] {
        m_offset->setText(QString::number(m_offsetUpDown->position()));
    };
    connect(m_offset, &QLineEdit::textEdited, this,
            [this] { m_offsetUpDown->setPosition(m_offset->text().toInt()); });
    addRow("Offset:", m_offset, m_offsetUpDown);

    m_sysex = named(new QLineEdit("1", this), "Edit2", "Change sysex ID of sampler");
    m_sysexUpDown = named(new UpDown(1, 16, this), "UpDown3", "Change sysex ID of sampler");
    m_sysexUpDown->setPosition(1);
    m_sysexUpDown->onClick = [this] {
        m_sysex->setText(QString::number(m_sysexUpDown->position()));
    };
    QLabel* sysexLabel = addRow("Sysex ID:", m_sysex, m_sysexUpDown);
    for (QWidget* hidden : {static_cast<QWidget*>(sysexLabel), static_cast<QWidget*>(m_sysex),
                            static_cast<QWidget*>(m_sysexUpDown)})
        hidden->hide();

    m_openLoop = named(new QCheckBox("Open loop", this), "CheckBox5", "Select transfer type");
    grid->addWidget(m_openLoop, row++, 1);
    m_adaptor = named(new QComboBox(this), "cmbHaid", "SCSI Host Adaptor");
    m_adaptorLabel = addRow("SCSI  Adaptor:", m_adaptor);
    m_device = named(new QComboBox(this), "cmbDevice", "SCSI Sampler");
    m_deviceLabel = addRow("SCSI Device:", m_device);
    m_scsiHint = named(new QLabel(this), "ScsiHint");
    m_scsiHint->setWordWrap(true);
    m_scsiHint->hide();
    grid->addWidget(m_scsiHint, row++, 0, 1, 3);

    m_storeButton =
        named(new QPushButton("Store", this), "Button1", "Store current sampler profile");
    m_delete = named(new QPushButton("Delete", this), "Button2", "Delete selected sampler profile");
    auto* ok = named(new QPushButton("OK", this), "Button3", "Return to WaveTolvane");
    auto* help = named(new QPushButton("Help", this), "Button5", "View help file");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_storeButton, m_delete, ok, help})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_profiles, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    connect(m_type, &QComboBox::currentIndexChanged, this, [this] { ComboBox4Change(); });
    connect(m_adaptor, &QComboBox::currentIndexChanged, this, [this] { cmbHaidChange(); });
    connect(m_storeButton, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(help, &QPushButton::clicked, this, [this] { showHelp(*this, kHelpPage); });
}

void Tpreform::fillMidiLists() {
    // The lists are the devices' product names; the device chosen before stays chosen.
    for (const std::string& name : m_ports.input.devices())
        m_input->addItem(QString::fromStdString(name));
    for (const std::string& name : m_ports.output.devices())
        m_output->addItem(QString::fromStdString(name));
    selectIndex(m_input, m_ports.input.DeviceID());
    selectIndex(m_output, m_ports.output.DeviceID());
}

void Tpreform::fillAdaptorList() {
    m_adaptor->blockSignals(true);
    m_adaptor->clear();
    m_adaptor->addItem(kNoHostAdaptorFound);
    const std::vector<std::string> adaptors = enumerateAdaptors(m_ports.bus.entry());
    m_haveAdaptors = !adaptors.empty();
    // With no adaptor at all the placeholder stays, so the list says why it is empty.
    if (m_haveAdaptors) {
        m_adaptor->clear();
        for (const std::string& item : adaptors)
            m_adaptor->addItem(QString::fromStdString(item));
    }
    m_adaptor->setCurrentIndex(0);
    m_adaptor->blockSignals(false);
    m_device->clear();
    m_device->addItem(kNoDevicesFound);
    cmbHaidChange();
}

void Tpreform::cmbHaidChange() {
    const int adaptor = m_adaptor->currentIndex();
    if (!m_haveAdaptors || adaptor < 0 || adaptor == m_lastAdaptor)
        return;
    if (m_enumerating) {
        m_wantedAdaptor = adaptor; // listed once the one under way has ended
        return;
    }
    m_lastAdaptor = adaptor;
    m_device->clear();
    m_device->addItem(kNoDevicesFound);
    m_enumerating = true;
    QPointer<Tpreform> self(this);
    m_targets->start(static_cast<std::uint8_t>(adaptor),
                     [self, adaptor](std::vector<std::string> items) {
                         // On the bus's thread: the list is the window's.
                         QMetaObject::invokeMethod(
                             qApp,
                             [self, adaptor, items = std::move(items)]() mutable {
                                 if (self)
                                     self->targetsListedNow(adaptor, std::move(items));
                             },
                             Qt::QueuedConnection);
                     });
}

void Tpreform::targetsListedNow(int adaptor, std::vector<std::string> items) {
    m_enumerating = false;
    if (m_wantedAdaptor >= 0 && m_wantedAdaptor != adaptor) {
        m_wantedAdaptor = -1;
        cmbHaidChange();
        return;
    }
    m_wantedAdaptor = -1;
    m_device->clear();
    for (const std::string& item : items)
        m_device->addItem(QString::fromStdString(item));
    selectIndex(m_device, m_profileTarget);
    const QString hints = QString::fromStdString(m_ports.bus.accessHints());
    m_scsiHint->setText(hints);
    m_scsiHint->setVisible(!hints.isEmpty());
}

void Tpreform::ComboBox4Change() {
    const ProtocolControls c = controlsForSamplerType(m_type->currentText().toStdString());
    for (QWidget* w : {static_cast<QWidget*>(m_input), static_cast<QWidget*>(m_inputLabel),
                       static_cast<QWidget*>(m_channel), static_cast<QWidget*>(m_channelUpDown),
                       static_cast<QWidget*>(m_channelLabel)})
        w->setEnabled(c.midiInput);
    m_output->setEnabled(c.midiOutput);
    m_outputLabel->setEnabled(c.midiOutput);
    for (QWidget* w : {static_cast<QWidget*>(m_adaptor), static_cast<QWidget*>(m_adaptorLabel),
                       static_cast<QWidget*>(m_device), static_cast<QWidget*>(m_deviceLabel)})
        w->setEnabled(c.scsi);
    m_openLoop->setVisible(c.openLoopShown);
    cmbHaidChange();
}

void Tpreform::loadProfileList() {
    const int remembered = std::max(m_profiles->currentIndex(), 0);
    m_profiles->clear();
    std::vector<std::string> names;
    try {
        names = m_store.names();
    } catch (const EProfileReadError& e) {
        m_dialogs.message(MessageKind::Error, windowTitle(), QString::fromStdString(e.what()));
    }
    if (names.empty()) {
        m_profiles->addItem(kNoPresetsStored);
        m_profiles->setCurrentIndex(0);
        m_delete->setEnabled(false);
        return;
    }
    m_delete->setEnabled(true);
    for (const std::string& name : names)
        m_profiles->addItem(QString::fromStdString(name));
    selectIndex(m_profiles, remembered);
}

void Tpreform::showManager(int profileIndex) {
    loadProfileList();
    if (profileIndex >= 0 && profileIndex < m_profiles->count())
        m_profiles->setCurrentIndex(profileIndex);
    ComboBox1Change();
}

void Tpreform::ComboBox1Change() {
    const QString name = m_profiles->currentText();
    if (name == kNoPresetsStored || name.isEmpty())
        return;
    std::optional<SamplerProfile> stored;
    try {
        stored = m_store.read(name.toStdString());
        if (stored && stored->protocol >= kSamplerTypes.size())
            throw EProfileReadError(kMsgPresetCorrupted);
    } catch (const EProfileReadError&) {
        m_dialogs.message(MessageKind::Error, windowTitle(), kMsgPresetCorrupted);
        return;
    }
    if (!stored)
        return;
    SamplerProfile p = *stored;
    m_profileTarget = p.target;
    m_type->setCurrentIndex(p.protocol);
    if (p.scsiInUse)
        selectIndex(m_adaptor, p.adaptor);
    ComboBox4Change();
    // An index stored with nothing selected (255) selects nothing; any other index the lists
    // no longer have is a device that has gone.
    auto outOfRange = [](std::uint8_t index, int count) {
        return index != SamplerProfile::kNothingSelected && index >= count;
    };
    const bool inputGone = outOfRange(p.midiInput, m_input->count());
    const bool outputGone = outOfRange(p.midiOutput, m_output->count());
    if (inputGone || outputGone) {
        m_dialogs.message(MessageKind::Error, windowTitle(), kMsgDeviceOutOfRange);
        if (inputGone)
            p.midiInput = 0;
        if (outputGone)
            p.midiOutput = 0;
    }
    if (p.midiOutputInUse) {
        selectIndex(m_input, p.midiInput == SamplerProfile::kNothingSelected ? -1 : p.midiInput);
        selectIndex(m_output, p.midiOutput == SamplerProfile::kNothingSelected ? -1 : p.midiOutput);
    }
    if (p.scsiInUse) {
        selectIndex(m_adaptor, p.adaptor);
        if (!m_enumerating)
            selectIndex(m_device, p.target);
    }
    m_offsetUpDown->setPosition(p.offset);
    m_offset->setText(QString::number(m_offsetUpDown->position()));
    m_sysexUpDown->setPosition(p.sysexId);
    m_sysex->setText(QString::number(m_sysexUpDown->position()));
    m_openLoop->setChecked(p.openLoop != 0);
    m_channelUpDown->setPosition(p.channel);
    m_channel->setText(QString::number(m_channelUpDown->position()));
}

SamplerProfile Tpreform::currentProfile() const {
    SamplerProfile p;
    p.midiInput = profileIndexByte(m_input->currentIndex());
    p.midiOutput = profileIndexByte(m_output->currentIndex());
    p.adaptor = profileIndexByte(m_adaptor->currentIndex());
    p.target = profileIndexByte(m_device->currentIndex());
    p.sysexId = static_cast<std::uint8_t>(m_sysexUpDown->position());
    p.channel = static_cast<std::uint8_t>(m_channelUpDown->position());
    p.openLoop = m_openLoop->isChecked() ? 1 : 0;
    p.scsiInUse = m_adaptor->isEnabled() ? 1 : 0;
    p.midiOutputInUse = m_output->isEnabled() ? 1 : 0;
    p.protocol = static_cast<std::uint8_t>(std::max(m_type->currentIndex(), 0));
    bool ok = false;
    const int typed = m_offset->text().toInt(&ok);
    p.offset = ok ? std::clamp(typed, SamplerProfile::kMinOffset, SamplerProfile::kMaxOffset)
                  : m_offsetUpDown->position();
    return p;
}

void Tpreform::Button1Click() {
    const QString current = m_profiles->currentText();
    const std::optional<QString> name =
        m_dialogs.askName("Name Profile:", current == kNoPresetsStored ? QString() : current);
    if (!name || name->isEmpty())
        return;
    std::vector<std::string> names;
    try {
        names = m_store.names();
    } catch (const EProfileReadError&) {
        // the write below fails and says so
    }
    const auto found = std::find(names.begin(), names.end(), name->toStdString());
    const int selection = static_cast<int>(found - names.begin()); // after the last when new
    if (!m_store.write(name->toStdString(), currentProfile())) {
        m_dialogs.message(MessageKind::Error, windowTitle(), "Registry Update Failed!");
        return;
    }
    loadProfileList();
    selectIndex(m_profiles, selection);
}

void Tpreform::Button2Click() {
    const QString name = m_profiles->currentText();
    if (name == kNoPresetsStored)
        return;
    const int previous = std::max(m_profiles->currentIndex() - 1, 0);
    if (!m_store.remove(name.toStdString()))
        m_dialogs.message(MessageKind::Error, windowTitle(), "Registry Update Failed!");
    loadProfileList();
    selectIndex(m_profiles, previous);
    ComboBox1Change();
}

void Tpreform::selectIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

int Tpreform::selectedProfile() const {
    return m_profiles->currentText() == kNoPresetsStored ? 0 : m_profiles->currentIndex();
}

int Tpreform::midiInputIndex() const {
    return m_input->currentIndex();
}

int Tpreform::midiOutputIndex() const {
    return m_output->currentIndex();
}

int Tpreform::midiChannel() const {
    return m_channelUpDown->position();
}

} // namespace tolvane
