#include "app/commands/SamplerCommands.h"

#include "app/Dialogs.h"
#include "app/ProgramSettings.h"
#include "app/dialogs/Tpreform.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerDrivers.h"

#include <QApplication>

namespace tolvane {
namespace {

constexpr int kInputCapacity = 4096;
constexpr std::size_t kInputSysexBufferSize = 4096;

// A driver's error and warning boxes, shown on the window's thread.
class DialogMessages : public DriverMessages {
public:
    explicit DialogMessages(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void error(const std::string& text) override { show(MessageKind::Error, text); }
    void warning(const std::string& text) override { show(MessageKind::Warning, text); }

private:
    void show(MessageKind kind, const std::string& text) {
        QMetaObject::invokeMethod(
            qApp,
            [this, kind, text = QString::fromStdString(text)] {
                m_dialogs.message(kind, "", text);
            },
            Qt::QueuedConnection);
    }
    Dialogs& m_dialogs;
};

Poster windowThread() {
    return [](std::function<void()> job) {
        QMetaObject::invokeMethod(qApp, std::move(job), Qt::QueuedConnection);
    };
}

} // namespace

SamplerCommands::SamplerCommands(CommandContext& ctx) : m_ctx(ctx) {}

SamplerCommands::~SamplerCommands() {
    // The drivers go before the ports they use.
    m_table.reset();
    m_sds.reset();
    m_smdi.reset();
    m_akai.reset();
}

void SamplerCommands::setPorts(std::unique_ptr<MidiBackend> midi, std::unique_ptr<ScsiBus> bus) {
    // The drivers work on the ports: they go first, and are made again on the new ones.
    setDrivers(nullptr, nullptr, nullptr);
    m_input.reset();
    m_output.reset();
    m_midi = std::move(midi);
    m_bus = std::move(bus);
}

void SamplerCommands::setProfileFile(const std::string& file) {
    m_profiles = std::make_unique<SamplerProfileStore>(file);
}

void SamplerCommands::makePorts() {
    if (!m_midi)
        m_midi = makeMidiBackendOrNone();
    if (!m_input) {
        // Device callbacks hand their events to the window's thread.
        const Poster post = windowThread();
        m_input = std::make_unique<TMidiInput>(*m_midi, post);
        m_input->Capacity = kInputCapacity;
        m_input->setSysexBufferSize(kInputSysexBufferSize);
        m_output = std::make_unique<TMidiOutput>(*m_midi, post);
    }
    if (!m_bus)
        m_bus = makeSystemScsiBus(m_ctx.settings.ScsiSockets.toStdString());
}

MidiBackend& SamplerCommands::midiBackend() {
    makePorts();
    return *m_midi;
}

TMidiInput& SamplerCommands::midiInput() {
    makePorts();
    return *m_input;
}

TMidiOutput& SamplerCommands::midiOutput() {
    makePorts();
    return *m_output;
}

ScsiBus& SamplerCommands::scsiBus() {
    makePorts();
    return *m_bus;
}

void SamplerCommands::setDrivers(std::unique_ptr<TSamplerClass> sds,
                                 std::unique_ptr<TSamplerClass> smdi,
                                 std::unique_ptr<TSamplerClass> akai) {
    m_table.reset();
    m_sds = std::move(sds);
    m_smdi = std::move(smdi);
    m_akai = std::move(akai);
}

const SamplerDriverTable& SamplerCommands::driverTable() {
    if (!m_table) {
        if (!m_sds || !m_smdi || !m_akai)
            makeDrivers();
        m_table = std::make_unique<SamplerDriverTable>(*m_sds, *m_smdi, *m_akai);
    }
    return *m_table;
}

SamplerProfileStore& SamplerCommands::profiles() {
    if (!m_profiles)
        setProfileFile(profileStoreBeside(defaultSettingsFile()));
    return *m_profiles;
}

void SamplerCommands::Transmit1Click() {
    makePorts();
    // Devices plugged in since the last look are offered too.
    m_input->refreshDevices();
    m_output->refreshDevices();
    Tpreform manager({*m_input, *m_output, *m_bus}, profiles(), m_ctx.dialogs,
                     m_ctx.settings.MidiChannel, managerParent());
    manager.showManager(m_ctx.settings.PNo);
    if (manager.exec() == QDialog::Accepted)
        m_ctx.settings.PNo = std::max(manager.selectedProfile(), 0);
    // What the settings keep at exit: the lists as the manager was closed ("Haid" and "Did"
    // hold the same two indices) and its channel.
    m_ctx.settings.MinID = m_ctx.settings.Haid = std::max(manager.midiInputIndex(), 0);
    m_ctx.settings.MoutID = m_ctx.settings.Did = std::max(manager.midiOutputIndex(), 0);
    m_ctx.settings.MidiChannel = manager.midiChannel();
}

// Opened from a transfer window, which stays on top, the manager opens over that window.
QWidget* SamplerCommands::managerParent() const {
    QWidget* raisingWindow = m_ctx.dialogs.raisedFrom();
    return raisingWindow ? raisingWindow : m_ctx.window.dialogParent();
}

void SamplerCommands::makeDrivers() {
    makePorts();
    if (!m_messages)
        m_messages = std::make_unique<DialogMessages>(m_ctx.dialogs);
    SdsTimings sdsTimings;
    sdsTimings.handshakeReply = std::chrono::milliseconds(m_ctx.settings.SdsReplyWait);
    SamplerDrivers drivers = makeSamplerDrivers(*m_bus, *m_input, *m_output, windowThread(),
                                                m_messages.get(), sdsTimings);
    m_sds = std::move(drivers.sds);
    m_smdi = std::move(drivers.smdi);
    m_akai = std::move(drivers.akai);
}

} // namespace tolvane
