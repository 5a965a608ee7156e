#pragma once

#include "platform/AudioBackend.h"
#include "platform/Poster.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr int kMaxPlayBuffers = 8;
inline constexpr const char* kMsgRateRejected =
    "Soundcard cannot cope with playback rate of sample;\r\nTry selecting the Microsoft Sound "
    "Mapper device in options.";

// Which channels of a stereo output sound: the volumes the player sets (Restore: as the output
// was when it opened).
enum class PlayChannels { Right = 1, Left = 2, Both = 3, Restore = 4 };

// The window's player: plays a byte range of the sample once or in a loop, or streams a wave
// or AIFF file, in large buffers queued on the output; each return refills and requeues a
// buffer. Buffer returns are handled on the window's thread through the poster.
class twabeAudio {
public:
    enum class Mode { None, OneShot, Loop, Streaming };

    twabeAudio(AudioBackend& backend, Poster post);
    ~twabeAudio();
    twabeAudio(const twabeAudio&) = delete;
    twabeAudio& operator=(const twabeAudio&) = delete;

    int DeviceID = kDefaultOutputDevice;
    std::string ProductName() const;
    // The system's output devices by product name (device n is index n).
    std::vector<std::string> outputDevices() const { return m_backend.outputDevices(); }
    // Chooses the first device, the default one included, whose name is `name`; false (and
    // DeviceID unchanged) when no device has it.
    bool setProductName(const std::string& name);
    // What went wrong last while queueing a buffer (empty when nothing has): playback goes on
    // with the other buffers.
    const std::string& lastStatus() const { return m_lastStatus; }
    void setSeconds(int seconds) { m_seconds = seconds; }
    // The "Buffers" setting; the player has room for 8, so 9 and 10 play as 8.
    void setBufferCount(int count) { m_bufferSetting = count; }
    void setFormat(int channels, int rate);
    // The sample the player reads ranges from (SampleData and its size).
    void setSource(const std::uint8_t* data, std::size_t size);

    // Opens DeviceID with the format; false with the reason when it cannot.
    bool open(AudioOpenError* error = nullptr);
    bool isOpen() const { return m_output != nullptr; }
    void close();
    // What the output mixes into every block beside the player's buffers, kept over closing
    // and opening again (nothing: stops). Returns once the audio thread no longer reads the
    // source before; false when the output cannot mix.
    bool setMixSource(AudioMixSource* source);
    void stop();
    void refresh();
    std::uint64_t position() const;
    void channelMode(PlayChannels channels);
    bool playFile(const std::string& fileName, AudioOpenError* error = nullptr);
    void playRange(std::uint32_t start, std::uint32_t length, bool loop);

    std::function<void()> OnWaveoutput; // a one-shot playback has drained
    bool segmentAudition = false;
    bool restartPending = false;

    bool isPlaying() const { return m_mode != Mode::None; }
    Mode mode() const { return m_mode; }
    std::uint32_t playStart() const { return m_playStart; }
    std::uint32_t playLength() const { return m_playLength; }
    int buffersInUse() const { return m_buffersInUse; }
    std::size_t bufferSize() const;
    int inFlight() const { return m_inFlight; }
    int staleReturns() const { return m_staleReturns; }

private:
    struct Buffer {
        std::vector<std::uint8_t> block;
        std::size_t bytes = 0;
        std::uint64_t sourcePosition = 0; // where its bytes came from
    };

    std::size_t fillNext(Buffer& buffer);
    std::size_t readSource(std::uint64_t position, std::uint8_t* into, std::size_t count);
    void send(int index);
    void bufferDone(int id);
    int effectiveBufferSetting() const;

    AudioBackend& m_backend;
    Poster m_post;
    std::unique_ptr<AudioOutput> m_output;
    AudioMixSource* m_mixSource = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_channels = 1;
    int m_rate = 44100;
    int m_seconds = 4;
    int m_bufferSetting = 6;
    std::vector<Buffer> m_buffers;
    int m_buffersInUse = 0;
    const std::uint8_t* m_source = nullptr;
    std::size_t m_sourceSize = 0;
    std::ifstream m_file;
    bool m_fileIsAiff = false;
    std::uint64_t m_fileDataOffset = 0;
    std::uint32_t m_playStart = 0;
    std::uint32_t m_playLength = 0;
    std::uint64_t m_readSoFar = 0; // relative to the play start
    int m_inFlight = 0;
    int m_staleReturns = 0;
    Mode m_mode = Mode::None;
    bool m_looping = false;
    std::string m_lastStatus;
    std::uint16_t m_savedLeft = 0xFFFF;
    std::uint16_t m_savedRight = 0xFFFF;
};

} // namespace tolvane
