#pragma once

#include "audition/VoiceMixer.h"
#include "document/SampleDocument.h"
#include "slicing/Keymap.h"
#include "slicing/LoopSegments.h"

#include <memory>
#include <vector>

namespace tolvane {

// The segment a key plays in one channel (1 = left, 2 = right; mono and merged stereo have
// only channel 1): segment k (from 0) of the channel's segments between the locators.
struct KeySegment {
    int channel = 1;
    int k = 0;
    LoopSegment segment;
};

// Which segment, of `count`, sits on `note` by the keymap's key assignment (the one the sound
// banks and the sampler transfers use: the segment's key or its range around it); -1 for none.
int segmentOnKey(const KeymapSettings& keymap, int count, int note);

// What `note` plays: in split stereo the segment of each channel of the channel choice, each
// channel's segments mapped on their own (as the bank of each channel holds them); otherwise
// the one segment of both channels.
std::vector<KeySegment> segmentsOnKey(const SampleDocument& doc, const KeymapSettings& keymap,
                                      int note);

// The keys' program for the voice mixer: a copy of the sample and, for every key, its
// segments; with `playThrough` each plays on to locator R instead of stopping at its end.
std::unique_ptr<AuditionProgram>
makeAuditionProgram(const SampleDocument& doc, const KeymapSettings& keymap, bool playThrough);

} // namespace tolvane
