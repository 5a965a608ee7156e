#include "processing/TWaveSmoother.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tolvane {
namespace {

std::uint32_t roundHalfEven(double v) {
    return static_cast<std::uint32_t>(std::llrint(v));
}

// Bytes of the 23 % tail window and of the smoothed output for a segment of n bytes.
std::uint32_t tailWindow(std::uint32_t n) {
    return 4 * (roundHalfEven(0.23 * n) / 4);
}
std::uint32_t smoothedSpan(std::uint32_t n, int amount) {
    return 4 * (roundHalfEven((amount + 23) / 100.0 * n) / 4);
}

} // namespace

std::uint32_t TWaveSmoother::outputLength() const {
    if (!smoothing())
        return length;
    return length + smoothedSpan(length, amount) - tailWindow(length);
}

int TWaveSmoother::sampleAt(std::uint32_t outputByte) const {
    // Output sample k comes from source sample k (contiguous) or 2k (one channel of stereo).
    const std::size_t at = start + static_cast<std::size_t>(outputByte / 2) * 2 * sourceLayout;
    if (at + 1 >= sourceSize)
        return 0;
    const std::uint8_t lo = source[at + (swapInput ? 1 : 0)];
    const std::uint8_t hi = source[at + (swapInput ? 0 : 1)];
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | hi << 8));
}

void TWaveSmoother::prepare() {
    m_produced = 0;
    m_splice = length;
    m_extension = 0;
    if (!smoothing())
        return;
    const std::uint32_t window = tailWindow(length);
    const std::uint32_t windowStart = length - window;
    // The loudest sample of the tail (over both channels of a stereo segment, so that they
    // end together), on a whole frame.
    std::uint32_t loudestAt = 0;
    int loudest = -1;
    for (std::uint32_t b = 0; b + 1 < window; b += 2) {
        const int magnitude = std::abs(sampleAt(windowStart + b));
        if (magnitude > loudest) {
            loudest = magnitude;
            loudestAt = b;
        }
    }
    const std::uint32_t offset = loudestAt & ~3u;
    m_splice = length - (window - offset);
    m_extension = smoothedSpan(length, amount) - offset;
}

// The unchanged part of the output, [m_produced, m_produced + count) with every byte before the
// splice point: whole blocks copied (and swapped where the byte orders differ), never a call
// per sample; source bytes past the end of the data read as silence, as sampleAt reads them.
void TWaveSmoother::copyUnchanged(std::uint8_t* out, std::size_t count) const {
    const bool swap = swapInput != swapOutput;
    const std::size_t stride = 2 * static_cast<std::size_t>(sourceLayout);
    const std::size_t first = start + static_cast<std::size_t>(m_produced / 2) * stride;
    // Samples whose two bytes lie inside the source.
    const std::size_t available =
        first + 1 < sourceSize ? (sourceSize - first - 2) / stride + 1 : 0;
    const std::size_t samples = std::min(count / 2, available);
    std::memset(out + 2 * samples, 0, count - 2 * samples);
    if (samples == 0)
        return;
    const std::uint8_t* from = source + first;
    if (stride == 2 && !swap) {
        std::memcpy(out, from, 2 * samples);
    } else if (stride == 2) {
        for (std::size_t i = 0; i < samples; ++i) {
            out[2 * i] = from[2 * i + 1];
            out[2 * i + 1] = from[2 * i];
        }
    } else {
        const std::size_t lo = swap ? 1 : 0;
        const std::size_t hi = 1 - lo;
        for (std::size_t i = 0; i < samples; ++i) {
            out[2 * i] = from[i * stride + lo];
            out[2 * i + 1] = from[i * stride + hi];
        }
    }
}

std::size_t TWaveSmoother::nextBlock(std::uint8_t* out) {
    const std::uint32_t total = outputLength();
    const std::size_t count =
        std::min<std::size_t>(blockSize & ~std::size_t{1}, total - m_produced);
    const std::size_t unchanged =
        m_produced < m_splice ? std::min<std::size_t>(count, (m_splice - m_produced) & ~1u) : 0;
    copyUnchanged(out, unchanged);
    const int frameBytes = 2 * outputChannels;
    const double halfExtension = m_extension / 2.0;
    for (std::size_t i = unchanged; i < count; i += 2) {
        const std::uint32_t byte = m_produced + static_cast<std::uint32_t>(i);
        int sample = 0;
        if (byte < m_splice) {
            sample = sampleAt(byte);
        } else {
            // Frames before the splice point, backwards; back and forth when the extension
            // is longer than what precedes the splice point.
            const std::uint32_t e = byte - m_splice;
            const std::uint32_t frame = e / frameBytes;
            const std::uint32_t framesBefore = std::max<std::uint32_t>(m_splice / frameBytes, 1);
            const std::uint32_t cycle = 2 * framesBefore;
            const std::uint32_t step = frame % cycle;
            const std::uint32_t source =
                step < framesBefore ? framesBefore - 1 - step : step - framesBefore;
            const std::uint32_t k = (e / frameBytes) * (frameBytes / 2);
            const double gain = (halfExtension - k) / halfExtension;
            const int raw = sampleAt(source * frameBytes + e % frameBytes);
            sample = static_cast<int>(std::clamp(std::nearbyint(raw * gain), -32768.0, 32767.0));
        }
        const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample));
        out[i + (swapOutput ? 1 : 0)] = static_cast<std::uint8_t>(value & 0xFF);
        out[i + (swapOutput ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
    }
    m_produced += static_cast<std::uint32_t>(count);
    return count;
}

} // namespace tolvane
