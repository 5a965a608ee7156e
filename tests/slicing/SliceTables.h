#pragma once

#include "document/SampleDocument.h"
#include "slicing/SliceSelection.h"

#include <vector>

namespace tolvane::test {

// An open document of `length` silent bytes whose slice points are the given candidates, in
// the given order (every one selected), with the locators at the ends of the data.
inline SampleDocument documentWithSlices(std::uint16_t channels, bool merged, std::int32_t length,
                                         const std::vector<PointRecord>& points) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.MergeChannels = merged;
    doc.DataLength = length;
    doc.SampleData.setSize(static_cast<std::size_t>(length) + kSpareBytes);
    doc.CandidateCount = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        doc.CandidateTable[i + 1] = points[i];
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(length);
    return doc;
}

} // namespace tolvane::test
