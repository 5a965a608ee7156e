#pragma once

#include "document/SampleDocument.h"
#include "export/SoundBank.h"
#include "fileio/RiffChunk.h"
#include "slicing/LoopSegments.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::bank {

// One wave a bank holds: a segment, or one channel of a merged stereo segment, with the bytes
// of sample data the smoother makes of it.
struct Wave {
    LoopSegment segment;
    std::uint32_t length = 0;
};

Wave waveOf(const LoopSegment& segment, int smoothAmount);

// Streams the wave's samples through the end-point smoother, then `zerosAfter` zero bytes.
void produceWave(const SampleDocument& doc, const Wave& wave, int smoothAmount,
                 std::size_t zerosAfter, const ByteSink& out);

// The key of segment k (from 1) as the keymap assigns it.
KeyRange segmentKeys(const BankSettings& settings, int k);

// A key in a one-byte field of the MIDI range: keys past the top of the keyboard stay on it.
std::uint8_t keyByte(int key);

// Writes a RIFF tree to `fileName` through SafeFileWriter.
void writeRiffFile(const std::string& fileName, const RiffChunk& root);

// Where this system is found, for the comments of the files it writes.
inline constexpr const char* kMakerHomePage = "https://quorvex.example/wavetolvane";
inline constexpr const char* kRightsNotice =
    "The samples belong to whoever holds the rights to the recording they were cut from.";

} // namespace tolvane::bank
