// The end-point smoother and the sample writer, checked with readers nobody here wrote.
#include "fileio/SampleFileReader.h"
#include "processing/TWaveSmoother.h"
#include "processing/WriteSampleFile.h"
#include "support/TestFiles.h"

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

} // namespace
} // namespace tolvane
