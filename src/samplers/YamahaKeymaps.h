#pragma once

#include "slicing/Keymap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// How the samples of a run are laid on the keyboard: the settings of the one key-assignment
// function for MapSamples' arguments (base note, spread between keys, white keys only).
KeymapSettings keymapForMapping(int baseNote, int keySpread, bool whiteKeys);

// The A3000's name of each sample of a run: the name the run gave it (`runNames`, in batch mode)
// or the base name with its position as three digits, replaced by the first of the sampler's
// names (from the last down to the second) that contains it; blank-padded or cut to 16.
std::vector<std::string> a3000SampleNames(const std::string& baseName, int count,
                                          const std::vector<std::string>& runNames,
                                          const std::vector<std::string>& samplerNames);

// The A3000 keymap as System Exclusive messages: for each sample its select, root, high-key and
// low-key messages, then the program bulk message. `device` is the profile's SysEx ID byte.
std::vector<std::vector<std::uint8_t>> buildA3000Keymap(const std::string& programName,
                                                        const std::vector<std::string>& names,
                                                        const KeymapSettings& keys,
                                                        std::uint8_t device);

// The EX keymap: one System Exclusive message for `count` samples from `firstSample` on.
std::vector<std::uint8_t> buildExKeymap(const std::string& programName, int firstSample, int count,
                                        const KeymapSettings& keys);

} // namespace tolvane
