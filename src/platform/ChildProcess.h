#pragma once

// Running another program as a child process and waiting for it with a deadline, Qt-free: for
// work that may crash or hang (trying an effect plug-in) and must not take this process along.

#include <chrono>
#include <string>
#include <vector>

namespace tolvane {

struct ChildResult {
    enum class End {
        Exited,     // `status` is the exit status
        Signalled,  // `status` is the signal that ended it
        TimedOut,   // killed at the deadline
        NotStarted, // `output` says why
    };
    End end = End::NotStarted;
    int status = 0;
    std::string output; // what it wrote to its standard output and error (the last 64 KB)
};

// Runs `command` (the program, found on PATH unless it names a path, then its arguments) with
// its output collected, and waits at most `deadline` for it to end; a child still running then
// is killed.
ChildResult runChildProcess(const std::vector<std::string>& command,
                            std::chrono::milliseconds deadline);

} // namespace tolvane
