#include "slicing/Signals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tolvane::test {
namespace {

std::int16_t clip(double v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

void addBurst(std::vector<double>& mix, int frames, int channels, int channel, int onset,
              double amplitude, double decayFrames, std::mt19937& random) {
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    const int length = std::min(frames - onset, static_cast<int>(decayFrames * 6));
    for (int n = 0; n < length; ++n)
        mix[static_cast<std::size_t>(onset + n) * channels + channel] +=
            amplitude * white(random) * std::exp(-n / decayFrames);
}

} // namespace

SampleDocument documentWithSamples(int channels, std::uint32_t rate,
                                   const std::vector<std::int16_t>& samples) {
    SampleDocument doc;
    doc.Channels = static_cast<std::uint16_t>(channels);
    doc.SampleRate = rate;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = rate * 2 * channels;
    doc.DataLength = static_cast<std::int32_t>(samples.size() * 2);
    doc.SampleData.setSize(samples.size() * 2 + kSpareBytes);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        doc.SampleData.data()[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
        doc.SampleData.data()[2 * i + 1] = static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF);
    }
    doc.FileName = "generated";
    doc.DocumentOpen = true;
    doc.DetectPending = true;
    doc.MergeChannels = channels == 2;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    return doc;
}

std::vector<std::int16_t> whiteNoise(int frames, int channels, unsigned seed, int amplitude) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-amplitude, amplitude);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * channels);
    for (auto& s : samples)
        s = static_cast<std::int16_t>(std::clamp(value(random), -32768, 32767));
    return samples;
}

std::vector<std::int16_t> denseClicks(int frames, int channels, unsigned seed, int meanGap) {
    std::mt19937 random(seed);
    std::vector<double> mix(static_cast<std::size_t>(frames) * channels, 0.0);
    std::uniform_real_distribution<double> floor(-40.0, 40.0);
    for (auto& v : mix)
        v = floor(random);
    std::exponential_distribution<double> gap(1.0 / meanGap);
    std::uniform_real_distribution<double> loudness(1500.0, 30000.0);
    std::uniform_real_distribution<double> decay(30.0, 900.0);
    for (int channel = 0; channel < channels; ++channel)
        for (double t = gap(random); t < frames; t += 1 + gap(random))
            addBurst(mix, frames, channels, channel, static_cast<int>(t), loudness(random),
                     decay(random), random);
    std::vector<std::int16_t> samples(mix.size());
    std::transform(mix.begin(), mix.end(), samples.begin(), clip);
    return samples;
}

std::vector<std::int16_t> hitsAt(int frames, int channels, const std::vector<int>& onsets,
                                 int amplitude) {
    std::mt19937 random(7);
    std::vector<double> mix(static_cast<std::size_t>(frames) * channels, 0.0);
    for (int onset : onsets)
        for (int channel = 0; channel < channels; ++channel)
            addBurst(mix, frames, channels, channel, onset, amplitude, 400.0, random);
    std::vector<std::int16_t> samples(mix.size());
    std::transform(mix.begin(), mix.end(), samples.begin(), clip);
    return samples;
}

} // namespace tolvane::test
