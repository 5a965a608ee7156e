#include "audition/VoiceMixer.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

VoiceMixer::VoiceMixer(std::uint32_t sampleRate) {
    setSampleRate(sampleRate);
}

void VoiceMixer::setSampleRate(std::uint32_t sampleRate) {
    m_releaseFrames.store(std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(
                                                         sampleRate * kReleaseSeconds))),
                          std::memory_order_relaxed);
}

VoiceMixer::~VoiceMixer() {
    reclaim();
    delete m_mailbox.exchange(nullptr);
    for (AuditionProgram* program : m_retiring)
        delete program;
    delete m_current;
}

void VoiceMixer::setProgram(std::unique_ptr<AuditionProgram> program) {
    reclaim();
    // A program the audio thread never took is ours to free.
    delete m_mailbox.exchange(program.release(), std::memory_order_acq_rel);
}

void VoiceMixer::reclaim() {
    AuditionProgram* done = nullptr;
    while (m_retired.pop(done))
        delete done;
}

bool VoiceMixer::noteOn(int note, int velocity) {
    if (note < 0 || note >= kAuditionKeys)
        return false;
    if (velocity <= 0)
        return noteOff(note);
    return m_notes.push({NoteKind::On, static_cast<std::uint8_t>(note),
                         static_cast<std::uint8_t>(std::min(velocity, 127))});
}

bool VoiceMixer::noteOff(int note) {
    if (note < 0 || note >= kAuditionKeys)
        return false;
    return m_notes.push({NoteKind::Off, static_cast<std::uint8_t>(note), 0});
}

void VoiceMixer::takeProgram() noexcept {
    if (m_mailbox.load(std::memory_order_acquire) == nullptr)
        return;
    // The program it replaces waits among the retiring ones until no voice plays from it;
    // with no room there the new one waits in the mailbox for a later block.
    auto slot = std::find(m_retiring.begin(), m_retiring.end(), nullptr);
    if (m_current != nullptr && slot == m_retiring.end())
        return;
    AuditionProgram* next = m_mailbox.exchange(nullptr, std::memory_order_acq_rel);
    if (next == nullptr)
        return;
    if (m_current != nullptr)
        *slot = m_current;
    m_current = next;
}

void VoiceMixer::retireUnused() noexcept {
    for (AuditionProgram*& program : m_retiring) {
        if (program == nullptr)
            continue;
        const bool playing = std::any_of(m_voices.begin(), m_voices.end(),
                                         [&](const Voice& v) { return v.program == program; });
        if (!playing && m_retired.push(program))
            program = nullptr;
    }
}

void VoiceMixer::handle(const NoteEvent& event) noexcept {
    if (event.kind == NoteKind::Off) {
        release(event.note);
        return;
    }
    // A key struck again lets its sounding voice fade while the new one starts.
    release(event.note);
    startVoice(event);
}

void VoiceMixer::startVoice(const NoteEvent& event) noexcept {
    if (m_current == nullptr)
        return;
    const AuditionKey& key = m_current->keys[event.note];
    for (int p = 0; p < key.partCount; ++p) {
        const AuditionPart& part = key.parts[static_cast<std::size_t>(p)];
        if (part.endFrame <= part.startFrame)
            continue;
        Voice& voice = freeVoice();
        if (voice.program != nullptr)
            end(voice);
        voice.program = m_current;
        voice.part = part;
        voice.frame = part.startFrame;
        voice.gain = event.velocity / 127.0;
        voice.fadeLeft = 0;
        voice.releasing = false;
        voice.note = event.note;
        voice.started = ++m_voiceCounter;
        m_started.fetch_add(1, std::memory_order_release);
    }
}

void VoiceMixer::end(Voice& voice) noexcept {
    voice.program = nullptr;
    m_ended.fetch_add(1, std::memory_order_release);
}

void VoiceMixer::release(int note) noexcept {
    for (Voice& voice : m_voices) {
        if (voice.program != nullptr && voice.note == note && !voice.releasing) {
            voice.releasing = true;
            voice.fadeLeft = releaseFrames();
            voice.fadeTotal = voice.fadeLeft;
        }
    }
}

VoiceMixer::Voice& VoiceMixer::freeVoice() noexcept {
    auto free = std::find_if(m_voices.begin(), m_voices.end(),
                             [](const Voice& v) { return v.program == nullptr; });
    if (free != m_voices.end())
        return *free;
    // Every voice sounds: the one nearest its end of release, else the oldest, makes room.
    return *std::min_element(m_voices.begin(), m_voices.end(), [](const Voice& a, const Voice& b) {
        if (a.releasing != b.releasing)
            return a.releasing;
        if (a.releasing)
            return a.fadeLeft < b.fadeLeft;
        return a.started < b.started;
    });
}

void VoiceMixer::render(Voice& voice, std::size_t frames, int channels) noexcept {
    const AuditionProgram& program = *voice.program;
    const int sourceChannels = program.channels;
    const std::int16_t* samples = program.samples.data();
    const std::size_t available = program.samples.size() / static_cast<std::size_t>(sourceChannels);
    const std::uint32_t last =
        static_cast<std::uint32_t>(std::min<std::size_t>(voice.part.endFrame, available));
    for (std::size_t f = 0; f < frames; ++f) {
        if (voice.frame >= last || (voice.releasing && voice.fadeLeft == 0)) {
            end(voice);
            return;
        }
        double level = voice.gain;
        if (voice.releasing) {
            level *= static_cast<double>(voice.fadeLeft) / (voice.fadeTotal + 1);
            --voice.fadeLeft;
        }
        const std::size_t frameStart = static_cast<std::size_t>(voice.frame) * sourceChannels;
        for (int c = 0; c < channels; ++c) {
            if ((voice.part.channelMask & (1u << c)) == 0)
                continue;
            const int source = std::min(c, sourceChannels - 1);
            m_sum[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] +=
                samples[frameStart + static_cast<std::size_t>(source)] * level;
        }
        ++voice.frame;
    }
}

void VoiceMixer::mixInto(std::int16_t* samples, std::size_t frames, int channels) noexcept {
    if (m_silence.exchange(false, std::memory_order_acq_rel))
        for (Voice& voice : m_voices)
            if (voice.program != nullptr)
                end(voice);
    takeProgram();
    NoteEvent event;
    while (m_notes.pop(event))
        handle(event);
    if (channels >= 1 && channels <= 2) {
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(kBlockFrames, frames - done);
            const std::size_t count = n * static_cast<std::size_t>(channels);
            std::fill_n(m_sum.begin(), count, 0.0);
            bool any = false;
            for (Voice& voice : m_voices) {
                if (voice.program != nullptr) {
                    render(voice, n, channels);
                    any = true;
                }
            }
            std::int16_t* out = samples + done * static_cast<std::size_t>(channels);
            for (std::size_t i = 0; any && i < count; ++i) {
                const double mixed = std::nearbyint(out[i] + m_sum[i]);
                out[i] = static_cast<std::int16_t>(std::clamp(mixed, -32768.0, 32767.0));
            }
            done += n;
        }
    }
    retireUnused();
    m_sounding.store(
        static_cast<int>(std::count_if(m_voices.begin(), m_voices.end(),
                                       [](const Voice& v) { return v.program != nullptr; })),
        std::memory_order_relaxed);
}

} // namespace tolvane
