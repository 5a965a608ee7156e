#include "processing/FormatConversion.h"

#include "processing/ProcessedSamples.h"
#include "processing/ProcessingDocuments.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentOfSamples;
using test::samplesOf;

const std::vector<std::int16_t> kFrames{-32768, -32768, -1, -1, 1, 1, 7, -3, 32767, 32767};

TEST(ConvertChannels, MixingTruncatesEachHalfTowardZero) {
    SampleDocument doc = documentOfSamples(2, true, kFrames, {{8, 9, 1, 0, 1, 0}});
    UndoRecord undo;
    convertToMono(doc, undo, MonoSource::Mix);
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{-32768, 0, 0, 2, 32766}));
    EXPECT_EQ(doc.Channels, 1);
    EXPECT_EQ(doc.DataLength, 10);
    EXPECT_EQ(doc.SampleData.size(), 10u + kSpareBytes);
    EXPECT_EQ(doc.BytesPerSecond, 88200u);
    EXPECT_FALSE(doc.MergeChannels);
    EXPECT_EQ(doc.FirstChannel, 1);
    EXPECT_EQ(doc.LastChannel, 1);
    EXPECT_EQ(doc.LocatorR, 10u);
    EXPECT_EQ(doc.CandidateCount, 0) << "the old positions belong to the stereo data";
    EXPECT_EQ(doc.candidateEndRecord().Position, 10u);
    EXPECT_TRUE(doc.DetectPending);
    EXPECT_FALSE(doc.KeepCandidates);
}

TEST(ConvertChannels, LeftOrRightTakesThatSampleOfEachFrame) {
    SampleDocument left = documentOfSamples(2, false, kFrames);
    UndoRecord undo;
    convertToMono(left, undo, MonoSource::Left);
    EXPECT_EQ(samplesOf(left), (std::vector<std::int16_t>{-32768, -1, 1, 7, 32767}));
    SampleDocument right = documentOfSamples(2, false, kFrames);
    convertToMono(right, undo, MonoSource::Right);
    EXPECT_EQ(samplesOf(right), (std::vector<std::int16_t>{-32768, -1, 1, -3, 32767}));
}

TEST(ConvertChannels, MonoToStereoAndBackWithTheLeftChannelGivesTheSameData) {
    const std::vector<std::int16_t> samples{5, -6, 32767, -32768};
    SampleDocument doc = documentOfSamples(1, false, samples);
    UndoRecord undo;
    convertToStereo(doc, undo);
    EXPECT_EQ(samplesOf(doc),
              (std::vector<std::int16_t>{5, 5, -6, -6, 32767, 32767, -32768, -32768}));
    EXPECT_EQ(doc.Channels, 2);
    EXPECT_EQ(doc.BytesPerSecond, 176400u);
    EXPECT_TRUE(doc.MergeChannels);
    EXPECT_EQ(doc.LastChannel, 2);
    EXPECT_EQ(doc.SampleData.data()[doc.DataLength + kSpareBytes - 1], 0) << "spare bytes zero";
    convertToMono(doc, undo, MonoSource::Left);
    EXPECT_EQ(samplesOf(doc), samples);
}

// Undo gives the old format back with the data: stereo in its channel mode with its points,
// mono from stereo; redo converts again.
TEST(ConvertChannels, UndoRestoresTheFormatTheBytesAndThePoints) {
    for (const bool merged : {true, false}) {
        SampleDocument stereo = documentOfSamples(
            2, merged, kFrames, {{8, 9, 1, 0, merged ? std::uint8_t{1} : std::uint8_t{2}, 0}});
        test::expectUndoAndRedo(stereo, [](SampleDocument& d, UndoRecord& u) {
            convertToMono(d, u, MonoSource::Right);
        });
    }
    SampleDocument mono = documentOfSamples(1, false, {1, 2, 3}, {{2, 9, 1, 0, 1, 0}});
    test::expectUndoAndRedo(mono, [](SampleDocument& d, UndoRecord& u) { convertToStereo(d, u); });
}

TEST(AdjustSampleRate, OnlyTheRateChangesAndUndoExchangesIt) {
    SampleDocument doc = documentOfSamples(2, true, kFrames);
    const auto before = samplesOf(doc);
    UndoRecord undo;
    changeSampleRate(doc, undo, 22050);
    EXPECT_EQ(doc.SampleRate, 22050u);
    EXPECT_EQ(doc.BytesPerSecond, 88200u);
    EXPECT_EQ(samplesOf(doc), before) << "no resampling";
    EXPECT_EQ(undo.UndoKind, kUndoRateChange);
    undoClick(undo, doc, true);
    EXPECT_EQ(doc.SampleRate, 44100u);
    EXPECT_EQ(doc.BytesPerSecond, 176400u);
    undoClick(undo, doc, true);
    EXPECT_EQ(doc.SampleRate, 22050u);

    EXPECT_THROW(changeSampleRate(doc, undo, 0), ProcessingRefused);
    EXPECT_THROW(changeSampleRate(doc, undo, kMaxSampleRate + 1), ProcessingRefused);
    EXPECT_EQ(doc.SampleRate, 22050u);
}

} // namespace
} // namespace tolvane
