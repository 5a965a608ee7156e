#include "processing/LevelOperations.h"

#include "processing/ProcessedSamples.h"
#include "processing/ProcessingDocuments.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentOfSamples;
using test::samplesOf;

TEST(Normalise, AtOneHundredPercentEveryPeakLandsExactlyOnFullScale) {
    // The peak of every possible sample: a floating-point gain would miss one in seven (49
    // would give 32766).
    UndoRecord undo;
    undo.UndoEnabled = false;
    SampleDocument doc = documentOfSamples(1, false, {0, 0, 0});
    for (int peak = 1; peak <= 32767; ++peak) {
        storeSample(doc.SampleData.data() + 2, peak);
        storeSample(doc.SampleData.data() + 4, -peak / 3);
        normaliseSample(doc, undo, {100, false});
        const auto result = samplesOf(doc);
        ASSERT_EQ(result[1], 32767) << "peak " << peak;
        ASSERT_EQ(result[2], -static_cast<int>(std::int64_t(peak / 3) * 32767 / peak))
            << "the other samples truncate toward zero";
    }
}

TEST(Normalise, DcCenterRemovesTheMeanAndANegativePeakLandsOnMinusFullScale) {
    // Mean 10; distances 20, -30, 10: the peak is the negative one.
    SampleDocument doc = documentOfSamples(1, false, {30, -20, 20});
    UndoRecord undo;
    undo.UndoEnabled = false;
    normaliseSample(doc, undo, {100, true});
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{21844, -32767, 10922}));
    EXPECT_FALSE(doc.DetectPending) << "no audio moved: whether to find the points again is the "
                                       "caller's choice";

    // A fractional mean is exact too: mean 1/3, distances 2/3, -1/3, -1/3.
    SampleDocument third = documentOfSamples(1, false, {1, 0, 0});
    normaliseSample(third, undo, {50, true});
    EXPECT_EQ(samplesOf(third), (std::vector<std::int16_t>{16383, -8191, -8191}));
}

// A long sample takes its results from a table of the values it holds: the same exact ones.
TEST(Normalise, ALongSampleScalesEveryValueAsTheFormulaGives) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 3000; ++i)
        samples.push_back(static_cast<std::int16_t>(i % 61 - 20)); // -20 .. 40
    SampleDocument doc = documentOfSamples(1, false, samples);
    UndoRecord undo;
    normaliseSample(doc, undo, {75, true});
    std::int64_t sum = 0;
    for (const std::int16_t s : samples)
        sum += s;
    const std::int64_t n = static_cast<std::int64_t>(samples.size());
    const std::int64_t peak = std::max(std::abs(-20 * n - sum), std::abs(40 * n - sum));
    const auto result = samplesOf(doc);
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(result[i], (samples[i] * n - sum) * 32767 * 75 / (100 * peak)) << i;
}

TEST(Normalise, AboveOneHundredPercentClipsAndBelowScalesDown) {
    SampleDocument doc = documentOfSamples(1, false, {1000, 500, -1000});
    UndoRecord undo;
    undo.UndoEnabled = false;
    normaliseSample(doc, undo, {200, false});
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{32767, 32767, -32768}));
    SampleDocument half = documentOfSamples(1, false, {1000, 500, -1000});
    normaliseSample(half, undo, {50, false});
    EXPECT_EQ(samplesOf(half), (std::vector<std::int16_t>{16383, 8191, -16383}));
}

TEST(Normalise, ASilentSampleIsRefusedAndLeftAsItWas) {
    SampleDocument silent = documentOfSamples(2, true, {0, 0, 0, 0});
    SampleDocument constant = documentOfSamples(1, false, {300, 300, 300});
    UndoRecord undo;
    EXPECT_THROW(normaliseSample(silent, undo, {100, false}), ProcessingRefused);
    EXPECT_THROW(normaliseSample(constant, undo, {100, true}), ProcessingRefused)
        << "a constant sample has no distance from its mean";
    EXPECT_EQ(samplesOf(constant), (std::vector<std::int16_t>{300, 300, 300}));
    EXPECT_FALSE(undo.available) << "nothing was recorded";
    EXPECT_FALSE(constant.DetectPending);
}

TEST(Normalise, OneChosenChannelIsMeasuredAndScaledAloneAndUndoRestoresIt) {
    // Left 100, -50; right 1000, 7.
    SampleDocument doc = documentOfSamples(2, false, {100, 1000, -50, 7});
    chooseChannels(doc, true, false);
    test::expectUndoAndRedo(doc, [](SampleDocument& d, UndoRecord& u) {
        normaliseSample(d, u, {100, false});
    });
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{32767, 1000, -16383, 7}));
    chooseChannels(doc, false, true);
    UndoRecord undo;
    normaliseSample(doc, undo, {100, false});
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{32767, 32767, -16383, 229}));
}

TEST(Invert, EverySampleBecomesItsComplementAndTwiceRestoresIt) {
    const std::vector<std::int16_t> samples{0, 32767, -32768, 5, -1};
    SampleDocument doc = documentOfSamples(1, false, samples);
    test::expectUndoAndRedo(doc, [](SampleDocument& d, UndoRecord& u) { invertSample(d, u); });
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{-1, -32768, 32767, -6, 0}));
    UndoRecord undo;
    invertSample(doc, undo);
    EXPECT_EQ(samplesOf(doc), samples);
}

TEST(Invert, TheRightChannelAloneInMergedOrSplitStereo) {
    for (const bool merged : {true, false}) {
        SampleDocument doc = documentOfSamples(2, merged, {1, 2, 3, 4});
        chooseChannels(doc, false, true);
        UndoRecord undo;
        invertSample(doc, undo);
        EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{1, -3, 3, -5}));
    }
}

TEST(Quantise, KeepsTheTopBitsTowardZeroAndNothingAtZeroBits) {
    const std::vector<std::int16_t> samples{32767, -32768, 255, 256, -255, -257, 1000};
    SampleDocument doc = documentOfSamples(1, false, samples);
    test::expectUndoAndRedo(doc, [](SampleDocument& d, UndoRecord& u) { quantiseSample(d, u, 8); });
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{32512, -32768, 0, 256, 0, -256, 768}));

    SampleDocument silent = documentOfSamples(2, true, {32767, -32768, 5, -5});
    UndoRecord undo;
    quantiseSample(silent, undo, 0);
    EXPECT_EQ(samplesOf(silent), (std::vector<std::int16_t>{0, 0, 0, 0}));
}

TEST(LevelOperations, AFailedUndoRecordLeavesTheDataAsItWas) {
    SampleDocument doc = documentOfSamples(1, false, {1, 2, 3});
    UndoRecord broken;
    for (auto operation : {+[](SampleDocument&d, UndoRecord&u) { invertSample(d, u); },
                           +[](SampleDocument&d, UndoRecord&u) { quantiseSample(d, u, 1); },
                           +[](SampleDocument&d, UndoRecord&u) { normaliseSample(d, u, {}); }}) {
        const test::FileSizeLimit full(0); // the disk is full for the undo file
        EXPECT_THROW(operation(doc, broken), UndoFileError);
        EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{1, 2, 3}));
        EXPECT_FALSE(broken.available);
    }
}

} // namespace
} // namespace tolvane
