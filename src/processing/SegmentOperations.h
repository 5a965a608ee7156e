#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"

#include <cstdint>

namespace tolvane {

// Reverse and Silence on one segment, [start, end) in bytes as the slice points give it (the
// window takes the segment under the pointer). Mono works on samples and merged stereo on whole
// frames; split stereo works on the samples of the segment's channel (`channelTag` 2 for the
// left, 1 for the right) and leaves the other channel as it is. Each records the bytes it will
// change for undo first (kinds 9 and 10); a failure to record (UndoFileError) leaves the
// document as it was. An empty segment changes and records nothing. Synchronous; window thread.

// The segment's samples (frames in merged stereo) in reverse order.
void reverseSegment(SampleDocument& doc, UndoRecord& undo, std::uint32_t start, std::uint32_t end,
                    std::uint8_t channelTag);

// Zeroes the segment. When at least 250 frames lie before it, those frames first fade out
// linearly: the i-th of them (from the earliest) is multiplied by (249 - i) / 249 and rounded,
// so that the level falls to 0 where the silence begins (in split stereo only the segment's
// channel fades). The undo range then starts at the fade.
void silenceSegment(SampleDocument& doc, UndoRecord& undo, std::uint32_t start, std::uint32_t end,
                    std::uint8_t channelTag);

} // namespace tolvane
