// Broken headers must end in "unreadable" (or "wrong format"), never in a crash or a read
// outside a buffer; a failed load leaves the document as it was.
#include "fileio/SampleFileReader.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes aiffImage(std::uint16_t channels, std::uint16_t bits, const Bytes& rate80,
                const Bytes& samples) {
    Bytes b = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F'};
    // Each chunk's data is sized at once (GCC 12 at -O3 sees a false overflow in growing it).
    Bytes comm(8 + rate80.size(), 0);
    comm[1] = std::uint8_t(channels);
    comm[5] = 1;
    comm[7] = std::uint8_t(bits);
    std::copy(rate80.begin(), rate80.end(), comm.begin() + 8);
    test::insertChunk(b, b.size(), "COMM", comm, true);
    Bytes ssnd(8 + samples.size(), 0);
    std::copy(samples.begin(), samples.end(), ssnd.begin() + 8);
    test::insertChunk(b, b.size(), "SSND", ssnd, true);
    return b;
}

const Bytes kRate44100 = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};

Acceptance acceptanceOf(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    test::writeBytes(path, bytes);
    return testSampleFile(path).result;
}

TEST(MalformedFile, BrokenWaveHeadersAreUnreadable) {
    TempDir dir;
    const Bytes valid = test::waveImage(2, 44100, Bytes(400, 3));
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.emplace_back("empty", Bytes{});
    cases.emplace_back("riff only", text("RIFF"));
    cases.emplace_back("not wave", [&] {
        Bytes b = valid;
        std::copy_n("AVI ", 4, b.begin() + 8);
        return b;
    }());
    cases.emplace_back("no fmt", [&] {
        Bytes b = valid;
        std::copy_n("junk", 4, b.begin() + 12);
        return b;
    }());
    cases.emplace_back("short fmt", [&] {
        Bytes b = valid;
        test::putLe32(b, 16, 4);
        return b;
    }());
    cases.emplace_back("huge fmt", [&] {
        Bytes b = valid;
        test::putLe32(b, 16, 0xFFFFFFFF);
        return b;
    }());
    cases.emplace_back("no data", Bytes(valid.begin(), valid.begin() + 36));
    cases.emplace_back("data too large", [&] {
        Bytes b = valid;
        test::putLe32(b, 40, 0xFFFFFFF0);
        return b;
    }());
    for (const auto& [what, bytes] : cases)
        EXPECT_EQ(acceptanceOf(dir, "broken.wav", bytes), Acceptance::Unreadable) << what;
}

TEST(MalformedFile, BrokenAiffHeadersAreUnreadable) {
    TempDir dir;
    const Bytes valid = aiffImage(1, 16, kRate44100, Bytes(200, 1));
    ASSERT_EQ(acceptanceOf(dir, "valid.aif", valid), Acceptance::Accepted);
    std::vector<std::pair<std::string, Bytes>> cases;
    cases.emplace_back("form only", Bytes(valid.begin(), valid.begin() + 12));
    cases.emplace_back("aifc", [&] {
        Bytes b = valid;
        std::copy_n("AIFC", 4, b.begin() + 8);
        return b;
    }());
    cases.emplace_back("short comm", [&] {
        Bytes b = valid;
        test::putBe32(b, 16, 10);
        return b;
    }());
    cases.emplace_back("nan rate",
                       aiffImage(1, 16, {0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0}, Bytes(4)));
    cases.emplace_back("huge rate",
                       aiffImage(1, 16, {0x43, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, Bytes(4)));
    cases.emplace_back("negative rate",
                       aiffImage(1, 16, {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, Bytes(4)));
    cases.emplace_back("no ssnd", Bytes(valid.begin(), valid.begin() + 12 + 8 + 18));
    cases.emplace_back("short ssnd", [&] {
        Bytes b = valid;
        test::putBe32(b, test::findChunkOffset(b, "SSND", true) + 4, 4);
        return b;
    }());
    for (const auto& [what, bytes] : cases)
        EXPECT_EQ(acceptanceOf(dir, "broken.aif", bytes), Acceptance::Unreadable) << what;
}

TEST(MalformedFile, UnusableFormatsAreTheWrongFormat) {
    TempDir dir;
    EXPECT_EQ(acceptanceOf(dir, "zero-rate.wav", test::waveImage(1, 0, Bytes(10))),
              Acceptance::WrongFormat);
    EXPECT_EQ(acceptanceOf(dir, "no-channels.wav", test::waveImage(0, 44100, Bytes(10))),
              Acceptance::WrongFormat);
    EXPECT_EQ(acceptanceOf(dir, "three.wav", test::waveImage(3, 44100, Bytes(12))),
              Acceptance::WrongFormat);
    EXPECT_EQ(acceptanceOf(dir, "adpcm.wav", test::waveImage(1, 44100, Bytes(10), 2)),
              Acceptance::WrongFormat);
    EXPECT_EQ(acceptanceOf(dir, "eight.aif", aiffImage(1, 8, kRate44100, Bytes(10))),
              Acceptance::WrongFormat);
    EXPECT_EQ(acceptanceOf(dir, "zero-rate.aif", aiffImage(1, 16, Bytes(10, 0), Bytes(10))),
              Acceptance::WrongFormat);
}

// Writes `head` at the start of a sparse file and `tail` at `tailOffset` (past 4 GiB).
void writeSparseFile(const std::string& path, const Bytes& head, std::uint64_t tailOffset,
                     const Bytes& tail) {
    test::writeBytes(path, head);
    std::filesystem::resize_file(path, tailOffset);
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(tail.data()),
              static_cast<std::streamsize>(tail.size()));
    ASSERT_TRUE(out.good());
}

// A chunk header followed by its data, as one block.
Bytes chunkTail(const std::string& id, const Bytes& sizeBytes, const Bytes& data) {
    Bytes tail(id.size() + sizeBytes.size() + data.size());
    std::copy(id.begin(), id.end(), tail.begin());
    std::copy(sizeBytes.begin(), sizeBytes.end(), tail.begin() + 4);
    std::copy(data.begin(), data.end(),
              tail.begin() + 4 + static_cast<std::ptrdiff_t>(sizeBytes.size()));
    return tail;
}

// A chunk whose data begins past 4 GiB has no 32-bit offset; cut to 32 bits it would point
// back to the start of the file and load the header as samples.
TEST(MalformedFile, ChunksBeyondFourGigabytesAreNotFound) {
    TempDir dir;
    constexpr std::uint32_t kHugeChunk = 0xFFFFFFF0;
    const Bytes samples = test::pcm16({7, 7});

    Bytes wave = test::waveImage(1, 44100, Bytes{});
    wave.resize(36); // RIFF header and "fmt "
    test::insertChunk(wave, 36, "junk", Bytes{}, false);
    test::putLe32(wave, 40, kHugeChunk);
    const std::string wavePath = dir.file("far.wav");
    writeSparseFile(wavePath, wave, 44 + std::uint64_t{kHugeChunk},
                    chunkTail("data", {4, 0, 0, 0}, samples));
    EXPECT_EQ(testSampleFile(wavePath).result, Acceptance::Unreadable);

    Bytes aiff = aiffImage(1, 16, kRate44100, Bytes{});
    aiff.resize(test::findChunkOffset(aiff, "SSND", true));
    const std::size_t junk = aiff.size();
    test::insertChunk(aiff, junk, "junk", Bytes{}, true);
    test::putBe32(aiff, junk + 4, kHugeChunk);
    Bytes fields = {0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::string aiffPath = dir.file("far.aif");
    writeSparseFile(aiffPath, aiff, junk + 8 + std::uint64_t{kHugeChunk},
                    chunkTail("SSND", fields, samples));
    EXPECT_EQ(testSampleFile(aiffPath).result, Acceptance::Unreadable);
}

TEST(MalformedFile, FailedLoadLeavesTheDocumentUntouched) {
    TempDir dir;
    const std::string good = dir.file("good.wav");
    test::writeBytes(good, test::waveImage(1, 22050, test::pcm16({1, -2, 3})));
    SampleDocument doc;
    loadSampleFile(doc, good);
    const std::string bad = dir.file("bad.wav");
    test::writeBytes(bad, text("RIFF    WAVEfmt "));
    EXPECT_ANY_THROW(loadSampleFile(doc, bad));
    EXPECT_EQ(doc.SampleRate, 22050u);
    EXPECT_EQ(doc.DataLength, 6);
    EXPECT_EQ(doc.SampleData.data()[2], 0xFE);
}

// Random damage to valid files: whatever the result, the reader must survive it (under the
// sanitizers this also proves it stays inside its buffers).
TEST(MalformedFile, AHugeDeclaredDataChunkLoadsOnlyWhatTheFileCouldHold) {
    TempDir dir;
    Bytes file = test::waveImage(2, 44100, Bytes(100, 7));
    test::putLe32(file, 40, 0x7FFFFF00); // a header that claims two gigabytes
    const std::string path = dir.file("claims.wav");
    test::writeBytes(path, file);
    ASSERT_EQ(testSampleFile(path).result, Acceptance::Accepted);
    SampleDocument doc;
    loadSampleFile(doc, path);
    EXPECT_LE(doc.DataLength, 2 * static_cast<std::int32_t>(file.size()))
        << "silence at most as much again as the file holds";
    EXPECT_EQ(doc.SampleData.data()[0], 7);
    EXPECT_EQ(doc.SampleData.data()[100], 0);
}

TEST(MalformedFile, AFifoUnderASampleNameIsUnreadableAndNeverWaitedFor) {
    TempDir dir;
    const std::string fifo = dir.file("x.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const AcceptanceReport report = testSampleFile(fifo); // with no writer, an open would block
    EXPECT_EQ(report.result, Acceptance::Unreadable);
    SampleDocument doc;
    EXPECT_THROW(loadSampleFile(doc, fifo), std::exception);
    EXPECT_EQ(testSampleFile(dir.path().string()).result, Acceptance::Unreadable) << "a folder";
}

TEST(MalformedFile, RatesAboveTheLargestAreTheWrongFormat) {
    TempDir dir;
    const std::string absurd = dir.file("absurd.wav");
    test::writeBytes(absurd, test::waveImage(1, 2147483647, Bytes(400, 1)));
    EXPECT_EQ(testSampleFile(absurd).result, Acceptance::WrongFormat);
    const std::string highest = dir.file("highest.wav");
    test::writeBytes(highest, test::waveImage(1, kMaxSampleRate, Bytes(400, 1)));
    EXPECT_EQ(testSampleFile(highest).result, Acceptance::Accepted);
}

TEST(MalformedFile, RandomlyDamagedFilesNeverCrashTheReader) {
    TempDir dir;
    std::mt19937 random(1234);
    const Bytes wave = test::waveImage(2, 44100, Bytes(64, 9));
    const Bytes aiff = aiffImage(2, 16, kRate44100, Bytes(64, 9));
    for (int round = 0; round < 400; ++round) {
        const bool isWave = round % 2 == 0;
        Bytes file = isWave ? wave : aiff;
        const int damage = 1 + int(random() % 6);
        for (int i = 0; i < damage; ++i)
            file[random() % file.size()] = std::uint8_t(random());
        if (random() % 4 == 0)
            file.resize(random() % file.size());
        const std::string path = dir.file(isWave ? "damaged.wav" : "damaged.aif");
        test::writeBytes(path, file);
        const AcceptanceReport report = testSampleFile(path);
        if (report.result == Acceptance::Accepted && report.info.dataLength < (1u << 20)) {
            SampleDocument doc;
            EXPECT_NO_THROW(loadSampleFile(doc, path)) << "round " << round;
            EXPECT_EQ(doc.SampleData.size(), std::size_t(doc.DataLength) + kSpareBytes);
        }
    }
}

} // namespace
} // namespace tolvane
