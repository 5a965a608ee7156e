#pragma once

#include "document/SampleDocument.h"
#include "slicing/ChannelMode.h"

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

// The bytes of sample data WriteSampleFile writes for `byteCount` bytes: more when smoothed.
std::uint32_t sampleFileDataLength(std::uint32_t byteCount, int smoothAmount);

} // namespace tolvane
