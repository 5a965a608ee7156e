#pragma once

#include "document/SampleDocument.h"
#include "slicing/LoopSegments.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// One file of a segment series, as the series reports it.
struct SeriesFile {
    LoopSegment segment;
    std::string fileName;
    std::uint32_t length = 0; // bytes of sample data (the smoothed length when smoothing)
};

// What a caller hears of a series, file by file; either may be left empty.
struct SeriesListener {
    // Before the file is written: its length is final (the slot of SegmentFileLengths is
    // filled here, so that a file that then fails does not move the later ones).
    std::function<void(const SeriesFile&)> beforeWrite;
    // After the file was written in full.
    std::function<void(const SeriesFile&)> written;
};

// "Save Segments In Loop": writes every segment between the locators (loopSegmentSeries) to
// its numbered file (seriesFileName), smoothed by `smoothAmount` percent (0 for none). Stops at
// the first file that cannot be written and throws its FileWriteError: the files before it are
// complete, no later one is started. Returns the number of files written.
int writeSegmentSeries(const SampleDocument& doc, const SeriesName& name, int smoothAmount,
                       const SeriesListener& listener = {});

// The names of the files writeSegmentSeries writes, in order (to check them before any is).
std::vector<std::string> segmentSeriesFileNames(const SampleDocument& doc, const SeriesName& name);

// The same for a list of segments of the caller's choosing (one channel of merged stereo, say).
int writeSegmentFiles(const SampleDocument& doc, const std::vector<LoopSegment>& segments,
                      const SeriesName& name, int smoothAmount,
                      const SeriesListener& listener = {});

} // namespace tolvane
