#pragma once

#include "document/SampleDocument.h"

#include <cstdint>

namespace tolvane {

// The note value of a grid: the steps in one bar.
enum class GridNote : int { Eighths = 8, Sixteenths = 16, ThirtySeconds = 32 };

// The strength grid points get unless "Add At Current Length" gives them the threshold's.
inline constexpr std::int32_t kGridPointStrength = 32640;

// Steps of the grid over the region: bars x steps per bar + beats x steps per beat.
std::int64_t gridSteps(const SampleDocument& doc, GridNote note);

// How many points the grid of the region would hold.
int gridPointCount(const SampleDocument& doc, GridNote note);

// "Cut to": replaces every candidate by a grid of enabled, locked points over the region between
// the locators, LoopBars and LoopBeats giving its length. Each point lies 50 bytes after its
// exact grid position, on its channel's sample; in split stereo each channel of the channel
// choice gets its own grid, otherwise there is one for the document. Points too near either end
// of the data are left out. The slice table is rebuilt and the locators snapped to the new
// points. Returns false, changing nothing, when the region has no length in bars and beats or
// the grid would not fit the candidate table. The caller records undo first.
bool cutToGrid(SampleDocument& doc, GridNote note, std::int32_t strength = kGridPointStrength);

// "Smooth" after a grid cut (or any command that sets new points): the next scan keeps the
// points and only moves them towards quiet samples.
void refinePointsAtNextScan(SampleDocument& doc);

// Shown when the grid would hold more points than the table takes.
inline constexpr const char* kMsgGridTooFine =
    "The grid would need more than 8192 points;\r\nChoose fewer bars or beats, or a coarser "
    "grid!";

} // namespace tolvane
