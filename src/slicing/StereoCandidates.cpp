#include "slicing/StereoCandidates.h"

#include "slicing/TransientScan.h"

#include <algorithm>
#include <vector>

namespace tolvane {

void mergeStereoCandidates(SampleDocument& doc, int viewWidth) {
    doc.MergeChannels = true;
    const double minimumGap =
        static_cast<double>(doc.DataLength) / std::max(viewWidth, 1) * doc.Channels;
    std::vector<PointRecord> kept;
    kept.reserve(static_cast<std::size_t>(doc.CandidateCount) + 1);
    // Measured from the last record kept: measuring from the record before, kept or not,
    // would drop every record of a run of close ones after its first.
    std::int64_t lastKept = 0;
    for (int i = 1; i <= doc.CandidateCount + 1; ++i) {
        PointRecord rec = doc.CandidateTable[i];
        const std::int64_t position = rec.Position;
        if (static_cast<double>(position - lastKept) <= minimumGap)
            continue;
        rec.Channel = kChannelMonoOrRight;
        rec.Position &= ~3u;
        kept.push_back(rec);
        lastKept = position;
    }
    // The last kept record makes room for the end record.
    doc.CandidateCount = std::max(static_cast<int>(kept.size()) - 1, 0);
    std::copy_n(kept.begin(), doc.CandidateCount, doc.CandidateTable.begin() + 1);
    sortCandidates(doc);

    doc.LocatorL &= ~3u;
    doc.LocatorR &= ~3u;
    PointRecord& start = doc.CandidateTable[0];
    start.Position = 0;
    start.Channel = kChannelMonoOrRight;
    PointRecord& end = doc.candidateEndRecord();
    end = PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, kChannelMonoOrRight, 0};
    doc.SliceTable[0].Position = 0;
    doc.SliceTable[0].Channel = kChannelMonoOrRight;
    const int sliceEnd = std::clamp(doc.SliceCount + 1, 0, kPointTableSize - 1);
    doc.SliceTable[sliceEnd].Position = static_cast<std::uint32_t>(doc.DataLength);
    doc.SliceTable[sliceEnd].Channel = kChannelMonoOrRight;
}

bool splitStereoCandidates(SampleDocument& doc) {
    if (!doc.MergeChannels)
        return true;
    const int sources = doc.CandidateCount;
    int count = sources;
    for (int i = 1; i <= sources; ++i) {
        PointRecord& source = doc.CandidateTable[i];
        source.Channel = kChannelLeftSplit;
        if (count < kMaxCandidates) {
            PointRecord copy = source;
            copy.Position += 2;
            copy.Channel = kChannelMonoOrRight;
            doc.CandidateTable[++count] = copy;
        }
    }
    doc.CandidateCount = count;
    sortCandidates(doc);
    doc.candidateEndRecord().Position = static_cast<std::uint32_t>(doc.DataLength);
    doc.MergeChannels = false;
    return count == 2 * sources;
}

} // namespace tolvane
