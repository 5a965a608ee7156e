#include "audio/twabeAudio.h"

#include "fileio/SampleFileReader.h"

#include <algorithm>
#include <utility>

namespace tolvane {

twabeAudio::twabeAudio(AudioBackend& backend, Poster post)
    : m_backend(backend), m_post(std::move(post)) {
    m_buffers.resize(kMaxPlayBuffers);
}

twabeAudio::~twabeAudio() {
    *m_alive = false;
    close();
}

std::string twabeAudio::ProductName() const {
    if (DeviceID == kDefaultOutputDevice)
        return "Default output device";
    const auto devices = m_backend.outputDevices();
    return DeviceID >= 0 && DeviceID < static_cast<int>(devices.size()) ? devices[DeviceID]
                                                                        : std::string();
}

bool twabeAudio::setProductName(const std::string& name) {
    const auto devices = m_backend.outputDevices();
    for (int id = kDefaultOutputDevice; id < static_cast<int>(devices.size()); ++id) {
        const int saved = std::exchange(DeviceID, id);
        if (ProductName() == name)
            return true;
        DeviceID = saved;
    }
    return false;
}

void twabeAudio::setFormat(int channels, int rate) {
    m_channels = std::clamp(channels, 1, 2);
    m_rate = rate;
}

void twabeAudio::setSource(const std::uint8_t* data, std::size_t size) {
    m_source = data;
    m_sourceSize = size;
}

int twabeAudio::effectiveBufferSetting() const {
    return std::clamp(m_bufferSetting, 1, kMaxPlayBuffers);
}

std::size_t twabeAudio::bufferSize() const {
    return static_cast<std::size_t>(std::max(m_seconds, 1)) * m_channels * m_rate * 2;
}

bool twabeAudio::open(AudioOpenError* error) {
    close();
    AudioOpenError reason;
    m_output = m_backend.open(DeviceID, m_channels, m_rate, reason);
    if (!m_output) {
        if (error)
            *error = reason;
        return false;
    }
    m_output->volume(m_savedLeft, m_savedRight);
    if (m_mixSource)
        m_output->setMixSource(m_mixSource);
    // Returns come from the audio thread; they are handled on the window's thread.
    std::weak_ptr<bool> alive = m_alive;
    m_output->onDone = [this, alive](int id) {
        m_post([this, alive, id] {
            if (const auto living = alive.lock(); living && *living)
                bufferDone(id);
        });
    };
    return true;
}

bool twabeAudio::setMixSource(AudioMixSource* source) {
    if (m_output && !m_output->setMixSource(source))
        return false;
    m_mixSource = source;
    return true;
}

void twabeAudio::close() {
    if (!m_output)
        return;
    channelMode(PlayChannels::Restore);
    stop();
    m_output->reset();
    m_output->setMixSource(nullptr);
    m_output.reset();
    for (Buffer& b : m_buffers)
        b.block = {};
}

void twabeAudio::stop() {
    // Every buffer still out comes back later; those returns belong to this playback.
    m_staleReturns += m_inFlight;
    m_inFlight = 0;
    if (m_output && !segmentAudition)
        m_output->reset();
    if (m_file.is_open())
        m_file.close();
    m_mode = Mode::None;
    m_looping = false;
    m_readSoFar = 0;
}

std::uint64_t twabeAudio::position() const {
    return m_output ? m_output->position() : 0;
}

void twabeAudio::channelMode(PlayChannels channels) {
    if (!m_output)
        return;
    std::uint16_t left = 0, right = 0;
    m_output->volume(left, right);
    const std::uint16_t v = std::max(left, right);
    switch (channels) {
    case PlayChannels::Right:
        m_output->setVolume(0, v);
        break;
    case PlayChannels::Left:
        m_output->setVolume(v, 0);
        break;
    case PlayChannels::Both:
        m_output->setVolume(v, v);
        break;
    case PlayChannels::Restore:
        m_output->setVolume(m_savedLeft, m_savedRight);
        break;
    }
}

std::size_t twabeAudio::readSource(std::uint64_t position, std::uint8_t* into, std::size_t count) {
    if (m_file.is_open()) {
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(m_fileDataOffset + position));
        m_file.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
        const auto got = static_cast<std::size_t>(std::max<std::streamsize>(m_file.gcount(), 0));
        if (m_fileIsAiff)
            for (std::size_t i = 0; i + 1 < got; i += 2)
                std::swap(into[i], into[i + 1]);
        std::fill(into + got, into + count, 0);
        return count;
    }
    const std::size_t available =
        position < m_sourceSize ? std::min<std::size_t>(count, m_sourceSize - position) : 0;
    if (available > 0)
        std::copy_n(m_source + position, available, into);
    std::fill(into + available, into + count, 0);
    return count;
}

// The next bytes of the playback: a whole buffer of the looping stream (wrapping at the end
// of the range, so a loop plays without a gap), or what remains of a one-way range.
std::size_t twabeAudio::fillNext(Buffer& buffer) {
    const std::size_t b = bufferSize();
    if (buffer.block.size() < b + 16)
        buffer.block.resize(b + 16);
    const std::uint64_t length = m_playLength;
    if (length == 0)
        return buffer.bytes = 0;
    buffer.sourcePosition = m_playStart + m_readSoFar % length;
    if (m_looping) {
        std::size_t filled = 0;
        while (filled < b) {
            const std::uint64_t at = m_readSoFar % length;
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(b - filled, length - at));
            readSource(m_playStart + at, buffer.block.data() + filled, n);
            filled += n;
            m_readSoFar += n;
        }
        return buffer.bytes = b;
    }
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(b, length - std::min(m_readSoFar, length)));
    readSource(m_playStart + m_readSoFar, buffer.block.data(), n);
    m_readSoFar += n;
    return buffer.bytes = n;
}

void twabeAudio::send(int index) {
    Buffer& buffer = m_buffers[index];
    if (buffer.bytes == 0)
        return;
    ++m_inFlight;
    if (!m_output->write(index, buffer.block.data(), buffer.bytes)) {
        --m_inFlight;
        m_lastStatus = "The output refused buffer " + std::to_string(index) + " (" +
                       std::to_string(buffer.bytes) + " bytes)";
    }
}

void twabeAudio::playRange(std::uint32_t start, std::uint32_t length, bool loop) {
    if (!m_output)
        return;
    if (isPlaying())
        stop();
    const std::size_t b = bufferSize();
    int n = effectiveBufferSetting();
    if (length < static_cast<std::uint64_t>(n) * b)
        n = static_cast<int>(length / b) + 1;
    m_staleReturns += m_inFlight;
    m_inFlight = 0;
    m_output->reset();
    m_playStart = start;
    m_playLength = length;
    m_readSoFar = 0;
    m_looping = loop;
    const bool fits = static_cast<std::uint64_t>(n) * b >= length;
    if (!fits)
        m_mode = Mode::Streaming;
    else if (loop) {
        m_mode = Mode::Loop;
        n = effectiveBufferSetting();
    } else
        m_mode = Mode::OneShot;
    m_buffersInUse = n;
    for (int i = 0; i < n; ++i) {
        fillNext(m_buffers[i]);
        send(i);
    }
    if (m_inFlight == 0)
        m_mode = Mode::None; // an empty range plays nothing
}

bool twabeAudio::playFile(const std::string& fileName, AudioOpenError* error) {
    stop();
    SampleFileInfo info;
    try {
        info = readSampleFileInfo(fileName);
    } catch (const std::exception& e) {
        if (error)
            *error = {1, e.what()};
        return false;
    }
    setFormat(info.format.channels, static_cast<int>(info.format.samplesPerSec));
    if (!open(error))
        return false;
    m_file.open(fileName, std::ios::binary);
    if (!m_file) {
        if (error)
            *error = {1, "Cannot read " + fileName};
        return false;
    }
    m_fileIsAiff = info.layout == FileLayout::Aiff;
    m_fileDataOffset = info.dataOffset;
    const auto length =
        static_cast<std::uint32_t>(loadableDataLength(info.dataLength, info.format.channels));
    // A file plays as a range of its own data, streamed from the disk.
    playRange(0, length, false);
    return true;
}

// A buffer came back (on the window's thread).
void twabeAudio::bufferDone(int id) {
    if (m_staleReturns > 0) {
        --m_staleReturns;
        return;
    }
    if (m_inFlight == 0)
        return;
    // Refill the freed buffer while the playback still has bytes to send (or loops).
    const bool more = m_looping || (m_mode == Mode::Streaming && m_readSoFar < m_playLength);
    --m_inFlight;
    if (more && id >= 0 && id < m_buffersInUse && fillNext(m_buffers[id]) > 0)
        send(id);
    if (m_inFlight > 0)
        return;
    if (m_inFlight == 0 && !m_looping) {
        m_mode = Mode::None;
        if (m_file.is_open())
            m_file.close();
        if (OnWaveoutput)
            OnWaveoutput();
    }
}

void twabeAudio::refresh() {
    if (!m_output || !isPlaying() || m_file.is_open())
        return;
    for (int i = 0; i < m_buffersInUse; ++i) {
        Buffer& buffer = m_buffers[i];
        if (buffer.bytes == 0)
            continue;
        // Re-read the buffer's bytes from where they came from, wrapping inside the range.
        std::size_t filled = 0;
        std::uint64_t at = buffer.sourcePosition - m_playStart;
        while (filled < buffer.bytes && m_playLength > 0) {
            at %= m_playLength;
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer.bytes - filled, m_playLength - at));
            readSource(m_playStart + at, buffer.block.data() + filled, n);
            filled += n;
            at += n;
        }
        m_output->replace(i, buffer.block.data(), buffer.bytes); // a played one is simply gone
    }
}

} // namespace tolvane
