#include "processing/SegmentOperations.h"

#include "fileio/SampleFileReader.h"
#include "processing/ProcessingDocuments.h"
#include "processing/WriteSampleFile.h"
#include "support/TestFiles.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>

namespace tolvane {
namespace {

using test::documentOfSamples;
using test::samplesOf;

std::vector<std::int16_t> counting(std::size_t n, int from = 1) {
    std::vector<std::int16_t> samples(n);
    std::iota(samples.begin(), samples.end(), static_cast<std::int16_t>(from));
    return samples;
}

TEST(ReverseSegment, MonoSamplesAndMergedFramesInReverseOrderWithUndo) {
    SampleDocument mono = documentOfSamples(1, false, counting(6));
    test::expectUndoAndRedo(mono, [](SampleDocument& d, UndoRecord& u) {
        reverseSegment(d, u, 2, 10, kChannelMonoOrRight);
    });
    EXPECT_EQ(samplesOf(mono), (std::vector<std::int16_t>{1, 5, 4, 3, 2, 6}));

    // A two-frame stereo segment swaps its frames; a one-frame one stays.
    SampleDocument merged = documentOfSamples(2, true, counting(8));
    test::expectUndoAndRedo(merged, [](SampleDocument& d, UndoRecord& u) {
        reverseSegment(d, u, 4, 12, kChannelMonoOrRight);
    });
    EXPECT_EQ(samplesOf(merged), (std::vector<std::int16_t>{1, 2, 5, 6, 3, 4, 7, 8}));
    UndoRecord undo;
    reverseSegment(merged, undo, 0, 4, kChannelMonoOrRight);
    EXPECT_EQ(samplesOf(merged), (std::vector<std::int16_t>{1, 2, 5, 6, 3, 4, 7, 8}));
}

// The right channel's first segment starts at the start record (0), which is a left sample:
// the segment is the right samples from 2, and an even count of them reverses exactly.
TEST(ReverseSegment, SplitStereoReversesOnlyTheSegmentsChannelEvenFromTheStartRecord) {
    for (const int rightSamples : {4, 5}) {
        SampleDocument doc = documentOfSamples(2, false, counting(2 * (rightSamples + 2)));
        const auto end = static_cast<std::uint32_t>(4 * rightSamples + 2);
        UndoRecord undo;
        reverseSegment(doc, undo, 0, end, kChannelMonoOrRight);
        const auto result = samplesOf(doc);
        for (int i = 0; i < rightSamples + 2; ++i) {
            EXPECT_EQ(result[2 * i], 2 * i + 1) << "left sample " << i << " is untouched";
            const int expected = i < rightSamples ? 2 * (rightSamples - 1 - i) + 2 : 2 * i + 2;
            EXPECT_EQ(result[2 * i + 1], expected) << "right sample " << i;
        }
    }
    SampleDocument left = documentOfSamples(2, false, counting(8));
    test::expectUndoAndRedo(left, [](SampleDocument& d, UndoRecord& u) {
        reverseSegment(d, u, 0, 16, kChannelLeftSplit);
    });
    EXPECT_EQ(samplesOf(left), (std::vector<std::int16_t>{7, 2, 5, 4, 3, 6, 1, 8}));
}

// A whole sample reversed as one segment, written by the sample writer, against sox's reverse:
// frames in merged stereo, samples in mono, one channel in split stereo.
TEST(ReverseSegment, AWholeSampleAgreesWithSoxReverse) {
    if (!test::haveProgram("sox"))
        GTEST_SKIP() << "sox is not installed (scripts/install-deps)";
    test::TempDir dir;
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 4001; ++i)
        samples.push_back(static_cast<std::int16_t>((i * 7919) % 60000 - 30000));
    const auto sox = [&dir](const std::string& in, const std::string& effects) {
        const std::string out = dir.file("sox.wav");
        test::runOrFail("sox -D " + test::shellQuote(in) + " " + test::shellQuote(out) + " " +
                        effects);
        return test::samples16(test::soxDecodeToRaw16(out));
    };
    const auto reversed = [&dir](const std::string& in, bool merged, std::uint8_t channel) {
        SampleDocument doc;
        openSampleDocument(doc, in);
        doc.MergeChannels = merged;
        UndoRecord undo;
        reverseSegment(doc, undo, 0, static_cast<std::uint32_t>(doc.DataLength), channel);
        const std::string out = dir.file("ours.wav");
        WriteSampleFile(doc, out, 0, static_cast<std::uint32_t>(doc.DataLength),
                        doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel);
        return test::samples16(test::soxDecodeToRaw16(out));
    };
    const std::string mono = dir.file("mono.wav");
    test::writeBytes(mono, test::waveImage(1, 44100, test::pcm16(samples)));
    EXPECT_EQ(reversed(mono, false, kChannelMonoOrRight), sox(mono, "reverse"));

    samples.pop_back();
    const std::string stereo = dir.file("stereo.wav");
    test::writeBytes(stereo, test::waveImage(2, 44100, test::pcm16(samples)));
    EXPECT_EQ(reversed(stereo, true, kChannelMonoOrRight), sox(stereo, "reverse"));
    const auto split = reversed(stereo, false, kChannelLeftSplit);
    std::vector<std::int16_t> left, right;
    for (std::size_t i = 0; i < split.size(); i += 2) {
        left.push_back(split[i]);
        right.push_back(split[i + 1]);
    }
    EXPECT_EQ(left, sox(stereo, "remix 1 reverse"));
    EXPECT_EQ(right, sox(stereo, "remix 2")) << "the other channel stays";
}

TEST(SilenceSegment, TheFirstSegmentIsZeroedWithoutAFade) {
    SampleDocument doc = documentOfSamples(1, false, std::vector<std::int16_t>(300, 1000));
    test::expectUndoAndRedo(doc, [](SampleDocument& d, UndoRecord& u) {
        silenceSegment(d, u, 0, 400, kChannelMonoOrRight);
    });
    const auto result = samplesOf(doc);
    EXPECT_EQ(std::count(result.begin(), result.begin() + 200, 0), 200);
    EXPECT_EQ(std::count(result.begin() + 200, result.end(), 1000), 100);
}

// The 250 frames before a later segment fall from their level (the earliest) to 0 (the
// last), each multiplied by (249 - i) / 249 and rounded.
TEST(SilenceSegment, TheQuarterThousandFramesBeforeALaterSegmentFadeOut) {
    SampleDocument mono = documentOfSamples(1, false, std::vector<std::int16_t>(500, -1000));
    test::expectUndoAndRedo(mono, [](SampleDocument& d, UndoRecord& u) {
        silenceSegment(d, u, 600, 800, kChannelMonoOrRight);
    });
    auto result = samplesOf(mono);
    EXPECT_EQ(result[49], -1000) << "before the fade";
    EXPECT_EQ(result[50], -1000) << "the fade's first frame keeps its level";
    EXPECT_EQ(result[51], -996) << "-1000 * 248 / 249 = -995.98";
    EXPECT_EQ(result[174], static_cast<int>(std::lround(-1000.0 * 125 / 249)));
    EXPECT_EQ(result[299], 0) << "the last frame before the silence";
    EXPECT_EQ(result[300], 0);
    EXPECT_EQ(result[399], 0);
    EXPECT_EQ(result[400], -1000) << "after the segment";

    // Merged stereo fades both samples of each frame; split stereo only the segment's channel.
    SampleDocument merged = documentOfSamples(2, true, std::vector<std::int16_t>(1000, 500));
    UndoRecord undo;
    silenceSegment(merged, undo, 1200, 1600, kChannelMonoOrRight);
    result = samplesOf(merged);
    EXPECT_EQ(result[2 * 50], 500);
    EXPECT_EQ(result[2 * 51], 498);
    EXPECT_EQ(result[2 * 51 + 1], 498);
    EXPECT_EQ(result[2 * 299 + 1], 0);
    EXPECT_EQ(result[2 * 400], 500);

    SampleDocument split = documentOfSamples(2, false, std::vector<std::int16_t>(1000, 500));
    test::expectUndoAndRedo(split, [](SampleDocument& d, UndoRecord& u) {
        silenceSegment(d, u, 1202, 1602, kChannelMonoOrRight);
    });
    result = samplesOf(split);
    for (int frame = 0; frame < 500; ++frame)
        ASSERT_EQ(result[2 * frame], 500) << "the left channel is untouched, frame " << frame;
    EXPECT_EQ(result[2 * 51 + 1], 498);
    EXPECT_EQ(result[2 * 300 + 1], 0);
    EXPECT_EQ(result[2 * 399 + 1], 0);
    EXPECT_EQ(result[2 * 400 + 1], 500);
}

TEST(SegmentOperations, AnEmptySegmentRecordsAndChangesNothing) {
    SampleDocument doc = documentOfSamples(1, false, {1, 2, 3});
    UndoRecord undo;
    silenceSegment(doc, undo, 4, 4, kChannelMonoOrRight);
    reverseSegment(doc, undo, 6, 2, kChannelMonoOrRight);
    EXPECT_FALSE(undo.available);
    EXPECT_EQ(samplesOf(doc), (std::vector<std::int16_t>{1, 2, 3}));
}

} // namespace
} // namespace tolvane
