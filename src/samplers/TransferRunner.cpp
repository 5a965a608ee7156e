#include "samplers/TransferRunner.h"

#include <cstdio>
#include <system_error>

namespace tolvane {

int TransferProgress::percent() const {
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(done * 100 / total);
}

std::string percentText(std::uint64_t done, std::uint64_t total) {
    char text[32];
    const double value = total == 0 ? 100.0 : 100.0 * double(done) / double(total);
    std::snprintf(text, sizeof text, "%.2f", value > 100.0 ? 100.0 : value);
    return text;
}

TransferRunner::~TransferRunner() {
    stop();
}

void TransferRunner::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    abort();
    m_changed.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    // The driver stops its runner as it goes away: its hook must not run again from the
    // runner's own destructor, after the driver's members are gone.
    std::lock_guard lock(m_mutex);
    m_abortHook = nullptr;
}

bool TransferRunner::onRunnerThread() const {
    return m_thread.get_id() == std::this_thread::get_id();
}

void TransferRunner::run(std::function<TransferOutcome()> operation,
                         std::function<void(const TransferOutcome&)> ended) {
    auto job = [this, operation = std::move(operation), ended]() {
        TransferOutcome outcome;
        try {
            outcome = operation();
        } catch (const std::exception& e) {
            outcome = TransferOutcome::failed(e.what());
        }
        {
            std::lock_guard lock(m_mutex);
            m_last = outcome;
        }
        if (ended)
            ended(outcome);
    };
    std::string failure;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { serve(); });
            } catch (const std::system_error& e) {
                m_jobs.clear();
                failure = std::string("Cannot start the transfer's thread: ") + e.what();
                m_last = TransferOutcome::failed(failure);
            }
        }
    }
    if (!failure.empty()) {
        if (ended)
            ended(TransferOutcome::failed(failure));
        return;
    }
    m_changed.notify_all();
}

void TransferRunner::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_stopping)
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = true;
        lock.unlock();
        job();
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}

void TransferRunner::abort() {
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        m_abort = true;
        hook = m_abortHook;
    }
    m_changed.notify_all();
    if (hook)
        hook();
}

void TransferRunner::clearAbort() {
    m_abort = false;
}

void TransferRunner::setAbortHook(std::function<void()> hook) {
    std::lock_guard lock(m_mutex);
    m_abortHook = std::move(hook);
}

bool TransferRunner::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, duration, [this] { return m_abort.load() || m_stopping; });
}

TransferOutcome TransferRunner::wait() {
    std::unique_lock lock(m_mutex);
    if (!onRunnerThread())
        m_changed.wait(lock, [this] { return idle() || m_stopping; });
    return m_last;
}

std::optional<TransferOutcome> TransferRunner::waitFor(std::chrono::steady_clock::duration limit) {
    std::unique_lock lock(m_mutex);
    if (!onRunnerThread() &&
        !m_changed.wait_for(lock, limit, [this] { return idle() || m_stopping; }))
        return std::nullopt;
    return m_last;
}

TransferOutcome TransferRunner::lastOutcome() const {
    std::lock_guard lock(m_mutex);
    return m_last;
}

bool TransferRunner::busy() const {
    std::lock_guard lock(m_mutex);
    return !idle();
}

// The panel is called with its lock held, so that a window taking its panel away waits for a
// call under way and none comes after.
void TransferRunner::setStatusPanel(StatusPanel* panel) {
    std::lock_guard lock(m_panelMutex);
    m_panel = panel;
}

void TransferRunner::status(const std::string& text) {
    std::lock_guard lock(m_panelMutex);
    if (m_panel)
        m_panel->setText(text);
}

void TransferRunner::progress(const TransferProgress& progress) {
    std::lock_guard lock(m_panelMutex);
    if (m_panel)
        m_panel->setProgress(progress);
}

} // namespace tolvane
