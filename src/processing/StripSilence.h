#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"

#include <cstdint>
#include <vector>

namespace tolvane {

inline constexpr int kStripThresholdMin = 1;
inline constexpr int kStripThresholdMax = 61;
inline constexpr int kStripGapMin = 10;
inline constexpr int kStripGapMax = 15000;
inline constexpr const char* kMsgNothingWouldRemain =
    "Nothing would remain after removing silence.";
inline constexpr const char* kMsgStripFailed =
    "Cannot create file to perform task;\r\nNot enough disk space?";

// What happens to the slice points: the items of the dialog's "Points:" list, in order.
enum class StripPoints { AtJoins = 0, KeepOld = 1, Recut = 2 };

struct StripSilenceOptions {
    int threshold = 1; // a frame whose level is below it starts or extends a quiet run (1 to 61)
    int gap = 2000;    // quiet frames (times the channel count) that make every later silence
    StripPoints points = StripPoints::AtJoins;
    bool smooth = true;              // "Smooth": the next scan refines the join points
    bool addAtCurrentLength = false; // "Add At Current Length": join points at Threshold + 10
};

// One removed stretch, in bytes of the data as it was.
struct SilenceSpan {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    friend bool operator==(const SilenceSpan&, const SilenceSpan&) = default;
};

struct StripSilenceReport {
    std::vector<SilenceSpan> silences;
    std::uint32_t removedBytes = 0;
    bool tableFull = false; // more joins than the point table holds: the later ones have no point
};

// The silences "Strip Silence..." removes. The frames are read in chunks of 8192. The level
// of a frame is |s| (mono) or trunc((|L| + |R|) / 2) (stereo). A quiet run counts frames whose
// level is below the threshold; when it reaches 50 x channels frames for the first silence, or
// gap x channels for every later one, it is a silence, which then runs on over every frame whose
// level is at most the threshold. The rest of the chunk in which a silence ends is not searched.
// A quiet run of any length at the end of the data is a silence too.
std::vector<SilenceSpan> findSilences(const SampleDocument& doc, int threshold, int gap);

// Removes those silences from the data in place and sets the points as asked: at the joins
// (one point per channel in split stereo, on the frame of the join rounded down to 4 bytes,
// locked, and with "Smooth" a scan that only refines them is pending), the old slice points
// moved left by the silences before them (those inside a silence are dropped), or none and a
// full scan pending. Records the whole sample for undo (kind 11) first; the locators then span
// the data. Throws ProcessingRefused (kMsgNothingWouldRemain) for a sample that is all silence,
// and std::invalid_argument for a threshold or gap out of range; nothing changes then.
StripSilenceReport stripSilence(SampleDocument& doc, UndoRecord& undo,
                                const StripSilenceOptions& options);

} // namespace tolvane
