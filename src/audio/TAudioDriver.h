#pragma once

#include "platform/AudioBackend.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tolvane {

// A counting semaphore whose releases stop at its maximum (a release then "refuses").
class CountingSemaphore {
public:
    explicit CountingSemaphore(int maximum) : m_count(maximum), m_maximum(maximum) {}
    void acquire();
    bool release(); // false when the count is already at its maximum

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    int m_count;
    int m_maximum;
};

// A blocking stream of 16-bit audio in 6 fixed buffers: `write` returns once the bytes are in
// a buffer, and waits while every buffer is queued. Used by the effect preview.
class TAudioDriver {
public:
    static constexpr int kBuffers = 6;

    TAudioDriver() = default;
    ~TAudioDriver();
    TAudioDriver(const TAudioDriver&) = delete;
    TAudioDriver& operator=(const TAudioDriver&) = delete;

    bool open(AudioBackend& backend, int device, int channels, std::size_t bufferSize, int bits,
              int rate, AudioOpenError* error = nullptr);
    bool isOpen() const { return m_output != nullptr; }
    void write(const std::uint8_t* bytes, std::size_t count);
    // Drops a partly filled buffer and what is queued.
    void flush();
    void stop();
    void close();

private:
    std::unique_ptr<AudioOutput> m_output;
    std::unique_ptr<CountingSemaphore> m_free;
    std::vector<std::vector<std::uint8_t>> m_buffers;
    std::vector<std::size_t> m_filled;
    int m_current = 0;
    bool m_mustWait = false;
};

} // namespace tolvane
