#include "app/commands/PluginCommands.h"

#include "app/BusyRunner.h"
#include "app/Workers.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/ViewCommands.h"
#include "app/dialogs/TPlugInForm.h"
#include "audio/twabeAudio.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace tolvane {
namespace {

// The run ended without changing the document: the worker reports it as failed, so that the
// busy bracket neither marks the document modified nor redraws.
class PlugInNotApplied : public std::runtime_error {
public:
    PlugInNotApplied() : std::runtime_error("the plug-in's output was not applied") {}
};

} // namespace

PluginCommands::PluginCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view,
                               AudioBackend* audio,
                               std::function<std::unique_ptr<PluginBackend>()> makeBackend)
    : m_ctx(ctx), m_play(play), m_view(view), m_audio(audio),
      m_makeBackend(std::move(makeBackend)) {}

PluginCommands::~PluginCommands() = default;

void PluginCommands::buildMenu(QMenu* menu) {
    m_none = menu->addAction(kMsgNoPlugins);
    m_none->setEnabled(false);
    m_lib = std::make_unique<TDLib>(m_makeBackend ? m_makeBackend() : nullptr);
    if (m_lib->InitPlugins(0) != 0) {
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgPluginInitError);
        return;
    }
    m_lib->SetPath(defaultPresetFolder());
    for (int i = 0; i < m_lib->GetNumPlugs(); ++i) {
        const QString name =
            QString::fromStdString(m_lib->GetNextPlugInName(static_cast<std::uint16_t>(i)));
        QAction* item = menu->addAction(name);
        item->setToolTip("Show " + name);
        item->setStatusTip("Show " + name);
        item->setData(i);
        QObject::connect(item, &QAction::triggered, menu, [this, i] { HandlePlugInClick(i); });
        m_items.push_back(item);
    }
    m_none->setVisible(m_items.empty());
}

void PluginCommands::SetPluginVisible(bool visible) {
    if (!m_lib || m_lib->failed())
        return;
    for (QAction* item : m_items)
        item->setVisible(visible);
}

void PluginCommands::HandlePlugInClick(int index) {
    SampleDocument& doc = m_ctx.doc;
    if (!m_lib || !doc.DocumentOpen || m_ctx.busy() || m_lib->failed() || index < 0 ||
        index >= m_lib->GetNumPlugs())
        return;
    m_play.closeOutput();
    const int device = m_ctx.player != nullptr ? m_ctx.player->DeviceID : 0;
    TPlugInForm dialog(
        *m_lib, doc, m_ctx.dialogs, m_audio, device, m_mode,
        QString::fromStdString(m_lib->GetNextPlugInName(static_cast<std::uint16_t>(index))),
        m_ctx.window.dialogParent());
    doc.Busy = true;
    m_lib->SetSampleParams(16, doc.SampleRate, doc.Channels);
    const std::uint16_t status = m_lib->SetupFilter(static_cast<std::uint16_t>(index), &dialog);
    if (status != kSetupReady) {
        m_ctx.dialogs.message(MessageKind::Error, "",
                              status == kSetupHostFailed ? kMsgHostFailed : kMsgPluginRefused);
        giveUp();
        return;
    }
    if (m_lib->GetNumPages() == 0) {
        if (m_ctx.dialogs.message(MessageKind::Confirmation, "", kMsgNoPages,
                                  MessageButtons::YesNo) != MessageAnswer::Yes) {
            m_lib->KillFilter(0);
            giveUp();
            return;
        }
        process(PlugInMode::All);
        return;
    }
    dialog.FormShow();
    const int result = dialog.exec();
    m_mode = dialog.mode();
    if (result != QDialog::Accepted) {
        m_lib->KillFilter(0);
        giveUp();
        return;
    }
    process(m_mode);
}

void PluginCommands::giveUp() {
    m_ctx.doc.Busy = false;
    m_play.openOutput();
}

void PluginCommands::process(PlugInMode mode) {
    m_ctx.doc.Busy = false; // the busy bracket takes over
    m_cancelled = false;
    m_progress = std::make_unique<TPlugProgressForm>([this] { m_cancelled = true; },
                                                     m_ctx.window.dialogParent());
    TPlugProgressForm* progress = m_progress.get();
    auto outcome = std::make_shared<PlugInOutcome>(PlugInOutcome::Processed);
    BusyRunner::Job job;
    job.status = "Processing...";
    job.worker = std::make_unique<TDXProcThread>([this, mode, outcome, progress] {
        *outcome = processThroughPlugIn(
            *m_lib, m_ctx.doc, m_ctx.undo, mode, m_cancelled, [progress](int percent) {
                QMetaObject::invokeMethod(
                    progress, [progress, percent] { progress->setPercent(percent); },
                    Qt::QueuedConnection);
            });
        if (*outcome != PlugInOutcome::Processed)
            throw PlugInNotApplied();
    });
    job.changesData = true;
    job.changesFormat = true;
    job.finished = [this, outcome](WorkerThread& worker) {
        m_lib->KillFilter(0);
        m_progress.reset();
        m_ctx.undoRecordedBy(!worker.failed());
        if (!worker.failed()) {
            m_view.showWholeSample();
            m_ctx.setStatus(1, m_ctx.formatText());
            return;
        }
        switch (*outcome) {
        case PlugInOutcome::ConnectFailed:
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgConnectFailed);
            break;
        case PlugInOutcome::DeliverFailed:
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgDeliverError);
            break;
        case PlugInOutcome::Cancelled:
            break;
        case PlugInOutcome::Processed: // the undo step could not be kept
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgPluginError);
            break;
        }
        m_play.openOutput(); // closed for a format change that did not happen
    };
    progress->show();
    if (!m_ctx.runner.start(std::move(job))) {
        m_progress.reset();
        m_lib->KillFilter(0);
        m_play.openOutput();
    }
}

} // namespace tolvane
