#include "fileio/ConvertedSample.h"

#include "fileio/WavParserErrors.h"
#include "support/TestFiles.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

// The source's samples as 32-bit integers, decoded by sox without dither.
std::vector<std::int32_t> source32(const std::string& path) {
    const std::string raw = path + ".raw";
    test::runOrFail("sox -D " + test::shellQuote(path) + " -t raw -e signed-integer -b 32 -L " +
                    test::shellQuote(raw));
    const Bytes bytes = test::readBytes(raw);
    std::vector<std::int32_t> samples;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4)
        samples.push_back(static_cast<std::int32_t>(test::getLe32(bytes, i)));
    return samples;
}

std::vector<std::int16_t> documentSamples(const SampleDocument& doc) {
    return test::samples16(Bytes(doc.SampleData.data(), doc.SampleData.data() + doc.DataLength));
}

TEST(ConvertedSample, FineSourcesAreWithinOneStepOfTheirRoundingAndDithered) {
    TempDir dir;
    struct Source {
        const char* name;
        const char* format;
        const char* description;
        std::uint16_t channels;
    };
    for (const Source& source :
         {Source{"a.wav", "-b 24 -c 2", "24-bit", 2}, Source{"b.aif", "-b 24 -c 1", "24-bit", 1},
          Source{"c.wav", "-e floating-point -b 32 -c 1", "32-bit float", 1},
          Source{"d.wav", "-e floating-point -b 64 -c 2", "64-bit float", 2},
          Source{"e.flac", "-b 24 -c 2", "FLAC 24-bit", 2}}) {
        SCOPED_TRACE(source.name);
        const std::string path = dir.file(source.name);
        test::soxSynth(path, std::string(source.format) + " -r 48000", 0.25, "sine 300 vol 0.7");
        const ConvertibleReport report = convertibleFormat(path);
        ASSERT_TRUE(report.format) << report.refusal;
        EXPECT_EQ(report.format->description, source.description);
        EXPECT_EQ(conversionQuestion(*report.format),
                  std::string("This file is ") + source.description +
                      "; WaveTolvane edits 16-bit samples. Convert it?");
        SampleDocument doc;
        loadConvertedSample(doc, path);
        EXPECT_EQ(doc.Channels, source.channels);
        EXPECT_EQ(doc.SampleRate, 48000u);
        EXPECT_EQ(doc.BitsPerSample, 16);
        EXPECT_EQ(doc.BytesPerSecond, 48000u * 2 * source.channels);
        const std::vector<std::int32_t> expected = source32(path);
        const std::vector<std::int16_t> got = documentSamples(doc);
        ASSERT_EQ(got.size(), expected.size());
        long worst = 0;
        std::size_t offRounding = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const long rounded = std::lround(expected[i] / 65536.0);
            worst = std::max(worst, std::abs(got[i] - rounded));
            offRounding += got[i] != rounded;
        }
        EXPECT_LE(worst, 1);
        EXPECT_GT(offRounding, got.size() / 10) << "dithered, not merely rounded";

        SampleDocument again;
        loadConvertedSample(again, path);
        EXPECT_EQ(documentSamples(again), got) << "the same file converts to the same samples";
    }
}

TEST(ConvertedSample, EightBitAndFlac16ConvertExactly) {
    TempDir dir;
    for (const char* name : {"u8.wav", "s16.flac"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        test::soxSynth(path, std::string(name) == "u8.wav" ? "-b 8" : "-b 16", 0.1);
        SampleDocument doc;
        loadConvertedSample(doc, path);
        const std::vector<std::int32_t> expected = source32(path);
        const std::vector<std::int16_t> got = documentSamples(doc);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i] / 65536) << i;
    }
}

TEST(ConvertedSample, DamagedAndUnsuitableFilesAreClearErrors) {
    TempDir dir;
    const std::string flac = dir.file("whole.flac");
    test::soxSynth(flac, "-b 24", 1.0);
    Bytes cut = test::readBytes(flac);
    cut.resize(cut.size() / 2);
    test::writeBytes(dir.file("cut.flac"), cut);
    SampleDocument doc;
    try {
        loadConvertedSample(doc, dir.file("cut.flac"));
        ADD_FAILURE() << "a FLAC cut in half loaded";
    } catch (const EWavParserError& e) {
        EXPECT_NE(std::string(e.what()).find("FLAC 24-bit data is damaged"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(doc.DocumentOpen);
    EXPECT_EQ(doc.DataLength, 0);

    test::soxSynth(dir.file("four.wav"), "-b 24 -c 4", 0.1);
    EXPECT_EQ(convertibleFormat(dir.file("four.wav")).refusal,
              "the file has 4 channels; the program edits mono and stereo samples");
    test::writeBytes(dir.file("noise.flac"), Bytes(500, 0x3C));
    EXPECT_FALSE(convertibleFormat(dir.file("noise.flac")).format);
    EXPECT_THROW(loadConvertedSample(doc, dir.file("noise.flac")), EWavParserError);

    // A FIFO is never opened (it would wait for a writer).
    ASSERT_TRUE(test::makeNode(dir.file("fifo.flac"), test::NodeKind::Fifo));
    EXPECT_FALSE(convertibleFormat(dir.file("fifo.flac")).format);
}

TEST(ConvertedSample, TheDocumentHasNoFileToSaveTo) {
    TempDir dir;
    const std::string path = dir.file("loop24.wav");
    test::soxSynth(path, "-b 24", 0.1);
    SampleDocument converted;
    loadConvertedSample(converted, path);
    SampleDocument doc;
    adoptConvertedSample(doc, std::move(converted), path);
    EXPECT_TRUE(doc.DocumentOpen);
    EXPECT_EQ(doc.FileName, "loop24.wav");
    EXPECT_EQ(doc.FileDate, 0);
    EXPECT_TRUE(doc.DetectPending);
}

} // namespace
} // namespace tolvane
