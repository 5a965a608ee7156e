#include "processing/SegmentSeries.h"

#include "processing/WriteSampleFile.h"

namespace tolvane {

int writeSegmentSeries(const SampleDocument& doc, const SeriesName& name, int smoothAmount,
                       const SeriesListener& listener) {
    return writeSegmentFiles(doc, loopSegmentSeries(doc), name, smoothAmount, listener);
}

std::vector<std::string> segmentSeriesFileNames(const SampleDocument& doc, const SeriesName& name) {
    std::vector<std::string> names;
    for (const LoopSegment& segment : loopSegmentSeries(doc))
        names.push_back(seriesFileName(name, segment));
    return names;
}

int writeSegmentFiles(const SampleDocument& doc, const std::vector<LoopSegment>& segments,
                      const SeriesName& name, int smoothAmount, const SeriesListener& listener) {
    // The files reach the disk together at the end; when one fails, the ones before it are
    // still flushed (by the SeriesSync's destructor) as they stay on the disk.
    SeriesSync durable;
    int written = 0;
    for (const LoopSegment& segment : segments) {
        const SeriesFile file{segment, seriesFileName(name, segment),
                              sampleFileDataLength(segment.byteCount, smoothAmount)};
        if (listener.beforeWrite)
            listener.beforeWrite(file);
        writeSegmentFile(doc, file.fileName, segment, smoothAmount, Durability::Deferred);
        durable.add(file.fileName);
        ++written;
        if (listener.written)
            listener.written(file);
    }
    durable.sync();
    return written;
}

} // namespace tolvane
