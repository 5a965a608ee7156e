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

TEST(Keymap, CapacityWarningAtTheTopKey) {
    KeymapSettings keymap; // base 48, interval 0
    EXPECT_FALSE(samplesExceedNotes(keymap, 78));
    EXPECT_TRUE(samplesExceedNotes(keymap, 79));
    keymap.baseNoteOnly = true;
    EXPECT_FALSE(samplesExceedNotes(keymap, 500));
    keymap.baseNoteOnly = false;
    keymap.whiteKeysOnly = true;
    EXPECT_FALSE(samplesExceedNotes(keymap, 40));
    EXPECT_TRUE(samplesExceedNotes(keymap, 50));
}

} // namespace
} // namespace tolvane
