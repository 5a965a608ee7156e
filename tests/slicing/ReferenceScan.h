#pragma once

#include "document/SampleDocument.h"

namespace tolvane::test {

// The scan written the plain way, pass by pass, as the algorithm reads: every window copied
// into a buffer first, passes 3 and 4 run in full for every candidate of every round (the
// quadratic form). Slow, and the reference the real scan is checked against.
void referenceScan(SampleDocument& doc, int viewWidth);

// Only the literal rounds of passes 3 and 4 (with pass 2 before and nothing after), so that
// the fast form can be compared on exactly the same input.
void referencePasses2To4(SampleDocument& doc, int& lastLevel, int& lastOffset);

} // namespace tolvane::test
