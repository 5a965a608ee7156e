#include "fileio/WaveFileWriter.h"

#include "document/SafeFileWriter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace tolvane {

LittleEndianBytes pcmFormat(std::uint16_t channels, std::uint32_t rate) {
    const auto blockAlign = static_cast<std::uint16_t>(channels * 2);
    LittleEndianBytes fmt;
    fmt.u16(1).u16(channels).u32(rate).u32(rate * blockAlign).u16(blockAlign).u16(16);
    return fmt;
}

RiffChunk waveFile(std::uint16_t channels, std::uint32_t rate, std::uint32_t dataBytes,
                   RiffChunk::Producer samples, std::vector<RiffChunk> after) {
    RiffChunk file =
        RiffChunk::riff(makeFourCC("WAVE"),
                        {RiffChunk::leaf(makeFourCC("fmt "), pcmFormat(channels, rate)),
                         RiffChunk::streamed(makeFourCC("data"), dataBytes, std::move(samples))});
    for (RiffChunk& chunk : after)
        file.add(std::move(chunk));
    return file;
}

std::array<std::uint8_t, kWaveHeaderSize> makeWaveHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes) {
    const std::vector<std::uint8_t> bytes = waveFile(channels, rate, dataBytes, {}).headerBytes();
    std::array<std::uint8_t, kWaveHeaderSize> h{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), h.size()), h.begin());
    return h;
}

namespace {

void putBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}

void putBe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * (3 - i)));
}

// A sample rate as an 80-bit IEEE extended number, most significant byte first.
void putExtended(std::uint8_t* p, std::uint32_t rate) {
    std::fill(p, p + 10, 0);
    if (rate == 0)
        return;
    int exponent = 16383 + 31;
    std::uint64_t mantissa = std::uint64_t{rate} << 32;
    while (!(mantissa & (std::uint64_t{1} << 63))) {
        mantissa <<= 1;
        --exponent;
    }
    putBe16(p, static_cast<std::uint16_t>(exponent));
    for (int i = 0; i < 8; ++i)
        p[2 + i] = std::uint8_t(mantissa >> (8 * (7 - i)));
}

} // namespace

std::array<std::uint8_t, kAiffHeaderSize> makeAiffHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes) {
    std::array<std::uint8_t, kAiffHeaderSize> h{};
    std::memcpy(h.data(), "FORM", 4);
    putBe32(h.data() + 4, dataBytes + 46);
    std::memcpy(h.data() + 8, "AIFFCOMM", 8);
    putBe32(h.data() + 16, 18);
    putBe16(h.data() + 20, channels);
    putBe32(h.data() + 22, channels ? dataBytes / (channels * 2u) : 0);
    putBe16(h.data() + 26, 16);
    putExtended(h.data() + 28, rate);
    std::memcpy(h.data() + 38, "SSND", 4);
    putBe32(h.data() + 42, dataBytes + 8);
    return h; // offset and block size stay 0
}

bool isAiffFileName(const std::string& fileName) {
    std::string lower = fileName;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(".aif") || lower.ends_with(".aiff");
}

namespace {

// Pulls `dataBytes` from the source in blocks and hands them on, byte-swapped for AIFF.
void pullSamples(std::uint32_t dataBytes, const SampleBlockSource& source, bool bigEndian,
                 const std::string& path, const ByteSink& out) {
    std::vector<std::uint8_t> block(64 * 1024);
    std::uint32_t written = 0;
    while (written < dataBytes) {
        const std::size_t wanted = std::min<std::size_t>(block.size(), dataBytes - written);
        const std::size_t got = source(block.data(), wanted);
        if (got == 0)
            throw FileWriteError("the sample data ended early for " + path);
        if (bigEndian)
            for (std::size_t i = 0; i + 1 < got; i += 2)
                std::swap(block[i], block[i + 1]);
        out(block.data(), got);
        written += static_cast<std::uint32_t>(got);
    }
}

} // namespace

void writeSampleStream(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                       std::uint32_t dataBytes, const SampleBlockSource& source,
                       Durability durability) {
    if (!isAiffFileName(path)) {
        writeWaveStream(path, channels, rate, dataBytes, source, {}, durability);
        return;
    }
    SafeFileWriter out(path, durability);
    const auto header = makeAiffHeader(channels, rate, dataBytes);
    out.write(header.data(), header.size());
    pullSamples(dataBytes, source, true, path,
                [&out](const void* bytes, std::size_t count) { out.write(bytes, count); });
    out.commit();
}

void writeWaveStream(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                     std::uint32_t dataBytes, const SampleBlockSource& source,
                     std::vector<RiffChunk> after, Durability durability) {
    SafeFileWriter out(path, durability);
    waveFile(
        channels, rate, dataBytes,
        [&](const ByteSink& data) { pullSamples(dataBytes, source, false, path, data); },
        std::move(after))
        .writeTo([&out](const void* bytes, std::size_t count) { out.write(bytes, count); });
    out.commit();
}

void writeWaveFile(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                   const void* data, std::size_t dataBytes) {
    SafeFileWriter out(path);
    waveFile(channels, rate, static_cast<std::uint32_t>(dataBytes),
             [data, dataBytes](const ByteSink& sink) { sink(data, dataBytes); })
        .writeTo([&out](const void* bytes, std::size_t count) { out.write(bytes, count); });
    out.commit();
}

} // namespace tolvane
