#include "slicing/SliceSelection.h"

#include <algorithm>
#include <cmath>

namespace tolvane {
namespace {

std::uint32_t slicePosition(const SampleDocument& doc, int i) {
    return doc.SliceTable[i].Position;
}

// Of the slice points i - 1 and i around p, the later one when p lies past their middle.
int nearerOfPair(const SampleDocument& doc, int i, std::int64_t p) {
    const double middle =
        (static_cast<double>(slicePosition(doc, i - 1)) + slicePosition(doc, i)) / 2;
    return p > middle ? i : i - 1;
}

} // namespace

std::int32_t thresholdForSliderPosition(int position) {
    return 65534 - position;
}

int sliderPositionForPercent(double percent) {
    const long position = std::lrint(percent / 100.0 * kSliderMaximum);
    return static_cast<int>(std::clamp<long>(position, 0, kSliderMaximum));
}

int sensitivityPercent(std::int32_t threshold) {
    return static_cast<int>(std::lrint((65535.0 - threshold) / 65535.0 * 100.0));
}

void rebuildSliceTable(SampleDocument& doc) {
    if (doc.Busy)
        return;
    doc.SliceCount = 0;
    const int count = std::clamp(doc.CandidateCount, 0, kMaxCandidates);
    for (int i = 1; i <= count && doc.DocumentOpen; ++i) {
        const PointRecord& rec = doc.CandidateTable[i];
        const bool selected = rec.Strength > doc.Threshold && rec.Enabled == 1;
        if (selected || rec.Locked != 0)
            doc.SliceTable[++doc.SliceCount] = rec;
    }
    doc.SliceTable[doc.SliceCount + 1].Position = static_cast<std::uint32_t>(doc.DataLength);
    doc.SliceTable[0].Position = 0;
}

std::uint32_t snapLeftLocator(const SampleDocument& doc, std::int64_t p) {
    const int last = doc.SliceCount + 1;
    int i = 1;
    while (i < last && slicePosition(doc, i) < p && slicePosition(doc, i) < doc.LocatorR)
        ++i;
    int choice = nearerOfPair(doc, i, p);
    if (slicePosition(doc, choice) >= doc.LocatorR && choice > 0)
        --choice;
    return slicePosition(doc, choice);
}

std::uint32_t snapRightLocator(const SampleDocument& doc, std::int64_t p) {
    const int last = doc.SliceCount + 1;
    // The mirror of the left locator: walk back from the end to the first pair around p,
    // stopping at the left locator.
    int i = last;
    while (i > 1 && slicePosition(doc, i - 1) > p && slicePosition(doc, i - 1) > doc.LocatorL)
        --i;
    int choice = nearerOfPair(doc, i, p);
    if (slicePosition(doc, choice) <= doc.LocatorL && choice < last)
        ++choice;
    return slicePosition(doc, choice);
}

void resnapLocators(SampleDocument& doc) {
    doc.LocatorR = snapRightLocator(doc, doc.LocatorR);
    doc.LocatorL = snapLeftLocator(doc, doc.LocatorL);
}

} // namespace tolvane
