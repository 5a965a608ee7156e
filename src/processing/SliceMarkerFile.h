#pragma once

#include "document/SampleDocument.h"
#include "slicing/SegmentRanges.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// The region a slice-marker file holds and where its slices begin.
struct SliceMarkers {
    WriteRange range;                  // as "Save Region Defined In Loop" writes it
    std::vector<std::uint32_t> frames; // each slice point inside it, in frames from its start
};

// The region between the locators (the whole sample while they lie at its ends) and the slice
// points inside it: the start of every segment of the region but the first (in split stereo,
// of each chosen channel, a frame marked once). Nothing when no whole frame lies between the
// locators.
std::optional<SliceMarkers> sliceMarkers(const SampleDocument& doc);

// "Save With Slice Markers": the region as one 16-bit RIFF/WAVE file (whatever the name),
// both channels of stereo, unsmoothed, with a cue point at each slice point and the labels
// "Slice 1", "Slice 2", ... Throws std::invalid_argument when there is no region, FileWriteError
// when the file cannot be written (the file it replaces is then left as it was).
void writeSliceMarkerFile(const SampleDocument& doc, const std::string& fileName);

} // namespace tolvane
