// The scan against the plain, pass-by-pass reference on many generated signals.
#include "slicing/ReferenceScan.h"
#include "slicing/Signals.h"
#include "slicing/TransientScan.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace tolvane {
namespace {

void expectSameTables(const SampleDocument& actual, const SampleDocument& expected,
                      const std::string& what) {
    ASSERT_EQ(actual.CandidateCount, expected.CandidateCount) << what;
    EXPECT_EQ(actual.CandidateTable[0].Position, expected.CandidateTable[0].Position) << what;
    for (int i = 1; i <= actual.CandidateCount; ++i)
        ASSERT_EQ(actual.CandidateTable[i], expected.CandidateTable[i]) << what << ", record " << i;
    const int end = actual.CandidateCount + 1;
    EXPECT_EQ(actual.CandidateTable[end].Position, expected.CandidateTable[end].Position) << what;
}

struct Case {
    std::string name;
    int channels;
    std::uint32_t rate;
    std::vector<std::int16_t> samples;
};

std::vector<Case> generatedCases() {
    std::vector<Case> cases;
    for (int channels : {1, 2}) {
        for (std::uint32_t rate : {22050u, 44100u, 48000u}) {
            const std::string tag = std::to_string(channels) + "ch " + std::to_string(rate);
            const int frames = static_cast<int>(rate) * 3;
            for (unsigned seed = 1; seed <= 3; ++seed) {
                cases.push_back(
                    {"clicks " + tag + " seed " + std::to_string(seed), channels, rate,
                     test::denseClicks(frames, channels, seed * 31 + rate, 900 * seed)});
            }
            cases.push_back(
                {"noise " + tag, channels, rate, test::whiteNoise(frames, channels, rate, 20000)});
            cases.push_back({"quiet noise " + tag, channels, rate,
                             test::whiteNoise(frames, channels, rate + 1, 300)});
            cases.push_back(
                {"silence " + tag, channels, rate, std::vector<std::int16_t>(frames * channels)});
            cases.push_back(
                {"short " + tag, channels, rate, test::denseClicks(700, channels, 5, 100)});
            cases.push_back(
                {"tiny " + tag, channels, rate, test::whiteNoise(40, channels, 9, 30000)});
        }
    }
    return cases;
}

TEST(ScanEquivalence, FastPassesThreeAndFourMatchTheQuadraticRounds) {
    for (const Case& c : generatedCases()) {
        SampleDocument fast = test::documentWithSamples(c.channels, c.rate, c.samples);
        blockScan(fast, DetectorParameters{});
        SampleDocument literal = fast;

        const PassWindows windows = passWindowsForRate(c.rate);
        findQuietStarts(fast, windows);
        const QuietPairTrace trace = refineAndSettle(fast, windows);
        int level = 0, offset = 0;
        test::referencePasses2To4(literal, level, offset);

        expectSameTables(fast, literal, c.name);
        if (fast.CandidateCount > 0) {
            EXPECT_EQ(trace.level, level) << c.name;
            EXPECT_EQ(trace.offset, offset) << c.name;
        }
    }
}

TEST(ScanEquivalence, WholeScanMatchesTheReference) {
    for (const Case& c : generatedCases()) {
        for (int width : {kDefaultWaveformWidth, 100}) {
            SampleDocument scanned = test::documentWithSamples(c.channels, c.rate, c.samples);
            SampleDocument reference = scanned;
            const ScanReport report = scanTransients(scanned, ScanOptions{width});
            test::referenceScan(reference, width);
            EXPECT_TRUE(report.scanned);
            EXPECT_EQ(report.merged, c.channels == 2);
            expectSameTables(scanned, reference, c.name + " width " + std::to_string(width));
        }
    }
}

// Candidates left from before (the refine-only scan), anywhere in or beyond the data, in
// any order and on odd bytes, as a point file can leave them.
TEST(ScanEquivalence, RefineOnlyScanMatchesTheReferenceForArbitraryCandidates) {
    std::mt19937 random(99);
    for (int channels : {1, 2}) {
        for (int round = 0; round < 6; ++round) {
            const auto samples = test::denseClicks(60000, channels, 40 + round, 1500);
            SampleDocument scanned = test::documentWithSamples(channels, 44100, samples);
            scanned.MergeChannels = false;
            scanned.KeepCandidates = true;
            scanned.CandidateCount = 1 + static_cast<int>(random() % 300);
            for (int i = 1; i <= scanned.CandidateCount; ++i) {
                const auto position =
                    static_cast<std::uint32_t>(random() % (scanned.DataLength + 3000));
                scanned.CandidateTable[i] =
                    PointRecord{position, 0, 1, 0, std::uint8_t(1 + random() % 2), 0};
            }
            SampleDocument reference = scanned;
            scanTransients(scanned);
            test::referenceScan(reference, kDefaultWaveformWidth);
            expectSameTables(scanned, reference,
                             std::to_string(channels) + "ch round " + std::to_string(round));
            for (int i = 1; i <= scanned.CandidateCount; ++i)
                ASSERT_LT(scanned.CandidateTable[i].Position, std::uint32_t(scanned.DataLength))
                    << i;
        }
    }
}

} // namespace
} // namespace tolvane
