#include "audio/TAudioDriver.h"

#include <algorithm>

namespace tolvane {

void CountingSemaphore::acquire() {
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [this] { return m_count > 0; });
    --m_count;
}

bool CountingSemaphore::release() {
    std::lock_guard lock(m_mutex);
    if (m_count >= m_maximum)
        return false;
    ++m_count;
    m_ready.notify_one();
    return true;
}

TAudioDriver::~TAudioDriver() {
    close();
}

bool TAudioDriver::open(AudioBackend& backend, int device, int channels, std::size_t bufferSize,
                        int bits, int rate, AudioOpenError* error) {
    close();
    if (bits != 16) {
        if (error)
            *error = {kAudioErrorBadFormat, "Only 16-bit audio can be played"};
        return false;
    }
    AudioOpenError reason;
    m_output = backend.open(device, channels, rate, reason);
    if (!m_output) {
        if (error)
            *error = reason;
        return false;
    }
    m_free = std::make_unique<CountingSemaphore>(kBuffers);
    CountingSemaphore* free = m_free.get();
    m_output->onDone = [free](int) { free->release(); };
    m_buffers.assign(kBuffers, std::vector<std::uint8_t>(std::max<std::size_t>(bufferSize, 2)));
    m_filled.assign(kBuffers, 0);
    m_current = 0;
    m_mustWait = false;
    return true;
}

void TAudioDriver::write(const std::uint8_t* bytes, std::size_t count) {
    if (!m_output)
        return;
    while (count > 0) {
        if (m_mustWait) {
            m_free->acquire();
            m_mustWait = false;
        }
        std::vector<std::uint8_t>& buffer = m_buffers[m_current];
        std::size_t& filled = m_filled[m_current];
        const std::size_t n = std::min(count, buffer.size() - filled);
        std::copy_n(bytes, n, buffer.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += n;
        bytes += n;
        count -= n;
        if (filled < buffer.size())
            return; // the rest waits for the next call
        m_output->write(m_current, buffer.data(), filled);
        filled = 0;
        m_mustWait = true;
        m_current = (m_current + 1) % kBuffers;
    }
}

void TAudioDriver::flush() {
    if (!m_output)
        return;
    m_filled[m_current] = 0;
    m_output->reset();
}

void TAudioDriver::stop() {
    if (!m_output)
        return;
    m_output->reset();
    m_current = 0;
    std::fill(m_filled.begin(), m_filled.end(), 0);
    m_mustWait = true;
    m_free->release();
}

void TAudioDriver::close() {
    if (!m_output)
        return;
    m_output->reset();
    m_output.reset();
    while (m_free->release()) {
    }
    m_free.reset();
    m_buffers.clear();
    m_filled.clear();
}

} // namespace tolvane
