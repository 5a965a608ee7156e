// The end-point smoother and the sample writer, checked with readers nobody here wrote.
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "processing/SegmentSeries.h"
#include "processing/TWaveSmoother.h"
#include "processing/WriteSampleFile.h"
#include "slicing/SliceSelection.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

SampleDocument documentOf(int channels, int frames, bool merged = true) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = static_cast<std::uint16_t>(channels);
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.MergeChannels = channels == 2 && merged;
    std::vector<std::int16_t> samples;
    for (int i = 0; i < frames * channels; ++i)
        samples.push_back(static_cast<std::int16_t>((i * 2654435761u) >> 20) - 2048);
    Bytes bytes = test::pcm16(samples);
    doc.DataLength = static_cast<std::int32_t>(bytes.size());
    bytes.resize(bytes.size() + kSpareBytes, 0);
    doc.SampleData.assign(std::move(bytes));
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    return doc;
}

Bytes smoothed(const SampleDocument& doc, std::uint32_t start, std::uint32_t n, int amount,
               int channels = 1) {
    TWaveSmoother s;
    s.source = doc.SampleData.data();
    s.sourceSize = doc.SampleData.size();
    s.start = start;
    s.length = n;
    s.outputChannels = channels;
    s.amount = amount;
    s.enabled = true;
    s.prepare();
    Bytes out(s.outputLength());
    std::size_t at = 0;
    while (std::size_t got = s.nextBlock(out.data() + at))
        at += got;
    EXPECT_EQ(at, out.size());
    return out;
}

// The smoother as it was first written: every output sample looked up on its own, with its
// bounds check. The block copies must give exactly these bytes.
struct SampleBySample {
    const TWaveSmoother& s;

    int sampleAt(std::uint32_t outputByte) const {
        const std::size_t at =
            s.start + static_cast<std::size_t>(outputByte / 2) * 2 * s.sourceLayout;
        if (at + 1 >= s.sourceSize)
            return 0;
        const std::uint8_t lo = s.source[at + (s.swapInput ? 1 : 0)];
        const std::uint8_t hi = s.source[at + (s.swapInput ? 0 : 1)];
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | hi << 8));
    }

    Bytes output() const {
        const auto even = [](double v) { return static_cast<std::uint32_t>(std::llrint(v)); };
        const std::uint32_t n = s.length;
        std::uint32_t splice = n;
        std::uint32_t extension = 0;
        if (s.enabled && s.amount > 0 && n >= 8) {
            const std::uint32_t window = 4 * (even(0.23 * n) / 4);
            std::uint32_t loudestAt = 0;
            int loudest = -1;
            for (std::uint32_t b = 0; b + 1 < window; b += 2)
                if (std::abs(sampleAt(n - window + b)) > loudest) {
                    loudest = std::abs(sampleAt(n - window + b));
                    loudestAt = b;
                }
            splice = n - (window - (loudestAt & ~3u));
            extension = 4 * (even((s.amount + 23) / 100.0 * n) / 4) - (loudestAt & ~3u);
        }
        Bytes out(splice + extension);
        const std::uint32_t frameBytes = 2 * s.outputChannels;
        for (std::uint32_t byte = 0; byte + 1 < out.size(); byte += 2) {
            int sample = 0;
            if (byte < splice) {
                sample = sampleAt(byte);
            } else {
                const std::uint32_t e = byte - splice;
                const std::uint32_t before = std::max<std::uint32_t>(splice / frameBytes, 1);
                const std::uint32_t step = (e / frameBytes) % (2 * before);
                const std::uint32_t from = step < before ? before - 1 - step : step - before;
                const double gain =
                    (extension / 2.0 - (e / frameBytes) * (frameBytes / 2)) / (extension / 2.0);
                sample = static_cast<int>(
                    std::clamp(std::nearbyint(sampleAt(from * frameBytes + e % frameBytes) * gain),
                               -32768.0, 32767.0));
            }
            const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample));
            out[byte + (s.swapOutput ? 1 : 0)] = static_cast<std::uint8_t>(value & 0xFF);
            out[byte + (s.swapOutput ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
        }
        return out;
    }
};

Bytes inBlocksOf(TWaveSmoother s, std::size_t blockSize) {
    s.blockSize = blockSize;
    s.prepare();
    Bytes out(s.outputLength() + 1);
    std::size_t at = 0;
    while (std::size_t got = s.nextBlock(out.data() + at))
        at += got;
    out.resize(at);
    return out;
}

// Mono, both channels of stereo and one channel of split stereo; unsmoothed and smoothed; either
// byte order in and out; segments that run past the end of the data; blocks that end inside
// a sample frame, at the splice point and far from it.
TEST(TWaveSmoother, BlockCopiesGiveTheBytesOfTheSampleBySampleSmoother) {
    const SampleDocument doc = documentOf(2, 30000);
    for (const int layout : {1, 2})
        for (const int channels : {1, 2})
            for (const int amount : {0, 30, 60})
                for (const std::uint32_t length : {0u, 6u, 4000u, 40002u, 119998u})
                    for (const std::uint32_t start : {0u, 2u, 100000u})
                        for (const int swap : {0, 1, 2, 3}) {
                            if (layout == 2 && channels == 2)
                                continue; // one channel of stereo is a mono output
                            TWaveSmoother s;
                            s.source = doc.SampleData.data();
                            // The source ends inside a sample, before samples that
                            // must not be read.
                            s.sourceSize = static_cast<std::size_t>(doc.DataLength) - 1001;
                            s.start = start;
                            s.length = length;
                            s.sourceLayout = layout;
                            s.outputChannels = channels;
                            s.amount = amount;
                            s.enabled = amount > 0;
                            s.swapInput = (swap & 1) != 0;
                            s.swapOutput = (swap & 2) != 0;
                            TWaveSmoother reference = s;
                            reference.prepare();
                            const Bytes expected = SampleBySample{reference}.output();
                            for (const std::size_t block :
                                 {std::size_t{6}, std::size_t{2048}, kSmootherBlockSize})
                                ASSERT_EQ(inBlocksOf(s, block), expected)
                                    << "layout " << layout << ", " << channels << " channels, "
                                    << amount << " %, " << length << " bytes from " << start
                                    << ", swap " << swap << ", blocks of " << block;
                        }
}

TEST(TWaveSmoother, OutputLengthFollowsTheAmount) {
    TWaveSmoother s;
    s.length = 10000;
    s.enabled = true;
    s.amount = 30;
    EXPECT_EQ(s.outputLength(), 13000u);
    s.amount = 0;
    EXPECT_EQ(s.outputLength(), 10000u);
    s.amount = 30;
    s.enabled = false;
    EXPECT_EQ(s.outputLength(), 10000u);
}

TEST(TWaveSmoother, WithoutSmoothingTheSegmentPassesUnchanged) {
    const SampleDocument doc = documentOf(1, 5000);
    const Bytes out = smoothed(doc, 100, 4000, 0);
    EXPECT_EQ(out, Bytes(doc.SampleData.data() + 100, doc.SampleData.data() + 4100));
}

TEST(TWaveSmoother, TheTailIsReadBackwardsFadingToSilence) {
    const SampleDocument doc = documentOf(1, 6000);
    const std::uint32_t n = 10000;
    const Bytes out = smoothed(doc, 0, n, 30);
    ASSERT_EQ(out.size(), 13000u);
    // Everything up to the tail window is a plain copy.
    const std::uint32_t window = 4 * (2300 / 4);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + (n - window), doc.SampleData.data()));
    // The last samples are nearly silent.
    const auto last = static_cast<std::int16_t>(out[out.size() - 2] | out[out.size() - 1] << 8);
    EXPECT_LT(std::abs(last), 100);
}

TEST(WriteSampleFile, TheNameChoosesTheLayoutAndIndependentReadersAgree) {
    TempDir dir;
    const SampleDocument doc = documentOf(2, 3000);
    WriteSampleFile(doc, dir.file("X.AIF"), 0, 12000, kWriteBothChannels);
    WriteSampleFile(doc, dir.file("x.aif.wav"), 0, 12000, kWriteBothChannels);
    const Bytes aiff = test::readBytes(dir.file("X.AIF"));
    EXPECT_EQ(std::string(aiff.begin(), aiff.begin() + 4), "FORM");
    EXPECT_EQ(aiff.size(), 54u + 12000);
    EXPECT_EQ(test::getBe32(aiff, 22), 12000u / 4) << "frames = L / (channels x 2)";
    const Bytes wave = test::readBytes(dir.file("x.aif.wav"));
    EXPECT_EQ(std::string(wave.begin(), wave.begin() + 4), "RIFF");
    EXPECT_EQ(test::getLe32(wave, 4), 12000u + 36);
    EXPECT_EQ(test::getLe32(wave, 40), 12000u);
    EXPECT_EQ(wave.size(), 44u + 12000);
    test::runOrFail("soxi " + test::shellQuote(dir.file("X.AIF")) + " > /dev/null");
    test::runOrFail("soxi " + test::shellQuote(dir.file("x.aif.wav")) + " > /dev/null");
    const Bytes expected(doc.SampleData.data(), doc.SampleData.data() + 12000);
    EXPECT_EQ(test::soxDecodeToRaw16(dir.file("X.AIF")), expected);
    EXPECT_EQ(test::soxDecodeToRaw16(dir.file("x.aif.wav")), expected);
}

TEST(WriteSampleFile, OneChannelOfSplitStereoBecomesAMonoFile) {
    TempDir dir;
    const SampleDocument doc = documentOf(2, 1000, false);
    WriteSampleFile(doc, dir.file("right.wav"), 2, 1000, kWriteOneChannel);
    SampleDocument read;
    loadSampleFile(read, dir.file("right.wav"));
    ASSERT_EQ(read.Channels, 1);
    ASSERT_EQ(read.DataLength, 1000);
    for (int k = 0; k < 500; ++k) {
        ASSERT_EQ(read.SampleData.data()[2 * k], doc.SampleData.data()[2 + 4 * k]) << k;
        ASSERT_EQ(read.SampleData.data()[2 * k + 1], doc.SampleData.data()[3 + 4 * k]) << k;
    }
}

TEST(WriteSampleFile, AFailedSaveKeepsTheFileItReplaces) {
    TempDir dir;
    const std::string path = dir.file("keep.wav");
    test::writeBytes(path, {'o', 'l', 'd'});
    const SampleDocument doc = documentOf(1, 20000);
    {
        const test::FileSizeLimit full(8192);
        EXPECT_ANY_THROW(WriteSampleFile(doc, path, 0, 40000, kWriteOneChannel));
    }
    EXPECT_EQ(test::readBytes(path), (Bytes{'o', 'l', 'd'}));
}

// Slice points at the given frames, in both channels of split stereo.
void sliceAtFrames(SampleDocument& doc, const std::vector<std::uint32_t>& frames) {
    const std::uint32_t frameBytes = 2u * doc.Channels;
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    int n = 0;
    for (const std::uint32_t frame : frames) {
        if (split)
            doc.CandidateTable[++n] = {frame * frameBytes, 100, 1, 0, kChannelLeftSplit, 0};
        doc.CandidateTable[++n] = {
            frame * frameBytes + (split ? 2u : 0u), 100, 1, 0, kChannelMonoOrRight, 0};
    }
    doc.CandidateCount = n;
    doc.candidateEndRecord() = {static_cast<std::uint32_t>(doc.DataLength), 0, 0, 0, 1, 0};
    doc.Threshold = 0;
    rebuildSliceTable(doc);
}

// Every file of a series holds the sample-by-sample smoother's bytes: mono, merged and split
// stereo, WAV and AIFF, smoothed and not.
TEST(SegmentSeries, FilesHoldTheSampleBySampleBytes) {
    for (const auto& [channels, merged] : {std::pair{1, true}, {2, true}, {2, false}}) {
        SampleDocument doc = documentOf(channels, 20000, merged);
        sliceAtFrames(doc, {2000, 8500, 15000});
        for (const std::string extension : {".wav", ".aif"})
            for (const int amount : {0, 30}) {
                TempDir dir;
                const bool aiff = extension == ".aif";
                std::vector<SeriesFile> files;
                writeSegmentSeries(doc, {dir.file("s"), extension}, amount,
                                   {{}, [&files](const SeriesFile& f) { files.push_back(f); }});
                ASSERT_EQ(files.size(), channels == 2 && !merged ? 8u : 4u);
                for (const SeriesFile& file : files) {
                    TWaveSmoother s = segmentSmoother(doc, file.segment, amount);
                    s.swapOutput = aiff;
                    const Bytes expected = SampleBySample{s}.output();
                    const Bytes written = test::readBytes(file.fileName);
                    const std::size_t header = aiff ? kAiffHeaderSize : kWaveHeaderSize;
                    ASSERT_EQ(
                        Bytes(written.begin() + static_cast<std::ptrdiff_t>(header), written.end()),
                        expected)
                        << file.fileName << ", " << amount << " %";
                }
            }
    }
}

} // namespace
} // namespace tolvane
