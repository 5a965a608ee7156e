#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kSmootherBlockSize = 64 * 1024;

// Hands out a segment's samples block by block, with a click-free end: with smoothing on, the
// segment is cut at the loudest sample of its last 23 % and continues with the samples before
// that point read backwards, fading linearly to silence.
class TWaveSmoother {
public:
    // Set before each segment.
    const std::uint8_t* source = nullptr; // 16-bit samples (the document's SampleData)
    std::size_t sourceSize = 0;
    std::uint32_t start = 0;  // byte offset of the segment in the source
    std::uint32_t length = 0; // N: bytes of output data without smoothing
    int sourceLayout = 1;     // 1: contiguous (mono or both channels); 2: one channel of stereo
    int outputChannels = 1;   // 1 or 2
    int amount = 0;           // P: 0 to 60 percent
    bool enabled = false;     // "Smooth sample end points"
    bool swapInput = false;   // the source holds big-endian samples
    bool swapOutput = false;  // hand out big-endian samples
    std::size_t blockSize = kSmootherBlockSize;

    // N without smoothing (or P = 0); else N + 4 (round((P + 23) / 100 N) div 4) - 4 (round(0.23 N)
    // div 4).
    std::uint32_t outputLength() const;
    // Analyses the segment's tail; call before the first block.
    void prepare();
    // The next block (at most blockSize bytes); 0 when the output is complete.
    std::size_t nextBlock(std::uint8_t* out);

private:
    bool smoothing() const { return enabled && amount > 0 && length >= 8; }
    int sampleAt(std::uint32_t outputByte) const; // the segment's sample at an output byte offset
    void copyUnchanged(std::uint8_t* out, std::size_t count) const;

    std::uint32_t m_splice = 0;    // S: bytes copied unchanged
    std::uint32_t m_extension = 0; // L: bytes read backwards and faded
    std::uint32_t m_produced = 0;
};

} // namespace tolvane
