// The track file: the record and note stream handed to the track-file library, checked through a
// library of our own that writes out what it was given.
#include "export/TrackFile.h"

#include "document/SafeFileWriter.h"
#include "export/TrackFileLibrary.h"
#include "slicing/LoopSegments.h"
#include "slicing/SliceTables.h"
#include "slicing/Tempo.h"
#include "support/TestFiles.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;
using Bytes = std::vector<std::uint8_t>;

PointRecord slicePoint(std::uint32_t position) {
    return {position, 100, 1, 0, kChannelMonoOrRight, 0};
}

// Four seconds of mono noise, one bar, with the given points.
SampleDocument monoLoop(const std::vector<PointRecord>& points) {
    SampleDocument doc = documentWithSlices(1, false, 352800, points);
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    for (std::int32_t i = 0; i < doc.DataLength; ++i)
        doc.SampleData.data()[i] = static_cast<std::uint8_t>(i * 7 + i / 300);
    setLoopLength(doc, 1, 0);
    return doc;
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

TEST(TrackFile, TheRecordAndStreamReachTheLibrary) {
    SharedTrackFileLibrary library(TOLVANE_TRACK_LIBRARY);
    ASSERT_EQ(library.status(), TrackLibraryStatus::Loaded);
    KeymapSettings keymap;
    keymap.bankName = "Drums";
    keymap.interval = 2;
    keymap.smoothLevel = 42;
    const SampleDocument doc = monoLoop({slicePoint(88200), slicePoint(176400)});
    test::TempDir dir;
    const TrackWriteResult result = writeTrackFile(library, doc, keymap, dir.file("loop.trk"));
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.notesLeftOut, 0);
    const Bytes dump = test::readBytes(dir.file("loop.trk"));
    ASSERT_GE(dump.size(), 2048u);

    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dump.data())), "Drums");
    double tempo;
    std::memcpy(&tempo, dump.data() + 256, 8);
    EXPECT_DOUBLE_EQ(tempo, 60.0) << "one bar in four seconds";
    EXPECT_EQ(get32(dump, 272), 4u) << "beats in the loop";
    EXPECT_EQ(get32(dump, 276), 3u) << "three samples";
    EXPECT_EQ(get32(dump, 280), 88200u);
    EXPECT_EQ(get32(dump, 284), 88200u);
    EXPECT_EQ(get32(dump, 288), 176400u - 2) << "the last ends one sample before the locator";
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(dump[1303 + k], k - 1);
        EXPECT_EQ(dump[1431 + k], k - 1);
    }
    EXPECT_EQ(dump[1304 + 3], 0xEE) << "what the library put there stays";
    EXPECT_EQ(dump[1560], 0);
    EXPECT_EQ(dump[1561], 0xEE);
    EXPECT_EQ(dump[1562], 1);
    EXPECT_EQ(dump[1563], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dump.data() + 1568)).rfind("Drums", 0), 0u);
    EXPECT_EQ(dump[1823], 42);

    // The note stream: notes 0, 3, 6 at velocity 75, a quarter, a quarter and a half bar long.
    const std::uint32_t streamLength = get32(dump, 268);
    const Bytes stream(dump.begin() + 2048, dump.begin() + 2048 + streamLength);
    EXPECT_EQ(stream, (Bytes{0x00, 0x90, 0, 0x4B, 0x83, 0x60, 0x80, 0, 0x4B,    // 480
                             0x00, 0x90, 3, 0x4B, 0x83, 0x60, 0x80, 3, 0x4B,    // 960
                             0x00, 0x90, 6, 0x4B, 0x87, 0x40, 0x80, 6, 0x4B})); // 1920
    // The samples, read through their addresses, are the segments' bytes.
    const auto segments = loopSegments(doc, 1);
    std::size_t at = 2048 + streamLength;
    for (const LoopSegment& segment : segments) {
        ASSERT_LE(at + segment.byteCount, dump.size());
        EXPECT_TRUE(std::equal(dump.begin() + at, dump.begin() + at + segment.byteCount,
                               doc.SampleData.data() + segment.start))
            << "segment " << segment.index;
        at += segment.byteCount;
    }
    EXPECT_EQ(at, dump.size());
}

TEST(TrackFile, RefusalsAndLibraryFailures) {
    EXPECT_EQ(SharedTrackFileLibrary("").status(), TrackLibraryStatus::CannotLoad);
    EXPECT_EQ(SharedTrackFileLibrary("/nonexistent/libtrack.so").status(),
              TrackLibraryStatus::CannotLoad);
    EXPECT_EQ(SharedTrackFileLibrary(TOLVANE_NO_ENTRIES_LIBRARY).status(),
              TrackLibraryStatus::EntryMissing);
    EXPECT_NE(SharedTrackFileLibrary("/nonexistent/libtrack.so").error().find("/nonexistent"),
              std::string::npos)
        << "the system's reason";

    std::vector<PointRecord> points;
    for (std::uint32_t p = 2000; p < 2000 + 127 * 2000; p += 2000)
        points.push_back(slicePoint(p));
    SampleDocument doc = monoLoop(points);
    EXPECT_EQ(trackRefusal(doc), "") << "127 inside points: 128 samples";
    points.push_back(slicePoint(2000 + 127 * 2000));
    EXPECT_EQ(trackRefusal(monoLoop(points)), kMsgTrackTooManySamples);
    SampleDocument stereo = documentWithSlices(2, true, 1000, {});
    EXPECT_EQ(trackRefusal(stereo), kMsgTrackNeedsMono);

    SharedTrackFileLibrary library(TOLVANE_TRACK_LIBRARY);
    test::TempDir dir;
    EXPECT_FALSE(writeTrackFile(library, monoLoop({}), {}, dir.file("refuse.trk")).written);
    const TrackWriteResult single = writeTrackFile(library, monoLoop({}), {}, dir.file("one.trk"));
    ASSERT_TRUE(single.written);
    const Bytes dump = test::readBytes(dir.file("one.trk"));
    EXPECT_EQ(get32(dump, 276), 1u);
    EXPECT_EQ(Bytes(dump.begin() + 2048, dump.begin() + 2048 + get32(dump, 268)),
              (Bytes{0x00, 0x90, 0, 0x4B, 0x8F, 0x00, 0x80, 0, 0x4B}))
        << "one note, 0 to 1920";
}

// A bare file name is the file in the current folder, as a path with a folder would be, not a
// name the system looks for among its own libraries.
TEST(TrackFile, ABareLibraryNameIsAFileOfTheCurrentFolder) {
    const std::filesystem::path library(TOLVANE_TRACK_LIBRARY);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(library.parent_path());
    const TrackLibraryStatus status = SharedTrackFileLibrary(library.filename().string()).status();
    std::filesystem::current_path(before);
    EXPECT_EQ(status, TrackLibraryStatus::Loaded);
}

// The library writes the file itself: a FIFO, device or socket in its place is refused first.
TEST(TrackFile, TheLibraryIsNotHandedANode) {
    SharedTrackFileLibrary library(TOLVANE_TRACK_LIBRARY);
    test::TempDir dir;
    const std::string node = dir.file("node.trk");
    ASSERT_TRUE(test::makeNode(node, test::NodeKind::CharDevice));
    EXPECT_THROW(writeTrackFile(library, monoLoop({}), {}, node), FileWriteError);
    EXPECT_TRUE(test::isNode(node, test::NodeKind::CharDevice));
}

} // namespace
} // namespace tolvane
