#pragma once

#include "app/Workers.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace tolvane {

class EditorWindow;
struct SampleDocument;

// The busy bracket every long command goes through: record undo, disable the window, set
// `Busy`, run the worker; then, on the window's thread, re-enable the window, put the status
// back, let the command finish, and for a command that changed the data mark the document
// modified, set `DetectPending`, bring the player up to date and redraw. One worker at a time.
// Window's thread.
class BusyRunner : public QObject {
public:
    // What a long command hands over.
    struct Job {
        QString status;                   // status panel 1 while the worker runs
        std::function<void()> recordUndo; // empty: nothing to record
        std::unique_ptr<WorkerThread> worker;
        // On the window's thread, the window enabled again; it may read the worker's outcome.
        std::function<void(WorkerThread& worker)> finished;
        bool changesData = false;   // marks modified, sets DetectPending, refreshes, redraws
        bool changesFormat = false; // with changesData: the output is opened again instead
        bool rescans = true;        // with changesData: DetectPending is set (else the job decides)
        bool stopsPlayback = true;  // a scan lets a running loop go on
    };

    // How the runner reaches the rest of the editor.
    struct Hooks {
        // Records undo, showing the failure; false stops the command.
        std::function<bool(const std::function<void()>&)> recordUndo;
        std::function<QString()> status; // status panel 1
        std::function<void(const QString&)> setStatus;
        std::function<void()> stopPlayback;
        std::function<void(bool reopen)> followPlayer; // refresh, or reopen with a new format
        std::function<void()> markModified;
        std::function<void()> redraw;
    };

    BusyRunner(EditorWindow& window, SampleDocument& doc, Hooks hooks);
    ~BusyRunner() override;

    // Starts the job; false when another worker runs or the undo step could not be recorded.
    bool start(Job job);
    bool running() const { return m_worker != nullptr; }
    // A worker is changing the sample data: nothing else may read it until it ends.
    bool changingData() const { return m_worker && m_job.changesData; }
    // Waits for a running worker (the window is closing).
    void waitForWorker();

private:
    void finish();

    EditorWindow& m_window;
    SampleDocument& m_doc;
    Hooks m_hooks;
    std::unique_ptr<WorkerThread> m_worker;
    Job m_job;
    QString m_savedStatus;
};

} // namespace tolvane
