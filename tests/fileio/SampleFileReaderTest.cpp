// Reading real files that other programs wrote: Debian's alsa-utils sounds and files that
// sox makes during the test. Every loaded sample is compared with sox's own decoding.
#include "fileio/SampleFileReader.h"

#include "fileio/TWavParser.h"
#include "fileio/WavParserErrors.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

Bytes loadedData(const SampleDocument& doc) {
    return Bytes(doc.SampleData.data(), doc.SampleData.data() + doc.DataLength);
}

void expectLoadsLikeSox(const std::string& path) {
    SampleDocument doc;
    ASSERT_NO_THROW(loadSampleFile(doc, path)) << path;
    EXPECT_EQ(doc.SampleData.size(), std::size_t(doc.DataLength) + kSpareBytes);
    EXPECT_EQ(loadedData(doc), test::soxDecodeToRaw16(path)) << path;
    for (std::size_t i = doc.DataLength; i < doc.SampleData.size(); ++i)
        ASSERT_EQ(doc.SampleData.data()[i], 0) << "spare byte " << i;
}

TEST(SampleFileReader, ReaderChoiceFollowsTheWavEnding) {
    EXPECT_TRUE(isWaveFileName("/a/b/loop.wav"));
    EXPECT_TRUE(isWaveFileName("LOOP.WAV"));
    EXPECT_TRUE(isWaveFileName("take.wave.wav"));
    EXPECT_FALSE(isWaveFileName("loop.aif"));
    EXPECT_FALSE(isWaveFileName("loop.aiff"));
    EXPECT_FALSE(isWaveFileName("loop.snd"));
    EXPECT_FALSE(isWaveFileName("loop.wav.aif"));
    EXPECT_FALSE(isWaveFileName("/music/wav/loop"));
}

TEST(SampleFileReader, AcceptsAndLoadsTheAlsaUtilsSounds) {
    const std::filesystem::path folder = "/usr/share/sounds/alsa";
    ASSERT_TRUE(std::filesystem::exists(folder))
        << "alsa-utils is missing: run scripts/install-deps";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".wav")
            continue;
        ++files;
        const AcceptanceReport report = testSampleFile(entry.path());
        ASSERT_EQ(report.result, Acceptance::Accepted) << entry.path() << ": " << report.error;
        EXPECT_EQ(report.info.format.channels, 1);
        EXPECT_EQ(report.info.format.samplesPerSec, 48000u);
        expectLoadsLikeSox(entry.path());
    }
    EXPECT_GE(files, 5);
}

struct AiffCase {
    int channels;
    int rate;
};

class SoxAiff : public testing::TestWithParam<AiffCase> {};

TEST_P(SoxAiff, LoadsLittleEndianSamplesAtTheRateOfTheExtendedField) {
    TempDir dir;
    const auto [channels, rate] = GetParam();
    const std::string path = dir.file("loop.aif");
    test::soxSynth(path,
                   "-r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16",
                   0.25, "sine 300 sine 2000");

    const AcceptanceReport report = testSampleFile(path);
    ASSERT_EQ(report.result, Acceptance::Accepted) << report.error;
    EXPECT_EQ(report.info.layout, FileLayout::Aiff);
    EXPECT_EQ(report.info.format.samplesPerSec, std::uint32_t(rate));
    EXPECT_EQ(report.info.format.channels, channels);
    EXPECT_EQ(report.info.format.avgBytesPerSec, std::uint32_t(rate * channels * 2));
    EXPECT_EQ(report.info.format.blockAlign, channels * 2);

    SampleDocument doc;
    loadSampleFile(doc, path);
    EXPECT_EQ(doc.SampleRate, std::uint32_t(rate));
    EXPECT_EQ(doc.Channels, channels);
    EXPECT_EQ(doc.DataLength, rate / 4 * channels * 2);
    expectLoadsLikeSox(path);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, SoxAiff,
                         testing::Values(AiffCase{1, 22050}, AiffCase{2, 22050}, AiffCase{1, 44100},
                                         AiffCase{2, 44100}, AiffCase{1, 48000},
                                         AiffCase{2, 48000}));

TEST(SampleFileReader, OtherEncodingsAreTheWrongFormat) {
    TempDir dir;
    const std::vector<std::string> encodings = {
        "-b 8 -e unsigned-integer", "-b 24 -e signed-integer", "-b 32 -e floating-point",
        "-e u-law", "-b 16 -c 4"};
    for (const std::string& encoding : encodings) {
        const std::string path = dir.file("other.wav");
        test::soxSynth(path, "-r 44100 " + encoding, 0.05);
        const AcceptanceReport report = testSampleFile(path);
        EXPECT_EQ(report.result, Acceptance::WrongFormat) << encoding << ": " << report.error;
        SampleDocument doc;
        EXPECT_THROW(loadSampleFile(doc, path), EWavParserError) << encoding;
        EXPECT_FALSE(doc.DocumentOpen);
        EXPECT_EQ(doc.DataLength, 0);
    }
}

TEST(SampleFileReader, ExtensibleSixteenBitPcmIsAccepted) {
    TempDir dir;
    const std::string source = dir.file("plain.wav");
    test::soxSynth(source, "-r 44100 -c 2 -b 16", 0.05);
    Bytes plain = test::readBytes(source);
    // Rewrite the 16-byte format record as a 40-byte WAVE_FORMAT_EXTENSIBLE one.
    const std::size_t fmt = test::findChunkOffset(plain, "fmt ", false);
    ASSERT_NE(fmt, std::string::npos);
    Bytes record(plain.begin() + fmt + 8, plain.begin() + fmt + 8 + 16);
    record[0] = 0xFE;
    record[1] = 0xFF;
    const Bytes tail = {22, 0, 16,   0, 3,    0, 0, 0,    1, 0,    0,    0,
                        0,  0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    record.insert(record.end(), tail.begin(), tail.end());
    const std::uint32_t oldSize = test::getLe32(plain, fmt + 4);
    plain.erase(plain.begin() + fmt, plain.begin() + fmt + 8 + oldSize + (oldSize & 1));
    test::insertChunk(plain, fmt, "fmt ", record, false);
    const std::string path = dir.file("extensible.wav");
    test::writeBytes(path, plain);

    EXPECT_EQ(testSampleFile(path).result, Acceptance::Accepted);
    expectLoadsLikeSox(path);
}

TEST(SampleFileReader, ChunksBeforeFmtAndDataAreSkipped) {
    TempDir dir;
    const std::string source = dir.file("source.wav");
    test::soxSynth(source, "-r 44100 -c 2 -b 16", 0.1);
    Bytes file = test::readBytes(source);
    const Bytes list = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5,
                        0,   0,   0,   'l', 'o', 'o', 'p', 0,   0};
    test::insertChunk(file, 12, "LIST", list, false);
    const Bytes cue(28, 0);
    test::insertChunk(file, test::findChunkOffset(file, "data", false), "cue ", cue, false);
    test::insertChunk(file, test::findChunkOffset(file, "data", false), "odd ", Bytes(3, 7), false);
    const std::string path = dir.file("chunks.wav");
    test::writeBytes(path, file);

    SampleDocument doc;
    loadSampleFile(doc, path);
    SampleDocument reference;
    loadSampleFile(reference, source);
    EXPECT_EQ(loadedData(doc), loadedData(reference));
    EXPECT_EQ(doc.DataLength, 4410 * 4);
}

TEST(SampleFileReader, OddDataLengthsKeepWholeFramesOnly) {
    TempDir dir;
    Bytes data(1001);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    for (std::uint16_t channels : {1, 2}) {
        const std::string path = dir.file("odd" + std::to_string(channels) + ".wav");
        test::writeBytes(path, test::waveImage(channels, 44100, data));
        SampleDocument doc;
        loadSampleFile(doc, path);
        EXPECT_EQ(doc.DataLength, 1000) << channels;
        EXPECT_EQ(loadedData(doc), Bytes(data.begin(), data.begin() + 1000));
    }
    // 4n + 2 bytes of stereo keep 4n.
    const std::string path = dir.file("stereo1002.wav");
    test::writeBytes(path, test::waveImage(2, 44100, Bytes(1002, 1)));
    SampleDocument doc;
    loadSampleFile(doc, path);
    EXPECT_EQ(doc.DataLength, 1000);
}

TEST(SampleFileReader, TruncatedDataChunkFillsOnlyWhatTheFileHolds) {
    TempDir dir;
    const std::string source = dir.file("whole.wav");
    test::soxSynth(source, "-r 44100 -c 1 -b 16", 0.1);
    Bytes file = test::readBytes(source);
    const std::size_t declared =
        test::getLe32(file, test::findChunkOffset(file, "data", false) + 4);
    const std::size_t cut = 3001; // leaves an odd number of data bytes in the file
    ASSERT_GT(declared, cut);
    file.resize(file.size() - cut);
    const std::string path = dir.file("truncated.wav");
    test::writeBytes(path, file);

    const AcceptanceReport report = testSampleFile(path);
    ASSERT_EQ(report.result, Acceptance::Accepted);
    EXPECT_EQ(report.info.dataLength, declared);
    SampleDocument doc;
    loadSampleFile(doc, path);
    EXPECT_EQ(doc.DataLength, std::int32_t(declared));
    SampleDocument whole;
    loadSampleFile(whole, source);
    const std::size_t held = declared - cut;
    EXPECT_TRUE(
        std::equal(doc.SampleData.data(), doc.SampleData.data() + held, whole.SampleData.data()));
    for (std::size_t i = held; i < declared; ++i)
        ASSERT_EQ(doc.SampleData.data()[i], 0) << "byte " << i << " beyond the file";
}

TEST(SampleFileReader, NamesChooseTheReader) {
    TempDir dir;
    const std::string wav = dir.file("loop.wav");
    test::soxSynth(wav, "-r 44100 -c 1 -b 16", 0.05);
    std::filesystem::copy_file(wav, dir.file("LOOP.WAV"));
    EXPECT_EQ(testSampleFile(dir.file("LOOP.WAV")).result, Acceptance::Accepted);
    // A WAVE file under an AIFF name is read as AIFF and so is unreadable.
    std::filesystem::copy_file(wav, dir.file("loop.aiff"));
    const AcceptanceReport misnamed = testSampleFile(dir.file("loop.aiff"));
    EXPECT_EQ(misnamed.result, Acceptance::Unreadable);
    EXPECT_EQ(misnamed.error, "Invalid WAV");

    const std::string aif = dir.file("loop.aif");
    test::soxSynth(aif, "-r 44100 -c 1 -b 16", 0.05);
    for (const char* name : {"loop.aiff", "loop.snd"}) {
        std::filesystem::copy_file(aif, dir.file(name),
                                   std::filesystem::copy_options::overwrite_existing);
        const AcceptanceReport report = testSampleFile(dir.file(name));
        EXPECT_EQ(report.result, Acceptance::Accepted) << name;
        EXPECT_EQ(report.info.layout, FileLayout::Aiff) << name;
    }
}

TEST(SampleFileReader, AiffOddSizedChunkBeforeSsndIsPadded) {
    TempDir dir;
    const std::string source = dir.file("source.aif");
    test::soxSynth(source, "-r 44100 -c 2 -b 16", 0.1);
    Bytes file = test::readBytes(source);
    test::insertChunk(file, test::findChunkOffset(file, "SSND", true), "NAME",
                      Bytes{'k', 'i', 'c', 'k', 's'}, true);
    const std::string path = dir.file("padded.aif");
    test::writeBytes(path, file);
    ASSERT_EQ(testSampleFile(path).result, Acceptance::Accepted);
    expectLoadsLikeSox(path);
}

TEST(SampleFileReader, AiffSoundDataBeforeCommonChunkIsFound) {
    TempDir dir;
    const std::string source = dir.file("source.aif");
    test::soxSynth(source, "-r 22050 -c 1 -b 16", 0.1);
    Bytes file = test::readBytes(source);
    const std::size_t comm = test::findChunkOffset(file, "COMM", true);
    const std::size_t commLength = 8 + test::getBe32(file, comm + 4);
    const Bytes commChunk(file.begin() + comm, file.begin() + comm + commLength);
    file.erase(file.begin() + comm, file.begin() + comm + commLength);
    file.insert(file.end(), commChunk.begin(), commChunk.end());
    const std::string path = dir.file("reordered.aif");
    test::writeBytes(path, file);
    ASSERT_EQ(testSampleFile(path).result, Acceptance::Accepted);
    expectLoadsLikeSox(path);
}

TEST(SampleFileReader, TheAiffSoundDataOffsetIsSkipped) {
    TempDir dir;
    const std::string source = dir.file("source.aiff");
    test::soxSynth(source, "-r 44100 -c 2 -b 16", 0.05, "sine 300 sine 700");
    const Bytes original = test::readBytes(source);
    const std::size_t ssnd = test::findChunkOffset(original, "SSND", true);
    for (std::uint32_t offset : {2u, 4u}) {
        // The same samples, `offset` bytes further on, with the offset field saying so.
        Bytes file = original;
        test::putBe32(file, ssnd + 8, offset);
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(ssnd + 16), offset, 0xEE);
        test::putBe32(file, ssnd + 4, test::getBe32(file, ssnd + 4) + offset);
        test::putBe32(file, 4, test::getBe32(file, 4) + offset);
        const std::string path = dir.file("offset" + std::to_string(offset) + ".aiff");
        test::writeBytes(path, file);
        SampleDocument doc;
        loadSampleFile(doc, path);
        EXPECT_EQ(loadedData(doc), test::soxDecodeToRaw16(source)) << "offset " << offset;
    }
}

TEST(SampleFileReader, RecordsTheReadOnlyAttribute) {
    TempDir dir;
    const std::string path = dir.file("ro.wav");
    test::writeBytes(path, test::waveImage(1, 44100, Bytes(100)));
    EXPECT_FALSE(testSampleFile(path).readOnly);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read);
    EXPECT_TRUE(testSampleFile(path).readOnly);
}

TEST(TWavParser, OperationsNeedAnOpenFile) {
    TWavParser parser;
    try {
        parser.rewind();
        FAIL() << "rewind without a file";
    } catch (const EWavParserError& e) {
        EXPECT_STREQ(e.what(), "No File to Process");
    }
    try {
        parser.open("/no/such/file.wav");
        FAIL() << "opened a missing file";
    } catch (const EWavParserError& e) {
        EXPECT_STREQ(e.what(), "Cannot change file position");
    }
}

TEST(TWavParser, MissingChunkRaisesChunkNotFound) {
    TempDir dir;
    const std::string path = dir.file("x.wav");
    test::writeBytes(path, test::waveImage(1, 44100, Bytes(10)));
    TWavParser parser;
    parser.open(path);
    const ChunkInfo riff = parser.findRiffChunk(makeFourCC("WAVE"));
    EXPECT_EQ(riff.dwDataOffset, 8u);
    parser.seek(riff.dwDataOffset + 4);
    try {
        parser.findChunk(makeFourCC("smpl"));
        FAIL();
    } catch (const EChunkNotFound& e) {
        EXPECT_STREQ(e.what(), "Chunk Not Found");
    }
    parser.seek(12);
    const ChunkInfo data = parser.findChunk(makeFourCC("data"));
    EXPECT_EQ(data.dwDataOffset, 44u);
    EXPECT_EQ(data.cksize, 10u);
}

} // namespace
} // namespace tolvane
