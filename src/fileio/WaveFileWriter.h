#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane {

inline constexpr std::size_t kWaveHeaderSize = 44;

// The 44-byte header of a 16-bit PCM RIFF/WAVE file with dataBytes of samples.
std::array<std::uint8_t, kWaveHeaderSize> makeWaveHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes);

// Writes a 16-bit PCM RIFF/WAVE file (header and little-endian samples, nothing else).
// The file it replaces survives a failure. Throws FileWriteError.
void writeWaveFile(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                   const void* data, std::size_t dataBytes);

} // namespace tolvane
