#include "slicing/SampleReplacement.h"

#include "slicing/PointEditing.h"

#include <algorithm>

namespace tolvane {

bool replaceSampleKeepingPoints(SampleDocument& doc, ReplacementSample&& sample) {
    const std::uint16_t oldChannels = doc.Channels;
    const bool wasSplit = doc.Channels == 2 && !doc.MergeChannels;
    const auto length = static_cast<std::int32_t>(sample.data.size());
    sample.data.resize(sample.data.size() + kSpareBytes, 0);
    doc.SampleData.assign(sample.data);
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
