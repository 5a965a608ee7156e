#pragma once

#include "cli/Options.h"
#include "slicing/Keymap.h"

#include <set>
#include <string>

namespace tolvane::cli {

// The keymap window's settings on the command line: --base-note N (MIDI note 0 to 127, default
// 48 = C2), --interval N (0 to 12, even), --white-keys, --bank-name NAME, --reverse-notes,
// --base-note-only.
const std::set<std::string>& keymapValuedOptions();
const std::set<std::string>& keymapFlags();
// Throws std::invalid_argument naming the option that is wrong.
KeymapSettings readKeymapOptions(const Options& options);

// End points of the segments a command sends or writes are smoothed by this much unless
// --smooth says otherwise: the keymap window's "Smooth sample end points" at its level.
inline constexpr int kDefaultSmoothLevel = 30;
// --smooth N: 0 to 60, kDefaultSmoothLevel when not given.
int readSmoothOption(const Options& options);

} // namespace tolvane::cli
