#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <functional>
#include <random>
#include <span>

namespace tolvane {

// The generator of the shuffle: seeded from the system for the editor, with a given seed for
// repeatable results.
using ShuffleGenerator = std::mt19937_64;
ShuffleGenerator shuffleGeneratorFromSystem();

// The bytes a shuffle reads from and the undo step keeps: from LocatorL, rounded down to a whole
// frame of stereo, to LocatorR.
struct ShuffleRegion {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};
ShuffleRegion shuffleRegion(const SampleDocument& doc);

// Reads `count` bytes of the region as it was before the shuffle, from `offset` bytes after the
// region's start, into `to`; throws when it cannot.
using RegionCopyReader =
    std::function<void(std::uint64_t offset, std::uint8_t* to, std::size_t count)>;

// "Randomise": puts the segments between the locators in a random order inside the sample data.
// `original` gives the region's bytes as they are now (shuffleRegion's length from its start,
// kept in a file so that a long region is not held twice in memory); the segments are read from
// it and written one after another from the left locator, each pick uniform among the segments
// left. In split stereo each channel of the channel choice is shuffled on its own and the other
// channel's samples stay as they are. The points are not touched. Returns how many segments were
// shuffled (all channels together).
int shuffleLoopSegments(SampleDocument& doc, const RegionCopyReader& original,
                        ShuffleGenerator& generator);

// The same, reading from a copy of the region in memory.
int shuffleLoopSegments(SampleDocument& doc, std::span<const std::uint8_t> original,
                        ShuffleGenerator& generator);

// The same, keeping the copy of the region in a scratch file of its own (unnamed, so that
// nothing is left behind however the program ends). Throws std::runtime_error with
// kMsgCannotRandomise when the copy cannot be made.
int shuffleLoopSegments(SampleDocument& doc, ShuffleGenerator& generator);

// Shown when the copy the shuffle reads from cannot be made or read back.
inline constexpr const char* kMsgCannotRandomise = "Cannot create file to perform randomise;";
inline constexpr const char* kMsgCannotRandomiseHint = "Not enough disk space?";

} // namespace tolvane
