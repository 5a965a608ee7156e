#include "app/commands/TransferCommands.h"

#include "app/commands/FileCommands.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/SamplerCommands.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/TemplateCommands.h"
#include "app/dialogs/TBatchTrans.h"
#include "app/dialogs/TSMDIForm.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/ScsiBus.h"

#include <QEventLoop>

namespace tolvane {
namespace {

// Shows a window modally until it is closed. Hiding it for a while, as the transfer window does
// while the request window lists the sampler, does not end it (QDialog::exec would return then
// and the window be destroyed under the receive it has started).
void runUntilClosed(QDialog& window) {
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    loop.exec(QEventLoop::DialogExec);
}

} // namespace

TransferCommands::TransferCommands(CommandContext& ctx, SamplerCommands& samplers,
                                   FileCommands& files, SaveCommands& save, PlayCommands& play,
                                   TemplateCommands& templates)
    : m_ctx(ctx), m_samplers(samplers), m_files(files), m_save(save), m_play(play),
      m_templates(templates) {}

TransferCommands::~TransferCommands() = default;

TransferServices TransferCommands::services() {
    TMidiInput& input = m_samplers.midiInput();
    TMidiOutput& output = m_samplers.midiOutput();
    input.refreshDevices();
    output.refreshDevices();
    TransferServices services{.doc = m_ctx.doc,
                              .dialogs = m_ctx.dialogs,
                              .profiles = m_samplers.profiles(),
                              .drivers = m_samplers.driverTable(),
                              .midiInput = &input,
                              .midiOutput = &output,
                              .smoother = m_samplers.smoother(),
                              .keymap = m_save.keymap(),
                              .lastProfile = m_ctx.settings.PNo};
    services.player = m_ctx.player;
    services.scsiAvailable = m_samplers.scsiBus().adaptorCount() > 0;
    services.midiInputCount = input.NumDevs();
    services.midiOutputCount = output.NumDevs();
    services.showStatus = [this](const QString& text) { m_ctx.setStatus(1, text); };
    services.stopPlayback = [this] { m_play.Button24Click(); };
    services.openProfileManager = [this] { m_samplers.Transmit1Click(); };
    services.confirmDiscard = [this] { return m_save.confirmDiscard(); };
    services.adoptReceived = [this](SampleDocument&& received, const std::string& name) {
        m_files.adoptReceivedSample(std::move(received), name);
    };
    services.openFile = [this](const QString& file) { m_files.loadFile(file); };
    services.prepareTemplate = [this] { return m_templates.templateTempoCheck(); };
    services.writeTemplate = [this] { m_templates.saveTemplateAfterSend(); };
    return services;
}

void TransferCommands::SMIDITransfer1Click() {
    if (m_ctx.busy())
        return;
    m_transfer = std::make_unique<TSMDIForm>(services(), m_ctx.window.dialogParent());
    m_transfer->showTransfer();
    runUntilClosed(*m_transfer);
    m_transfer.reset();
    m_ctx.setStatus(1, m_ctx.doc.DocumentOpen ? m_ctx.formatText() : QString(kNoFileLoaded));
}

void TransferCommands::BatchTransfer1Click() {
    if (m_ctx.busy())
        return;
    m_batch = std::make_unique<TBatchTrans>(services(), m_ctx.window.dialogParent());
    m_batch->showBatch();
    runUntilClosed(*m_batch);
    m_batch.reset();
    m_ctx.setStatus(1, m_ctx.doc.DocumentOpen ? m_ctx.formatText() : QString(kNoFileLoaded));
}

} // namespace tolvane
