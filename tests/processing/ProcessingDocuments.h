#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "slicing/SliceSelection.h"

#include <gtest/gtest.h>
#include <vector>

namespace tolvane::test {

// An open 44100 Hz document of the given 16-bit samples (interleaved for stereo), both
// channels chosen, with the given candidates as slice points and the locators at the ends.
inline SampleDocument documentOfSamples(std::uint16_t channels, bool merged,
                                        const std::vector<std::int16_t>& samples,
                                        const std::vector<PointRecord>& points = {}) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = channels;
    doc.MergeChannels = merged && channels == 2;
    doc.BitsPerSample = 16;
    doc.SampleRate = 44100;
    doc.BytesPerSecond = 44100u * 2 * channels;
    doc.DataLength = static_cast<std::int32_t>(samples.size() * 2);
    doc.SampleData.setSize(samples.size() * 2 + kSpareBytes);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        doc.SampleData.data()[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
        doc.SampleData.data()[2 * i + 1] = static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF);
    }
    doc.CandidateCount = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        doc.CandidateTable[i + 1] = points[i];
    doc.candidateEndRecord() =
        PointRecord{static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, 1, 0};
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    return doc;
}

inline std::vector<std::int16_t> samplesOf(const SampleDocument& doc) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(doc.DataLength) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(doc.SampleData.data()[2 * i] |
                                               doc.SampleData.data()[2 * i + 1] << 8);
    return samples;
}

// Everything an undo must give back: the bytes with their spare zeros, the format, the
// channel mode and the candidates.
struct DocumentState {
    std::vector<std::uint8_t> bytes;
    std::int32_t length;
    std::uint16_t channels;
    std::uint32_t rate;
    std::uint32_t bytesPerSecond;
    bool merged;
    std::vector<PointRecord> candidates; // start record to end record

    explicit DocumentState(const SampleDocument& doc)
        : bytes(doc.SampleData.data(), doc.SampleData.data() + doc.SampleData.size()),
          length(doc.DataLength), channels(doc.Channels), rate(doc.SampleRate),
          bytesPerSecond(doc.BytesPerSecond), merged(doc.MergeChannels),
          candidates(doc.CandidateTable.begin(),
                     doc.CandidateTable.begin() + doc.CandidateCount + 2) {}
    friend bool operator==(const DocumentState&, const DocumentState&) = default;
};

// Undo gives the state before the operation back byte for byte; redo the state after it.
template <typename Operation> void expectUndoAndRedo(SampleDocument& doc, Operation operation) {
    UndoRecord undo;
    const DocumentState before(doc);
    operation(doc, undo);
    const DocumentState after(doc);
    ASSERT_TRUE(undo.available);
    undoClick(undo, doc, true);
    EXPECT_TRUE(DocumentState(doc) == before) << "undo restores every byte, point and the format";
    undoClick(undo, doc, true);
    EXPECT_TRUE(DocumentState(doc) == after) << "redo brings the operation back";
}

} // namespace tolvane::test
