#include "processing/WriteSampleFile.h"

#include "fileio/WaveFileWriter.h"

#include <vector>

namespace tolvane {

namespace {

TWaveSmoother smootherFor(std::uint32_t byteCount, int smoothAmount) {
    TWaveSmoother smoother;
    smoother.length = byteCount;
    smoother.amount = smoothAmount;
    smoother.enabled = smoothAmount > 0;
    return smoother;
}

} // namespace

std::uint32_t sampleFileDataLength(std::uint32_t byteCount, int smoothAmount) {
    return smootherFor(byteCount, smoothAmount).outputLength();
}

TWaveSmoother segmentSmoother(const SampleDocument& doc, const LoopSegment& segment,
                              int smoothAmount) {
    TWaveSmoother smoother = smootherFor(segment.byteCount, smoothAmount);
    smoother.source = doc.SampleData.data();
    smoother.sourceSize = doc.SampleData.size();
    smoother.start = segment.start;
    smoother.sourceLayout = segment.sourceLayout;
    smoother.outputChannels = segment.channelMode == kWriteBothChannels ? 2 : 1;
    smoother.prepare();
    return smoother;
}

void produceSamples(TWaveSmoother& smoother, const ByteSink& out) {
    std::vector<std::uint8_t> block(kSmootherBlockSize);
    smoother.blockSize = block.size();
    while (const std::size_t count = smoother.nextBlock(block.data()))
        out(block.data(), count);
}

SampleBlockSource smootherSource(TWaveSmoother& smoother) {
    return [&smoother](std::uint8_t* block, std::size_t capacity) {
        smoother.blockSize = capacity;
        return smoother.nextBlock(block);
    };
}

std::uint32_t writeSegmentFile(const SampleDocument& doc, const std::string& fileName,
                               const LoopSegment& segment, int smoothAmount,
                               Durability durability) {
    TWaveSmoother smoother = segmentSmoother(doc, segment, smoothAmount);
    const std::uint32_t length = smoother.outputLength();
    writeSampleStream(fileName, static_cast<std::uint16_t>(smoother.outputChannels), doc.SampleRate,
                      length, smootherSource(smoother), durability);
    return length;
}

std::uint32_t WriteSampleFile(const SampleDocument& doc, const std::string& fileName,
                              std::uint32_t start, std::uint32_t byteCount, int channelMode,
                              int smoothAmount) {
    LoopSegment range;
    range.start = start;
    range.byteCount = byteCount;
    range.channelMode = channelMode;
    // Both channels come interleaved as they are; one channel of split stereo is every second
    // sample from the start byte.
    const bool oneOfTwo =
        doc.Channels == 2 && !doc.MergeChannels && channelMode != kWriteBothChannels;
    range.sourceLayout = oneOfTwo ? 2 : 1;
    return writeSegmentFile(doc, fileName, range, smoothAmount);
}

} // namespace tolvane
