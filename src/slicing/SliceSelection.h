#pragma once

#include "document/SampleDocument.h"

#include <cstdint>

namespace tolvane {

inline constexpr int kSliderMaximum = 65535;
inline constexpr int kSliderPageSize = 655;

// The sensitivity slider: Threshold = 65534 - position, so position 0 selects nothing but
// locked points and 65535 every candidate whose strength is not negative.
std::int32_t thresholdForSliderPosition(int position);
// The slider position for a percentage (0 to 100).
int sliderPositionForPercent(double percent);
// The percentage the sensitivity label shows for a threshold.
int sensitivityPercent(std::int32_t threshold);

// Rebuilds the slice table from the candidates: those enabled and stronger than Threshold,
// and every locked one, in table order, between the start record and an end record at
// DataLength. Does nothing while a worker runs (Busy).
void rebuildSliceTable(SampleDocument& doc);

// Where a released locator button (or a locator given any other way) lands: the slice point nearest
// the released position on the right side of the other locator.
std::uint32_t snapLeftLocator(const SampleDocument& doc, std::int64_t position);
std::uint32_t snapRightLocator(const SampleDocument& doc, std::int64_t position);
// Both locators snapped again to slice points, the right one first.
void resnapLocators(SampleDocument& doc);

// Shown when a stereo split could not copy every candidate into the table.
inline constexpr const char* kMsgTooManyPoints =
    "Found points may exceed 8192;\r\nTry cutting the file into smaller pieces!";

} // namespace tolvane
