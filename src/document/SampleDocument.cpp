#include "document/SampleDocument.h"

#include <algorithm>
#include <filesystem>

namespace tolvane {

void closeDocument(SampleDocument& doc) {
    const int last = std::clamp(doc.CandidateCount + 1, 0, kPointTableSize - 1);
    for (int i = 0; i <= last; ++i) {
        doc.CandidateTable[i].Enabled = 0;
        doc.CandidateTable[i].Locked = 0;
    }
    doc.DocumentOpen = false;
    doc.CandidateCount = 0;
    doc.SliceCount = 0;
    doc.FileName.clear();
    doc.SampleData.clear();
    doc.DataLength = 0;
    doc.ReadOnlyFile = false;
    doc.LoopTempo = 0.0;
}

bool hasFileOfItsOwn(const SampleDocument& doc) {
    if (doc.FileName.empty() || doc.FileName == kUntitledName)
        return false;
    const bool received =
        doc.FileDate == 0 && std::filesystem::path(doc.FileName).parent_path().empty();
    return !received;
}

void newEmptyDocument(SampleDocument& doc) {
    closeDocument(doc);
    doc.FileName = kUntitledName;
    doc.Channels = 1;
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = 44100 * 2;
    doc.DataLength = 2;
    doc.SampleData.setSize(static_cast<std::size_t>(doc.DataLength) + kSpareBytes);
    doc.CandidateCount = 1;
    doc.SliceCount = 1;
    // One disabled slot between well-formed start and end records; the pending scan replaces it.
    doc.CandidateTable[0] = PointRecord{0, 0, 0, 0, kChannelMonoOrRight, 0};
    doc.CandidateTable[1] = PointRecord{0, 0, 0, 0, kChannelMonoOrRight, 0};
    doc.CandidateTable[2] = PointRecord{2, 0, 0, 0, kChannelMonoOrRight, 0};
    doc.SliceTable[0] = doc.CandidateTable[0];
    doc.SliceTable[1] = doc.CandidateTable[1];
    doc.SliceTable[2] = doc.CandidateTable[2];
    doc.LocatorL = 0;
    doc.LocatorR = 2;
    doc.SelectedSegment = 1;
    doc.FirstChannel = 1;
    doc.LastChannel = 2;
    doc.MergeChannels = false;
    doc.Threshold = kThresholdAfterLoad;
    doc.DetectPending = true;
    doc.DocumentOpen = true;
}

void cutCandidatesToData(SampleDocument& doc) {
    const auto length = static_cast<std::uint32_t>(doc.DataLength);
    doc.CandidateCount = std::clamp(doc.CandidateCount, 0, kMaxCandidates);
    for (int i = 1; i <= doc.CandidateCount + 1; ++i) {
        if (doc.CandidateTable[i].Position > length) {
            doc.CandidateCount = i - 1;
            break;
        }
    }
    doc.CandidateTable[0].Position = 0;
    doc.candidateEndRecord().Position = length;
}

void chooseChannels(SampleDocument& doc, bool left, bool right) {
    if (!left && !right)
        left = right = true;
    doc.FirstChannel = left ? 1 : 2;
    doc.LastChannel = right ? 2 : 1;
}

std::string formatStatusText(std::uint16_t bits, std::uint32_t rate, std::uint16_t channels) {
    std::string text = std::to_string(bits) + " Bit / " + std::to_string(rate) + " hz";
    if (channels == 1)
        text += " mono";
    else if (channels == 2)
        text += " stereo";
    return text;
}

} // namespace tolvane
