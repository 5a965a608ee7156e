#pragma once

#include "audition/SpscQueue.h"
#include "platform/AudioBackend.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tolvane {

// One stretch of the sample that a key plays: frames [startFrame, endFrame) of the program's
// samples, into the output channels of `channelMask` (bit 0 left or mono, bit 1 right). Output
// channel c reads the sample's channel c (its only channel in mono).
struct AuditionPart {
    std::uint32_t startFrame = 0;
    std::uint32_t endFrame = 0;
    std::uint8_t channelMask = 0;
};

// What one key plays: nothing, one part, or one part per channel of split stereo.
struct AuditionKey {
    std::array<AuditionPart, 2> parts{};
    int partCount = 0;
};

inline constexpr int kAuditionKeys = 128;

// What the keys play: a copy of the sample's data (the audio thread never reads the document)
// and the stretch of every key.
struct AuditionProgram {
    std::vector<std::int16_t> samples; // interleaved
    int channels = 1;
    std::array<AuditionKey, kAuditionKeys> keys{};
};

// The voices that play the keys, mixed into the audio output's blocks (an AudioMixSource).
// Notes come in from one thread (the MIDI input's) through a lock-free queue; the program comes
// from the control thread through a mailbox and goes back there to be freed once no voice
// plays from it. The audio thread neither locks nor allocates. A note-on starts a voice at the
// start of the next block with the level velocity / 127; the key's stretch plays once; a
// note-off fades the voice out linearly over the release time, so it ends without a click.
// Every voice is summed and saturated to 16 bits once, on top of what the output already holds.
class VoiceMixer : public AudioMixSource {
public:
    static constexpr int kVoices = 32;
    static constexpr double kReleaseSeconds = 0.005;

    explicit VoiceMixer(std::uint32_t sampleRate);
    ~VoiceMixer() override; // only once no output mixes it any more
    VoiceMixer(const VoiceMixer&) = delete;
    VoiceMixer& operator=(const VoiceMixer&) = delete;

    // Thread: the control thread (one).
    void setProgram(std::unique_ptr<AuditionProgram> program);
    // The rate the output plays at, for the release time.
    void setSampleRate(std::uint32_t sampleRate);
    // Stops every voice at once (the next block is silent).
    void silence() { m_silence.store(true, std::memory_order_release); }

    // Thread: the note thread (one). False when the queue is full and the note was dropped.
    bool noteOn(int note, int velocity);
    bool noteOff(int note);

    // Thread: the audio thread.
    void mixInto(std::int16_t* samples, std::size_t frames, int channels) noexcept override;

    // Thread: any. How many voices sounded at the end of the last block.
    int soundingVoices() const { return m_sounding.load(std::memory_order_relaxed); }
    std::uint32_t releaseFrames() const { return m_releaseFrames.load(std::memory_order_relaxed); }
    // Voices started and ended (played out, faded, silenced or taken for a newer note) so far.
    std::uint64_t voicesStarted() const { return m_started.load(std::memory_order_acquire); }
    std::uint64_t voicesEnded() const { return m_ended.load(std::memory_order_acquire); }

private:
    enum class NoteKind : std::uint8_t { On, Off };
    struct NoteEvent {
        NoteKind kind = NoteKind::On;
        std::uint8_t note = 0;
        std::uint8_t velocity = 0;
    };
    struct Voice {
        const AuditionProgram* program = nullptr; // nothing: the voice is free
        AuditionPart part;
        std::uint32_t frame = 0; // the next frame to play
        double gain = 0.0;
        std::uint32_t fadeLeft = 0; // frames of release left; 0 while the key is held
        std::uint32_t fadeTotal = 0;
        bool releasing = false;
        int note = 0;
        std::uint64_t started = 0;
    };
    static constexpr std::size_t kBlockFrames = 1024;
    static constexpr int kRetiring = 4;

    void takeProgram() noexcept;
    void retireUnused() noexcept;
    void handle(const NoteEvent& event) noexcept;
    void startVoice(const NoteEvent& event) noexcept;
    void release(int note) noexcept;
    Voice& freeVoice() noexcept;
    void render(Voice& voice, std::size_t frames, int channels) noexcept;
    void end(Voice& voice) noexcept;
    void reclaim();

    std::atomic<std::uint32_t> m_releaseFrames{1};
    SpscQueue<NoteEvent, 1024> m_notes;
    std::atomic<AuditionProgram*> m_mailbox{nullptr};
    SpscQueue<AuditionProgram*, 16> m_retired;
    std::atomic<bool> m_silence{false};
    std::atomic<int> m_sounding{0};
    std::atomic<std::uint64_t> m_started{0};
    std::atomic<std::uint64_t> m_ended{0};

    // The audio thread's own.
    AuditionProgram* m_current = nullptr;
    std::array<AuditionProgram*, kRetiring> m_retiring{};
    std::array<Voice, kVoices> m_voices{};
    std::uint64_t m_voiceCounter = 0;
    std::array<double, kBlockFrames * 2> m_sum{};
};

} // namespace tolvane
