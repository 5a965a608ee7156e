#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

// The number the system's default output device goes by ("the wave mapper").
inline constexpr int kDefaultOutputDevice = -1;

// Why an output could not be opened: a code and the system's text for it.
struct AudioOpenError {
    int code = 0;
    std::string text;
};
inline constexpr int kAudioErrorBadFormat = 32; // the device rejects the channels or the rate

// What an output mixes into every block it plays, after the queued buffers and before the
// volume: `frames` frames of `channels` interleaved samples, added to what is there.
// Thread: the audio thread; it must not allocate, lock or wait.
class AudioMixSource {
public:
    virtual ~AudioMixSource() = default;
    virtual void mixInto(std::int16_t* samples, std::size_t frames, int channels) noexcept = 0;
};

// An opened output: 16-bit PCM buffers are queued and played in order; each queued buffer
// comes back through `onDone` (from the audio thread) when it has been played or cancelled.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Queues a copy of the bytes under an id chosen by the caller; false when refused.
    virtual bool write(int bufferId, const std::uint8_t* bytes, std::size_t count) = 0;
    // Replaces what is still to be played of a queued buffer (after the data changed in place);
    // false when the buffer is no longer queued.
    virtual bool replace(int bufferId, const std::uint8_t* bytes, std::size_t count) = 0;
    // Cancels every queued buffer (each still comes back through onDone) and the position
    // starts again from 0.
    virtual void reset() = 0;
    // Bytes played since opening or the last reset.
    virtual std::uint64_t position() const = 0;
    // Per-channel volume, 0 to 65535.
    virtual void setVolume(std::uint16_t left, std::uint16_t right) = 0;
    virtual void volume(std::uint16_t& left, std::uint16_t& right) const = 0;
    // Mixes `source` into every block from now on (nothing: stops mixing). Returns once the
    // audio thread no longer reads the source given before, so that it may be destroyed;
    // false when this output cannot mix.
    virtual bool setMixSource(AudioMixSource* source) { return source == nullptr; }
    // Frames of one block of the audio thread (0 when not known).
    virtual std::size_t framesPerBlock() const { return 0; }

    std::function<void(int bufferId)> onDone;
};

// The system's audio output devices.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // Output devices by product name; device n is index n, kDefaultOutputDevice the default.
    // A device that cannot play (an input) keeps its number with an empty name.
    virtual std::vector<std::string> outputDevices() = 0;
    // The audio system the devices come from, for messages ("PortAudio on ALSA").
    virtual std::string systemName() const = 0;
    // Opens a 16-bit PCM output; nothing (with the reason in `error`) when it cannot.
    virtual std::unique_ptr<AudioOutput> open(int device, int channels, int rate,
                                              AudioOpenError& error) = 0;
};

// The real backend on PortAudio; nothing when PortAudio cannot start.
std::unique_ptr<AudioBackend> makePortAudioBackend();

} // namespace tolvane
