#include "processing/WriteSampleFile.h"

#include "fileio/WaveFileWriter.h"
#include "processing/TWaveSmoother.h"

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

std::uint32_t WriteSampleFile(const SampleDocument& doc, const std::string& fileName,
                              std::uint32_t start, std::uint32_t byteCount, int channelMode,
                              int smoothAmount) {
    TWaveSmoother smoother = smootherFor(byteCount, smoothAmount);
    smoother.source = doc.SampleData.data();
    smoother.sourceSize = doc.SampleData.size();
    smoother.start = start;
    // Both channels come interleaved as they are; one channel of split stereo is every second
    // sample from the start byte.
    const bool oneOfTwo =
        doc.Channels == 2 && !doc.MergeChannels && channelMode != kWriteBothChannels;
    smoother.sourceLayout = oneOfTwo ? 2 : 1;
    smoother.outputChannels = channelMode == kWriteBothChannels ? 2 : 1;
    smoother.prepare();
    const std::uint32_t length = smoother.outputLength();
    writeSampleStream(fileName, static_cast<std::uint16_t>(smoother.outputChannels), doc.SampleRate,
                      length, [&smoother](std::uint8_t* block, std::size_t capacity) {
                          smoother.blockSize = capacity;
                          return smoother.nextBlock(block);
                      });
    return length;
}

} // namespace tolvane
