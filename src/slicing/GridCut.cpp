#include "slicing/GridCut.h"

#include "slicing/SliceSelection.h"

#include <cmath>
#include <vector>

namespace tolvane {
namespace {

struct StepsPer {
    int bar;
    int beat;
};

StepsPer stepsOf(GridNote note) {
    const int perBar = static_cast<int>(note);
    return {perBar, perBar / 4};
}

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// The channels that get a grid: each chosen one of split stereo, else the document's one.
std::vector<int> gridChannels(const SampleDocument& doc) {
    if (!isSplitStereo(doc))
        return {1};
    std::vector<int> channels;
    for (int m = doc.FirstChannel; m <= doc.LastChannel; ++m)
        channels.push_back(m);
    return channels;
}

// The grid points in table order: step by step, and inside a step channel by channel (the left
// channel's point lies two bytes before the right one's).
std::vector<PointRecord> gridPoints(const SampleDocument& doc, GridNote note,
                                    std::int32_t strength) {
    const std::int64_t steps = gridSteps(doc, note);
    const std::int64_t frame = doc.frameBytes();
    const std::int64_t margin = 50 * static_cast<std::int64_t>(doc.Channels);
    const bool split = isSplitStereo(doc);
    const std::vector<int> channels = gridChannels(doc);
    std::vector<PointRecord> points;
    for (std::int64_t s = 0; s <= steps; ++s) {
        for (const int m : channels) {
            // The span is shifted so that, with the 50 bytes added below, each channel's points
            // land on its own sample of a frame.
            std::int64_t c = doc.LocatorL;
            std::int64_t d = doc.LocatorR;
            if (doc.Channels == 2) {
                c = (c & ~std::int64_t{3}) - 2 * (2 - m);
                d = (d & ~std::int64_t{3}) + 2 * (m - 1);
            }
            // The step's share of the span first, then the span: other orders differ by a frame
            // on some spans.
            const double share = static_cast<double>(s) / static_cast<double>(steps);
            const std::int64_t r = std::llrint(share * static_cast<double>(d - c));
            const std::int64_t rFrame = r - r % frame;
            if (c + margin + rFrame <= 100 || c + margin + rFrame >= doc.DataLength - 2)
                continue;
            PointRecord point;
            point.Position = static_cast<std::uint32_t>(c + rFrame + 50);
            point.Strength = strength;
            point.Enabled = 1;
            point.Locked = 1;
            point.Channel = static_cast<std::uint8_t>(split ? 3 - m : m);
            points.push_back(point);
        }
    }
    return points;
}

} // namespace

std::int64_t gridSteps(const SampleDocument& doc, GridNote note) {
    const StepsPer per = stepsOf(note);
    return static_cast<std::int64_t>(doc.LoopBars) * per.bar +
           static_cast<std::int64_t>(doc.LoopBeats) * per.beat;
}

namespace {

// Steps enough that the grid could never fit the table, however many points the ends drop:
// not worth building.
bool tooLargeToBuild(const SampleDocument& doc, GridNote note) {
    return (gridSteps(doc, note) + 1) * static_cast<std::int64_t>(gridChannels(doc).size()) >
           4 * static_cast<std::int64_t>(kMaxCandidates);
}

} // namespace

int gridPointCount(const SampleDocument& doc, GridNote note) {
    if (gridSteps(doc, note) <= 0)
        return 0;
    if (tooLargeToBuild(doc, note))
        return kMaxCandidates + 1;
    return static_cast<int>(gridPoints(doc, note, kGridPointStrength).size());
}

bool cutToGrid(SampleDocument& doc, GridNote note, std::int32_t strength) {
    if (gridSteps(doc, note) <= 0 || tooLargeToBuild(doc, note))
        return false;
    const std::vector<PointRecord> points = gridPoints(doc, note, strength);
    if (points.size() > static_cast<std::size_t>(kMaxCandidates))
        return false;
    doc.CandidateTable[0] = PointRecord{0, 0, 0, 0, kChannelMonoOrRight, 0};
    doc.CandidateCount = static_cast<std::int32_t>(points.size());
    std::copy(points.begin(), points.end(), doc.CandidateTable.begin() + 1);
    doc.candidateEndRecord() =
        PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, kChannelMonoOrRight, 0};
    rebuildSliceTable(doc);
    resnapLocators(doc);
    return true;
}

void refinePointsAtNextScan(SampleDocument& doc) {
    doc.DetectPending = true;
    doc.KeepCandidates = true;
}

} // namespace tolvane
