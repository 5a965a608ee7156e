#include "slicing/SampleReplacement.h"

#include "slicing/PointEditing.h"

#include <algorithm>

namespace tolvane {

bool replaceSampleKeepingPoints(SampleDocument& doc, const ReplacementSample& sample) {
    const std::uint16_t oldChannels = doc.Channels;
    const bool wasSplit = doc.Channels == 2 && !doc.MergeChannels;
    const auto length = static_cast<std::int32_t>(sample.data.size());
    // One copy into a buffer with room for the spare bytes, which are silence.
    ByteBuffer bytes(sample.data.size() + kSpareBytes);
    const auto spare = std::copy(sample.data.begin(), sample.data.end(), bytes.begin());
    std::fill(spare, bytes.end(), std::uint8_t{0});
    doc.SampleData.adopt(std::move(bytes));
    doc.DataLength = length;
    doc.Channels = sample.channels;
    doc.SampleRate = sample.rate;
    doc.BytesPerSecond = doc.Channels * 2 * doc.SampleRate;
    doc.LocatorR = static_cast<std::uint32_t>(length);
    doc.LocatorL = std::min(doc.LocatorL, doc.LocatorR);
    cutCandidatesToData(doc);
    if (oldChannels == doc.Channels)
        return false;
    adaptCandidatesToChannels(doc, wasSplit);
    doc.MergeChannels = doc.Channels == 2;
    doc.FirstChannel = 1;
    doc.LastChannel = doc.Channels == 2 ? 2 : 1;
    return true;
}

} // namespace tolvane
