#include "processing/SegmentSeries.h"

#include "document/SafeFileWriter.h"
#include "slicing/SliceTables.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Mono, slice points giving segments of 2000, 2000, 60000, 2000 and 3998 bytes.
SampleDocument documentWithABigThirdSegment() {
    SampleDocument doc = test::documentWithSlices(1, false, 70000,
                                                  {{2000, 100, 1, 0, 1, 0},
                                                   {4000, 100, 1, 0, 1, 0},
                                                   {64000, 100, 1, 0, 1, 0},
                                                   {66000, 100, 1, 0, 1, 0}});
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    for (std::size_t i = 0; i < 70000; ++i)
        doc.SampleData.data()[i] = static_cast<std::uint8_t>(i * 7);
    return doc;
}

struct Heard {
    std::vector<SeriesFile> before;
    std::vector<SeriesFile> written;
    SeriesListener listener() {
        return {[this](const SeriesFile& f) { before.push_back(f); },
                [this](const SeriesFile& f) { written.push_back(f); }};
    }
};

TEST(SegmentSeries, EveryLengthIsReportedBeforeItsFileAndMatchesIt) {
    TempDir dir;
    const SampleDocument doc = documentWithABigThirdSegment();
    Heard heard;
    EXPECT_EQ(writeSegmentSeries(doc, {dir.file("s"), ".wav"}, 30, heard.listener()), 5);
    ASSERT_EQ(heard.before.size(), 5u);
    ASSERT_EQ(heard.written.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const SeriesFile& file = heard.before[i];
        EXPECT_EQ(file.segment.index, static_cast<int>(i) + 1);
        std::string name = "s";
        name += std::to_string(i + 1);
        name += ".wav";
        EXPECT_EQ(file.fileName, dir.file(name));
        EXPECT_GT(file.length, file.segment.byteCount) << "smoothed";
        EXPECT_EQ(fs::file_size(file.fileName), 44 + file.length) << file.fileName;
    }
}

// A full disk, even for root: no file may grow past 20000 bytes, so the third fails.
TEST(SegmentSeries, StopsAtTheFirstFileThatCannotBeWritten) {
    TempDir dir;
    const SampleDocument doc = documentWithABigThirdSegment();
    Heard heard;
    {
        const test::FileSizeLimit full(20000);
        EXPECT_THROW(writeSegmentSeries(doc, {dir.file("s"), ".wav"}, 0, heard.listener()),
                     FileWriteError);
    }
    ASSERT_EQ(heard.before.size(), 3u) << "the failed file's length was known first";
    EXPECT_EQ(heard.before[2].segment.index, 3);
    EXPECT_EQ(heard.before[2].length, 60000u);
    EXPECT_EQ(heard.written.size(), 2u);
    EXPECT_TRUE(fs::exists(dir.file("s1.wav")));
    EXPECT_TRUE(fs::exists(dir.file("s2.wav")));
    for (const char* missing : {"s3.wav", "s4.wav", "s5.wav"})
        EXPECT_FALSE(fs::exists(dir.file(missing))) << missing;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2)
        << "no partial file is left behind";
}

TEST(SegmentSeries, AReadOnlyFileInTheWayStopsTheSeriesThere) {
    TempDir dir;
    test::writeBytes(dir.file("s2.wav"), {'o', 'l', 'd'});
    fs::permissions(dir.file("s2.wav"), fs::perms::owner_read);
    Heard heard;
    EXPECT_THROW(writeSegmentSeries(documentWithABigThirdSegment(), {dir.file("s"), ".wav"}, 0,
                                    heard.listener()),
                 FileWriteError);
    EXPECT_EQ(heard.written.size(), 1u);
    EXPECT_EQ(test::readBytes(dir.file("s2.wav")), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(dir.file("s3.wav")));
}

} // namespace
} // namespace tolvane
