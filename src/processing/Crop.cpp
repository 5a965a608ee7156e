#include "processing/Crop.h"

#include <algorithm>
#include <vector>

namespace tolvane {

void cropToLocators(SampleDocument& doc) {
    std::uint32_t left = doc.LocatorL;
    std::uint32_t right =
        std::min<std::uint32_t>(doc.LocatorR, static_cast<std::uint32_t>(doc.DataLength));
    if (doc.Channels == 2) {
        left &= ~3u;
        right &= ~3u;
    }
    if (right <= left)
        return;
    ByteBuffer kept(doc.SampleData.data() + left, doc.SampleData.data() + right);
    kept.resize(kept.size() + kSpareBytes, std::uint8_t{0});
    doc.SampleData.adopt(std::move(kept));
    doc.DataLength = static_cast<std::int32_t>(right - left);

    // Candidates inside the region stay, in order, moved to the new start.
    int count = 0;
    for (int i = 1; i <= doc.CandidateCount; ++i) {
        const PointRecord p = doc.CandidateTable[i];
        if (p.Position >= left + 3 && p.Position < right) {
            doc.CandidateTable[++count] = p;
            doc.CandidateTable[count].Position -= left;
        }
    }
    doc.CandidateCount = count;
    doc.CandidateTable[0].Position = 0;
    doc.candidateEndRecord() =
        PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, 1, 0};
    doc.SelectedSegment = 1;
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
}

} // namespace tolvane
