#include "slicing/SliceSelection.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

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

} // namespace tolvane
