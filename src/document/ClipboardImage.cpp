#include "document/ClipboardImage.h"

#include "document/SampleDocument.h"

#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool beginsWithRiff(std::span<const std::uint8_t> item) {
    return item.size() >= 4 && std::memcmp(item.data(), "RIFF", 4) == 0;
}

// Offset of the first occurrence of `tag` (scanning byte by byte), or npos.
std::size_t find(std::span<const std::uint8_t> item, const char* tag, std::size_t length) {
    const auto it = std::search(item.begin(), item.end(), tag, tag + length);
    return it == item.end() ? std::size_t(-1) : static_cast<std::size_t>(it - item.begin());
}

} // namespace

std::vector<std::uint8_t> makeClipboardImage(std::span<const std::uint8_t> samples,
                                             std::uint16_t channels, std::uint32_t rate,
                                             std::uint32_t bytesPerSecond,
                                             std::uint16_t bitsPerSample) {
    std::vector<std::uint8_t> b(kClipboardHeaderSize + samples.size());
    const auto length = static_cast<std::uint32_t>(samples.size());
    std::memcpy(b.data(), "RIFF", 4);
    put32(b, 4, length + 38);
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    put32(b, 16, 18);
    put16(b, 20, 1);
    put16(b, 22, channels);
    put32(b, 24, rate);
    put32(b, 28, bytesPerSecond);
    put16(b, 32, static_cast<std::uint16_t>(channels * bitsPerSample / 8));
    put16(b, 34, bitsPerSample);
    put16(b, 36, 0);
    std::memcpy(b.data() + 38, "data", 4);
    put32(b, 42, length);
    std::copy(samples.begin(), samples.end(), b.begin() + kClipboardHeaderSize);
    return b;
}

std::optional<PastedSample> readPastedSample(std::span<const std::uint8_t> item) {
    if (!beginsWithRiff(item))
        return std::nullopt;
    const std::size_t fmt = find(item, "fmt ", 4);
    if (fmt == std::size_t(-1) || fmt + 24 > item.size())
        return std::nullopt;
    PastedSample pasted;
    pasted.channels = get16(item, fmt + 10);
    pasted.rate = get32(item, fmt + 12);
    pasted.bits = get16(item, fmt + 22);
    const std::size_t data = find(item, "data", 4);
    if (data == std::size_t(-1) || data + 8 > item.size() || pasted.channels < 1 ||
        pasted.channels > 2)
        return std::nullopt;
    // A rate the editor cannot play or scan in reasonable time is not a sample to paste.
    if (pasted.rate == 0 || pasted.rate > kMaxSampleRate)
        return std::nullopt;
    const std::size_t declared = get32(item, data + 4);
    std::size_t length = std::min(declared, item.size() - (data + 8));
    length -= length % (2u * pasted.channels);
    pasted.data.assign(item.begin() + static_cast<std::ptrdiff_t>(data + 8),
                       item.begin() + static_cast<std::ptrdiff_t>(data + 8 + length));
    return pasted;
}

std::optional<std::span<const std::uint8_t>>
pastedSegmentBytes(std::span<const std::uint8_t> item) {
    if (!beginsWithRiff(item))
        return std::nullopt;
    const std::size_t da = find(item, "da", 2);
    if (da == std::size_t(-1) || da + 8 > item.size())
        return std::nullopt;
    const std::size_t declared = get32(item, da + 4);
    const std::size_t length = std::min(declared, item.size() - (da + 8));
    return item.subspan(da + 8, length);
}

} // namespace tolvane
