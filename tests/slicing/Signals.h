#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <vector>

namespace tolvane::test {

// A document holding the given interleaved samples, as a load leaves it: data, zero spare
// bytes, a scan pending, stereo merged.
SampleDocument documentWithSamples(int channels, std::uint32_t rate,
                                   const std::vector<std::int16_t>& samples);

// Generated test signals, interleaved, `frames` frames long. Deterministic per seed.
std::vector<std::int16_t> whiteNoise(int frames, int channels, unsigned seed, int amplitude);
// Decaying bursts at random onsets (mean gap in frames) over a faint noise floor; in stereo
// the channels get their own bursts.
std::vector<std::int16_t> denseClicks(int frames, int channels, unsigned seed, int meanGap);
// Silence with single hits at the given frames (all channels), each a decaying burst.
std::vector<std::int16_t> hitsAt(int frames, int channels, const std::vector<int>& onsets,
                                 int amplitude = 20000);

} // namespace tolvane::test
