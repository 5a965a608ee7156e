#include "processing/SliceMarkerFile.h"

#include "fileio/CuePoints.h"
#include "fileio/WaveFileWriter.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane {

std::optional<SliceMarkers> sliceMarkers(const SampleDocument& doc) {
    const std::optional<WriteRange> range = regionRange(doc);
    if (!range)
        return std::nullopt;
    SliceMarkers markers{*range, {}};
    const auto frameBytes = static_cast<std::uint32_t>(doc.frameBytes());
    const std::uint32_t frames = range->byteCount / frameBytes;
    for (const LoopSegment& segment : loopSegmentSeries(doc)) {
        if (segment.start < range->start)
            continue;
        // The right channel's sample lies two bytes into its frame: the same frame.
        const std::uint32_t frame = (segment.start - range->start) / frameBytes;
        if (frame > 0 && frame < frames)
            markers.frames.push_back(frame);
    }
    std::sort(markers.frames.begin(), markers.frames.end());
    markers.frames.erase(std::unique(markers.frames.begin(), markers.frames.end()),
                         markers.frames.end());
    return markers;
}

void writeSliceMarkerFile(const SampleDocument& doc, const std::string& fileName) {
    const std::optional<SliceMarkers> markers = sliceMarkers(doc);
    if (!markers)
        throw std::invalid_argument("no whole frame lies between the locators");
    LoopSegment region;
    region.start = markers->range.start;
    region.byteCount = markers->range.byteCount;
    region.channelMode = markers->range.channelMode;
    TWaveSmoother smoother = segmentSmoother(doc, region, 0);
    writeWaveStream(fileName, static_cast<std::uint16_t>(smoother.outputChannels), doc.SampleRate,
                    smoother.outputLength(), smootherSource(smoother),
                    cuePointChunks(markers->frames));
}

} // namespace tolvane
