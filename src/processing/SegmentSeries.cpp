#include "processing/SegmentSeries.h"

#include "processing/WriteSampleFile.h"

namespace tolvane {

int writeSegmentSeries(const SampleDocument& doc, const SeriesName& name, int smoothAmount,
                       const SeriesListener& listener) {
    int written = 0;
    for (const LoopSegment& segment : loopSegmentSeries(doc)) {
        const SeriesFile file{segment, seriesFileName(name, segment),
                              sampleFileDataLength(segment.byteCount, smoothAmount)};
        if (listener.beforeWrite)
            listener.beforeWrite(file);
        WriteSampleFile(doc, file.fileName, segment.start, segment.byteCount, segment.channelMode,
                        smoothAmount);
        ++written;
        if (listener.written)
            listener.written(file);
    }
    return written;
}

} // namespace tolvane
