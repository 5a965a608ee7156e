#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kClipboardHeaderSize = 46;
inline constexpr const char* kMsgPasted16Bit = "Pasted sample must be 16 bit!";

// The audio clipboard item: a RIFF/WAVE image with an 18-byte format chunk.
std::vector<std::uint8_t> makeClipboardImage(std::span<const std::uint8_t> samples,
                                             std::uint16_t channels, std::uint32_t rate,
                                             std::uint32_t bytesPerSecond,
                                             std::uint16_t bitsPerSample);

// A whole sample read from a clipboard item for "Paste All".
struct PastedSample {
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0;
    std::vector<std::uint8_t> data; // whole frames only
};

// Reads a clipboard item: it must begin with "RIFF"; the format comes from the first "fmt "
// and the samples from the first "data" found scanning byte by byte. Nothing when there is no
// usable item (no RIFF, no format or data chunk, or a channel count other than 1 or 2).
std::optional<PastedSample> readPastedSample(std::span<const std::uint8_t> item);

// The sample bytes of a clipboard item for "Paste Into Segment": after the first "da" found
// scanning byte by byte, two bytes on, a 4-byte length, then the bytes (as many as the item
// holds). Nothing when the item does not begin with "RIFF" or has no such length.
std::optional<std::span<const std::uint8_t>> pastedSegmentBytes(std::span<const std::uint8_t> item);

} // namespace tolvane
