#include "cli/KeymapOptions.h"

#include <stdexcept>

namespace tolvane::cli {

const std::set<std::string>& keymapValuedOptions() {
    static const std::set<std::string> names{"--base-note", "--interval", "--bank-name"};
    return names;
}

const std::set<std::string>& keymapFlags() {
    static const std::set<std::string> names{"--white-keys", "--reverse-notes", "--base-note-only"};
    return names;
}

int readSmoothOption(const Options& options) {
    constexpr long long kMaxSmoothLevel = 60;
    return static_cast<int>(
        options.wholeNumber("--smooth", 0, kMaxSmoothLevel).value_or(kDefaultSmoothLevel));
}

KeymapSettings readKeymapOptions(const Options& options) {
    KeymapSettings keymap;
    if (const auto base = options.wholeNumber("--base-note", 0, 127)) {
        keymap.octave = static_cast<int>(*base / 12);
        keymap.note = static_cast<int>(*base % 12) + 1;
    }
    if (const auto interval = options.wholeNumber("--interval", 0, 12)) {
        if (*interval % 2 != 0)
            throw std::invalid_argument("--interval is an even number from 0 to 12");
        keymap.interval = static_cast<int>(*interval);
    }
    keymap.bankName = options.value("--bank-name").value_or(keymap.bankName);
    keymap.whiteKeysOnly = options.has("--white-keys");
    // As the keymap window has them: white keys start from a C, one key each.
    if (keymap.whiteKeysOnly && keymap.note != 1)
        throw std::invalid_argument("--white-keys start from a C: --base-note is a multiple of 12");
    if (keymap.whiteKeysOnly && keymap.interval != 0)
        throw std::invalid_argument("--white-keys put each segment on one key: no --interval");
    keymap.reverseNotes = options.has("--reverse-notes");
    keymap.baseNoteOnly = options.has("--base-note-only");
    return keymap;
}

} // namespace tolvane::cli
