#include "slicing/Keymap.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(Keymap, KeysFollowTheBaseNoteAndInterval) {
    KeymapSettings keymap;
    EXPECT_EQ(keymap.baseNote(), 48);
    EXPECT_EQ(keyForSample(keymap, 0).key, 48);
    EXPECT_EQ(keyForSample(keymap, 5).key, 53);
    keymap.interval = 2;
    const KeyRange range = keyForSample(keymap, 2);
    EXPECT_EQ(range.key, 54);
    EXPECT_EQ(range.low, 53);
    EXPECT_EQ(range.high, 55);
    keymap.whiteKeysOnly = true;
    EXPECT_EQ(keyForSample(keymap, 3).key, 53) << "C D E F";
    EXPECT_EQ(keyForSample(keymap, 7).key, 60) << "the next octave's C";
    EXPECT_STREQ(noteName(2), "C#");
}

// The last key used is what must fit: one sample on the top key fits, a range that reaches
// past it does not.
TEST(Keymap, CapacityIsTheLastKeyUsed) {
    KeymapSettings keymap; // base 48, interval 0
    EXPECT_FALSE(samplesExceedNotes(keymap, 80)) << "48 + 79 = 127";
    EXPECT_TRUE(samplesExceedNotes(keymap, 81));
    keymap.octave = 10;
    keymap.note = 8; // base 127
    EXPECT_FALSE(samplesExceedNotes(keymap, 1));
    EXPECT_TRUE(samplesExceedNotes(keymap, 2));
    EXPECT_EQ(lastKeyUsed(keymap, 2), 128);
    keymap.note = 7; // base 126
    keymap.interval = 2;
    EXPECT_FALSE(samplesExceedNotes(keymap, 1)) << "125 to 127";
    keymap.note = 8;
    EXPECT_TRUE(samplesExceedNotes(keymap, 1)) << "126 to 128";
    EXPECT_FALSE(samplesExceedNotes(keymap, 0));

    KeymapSettings white; // from C 48: 47 white keys up to 127 (a G)
    white.whiteKeysOnly = true;
    EXPECT_FALSE(samplesExceedNotes(white, 47));
    EXPECT_TRUE(samplesExceedNotes(white, 48));
}

// "Use base note only" lets the keymap window place any number of samples on one key; a bank
// puts each on its own key all the same, so its check ignores the option.
TEST(Keymap, BanksIgnoreBaseNoteOnly) {
    KeymapSettings keymap;
    keymap.baseNoteOnly = true;
    EXPECT_FALSE(samplesExceedNotes(keymap, 500));
    EXPECT_TRUE(samplesExceedKeys(keymap, 81));
    EXPECT_FALSE(samplesExceedKeys(keymap, 80));
}

} // namespace
} // namespace tolvane
