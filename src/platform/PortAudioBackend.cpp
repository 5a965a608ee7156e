#include "platform/AudioBackend.h"

#include <algorithm>
#include <alsa/asoundlib.h>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <portaudio.h>
#include <thread>

namespace tolvane {
namespace {

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Queued buffers played from PortAudio's callback. The callback only copies bytes out of
// buffers this object owns; completions go to onDone from the audio thread.
class PortAudioOutput : public AudioOutput {
public:
    PortAudioOutput(int channels) : m_frameBytes(2 * channels), m_channels(channels) {}
    ~PortAudioOutput() override {
        if (m_stream) {
            Pa_StopStream(m_stream);
            Pa_CloseStream(m_stream);
        }
    }

    bool start(int device, int rate, AudioOpenError& error) {
        PaStreamParameters out{};
        out.device = device == kDefaultOutputDevice ? Pa_GetDefaultOutputDevice()
                                                    : static_cast<PaDeviceIndex>(device);
        if (out.device == paNoDevice || out.device < 0 || out.device >= Pa_GetDeviceCount()) {
            error = {2, "No such output device"};
            return false;
        }
        out.channelCount = m_channels;
        out.sampleFormat = paInt16;
        out.suggestedLatency = Pa_GetDeviceInfo(out.device)->defaultHighOutputLatency;
        if (Pa_IsFormatSupported(nullptr, &out, rate) != paFormatIsSupported) {
            error = {kAudioErrorBadFormat, "The device does not support this format"};
            return false;
        }
        const PaError opened =
            Pa_OpenStream(&m_stream, nullptr, &out, rate, paFramesPerBufferUnspecified, paNoFlag,
                          &PortAudioOutput::callback, this);
        if (opened != paNoError || Pa_StartStream(m_stream) != paNoError) {
            error = {opened != paNoError ? static_cast<int>(-opened) : 1, Pa_GetErrorText(opened)};
            if (m_stream)
                Pa_CloseStream(m_stream);
            m_stream = nullptr;
            return false;
        }
        return true;
    }

    bool write(int bufferId, const std::uint8_t* bytes, std::size_t count) override {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({bufferId, std::vector<std::uint8_t>(bytes, bytes + count), 0});
        return true;
    }

    bool replace(int bufferId, const std::uint8_t* bytes, std::size_t count) override {
        std::lock_guard lock(m_mutex);
        for (Queued& q : m_queue) {
            if (q.id == bufferId) {
                // Keep what has been played; the rest comes from the new bytes.
                const std::size_t keep = std::min(q.offset, count);
                q.bytes.assign(bytes, bytes + count);
                q.offset = keep;
                return true;
            }
        }
        return false;
    }

    void reset() override {
        std::deque<Queued> cancelled;
        {
            std::lock_guard lock(m_mutex);
            cancelled.swap(m_queue);
            m_played = 0;
        }
        for (const Queued& q : cancelled)
            if (onDone)
                onDone(q.id);
    }

    std::uint64_t position() const override { return m_played.load(); }

    void setVolume(std::uint16_t left, std::uint16_t right) override {
        m_left = left;
        m_right = right;
    }
    void volume(std::uint16_t& left, std::uint16_t& right) const override {
        left = m_left;
        right = m_right;
    }

    bool setMixSource(AudioMixSource* source) override {
        m_mix.store(source);
        while (m_inMix.load())
            std::this_thread::yield();
        return true;
    }

    std::size_t framesPerBlock() const override {
        return m_lastBlock.load(std::memory_order_relaxed);
    }

private:
    struct Queued {
        int id;
        std::vector<std::uint8_t> bytes;
        std::size_t offset;
    };

    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioOutput*>(self)->fill(static_cast<std::int16_t*>(output), frames);
        return paContinue;
    }

    void fill(std::int16_t* out, unsigned long frames) {
        std::vector<int> finished;
        std::size_t wanted = frames * static_cast<std::size_t>(m_frameBytes);
        auto* dest = reinterpret_cast<std::uint8_t*>(out);
        {
            std::lock_guard lock(m_mutex);
            while (wanted > 0 && !m_queue.empty()) {
                Queued& front = m_queue.front();
                const std::size_t n = std::min(wanted, front.bytes.size() - front.offset);
                std::memcpy(dest, front.bytes.data() + front.offset, n);
                front.offset += n;
                dest += n;
                wanted -= n;
                m_played += n;
                if (front.offset >= front.bytes.size()) {
                    finished.push_back(front.id);
                    m_queue.pop_front();
                }
            }
        }
        std::memset(dest, 0, wanted); // silence when nothing is queued
        mix(out, frames);
        applyVolume(out, frames);
        for (int id : finished)
            if (onDone)
                onDone(id);
    }

    // The source is read only between raising and lowering m_inMix, so a caller that changed
    // m_mix and then saw m_inMix low knows the old source is no longer read (both sequentially
    // consistent: either this block sees the new source or the caller sees the flag).
    void mix(std::int16_t* out, unsigned long frames) noexcept {
        m_inMix.store(true);
        if (AudioMixSource* source = m_mix.load())
            source->mixInto(out, frames, m_channels);
        m_inMix.store(false);
        m_lastBlock.store(frames, std::memory_order_relaxed);
    }

    // The device has no mixer: the volume scales the samples.
    void applyVolume(std::int16_t* out, unsigned long frames) const {
        const std::uint16_t left = m_left, right = m_right;
        if (left == 0xFFFF && right == 0xFFFF)
            return;
        for (unsigned long f = 0; f < frames; ++f) {
            for (int c = 0; c < m_channels; ++c) {
                const std::uint16_t v = (m_channels == 1 || c == 0) ? left : right;
                std::int16_t& s = out[f * m_channels + c];
                s = static_cast<std::int16_t>(static_cast<std::int32_t>(s) * v / 65535);
            }
        }
    }

    const int m_frameBytes;
    const int m_channels;
    PaStream* m_stream = nullptr;
    mutable std::mutex m_mutex;
    std::deque<Queued> m_queue;
    std::atomic<std::uint64_t> m_played{0};
    std::atomic<std::uint16_t> m_left{0xFFFF};
    std::atomic<std::uint16_t> m_right{0xFFFF};
    std::atomic<AudioMixSource*> m_mix{nullptr};
    std::atomic<bool> m_inMix{false};
    std::atomic<std::size_t> m_lastBlock{0};
};

class PortAudioBackend : public AudioBackend {
public:
    PortAudioBackend() = default;
    ~PortAudioBackend() override { Pa_Terminate(); }

    std::vector<std::string> outputDevices() override {
        std::vector<std::string> names;
        for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info && info->maxOutputChannels > 0)
                names.emplace_back(info->name);
            else
                names.emplace_back(); // keep device numbers equal to PortAudio's indices
        }
        return names;
    }

    std::string systemName() const override {
        std::string name = "PortAudio";
        for (PaHostApiIndex i = 0; i < Pa_GetHostApiCount(); ++i)
            if (const PaHostApiInfo* api = Pa_GetHostApiInfo(i))
                name += (i == 0 ? " on " : ", ") + std::string(api->name);
        return name;
    }

    std::unique_ptr<AudioOutput> open(int device, int channels, int rate,
                                      AudioOpenError& error) override {
        auto output = std::make_unique<PortAudioOutput>(channels);
        if (!output->start(device, rate, error))
            return nullptr;
        return output;
    }
};

} // namespace

std::unique_ptr<AudioBackend> makePortAudioBackend() {
    snd_lib_error_set_handler(&quietAlsa);
    if (Pa_Initialize() != paNoError)
        return nullptr;
    return std::make_unique<PortAudioBackend>();
}

} // namespace tolvane
