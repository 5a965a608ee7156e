#include "slicing/PointEditing.h"

#include "document/UndoRecord.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

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

void adaptCandidatesToChannels(SampleDocument& doc, bool wasSplit) {
    const std::uint32_t frameMask = ~static_cast<std::uint32_t>(doc.frameBytes() - 1);
    int kept = 0;
    for (int i = 1; i <= doc.CandidateCount; ++i) {
        PointRecord record = doc.CandidateTable[i];
        if (wasSplit && record.Channel == kChannelLeftSplit)
            continue;
        record.Channel = kChannelMonoOrRight;
        record.Position &= frameMask;
        doc.CandidateTable[++kept] = record;
    }
    doc.CandidateCount = kept;
    sortCandidates(doc);
    doc.candidateEndRecord() =
        PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, kChannelMonoOrRight, 0};
}

void lockPoint(SampleDocument& doc, int index) {
    doc.CandidateTable[index].Locked = 1;
    doc.CandidateTable[index].Enabled = 1;
}

void unlockPoint(SampleDocument& doc, int index) {
    doc.CandidateTable[index].Locked = 0;
    doc.CandidateTable[index].Enabled = 1;
}

void enablePoint(SampleDocument& doc, int index) {
    doc.CandidateTable[index].Enabled = 1;
}

void disablePoint(SampleDocument& doc, int index) {
    doc.CandidateTable[index].Enabled = 0;
    doc.CandidateTable[index].Locked = 0;
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

std::vector<PointRecord> lockedCandidates(const SampleDocument& doc) {
    std::vector<PointRecord> locked;
    for (int i = 1; i <= doc.CandidateCount; ++i)
        if (doc.CandidateTable[i].Locked)
            locked.push_back(doc.CandidateTable[i]);
    return locked;
}

int restoreLockedCandidates(SampleDocument& doc, const std::vector<PointRecord>& locked) {
    int leftOut = 0;
    for (const PointRecord& point : locked) {
        PointRecord* same = nullptr;
        for (int i = 1; i <= doc.CandidateCount && !same; ++i) {
            PointRecord& candidate = doc.CandidateTable[i];
            if (candidate.Position == point.Position && candidate.Channel == point.Channel)
                same = &candidate;
        }
        if (same) {
            same->Locked = 1;
            same->Enabled = 1;
        } else if (doc.CandidateCount < kMaxCandidates) {
            insertCandidate(doc, point, point.Position, false);
        } else {
            ++leftOut;
        }
    }
    return leftOut;
}

} // namespace tolvane
