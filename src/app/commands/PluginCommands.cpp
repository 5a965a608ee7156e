#include "app/commands/PluginCommands.h"

#include "app/BusyRunner.h"
#include "app/Workers.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/ViewCommands.h"
#include "app/dialogs/TFindEffectForm.h"
#include "app/dialogs/TPlugInForm.h"
#include "audio/twabeAudio.h"
#include "plugins/EffectMenu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QObject>

namespace tolvane {
namespace {

constexpr const char* kFindEffect = "Find effect...";
constexpr const char* kLookingForEffects = "Looking for effects...";
constexpr const char* kUnusableMark = " (unusable)";

QString unusableMessage(const std::string& name, const std::string& reason) {
    return QString::fromStdString("The plugin " + name + " cannot be used: " + reason + ".");
}

// The run ended without changing the document: the worker reports it as failed, so that the
// busy bracket neither marks the document modified nor redraws.
class PlugInNotApplied : public std::runtime_error {
public:
    PlugInNotApplied() : std::runtime_error("the plug-in's output was not applied") {}
};

} // namespace

PluginCommands::PluginCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view,
                               AudioBackend* audio, BackendMaker makeBackend)
    : m_ctx(ctx), m_play(play), m_view(view), m_audio(audio), m_makeBackend(std::move(makeBackend)),
      m_receiver(std::make_unique<QObject>()) {}

PluginCommands::~PluginCommands() {
    // The look-up stops at the next effect; what it found is dropped with the receiver.
    m_stopScan = true;
    if (m_scan.joinable())
        m_scan.join();
}

void PluginCommands::setProbe(std::vector<std::string> command,
                              const std::filesystem::path& verdicts) {
    m_probeCommand = std::move(command);
    m_verdicts = ProbeStore(verdicts);
}

void PluginCommands::buildMenu(QMenu* menu) {
    addFixedItems(menu);
    const std::atomic<bool> never{false};
    fillMenu(menu, m_makeBackend ? m_makeBackend(never) : nullptr);
}

void PluginCommands::buildMenuInBackground(QMenu* menu) {
    addFixedItems(menu);
    m_none->setVisible(false);
    m_find->setEnabled(false);
    QAction* looking = menu->addAction(kLookingForEffects);
    looking->setEnabled(false);
    m_scan = std::thread([this, menu, looking, make = m_makeBackend] {
        auto found =
            std::make_shared<std::unique_ptr<PluginBackend>>(make ? make(m_stopScan) : nullptr);
        QMetaObject::invokeMethod(
            m_receiver.get(),
            [this, menu, looking, found] {
                menu->removeAction(looking);
                delete looking;
                fillMenu(menu, std::move(*found));
            },
            Qt::QueuedConnection);
    });
}

void PluginCommands::addFixedItems(QMenu* menu) {
    m_find = menu->addAction(kFindEffect);
    m_find->setObjectName("FindEffect1");
    m_find->setShortcut(QKeySequence("Ctrl+Shift+F"));
    m_find->setToolTip("Find an effect by its name, kind or maker");
    m_find->setStatusTip(m_find->toolTip());
    QObject::connect(m_find, &QAction::triggered, menu, [this] { FindEffectClick(); });
    menu->addSeparator();
    m_none = menu->addAction(kMsgNoPlugins);
    m_none->setEnabled(false);
}

void PluginCommands::fillMenu(QMenu* menu, std::unique_ptr<PluginBackend> backend) {
    m_lib = std::make_unique<TDLib>(std::move(backend));
    if (m_lib->InitPlugins(0) != 0) {
        m_find->setEnabled(false);
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgPluginInitError);
        return;
    }
    m_lib->SetPath(defaultPresetFolder());
    const auto& plugins = m_lib->plugins();
    m_items.assign(plugins.size(), nullptr);
    for (const EffectMenuGroup& group : groupEffects(plugins)) {
        QMenu* kind = menu->addMenu(QString::fromStdString(group.title));
        m_kindMenus.push_back(kind->menuAction());
        for (std::size_t index : group.plugins) {
            const QString name = QString::fromStdString(plugins[index].name);
            QAction* item = kind->addAction(name);
            item->setToolTip("Show " + name);
            item->setStatusTip("Show " + name);
            item->setData(static_cast<int>(index));
            const int i = static_cast<int>(index);
            QObject::connect(item, &QAction::triggered, menu, [this, i] { HandlePlugInClick(i); });
            m_items[index] = item;
            if (const ProbeVerdict* known = m_verdicts.find(plugins[index]);
                known && !known->usable)
                markUnusable(i, known->reason);
        }
    }
    m_none->setVisible(m_items.empty());
    m_find->setEnabled(!m_items.empty());
}

void PluginCommands::SetPluginVisible(bool visible) {
    if (!m_lib || m_lib->failed())
        return;
    for (QAction* kind : m_kindMenus)
        kind->setVisible(visible);
    m_find->setVisible(visible);
}

QAction* PluginCommands::item(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < m_items.size()
               ? m_items[static_cast<std::size_t>(index)]
               : nullptr;
}

void PluginCommands::FindEffectClick() {
    if (!m_lib || m_lib->failed() || m_items.empty() || m_ctx.busy())
        return;
    TFindEffectForm find(m_lib->plugins(), m_ctx.window.dialogParent());
    if (find.exec() == QDialog::Accepted && find.chosen() >= 0)
        HandlePlugInClick(find.chosen());
}

void PluginCommands::HandlePlugInClick(int index) {
    SampleDocument& doc = m_ctx.doc;
    if (!m_lib || !doc.DocumentOpen || m_ctx.busy() || m_lib->failed() || index < 0 ||
        index >= m_lib->GetNumPlugs())
        return;
    const PluginDescription& plugin = m_lib->plugins()[static_cast<std::size_t>(index)];
    if (const ProbeVerdict* known = m_verdicts.find(plugin)) {
        if (!known->usable) {
            m_ctx.dialogs.message(MessageKind::Error, "",
                                  unusableMessage(plugin.name, known->reason));
            return;
        }
        openPlugIn(index);
        return;
    }
    if (m_probeCommand.empty()) {
        openPlugIn(index);
        return;
    }
    probeThenOpen(index);
}

// Tries the effect in a child process while the window waits, then opens it or says why not.
void PluginCommands::probeThenOpen(int index) {
    const PluginDescription& plugin = m_lib->plugins()[static_cast<std::size_t>(index)];
    auto verdict = std::make_shared<ProbeVerdict>();
    BusyRunner::Job job;
    job.status = QString::fromStdString("Trying " + plugin.name + "...");
    job.worker = std::make_unique<FunctionWorker>(
        [verdict, command = m_probeCommand, uri = plugin.uri, rate = m_ctx.doc.SampleRate] {
            *verdict = probeInChild(command, uri, rate);
        });
    job.finished = [this, index, verdict](WorkerThread&) {
        const PluginDescription& tried = m_lib->plugins()[static_cast<std::size_t>(index)];
        m_verdicts.remember(tried, *verdict);
        if (!verdict->usable) {
            if (verdict->remember)
                markUnusable(index, verdict->reason);
            m_ctx.dialogs.message(MessageKind::Error, "",
                                  unusableMessage(tried.name, verdict->reason));
            return;
        }
        // Opened once the busy bracket has ended, so that the window is the user's again.
        QMetaObject::invokeMethod(
            m_items[static_cast<std::size_t>(index)], [this, index] { openPlugIn(index); },
            Qt::QueuedConnection);
    };
    m_ctx.runner.start(std::move(job));
}

void PluginCommands::markUnusable(int index, const std::string& reason) {
    QAction* unusable = item(index);
    if (unusable == nullptr)
        return;
    const QString name =
        QString::fromStdString(m_lib->plugins()[static_cast<std::size_t>(index)].name);
    unusable->setText(name + kUnusableMark);
    unusable->setToolTip("Unusable: " + QString::fromStdString(reason));
    unusable->setStatusTip(unusable->toolTip());
}

void PluginCommands::openPlugIn(int index) {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
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
                              status == kSetupHostFailed
                                  ? QString(kMsgHostFailed)
                                  : QString::fromStdString(m_lib->setupRefusal()));
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
