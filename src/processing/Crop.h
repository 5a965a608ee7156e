#pragma once

#include "document/SampleDocument.h"

namespace tolvane {

// "Crop / Trim Region": keeps only the bytes between the locators (whole frames in stereo) and
// the candidates inside them, moved to the new start; the locators then span the whole sample.
// The caller records the undo step (a whole-sample kind) first.
void cropToLocators(SampleDocument& doc);

} // namespace tolvane
