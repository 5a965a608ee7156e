#include "slicing/MarkerPoints.h"

#include "slicing/GridCut.h"
#include "slicing/SliceSelection.h"

#include <algorithm>

namespace tolvane {

std::size_t useMarkersAsSlicePoints(SampleDocument& doc, std::vector<std::uint32_t> frames) {
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    const std::uint64_t frameBytes = static_cast<std::uint64_t>(doc.frameBytes());
    const std::uint64_t dataLength = static_cast<std::uint64_t>(std::max(doc.DataLength, 0));
    std::vector<PointRecord> points;
    std::size_t leftOut = 0;
    for (const std::uint32_t frame : frames) {
        const std::uint64_t position = frame * frameBytes;
        if (frame == 0 || position + frameBytes > dataLength)
            continue;
        if (points.size() + (split ? 2 : 1) > static_cast<std::size_t>(kMaxCandidates)) {
            ++leftOut;
            continue;
        }
        PointRecord point{static_cast<std::uint32_t>(position),
                          kGridPointStrength,
                          1,
                          1,
                          split ? kChannelLeftSplit : kChannelMonoOrRight,
                          0};
        points.push_back(point);
        if (split) {
            point.Position += 2;
            point.Channel = kChannelMonoOrRight;
            points.push_back(point);
        }
    }
    doc.CandidateTable[0] = PointRecord{0, 0, 0, 0, kChannelMonoOrRight, 0};
    doc.CandidateCount = static_cast<std::int32_t>(points.size());
    std::copy(points.begin(), points.end(), doc.CandidateTable.begin() + 1);
    doc.candidateEndRecord() =
        PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, kChannelMonoOrRight, 0};
    doc.DetectPending = false;
    doc.KeepCandidates = false;
    rebuildSliceTable(doc);
    return leftOut;
}

} // namespace tolvane
