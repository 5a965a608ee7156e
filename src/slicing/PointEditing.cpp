#include "slicing/PointEditing.h"

#include "document/UndoRecord.h"
#include "slicing/SliceSelection.h"

#include <algorithm>
#include <vector>

namespace tolvane {

std::uint32_t alignToChannel(const SampleDocument& doc, std::uint32_t position,
                             std::uint8_t channel) {
    if (doc.Channels != 2)
        return position & ~1u;
    if (doc.MergeChannels || channel == kChannelLeftSplit)
        return position & ~3u;
    return (position & ~3u) + 2;
}

int movePoint(SampleDocument& doc, int index, std::uint32_t position) {
    PointRecord moved = removeCandidate(doc, index);
    moved.Position = alignToChannel(doc, position, moved.Channel);
    return insertCandidate(doc, moved, moved.Position, true);
}

std::optional<int> addPoint(SampleDocument& doc, std::uint32_t position, std::uint8_t channel,
                            bool atCurrentLength) {
    if (doc.CandidateCount >= kMaxCandidates)
        return std::nullopt;
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    PointRecord added;
    added.Channel = split ? channel : kChannelMonoOrRight;
    added.Position = alignToChannel(doc, position, added.Channel);
    added.Enabled = 1;
    added.Locked = 1;
    added.Strength = atCurrentLength ? doc.Threshold + 10 : kAddedPointStrength;
    return insertCandidate(doc, added, added.Position, false);
}

void lockAll(SampleDocument& doc) {
    rebuildSliceTable(doc);
    std::vector<std::uint32_t> active;
    for (int i = 1; i <= doc.SliceCount; ++i)
        active.push_back(doc.SliceTable[i].Position);
    std::sort(active.begin(), active.end());
    for (int i = 1; i <= doc.CandidateCount; ++i)
        if (std::binary_search(active.begin(), active.end(), doc.CandidateTable[i].Position))
            doc.CandidateTable[i].Locked = 1;
}

void unlockAll(SampleDocument& doc) {
    for (int i = 1; i <= doc.CandidateCount; ++i)
        doc.CandidateTable[i].Locked = 0;
}

} // namespace tolvane
