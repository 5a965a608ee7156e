#include "fileio/WaveFileWriter.h"

#include "document/SafeFileWriter.h"

#include <cstring>

namespace tolvane {
namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

} // namespace

std::array<std::uint8_t, kWaveHeaderSize> makeWaveHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes) {
    std::array<std::uint8_t, kWaveHeaderSize> h{};
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * 2);
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, dataBytes + 36);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);
    put16(h.data() + 20, 1);
    put16(h.data() + 22, channels);
    put32(h.data() + 24, rate);
    put32(h.data() + 28, rate * blockAlign);
    put16(h.data() + 32, blockAlign);
    put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, dataBytes);
    return h;
}

void writeWaveFile(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                   const void* data, std::size_t dataBytes) {
    const auto header = makeWaveHeader(channels, rate, static_cast<std::uint32_t>(dataBytes));
    SafeFileWriter out(path);
    out.write(header.data(), header.size());
    out.write(data, dataBytes);
    out.commit();
}

} // namespace tolvane
