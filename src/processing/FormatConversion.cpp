#include "processing/FormatConversion.h"

#include "processing/ProcessedSamples.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace tolvane {
namespace {

void setChannels(SampleDocument& doc, std::uint16_t channels) {
    doc.Channels = channels;
    doc.BytesPerSecond = static_cast<std::uint32_t>(doc.frameBytes()) * doc.SampleRate;
}

// The old candidates name positions of the old format: the table is emptied and closed at the
// new end, and a full scan is pending to fill it again.
void startOverWithNewData(SampleDocument& doc) {
    doc.CandidateCount = 0;
    closeCandidateTable(doc);
    rebuildSliceTable(doc);
    doc.SelectedSegment = 1;
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    doc.KeepCandidates = false;
    doc.DetectPending = true;
}

int monoSample(const std::uint8_t* frame, MonoSource source) {
    switch (source) {
    case MonoSource::Left:
        return loadSample(frame);
    case MonoSource::Right:
        return loadSample(frame + 2);
    case MonoSource::Mix:
        break;
    }
    // Each half truncated toward zero: (-1, -1) gives 0, (-32768, -32768) gives -32768.
    return loadSample(frame) / 2 + loadSample(frame + 2) / 2;
}

} // namespace

void convertToMono(SampleDocument& doc, UndoRecord& undo, MonoSource source) {
    if (doc.Channels != 2)
        throw ProcessingRefused("the sample is already mono");
    recordWholeSample(undo, doc, kUndoWholeSample);
    // In place: the mono sample of frame i goes to byte 2i, never ahead of what is still read.
    std::uint8_t* data = doc.SampleData.data();
    const auto frames = static_cast<std::size_t>(doc.DataLength) / 4;
    for (std::size_t i = 0; i < frames; ++i)
        storeSample(data + 2 * i, monoSample(data + 4 * i, source));
    const std::size_t length = frames * 2;
    std::memset(data + length, 0, kSpareBytes);
    doc.SampleData.setSize(length + kSpareBytes);
    doc.DataLength = static_cast<std::int32_t>(length);
    setChannels(doc, 1);
    doc.MergeChannels = false;
    doc.FirstChannel = 1;
    doc.LastChannel = 1;
    startOverWithNewData(doc);
}

void convertToStereo(SampleDocument& doc, UndoRecord& undo) {
    if (doc.Channels != 1)
        throw ProcessingRefused("the sample is already stereo");
    const auto samples = static_cast<std::size_t>(doc.DataLength) / 2;
    if (samples * 4 > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw ProcessingRefused("the sample is too long to convert to stereo (" +
                                std::to_string(doc.DataLength) + " bytes)");
    recordWholeSample(undo, doc, kUndoWholeSample);
    ByteBuffer stereo(samples * 4 + kSpareBytes);
    const std::uint8_t* mono = doc.SampleData.data();
    for (std::size_t i = 0; i < samples; ++i) {
        std::memcpy(stereo.data() + 4 * i, mono + 2 * i, 2);
        std::memcpy(stereo.data() + 4 * i + 2, mono + 2 * i, 2);
    }
    std::fill(stereo.end() - kSpareBytes, stereo.end(), std::uint8_t{0});
    doc.SampleData.adopt(std::move(stereo));
    doc.DataLength = static_cast<std::int32_t>(samples * 4);
    setChannels(doc, 2);
    doc.MergeChannels = true;
    doc.FirstChannel = 1;
    doc.LastChannel = 2;
    startOverWithNewData(doc);
}

void changeSampleRate(SampleDocument& doc, UndoRecord& undo, std::uint32_t rate) {
    if (rate < kMinSampleRate || rate > kMaxSampleRate)
        throw ProcessingRefused("a sample rate is " + std::to_string(kMinSampleRate) + " to " +
                                std::to_string(kMaxSampleRate) + " Hz, not " +
                                std::to_string(rate));
    recordRateChange(undo, doc);
    doc.SampleRate = rate;
    doc.BytesPerSecond = static_cast<std::uint32_t>(doc.frameBytes()) * rate;
}

} // namespace tolvane
