#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// The keymap settings: which keys the segments land on, in samplers, sound banks and the MIDI
// template, and how their end points are smoothed.
struct KeymapSettings {
    int note = 1;     // 1 to 12, C to B
    int octave = 4;   // 0 to 10 (shown as octave - 2)
    int interval = 0; // 0 to 12, in steps of 2
    std::string bankName = "WaveTolvane";
    bool smoothEndPoints = true;
    int smoothLevel = 30; // 0 to 60
    bool whiteKeysOnly = false;
    bool reverseNotes = false;
    bool baseNoteOnly = false;
    // Note and interval to bring back when "Use white keys only from C" is turned off again.
    int savedNote = 1;
    int savedInterval = 0;

    int baseNote() const { return octave * 12 + note - 1; }
};

// The keys of sample k (from 0): a single key, or a range around it.
struct KeyRange {
    int key = 0;
    int low = 0;
    int high = 0;
};

KeyRange keyForSample(const KeymapSettings& keymap, int k);

// The highest key that n samples (n >= 1) occupy: the top of the last one's range.
int lastKeyUsed(const KeymapSettings& keymap, int n);

// Whether n samples, each on its own key (or range), run past the top key (127). A sound bank
// always places them so, whatever "Use base note only" says.
bool samplesExceedKeys(const KeymapSettings& keymap, int n);

// The keymap window's warning: the same, except that "Use base note only" plays every sample
// on the base note and never runs past the top.
bool samplesExceedNotes(const KeymapSettings& keymap, int n);

inline constexpr const char* kMsgSamplesExceedNotes = "WARNING! -  Samples exceed available notes";

// The note name of a setting (1 = "C" … 12 = "B").
const char* noteName(int note);

} // namespace tolvane
