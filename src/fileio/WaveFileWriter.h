#pragma once

#include "document/SafeFileWriter.h"
#include "fileio/RiffChunk.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kWaveHeaderSize = 44;

// The 16-byte body of a "fmt " chunk of 16-bit PCM.
LittleEndianBytes pcmFormat(std::uint16_t channels, std::uint32_t rate);

// A 16-bit PCM RIFF/WAVE file: "fmt " and a "data" chunk of `dataBytes` from `samples`, then
// the chunks `after` (none for a plain sample file).
RiffChunk waveFile(std::uint16_t channels, std::uint32_t rate, std::uint32_t dataBytes,
                   RiffChunk::Producer samples, std::vector<RiffChunk> after = {});

// The 44-byte header of a 16-bit PCM RIFF/WAVE file with dataBytes of samples.
std::array<std::uint8_t, kWaveHeaderSize> makeWaveHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes);

inline constexpr std::size_t kAiffHeaderSize = 54;

// The 54-byte header of a 16-bit AIFF file with dataBytes of samples.
std::array<std::uint8_t, kAiffHeaderSize> makeAiffHeader(std::uint16_t channels, std::uint32_t rate,
                                                         std::uint32_t dataBytes);

// Whether a name is written as AIFF: it ends in ".aif" or ".aiff", in any case (else RIFF/WAVE).
bool isAiffFileName(const std::string& fileName);

// Hands out the next little-endian 16-bit sample bytes (at most `capacity`); 0 when done.
using SampleBlockSource = std::function<std::size_t(std::uint8_t* block, std::size_t capacity)>;

// Writes a 16-bit PCM file of `dataBytes` sample bytes pulled from `source`: AIFF (big-endian
// samples) when the name ends in ".aif", else RIFF/WAVE. The file it replaces survives a
// failure. Throws FileWriteError (also when the source ends early).
void writeSampleStream(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                       std::uint32_t dataBytes, const SampleBlockSource& source,
                       Durability durability = Durability::Synced);

// Writes a 16-bit PCM RIFF/WAVE file of `dataBytes` sample bytes pulled from `source`, whatever
// the name, followed by the chunks `after` (cue points, say). The file it replaces survives a
// failure. Throws FileWriteError (also when the source ends early).
void writeWaveStream(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                     std::uint32_t dataBytes, const SampleBlockSource& source,
                     std::vector<RiffChunk> after, Durability durability = Durability::Synced);

// Writes a 16-bit PCM RIFF/WAVE file (header and little-endian samples, nothing else).
// The file it replaces survives a failure. Throws FileWriteError.
void writeWaveFile(const std::string& path, std::uint16_t channels, std::uint32_t rate,
                   const void* data, std::size_t dataBytes);

} // namespace tolvane
