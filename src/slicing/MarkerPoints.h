#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <vector>

namespace tolvane {

// Slice points made from markers that another program set (a WAV file's cue points): every
// candidate is replaced by an enabled, locked point at the first sample of each marked frame
// (in split stereo one on each channel's sample of the frame), so that the slices are exactly
// the marked ones at any sensitivity and a later scan keeps them. Frames outside the data are
// left out. Clears a pending scan, rebuilds the slice table and leaves the locators as they are.
// Returns how many frames did not fit the candidate table (0 when all did).
std::size_t useMarkersAsSlicePoints(SampleDocument& doc, std::vector<std::uint32_t> frames);

} // namespace tolvane
