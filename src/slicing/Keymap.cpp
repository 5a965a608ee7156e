#include "slicing/Keymap.h"

#include <array>

namespace tolvane {
namespace {

constexpr std::array<int, 7> kWhiteSteps = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<const char*, 12> kNoteNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                    "F#", "G",  "G#", "A",  "A#", "B"};

} // namespace

KeyRange keyForSample(const KeymapSettings& keymap, int k) {
    const int base = keymap.baseNote();
    if (keymap.whiteKeysOnly) {
        const int key = base + 12 * (k / 7) + kWhiteSteps[k % 7];
        return {key, key, key};
    }
    const int key = base + k * (keymap.interval + 1);
    return {key, key - keymap.interval / 2, key + keymap.interval / 2};
}

int lastKeyUsed(const KeymapSettings& keymap, int n) {
    return keyForSample(keymap, n - 1).high;
}

bool samplesExceedKeys(const KeymapSettings& keymap, int n) {
    return n >= 1 && lastKeyUsed(keymap, n) > 127;
}

bool samplesExceedNotes(const KeymapSettings& keymap, int n) {
    return !keymap.baseNoteOnly && samplesExceedKeys(keymap, n);
}

const char* noteName(int note) {
    return kNoteNames[(note - 1 + 12) % 12];
}

} // namespace tolvane
