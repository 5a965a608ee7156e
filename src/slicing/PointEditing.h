#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tolvane {

inline constexpr std::int32_t kAddedPointStrength = 32640;
inline constexpr const char* kMsgTableFull =
    "The point table is full (8192 points): the point was not added.";

// A position on the sample of a point's channel: merged stereo on the frame's first sample,
// split stereo on the channel's own sample (right: +2), mono on a whole sample (even).
std::uint32_t alignToChannel(const SampleDocument& doc, std::uint32_t position,
                             std::uint8_t channel);

// Moves candidate `index` to `position` (aligned to its channel), keeping the table sorted and
// the count unchanged; the point may pass its neighbours. Returns its new index.
int movePoint(SampleDocument& doc, int index, std::uint32_t position);

// Adds a locked, enabled point at `position` on `channel` (1 for mono and merged stereo).
// Its strength is Threshold + 10 with "Add At Current Length", else 32640. Returns its index,
// or nothing when the table already holds 8192 candidates.
std::optional<int> addPoint(SampleDocument& doc, std::uint32_t position, std::uint8_t channel,
                            bool atCurrentLength);

// Kept points after the sample under them changed its channel count (a paste that keeps the
// points): a split table loses its left-channel twins, every point is tagged for mono or merged
// stereo and lands on a whole frame of the new format. The table stays sorted.
void adaptCandidatesToChannels(SampleDocument& doc, bool wasSplit);

// The flag tools on one candidate: locking also enables it, disabling also unlocks it, and
// unlocking leaves it enabled.
void lockPoint(SampleDocument& doc, int index);
void unlockPoint(SampleDocument& doc, int index);
void enablePoint(SampleDocument& doc, int index);
void disablePoint(SampleDocument& doc, int index);

// "&Lock All": locks every candidate that is a slice point now (at an active slice position).
void lockAll(SampleDocument& doc);
// "Unl&ock All": unlocks every candidate.
void unlockAll(SampleDocument& doc);

// The locked candidates, to keep through a scan that replaces the table.
std::vector<PointRecord> lockedCandidates(const SampleDocument& doc);
// Puts locked points back into a table a scan has just made: a candidate on the same position
// and channel is locked again, any other point goes in at its place while the table has room.
// Returns how many did not fit.
int restoreLockedCandidates(SampleDocument& doc, const std::vector<PointRecord>& locked);

} // namespace tolvane
