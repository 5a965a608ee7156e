// Synthesises the demo loop: two bars of a 120 BPM drum pattern (kick, snare, hi-hats),
// 16-bit stereo at 44100 Hz. Deterministic: the same program always writes the same bytes.
//
//   make-demo-loop OUT.wav

#include "fileio/WaveFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSteps = 32;               // sixteenth notes in two bars
constexpr int kFrames = kRate * 4;       // two bars of 4/4 at 120 BPM last 4 s
constexpr double kPeak = 0.89 * 32767.0; // about -1 dBFS

struct Stereo {
    std::vector<double> left = std::vector<double>(kFrames, 0.0);
    std::vector<double> right = std::vector<double>(kFrames, 0.0);
};

// A small xorshift generator, so that the noise is the same on every machine.
class Noise {
public:
    double next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<double>(m_state) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t m_state = 0x2545F491u;
};

int stepFrame(int step) {
    return step * kFrames / kSteps;
}

template <typename Voice>
void addHit(Stereo& mix, int step, double gain, double pan, double seconds, Voice voice) {
    const int start = stepFrame(step);
    const int length = std::min(static_cast<int>(seconds * kRate), kFrames - start);
    for (int n = 0; n < length; ++n) {
        const double v = gain * voice(static_cast<double>(n) / kRate);
        mix.left[start + n] += v * (1.0 - pan);
        mix.right[start + n] += v * pan;
    }
}

void addKick(Stereo& mix, int step, double gain) {
    double phase = 0.0;
    addHit(mix, step, gain, 0.5, 0.45, [&phase](double t) {
        const double frequency = 48.0 + 110.0 * std::exp(-t / 0.035);
        phase += 2.0 * std::numbers::pi * frequency / kRate;
        const double click = t < 0.002 ? 0.6 * (1.0 - t / 0.002) : 0.0;
        return std::sin(phase) * std::exp(-t / 0.22) + click;
    });
}

void addSnare(Stereo& mix, Noise& noise, int step, double gain) {
    addHit(mix, step, gain, 0.45, 0.3, [&noise](double t) {
        const double tone =
            0.55 * std::sin(2.0 * std::numbers::pi * 185.0 * t) * std::exp(-t / 0.06);
        return tone + 0.75 * noise.next() * std::exp(-t / 0.09);
    });
}

void addHat(Stereo& mix, Noise& noise, int step, double gain, double decay) {
    double previous = 0.0;
    addHit(mix, step, gain, 0.65, decay * 6.0, [&noise, &previous, decay](double t) {
        const double white = noise.next();
        const double bright = white - previous; // a first difference keeps only the highs
        previous = white;
        return 0.5 * bright * std::exp(-t / decay);
    });
}

Stereo drumPattern() {
    Stereo mix;
    Noise noise;
    for (int step : {0, 8, 11, 16, 22, 24})
        addKick(mix, step, 1.0);
    for (int step : {4, 12, 20, 28})
        addSnare(mix, noise, step, 0.8);
    addSnare(mix, noise, 31, 0.25); // ghost note leading back into the loop
    for (int step = 0; step < kSteps; step += 2) {
        const bool open = step == 14 || step == 30;
        addHat(mix, noise, step, step % 4 == 0 ? 0.45 : 0.3, open ? 0.09 : 0.018);
    }
    return mix;
}

std::vector<std::uint8_t> toPcm16(const Stereo& mix) {
    double loudest = 0.0;
    for (int n = 0; n < kFrames; ++n)
        loudest = std::max({loudest, std::abs(mix.left[n]), std::abs(mix.right[n])});
    const double scale = loudest > 0.0 ? kPeak / loudest : 0.0;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kFrames * 4);
    auto put = [&bytes](double v) {
        const auto s = static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    };
    for (int n = 0; n < kFrames; ++n) {
        put(mix.left[n] * scale);
        put(mix.right[n] * scale);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-loop OUT.wav\n");
        return 64;
    }
    try {
        const auto pcm = toPcm16(drumPattern());
        tolvane::writeWaveFile(argv[1], 2, kRate, pcm.data(), pcm.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-demo-loop: %s\n", e.what());
        return 1;
    }
    return 0;
}
