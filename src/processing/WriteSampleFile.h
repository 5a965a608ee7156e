#pragma once

#include "document/SafeFileWriter.h"
#include "document/SampleDocument.h"
#include "fileio/RiffChunk.h"
#include "fileio/WaveFileWriter.h"
#include "processing/TWaveSmoother.h"
#include "slicing/ChannelMode.h"
#include "slicing/LoopSegments.h"

#include <cstdint>
#include <string>

namespace tolvane {

// The one writer of sample files: `byteCount` bytes' worth of the document's samples from
// `start` go to `fileName` through the end-point smoother (`smoothAmount` 0 to 60, 0 for none),
// as AIFF when the name ends in ".aif", else RIFF/WAVE. One channel of split stereo is every
// second sample, so that the file holds the channel that `start` addresses; both channels
// (mode 3) are written interleaved whatever the channel mode of the document. Returns the bytes of
// sample data written. Throws FileWriteError; the file it replaces is then left as it was.
std::uint32_t WriteSampleFile(const SampleDocument& doc, const std::string& fileName,
                              std::uint32_t start, std::uint32_t byteCount, int channelMode,
                              int smoothAmount = 0);

// A segment written as WriteSampleFile writes a range, taking the segment's own source layout
// (so one channel of a merged stereo document can be written as a mono file).
std::uint32_t writeSegmentFile(const SampleDocument& doc, const std::string& fileName,
                               const LoopSegment& segment, int smoothAmount,
                               Durability durability = Durability::Synced);

// The end-point smoother set up and prepared for a segment: the one data path of every file
// that holds segments, from sample files to sound banks.
TWaveSmoother segmentSmoother(const SampleDocument& doc, const LoopSegment& segment,
                              int smoothAmount);
// The smoother's output as the file writers pull it, block by block.
SampleBlockSource smootherSource(TWaveSmoother& smoother);
// Hands every output byte of a prepared smoother to `out`, block by block.
void produceSamples(TWaveSmoother& smoother, const ByteSink& out);

// The bytes of sample data WriteSampleFile writes for `byteCount` bytes: more when smoothed.
std::uint32_t sampleFileDataLength(std::uint32_t byteCount, int smoothAmount);

} // namespace tolvane
