#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kKeptOutput = 64 * 1024;

// A file descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

int millisecondsUntil(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Reads the child's output until it closes it or the deadline passes; false at the deadline.
bool collectOutput(int fd, Clock::time_point end, std::string& output) {
    char buffer[4096];
    for (;;) {
        pollfd wanted{fd, POLLIN, 0};
        const int ready = ::poll(&wanted, 1, millisecondsUntil(end));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        output.append(buffer, static_cast<std::size_t>(got));
        if (output.size() > 2 * kKeptOutput)
            output.erase(0, output.size() - kKeptOutput);
    }
}

// Waits for the child to end until the deadline; false when it is still running then.
bool reap(pid_t child, Clock::time_point end, int& waitStatus) {
    for (;;) {
        const pid_t done = ::waitpid(child, &waitStatus, WNOHANG);
        if (done == child)
            return true;
        if (done < 0 && errno != EINTR)
            return true; // not ours to wait for any more
        if (Clock::now() >= end)
            return false;
        // It closed its output and is on its way out: look again shortly.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

ChildResult runChildProcess(const std::vector<std::string>& command,
                            std::chrono::milliseconds deadline) {
    ChildResult result;
    if (command.empty()) {
        result.output = "no program given";
        return result;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        result.output = std::string("cannot make a pipe: ") + std::strerror(errno);
        return result;
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0) {
        result.output = "cannot start " + command[0] + ": " + std::strerror(spawned);
        return result;
    }
    const Clock::time_point end = Clock::now() + deadline;
    int waitStatus = 0;
    const bool finished =
        collectOutput(readEnd.get(), end, result.output) && reap(child, end, waitStatus);
    if (result.output.size() > kKeptOutput)
        result.output.erase(0, result.output.size() - kKeptOutput);
    if (!finished) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &waitStatus, 0);
        result.end = ChildResult::End::TimedOut;
        return result;
    }
    if (WIFSIGNALED(waitStatus)) {
        result.end = ChildResult::End::Signalled;
        result.status = WTERMSIG(waitStatus);
    } else {
        result.end = ChildResult::End::Exited;
        result.status = WEXITSTATUS(waitStatus);
    }
    return result;
}

} // namespace tolvane
