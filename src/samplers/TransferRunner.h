#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tolvane {

// How a transfer (one sample, a listing, a keymap, a whole run) ended.
struct TransferOutcome {
    enum class Kind {
        Completed,
        CancelledByUser,  // "Abort dump", Esc, closing the window, or "No" to the next sample
        StoppedBySampler, // the sampler cancelled or refused
        Failed,           // the connection, the ports or the data failed
    };
    Kind kind = Kind::Completed;
    std::string message; // what to tell the user; empty when completed or cancelled by the user

    bool completed() const { return kind == Kind::Completed; }
    static TransferOutcome done() { return {}; }
    static TransferOutcome cancelled() { return {Kind::CancelledByUser, {}}; }
    static TransferOutcome stoppedBySampler(std::string message) {
        return {Kind::StoppedBySampler, std::move(message)};
    }
    static TransferOutcome failed(std::string message) {
        return {Kind::Failed, std::move(message)};
    }
};

// How far a transfer has come, as numbers the windows draw and the command line prints, with
// the status text the driver shows for it.
struct TransferProgress {
    enum class Activity { Sending, Receiving };
    Activity activity = Activity::Sending;
    std::uint64_t done = 0;  // bytes
    std::uint64_t total = 0; // bytes
    int sample = 1;          // sample k of n in a run (from 1)
    int samples = 1;
    std::string text; // "Sending # 2: 57.35%", as the status bar shows it

    // done of total in whole percent, 0 to 100 (100 when there is nothing to do).
    int percent() const;
    bool finished() const { return done >= total; }
};

// A percentage with two decimals, as the drivers' status texts show it: "57.35".
std::string percentText(std::uint64_t done, std::uint64_t total);

// What a driver reports progress on: the main window's status-bar panel, the transfer window's
// bar, the command line's output. Called on whichever thread the driver reports from.
class StatusPanel {
public:
    virtual ~StatusPanel() = default;
    virtual void setText(const std::string& text) = 0;
    // The numbers with their text; a panel without a bar shows the text.
    virtual void setProgress(const TransferProgress& progress) { setText(progress.text); }
};

// The one way every driver runs its work: one thread of the driver's own that takes the jobs
// in the order they were given (a callback may queue the next one), the outcome of the last
// operation, the user's abort with a hook that cuts a wait short, waits that yield to it, the
// status panel, and one wait for the end.
// Thread: everything from any thread; wait() returns at once on the runner's own thread.
class TransferRunner {
public:
    TransferRunner() = default;
    ~TransferRunner();
    TransferRunner(const TransferRunner&) = delete;
    TransferRunner& operator=(const TransferRunner&) = delete;

    // An operation after those queued before it; its outcome becomes the last outcome, then
    // `ended` runs with it on the runner's thread. When the thread cannot be started, the
    // operation fails with that message and `ended` runs on the caller's thread.
    void run(std::function<TransferOutcome()> operation,
             std::function<void(const TransferOutcome&)> ended = {});
    // Stops taking work: aborts what runs, drops what waits and joins the thread. The owning
    // driver calls it first in its destructor, so that no job sees it half destroyed.
    void stop();
    bool onRunnerThread() const;

    // The user's abort: the flag, then the hook (which cuts a blocking wait short).
    void abort();
    void clearAbort();
    bool abortRequested() const { return m_abort; }
    void setAbortHook(std::function<void()> hook);
    // Sleeps for `duration`, less when aborted; false when the abort ended it.
    bool pause(std::chrono::milliseconds duration);

    // Waits until nothing is queued or running; the last outcome. `limit` bounds the wait
    // (nothing when it ran out).
    TransferOutcome wait();
    std::optional<TransferOutcome> waitFor(std::chrono::steady_clock::duration limit);
    TransferOutcome lastOutcome() const;
    bool busy() const;

    void setStatusPanel(StatusPanel* panel);
    void status(const std::string& text);
    void progress(const TransferProgress& progress);

private:
    void serve();
    bool idle() const { return m_jobs.empty() && !m_running; }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false;
    bool m_stopping = false;
    TransferOutcome m_last;
    std::atomic<bool> m_abort = false;
    std::function<void()> m_abortHook;
    std::mutex m_panelMutex;
    StatusPanel* m_panel = nullptr;
    std::thread m_thread;
};

} // namespace tolvane
