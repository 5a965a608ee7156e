#pragma once

#include "fileio/RiffChunk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// The most cue points read from one file: the candidate table's size.
inline constexpr std::size_t kMaxCuePoints = 8192;

// The cue points of a RIFF/WAVE file as positions in its sample data.
struct CuePointReading {
    // Sample frames counted from the first frame of the data: ascending, each once, inside the
    // data and after its first frame (a cue at the very start marks no slice).
    std::vector<std::uint32_t> frames;
    // What was left out and why, one sentence each (a damaged chunk, cue points outside the
    // data, duplicates, cue points in a chunk other than "data"); empty when nothing was.
    std::vector<std::string> problems;
};

// Reads the "cue " chunk of a RIFF/WAVE file whose data holds `frameCount` sample frames. A file
// without one, or one that is no RIFF/WAVE file at all, has no cue points; a damaged chunk gives
// the cue points it holds whole. Never throws for what the file holds; throws EWavParserError
// only when the file cannot be read.
CuePointReading readCuePoints(const std::string& fileName, std::uint64_t frameCount);

// The chunks that mark `frames` (sample frames from the first one of the data) in a RIFF/WAVE
// file: a "cue " chunk with cue point k + 1 at frames[k], and a "LIST" "adtl" chunk naming each
// with a "labl" "Slice 1", "Slice 2", ... in order.
std::vector<RiffChunk> cuePointChunks(const std::vector<std::uint32_t>& frames);

} // namespace tolvane
