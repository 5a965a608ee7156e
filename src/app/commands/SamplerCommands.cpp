#include "app/commands/SamplerCommands.h"

#include "app/Dialogs.h"
#include "app/ProgramSettings.h"
#include "app/dialogs/Tpreform.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"

#include <QApplication>

namespace tolvane {
namespace {

constexpr int kInputCapacity = 4096;
constexpr std::size_t kInputSysexBufferSize = 4096;

// No MIDI service could be reached: no devices, and opening says why.
class UnavailableMidi : public MidiBackend {
public:
    explicit UnavailableMidi(std::string reason) : m_reason(std::move(reason)) {}
    std::string apiName() const override { return "none"; }
    std::vector<std::string> inputs() override { return {}; }
    std::vector<std::string> outputs() override { return {}; }
    std::unique_ptr<MidiOutPort> openOutput(int) override { throw MidiBackendError(m_reason); }
    std::unique_ptr<MidiInPort> openInput(int, MidiInputHandler) override {
        throw MidiBackendError(m_reason);
    }

private:
    std::string m_reason;
};

} // namespace

SamplerCommands::SamplerCommands(CommandContext& ctx) : m_ctx(ctx) {}

SamplerCommands::~SamplerCommands() = default;

void SamplerCommands::setPorts(std::unique_ptr<MidiBackend> midi, std::unique_ptr<ScsiBus> bus) {
    m_input.reset();
    m_output.reset();
    m_midi = std::move(midi);
    m_bus = std::move(bus);
}

void SamplerCommands::setProfileFile(const std::string& file) {
    m_profiles = std::make_unique<SamplerProfileStore>(file);
}

void SamplerCommands::makePorts() {
    if (!m_midi) {
        try {
            m_midi = makeRtMidiBackend();
        } catch (const MidiBackendError& e) {
            m_midi = std::make_unique<UnavailableMidi>(e.what());
        }
    }
    if (!m_input) {
        // Device callbacks hand their events to the window's thread.
        const Poster post = [](std::function<void()> job) {
            QMetaObject::invokeMethod(qApp, std::move(job), Qt::QueuedConnection);
        };
        m_input = std::make_unique<TMidiInput>(*m_midi, post);
        m_input->Capacity = kInputCapacity;
        m_input->setSysexBufferSize(kInputSysexBufferSize);
        m_output = std::make_unique<TMidiOutput>(*m_midi, post);
    }
    if (!m_bus)
        m_bus = makeSystemScsiBus(m_ctx.settings.ScsiSockets.toStdString());
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
                     m_ctx.settings.MidiChannel, m_ctx.window.dialogParent());
    manager.showManager(m_lastProfile);
    if (manager.exec() == QDialog::Accepted)
        m_lastProfile = manager.selectedProfile();
    // What the settings keep at exit: the lists as the manager was closed ("Haid" and "Did"
    // hold the same two indices) and its channel.
    m_ctx.settings.MinID = m_ctx.settings.Haid = std::max(manager.midiInputIndex(), 0);
    m_ctx.settings.MoutID = m_ctx.settings.Did = std::max(manager.midiOutputIndex(), 0);
    m_ctx.settings.MidiChannel = manager.midiChannel();
}

} // namespace tolvane
