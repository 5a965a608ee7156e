#pragma once

#include <string>

namespace tolvane {

// The temporary files of this process that an interrupted run must not leave behind (a safe
// writer's file beside its target, the undo file). A writer registers a file as soon as it
// exists and releases the registration once the file is gone or renamed; the handlers that
// removeTemporaryFilesOnSignals installs remove whatever is registered at that moment.
// Any thread.
class TemporaryFileRegistration {
public:
    TemporaryFileRegistration() = default;
    // Registers `path`. A path too long for the registry, or one more file than it holds at
    // once, is not registered: that file is then only removed the ordinary way.
    explicit TemporaryFileRegistration(const std::string& path);
    ~TemporaryFileRegistration();
    TemporaryFileRegistration(TemporaryFileRegistration&& other) noexcept;
    TemporaryFileRegistration& operator=(TemporaryFileRegistration&& other) noexcept;
    TemporaryFileRegistration(const TemporaryFileRegistration&) = delete;
    TemporaryFileRegistration& operator=(const TemporaryFileRegistration&) = delete;

    // The file is gone or has become the real one: a signal no longer removes it.
    void release();

private:
    int m_slot = -1;
};

// Makes a file from a mkstemp(3) pattern (filling in its XXXXXX) and registers it, with SIGINT,
// SIGTERM and SIGHUP held in between, so that no signal finds the file made but not yet
// registered. Returns the descriptor, or -1 with errno set (nothing registered then).
int makeRegisteredTemporaryFile(std::string& pattern, TemporaryFileRegistration& registration);

// On SIGINT, SIGTERM and SIGHUP: removes every registered file, then ends the process as the
// signal would have. A signal the process was started with ignored stays ignored.
void removeTemporaryFilesOnSignals();

// How many files are registered now (for tests).
int registeredTemporaryFileCount();

} // namespace tolvane
