#include "fileio/CuePoints.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::uint32_t kFrames = 1000;

struct CueRecord {
    std::uint32_t frame;
    const char* chunk = "data";
};

// A "cue " chunk body laid out as the RIFF specification gives it: the count, then per point its
// name, position, chunk id, chunk start, block start and sample offset. `declared` overrides the
// count (a damaged chunk).
Bytes cueBody(const std::vector<CueRecord>& points, std::optional<std::uint32_t> declared = {}) {
    Bytes body(4 + 24 * points.size(), 0);
    test::putLe32(body, 0, declared.value_or(static_cast<std::uint32_t>(points.size())));
    for (std::size_t k = 0; k < points.size(); ++k) {
        const std::size_t at = 4 + 24 * k;
        test::putLe32(body, at, static_cast<std::uint32_t>(100 + k)); // names need not be 1, 2, ..
        test::putLe32(body, at + 4, points[k].frame);
        std::copy_n(points[k].chunk, 4, body.begin() + static_cast<std::ptrdiff_t>(at + 8));
        test::putLe32(body, at + 20, points[k].frame);
    }
    return body;
}

// A mono 16-bit file of kFrames frames with the cue chunk after its data, as most editors put it.
std::string waveWithCues(const TempDir& dir, const Bytes& cue) {
    Bytes file = test::waveImage(1, 44100, Bytes(2 * kFrames, 0));
    test::insertChunk(file, file.size(), "cue ", cue, false);
    const std::string path = dir.file("cues.wav");
    test::writeBytes(path, file);
    return path;
}

TEST(CuePoints, ReadsTheFramesOfAForeignCueChunkInOrder) {
    TempDir dir;
    const CuePointReading reading =
        readCuePoints(waveWithCues(dir, cueBody({{500}, {100}, {250}})), kFrames);
    EXPECT_EQ(reading.frames, (std::vector<std::uint32_t>{100, 250, 500}));
    EXPECT_TRUE(reading.problems.empty());
}

TEST(CuePoints, LeavesOutWhatIsBadAndSaysWhy) {
    TempDir dir;
    // Outside the data, repeated, in a silence chunk, at the very start (no slice: quietly).
    const Bytes cue = cueBody({{300}, {kFrames}, {300}, {40, "slnt"}, {0}, {700}});
    const CuePointReading reading = readCuePoints(waveWithCues(dir, cue), kFrames);
    EXPECT_EQ(reading.frames, (std::vector<std::uint32_t>{300, 700}));
    ASSERT_EQ(reading.problems.size(), 3u);
    EXPECT_EQ(reading.problems[0], "1 cue point lies outside the sample data and was left out.");
    EXPECT_EQ(reading.problems[1],
              "1 cue point lies in a chunk other than the sample data and was left out.");
    EXPECT_EQ(reading.problems[2], "1 cue point repeats another and was left out.");
}

TEST(CuePoints, ADamagedChunkGivesTheWholeRecordsItHolds) {
    TempDir dir;
    // Declares a million points but holds two and a half.
    Bytes cue = cueBody({{10}, {20}, {30}}, 1000000);
    cue.resize(cue.size() - 12);
    const CuePointReading reading = readCuePoints(waveWithCues(dir, cue), kFrames);
    EXPECT_EQ(reading.frames, (std::vector<std::uint32_t>{10, 20}));
    ASSERT_EQ(reading.problems.size(), 1u);
    EXPECT_EQ(reading.problems[0],
              "The cue chunk is damaged: it declares 1000000 cue points but holds 2 whole.");

    // A chunk whose size runs past the end of the file, and one too short for its count.
    Bytes file = test::waveImage(1, 44100, Bytes(2 * kFrames, 0));
    const Bytes tail = {'c', 'u', 'e', ' ', 0xFF, 0xFF, 0xFF, 0x7F, 2, 0, 0, 0};
    file.insert(file.end(), tail.begin(), tail.end());
    test::writeBytes(dir.file("cut.wav"), file);
    const CuePointReading cut = readCuePoints(dir.file("cut.wav"), kFrames);
    EXPECT_TRUE(cut.frames.empty());
    EXPECT_EQ(cut.problems.size(), 1u);
    EXPECT_EQ(readCuePoints(waveWithCues(dir, Bytes{1, 0}), kFrames).problems.size(), 1u);
}

TEST(CuePoints, FilesWithoutCuePointsHaveNone) {
    TempDir dir;
    test::writeBytes(dir.file("plain.wav"), test::waveImage(2, 44100, Bytes(400, 0)));
    const CuePointReading plain = readCuePoints(dir.file("plain.wav"), 100);
    EXPECT_TRUE(plain.frames.empty());
    EXPECT_TRUE(plain.problems.empty());
    test::writeBytes(dir.file("noise.wav"), Bytes(300, 0xA5));
    EXPECT_TRUE(readCuePoints(dir.file("noise.wav"), 100).frames.empty());
    EXPECT_THROW(readCuePoints(dir.file("missing.wav"), 100), std::exception);
}

TEST(CuePoints, OurChunksNameEachSliceAndReadBack) {
    const std::vector<std::uint32_t> frames{12, 345, 6789};
    const std::vector<RiffChunk> chunks = cuePointChunks(frames);
    ASSERT_EQ(chunks.size(), 2u);
    Bytes cue;
    chunks[0].writeTo([&cue](const void* bytes, std::size_t count) {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        cue.insert(cue.end(), p, p + count);
    });
    EXPECT_EQ(cue.size(), 8u + 4 + 3 * 24);
    TempDir dir;
    const CuePointReading reading =
        readCuePoints(waveWithCues(dir, Bytes(cue.begin() + 8, cue.end())), 10000);
    EXPECT_EQ(reading.frames, frames);

    Bytes list;
    chunks[1].writeTo([&list](const void* bytes, std::size_t count) {
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        list.insert(list.end(), p, p + count);
    });
    // "LIST" size "adtl", then per point "labl" size id "Slice k\0" (padded to even).
    ASSERT_EQ(std::string(list.begin() + 8, list.begin() + 12), "adtl");
    std::size_t at = 12;
    for (std::uint32_t k = 1; k <= 3; ++k) {
        ASSERT_EQ(std::string(list.begin() + at, list.begin() + at + 4), "labl");
        const std::uint32_t size = test::getLe32(list, at + 4);
        EXPECT_EQ(test::getLe32(list, at + 8), k);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.data() + at + 12)),
                  "Slice " + std::to_string(k));
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(at, list.size());
}

} // namespace
} // namespace tolvane
