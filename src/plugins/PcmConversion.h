#pragma once

// 16-bit PCM (little-endian, interleaved frames) to float planes of full scale 1.0 and back, for
// every sample a plug-in takes and makes.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tolvane {

// Scaled by 32768, rounded half to even, clipped to the 16-bit range (a loud plug-in clips, never
// wraps); NaN is silence. Bit for bit what lrint of the clipped value gives in the default
// rounding mode, without a library call per sample.
inline std::int16_t pcm16FromFloat(float value) {
    float scaled = value * 32768.0F;
    scaled = scaled == scaled ? scaled : 0.0F; // NaN
    scaled = std::min(std::max(scaled, -32768.0F), 32767.0F);
    // 1.5 x 2^23 leaves no bits for a fraction: the sum is rounded to a whole number, ties to
    // even, and subtracting it again is exact.
    constexpr float kRounder = 12582912.0F;
    const float rounded = (scaled + kRounder) - kRounder;
    return static_cast<std::int16_t>(static_cast<int>(rounded));
}

namespace pcm {

inline constexpr std::size_t kChunkFrames = 256;

// Little-endian sample bytes to samples and back (a copy on a little-endian machine).
inline void readSamples(const std::uint8_t* bytes, std::int16_t* samples, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(samples, bytes, count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
}

inline void writeSamples(const std::int16_t* samples, std::uint8_t* bytes, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(bytes, samples, count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const auto bits = static_cast<std::uint16_t>(samples[i]);
            bytes[2 * i] = static_cast<std::uint8_t>(bits & 0xFF);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
}

} // namespace pcm

// Frames of one or two channels of 16-bit samples into one plane of floats per channel.
inline void planesFromPcm16(const std::uint8_t* bytes, std::size_t frames, int channels,
                            float* const* planes) {
    std::int16_t chunk[pcm::kChunkFrames * 2];
    constexpr float kScale = 1.0F / 32768.0F; // a power of two: exact, as a division would be
    for (std::size_t done = 0; done < frames; done += pcm::kChunkFrames) {
        const std::size_t n = std::min(pcm::kChunkFrames, frames - done);
        pcm::readSamples(bytes + done * 2 * static_cast<std::size_t>(channels), chunk,
                         n * static_cast<std::size_t>(channels));
        if (channels == 1) {
            for (std::size_t f = 0; f < n; ++f)
                planes[0][done + f] = static_cast<float>(chunk[f]) * kScale;
        } else {
            for (std::size_t f = 0; f < n; ++f) {
                planes[0][done + f] = static_cast<float>(chunk[2 * f]) * kScale;
                planes[1][done + f] = static_cast<float>(chunk[2 * f + 1]) * kScale;
            }
        }
    }
}

// One plane of floats per channel (one or two) into frames of 16-bit samples.
inline void pcm16FromPlanes(const float* const* planes, int channels, std::size_t frames,
                            std::uint8_t* bytes) {
    std::int16_t chunk[pcm::kChunkFrames * 2];
    for (std::size_t done = 0; done < frames; done += pcm::kChunkFrames) {
        const std::size_t n = std::min(pcm::kChunkFrames, frames - done);
        if (channels == 1) {
            for (std::size_t f = 0; f < n; ++f)
                chunk[f] = pcm16FromFloat(planes[0][done + f]);
        } else {
            for (std::size_t f = 0; f < n; ++f) {
                chunk[2 * f] = pcm16FromFloat(planes[0][done + f]);
                chunk[2 * f + 1] = pcm16FromFloat(planes[1][done + f]);
            }
        }
        pcm::writeSamples(chunk, bytes + done * 2 * static_cast<std::size_t>(channels),
                          n * static_cast<std::size_t>(channels));
    }
}

} // namespace tolvane
