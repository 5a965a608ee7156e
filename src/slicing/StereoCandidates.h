#pragma once

#include "document/SampleDocument.h"

namespace tolvane {

// "L + R": the candidates of both channels become one list. Walking the records in order
// (the end record included), a record is kept when it lies more than
// DataLength / viewWidth * Channels bytes after the last record kept; kept records move to
// the first sample of their frame with channel code 1. The last kept record gives way to the
// end record. Sets MergeChannels and aligns the locators to whole frames.
void mergeStereoCandidates(SampleDocument& doc, int viewWidth);

// "L / R": every merged candidate becomes a left-channel point (code 2) plus a copy on the
// right sample of its frame (code 1). Only changes the table while MergeChannels is set, and
// clears it. Returns false when the table was full before every copy was made (the copies
// of the latest candidates are then missing).
bool splitStereoCandidates(SampleDocument& doc);

} // namespace tolvane
