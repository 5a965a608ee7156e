#include "app/BusyRunner.h"

#include "app/commands/CommandContext.h"

namespace tolvane {

BusyRunner::BusyRunner(EditorWindow& window, SampleDocument& doc, Hooks hooks)
    : m_window(window), m_doc(doc), m_hooks(std::move(hooks)) {}

BusyRunner::~BusyRunner() {
    waitForWorker();
}

bool BusyRunner::start(Job job) {
    if (m_worker)
        return false;
    if (job.recordUndo && !m_hooks.recordUndo(job.recordUndo))
        return false;
    if (job.stopsPlayback)
        m_hooks.stopPlayback();
    m_window.enterBusy();
    m_doc.Busy = true;
    m_savedStatus = m_hooks.status();
    m_hooks.setStatus(job.status);
    m_worker = std::move(job.worker);
    m_job = std::move(job);
    connect(m_worker.get(), &QThread::finished, this, [this] { finish(); });
    m_worker->start();
    return true;
}

void BusyRunner::finish() {
    const std::unique_ptr<WorkerThread> worker = std::move(m_worker);
    Job job = std::move(m_job);
    worker->wait();
    m_doc.Busy = false;
    m_window.leaveBusy();
    m_hooks.setStatus(m_savedStatus);
    if (job.finished)
        job.finished(*worker);
    if (job.changesData && !worker->failed()) {
        m_hooks.markModified();
        if (job.rescans)
            m_doc.DetectPending = true;
        m_hooks.followPlayer(job.changesFormat);
        m_hooks.redraw();
    }
}

void BusyRunner::waitForWorker() {
    if (m_worker)
        m_worker->wait();
}

} // namespace tolvane
