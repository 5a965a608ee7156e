#include "document/TemporaryFiles.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace tolvane {
namespace {

constexpr std::size_t kSlots = 160;         // a full undo history, and every writer besides
constexpr std::size_t kMaxPathBytes = 4096; // PATH_MAX, with the terminating zero

enum SlotState : int { kFree = 0, kFilling = 1, kRegistered = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kMaxPathBytes]{};
};

static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler reads the slots' states without locks");

// The registry is process-wide because a signal handler can reach nothing else: it cannot be
// handed an object, and it may only do what is async-signal-safe. So it is a fixed array of
// paths that the handler reads without locks or allocation: a writer claims a free slot,
// fills in the path and only then marks it registered (release); the handler unlinks only
// slots it sees registered (acquire); only the registration that claimed a slot frees it.
// This is the program's one piece of global state.
std::array<Slot, kSlots> g_temporaryFiles;

extern "C" void removeTemporaryFilesAndEnd(int signal) {
    for (Slot& slot : g_temporaryFiles)
        if (slot.state.load(std::memory_order_acquire) == kRegistered)
            ::unlink(slot.path);
    // Installed with SA_RESETHAND: the default action ends the process once the handler
    // returns and the signal is unblocked.
    ::raise(signal);
}

void handle(int signal) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = removeTemporaryFilesAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

TemporaryFileRegistration::TemporaryFileRegistration(const std::string& path) {
    if (path.empty() || path.size() >= kMaxPathBytes)
        return;
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = g_temporaryFiles[i];
        int expected = kFree;
        if (!slot.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire))
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state.store(kRegistered, std::memory_order_release);
        m_slot = static_cast<int>(i);
        return;
    }
}

TemporaryFileRegistration::~TemporaryFileRegistration() {
    release();
}

TemporaryFileRegistration::TemporaryFileRegistration(TemporaryFileRegistration&& other) noexcept
    : m_slot(std::exchange(other.m_slot, -1)) {}

TemporaryFileRegistration&
TemporaryFileRegistration::operator=(TemporaryFileRegistration&& other) noexcept {
    if (this != &other) {
        release();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void TemporaryFileRegistration::release() {
    if (m_slot < 0)
        return;
    g_temporaryFiles[static_cast<std::size_t>(m_slot)].state.store(kFree,
                                                                   std::memory_order_release);
    m_slot = -1;
}

int makeRegisteredTemporaryFile(std::string& pattern, TemporaryFileRegistration& registration) {
    sigset_t held, before;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &before);
    const int fd = ::mkstemp(pattern.data());
    const int error = errno;
    if (fd >= 0)
        registration = TemporaryFileRegistration(pattern);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return fd;
}

void removeTemporaryFilesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        handle(signal);
}

int registeredTemporaryFileCount() {
    int count = 0;
    for (const Slot& slot : g_temporaryFiles)
        count += slot.state.load(std::memory_order_acquire) == kRegistered;
    return count;
}

} // namespace tolvane
