#include "document/PointFile.h"

#include "document/SafeFileWriter.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;
using test::TempDir;

SampleDocument documentOfLength(std::int32_t length) {
    SampleDocument doc;
    doc.DataLength = length;
    doc.DocumentOpen = true;
    return doc;
}

void fillCandidates(SampleDocument& doc, const std::vector<std::uint32_t>& positions) {
    doc.CandidateCount = static_cast<std::int32_t>(positions.size());
    doc.CandidateTable[0] = PointRecord{0, 0, 0, 0, 1, 0};
    for (std::size_t i = 0; i < positions.size(); ++i)
        doc.CandidateTable[i + 1] =
            PointRecord{positions[i], std::int32_t(1000 * i) - 1500, 1, std::uint8_t(i % 2), 1, 0};
    doc.candidateEndRecord() = PointRecord{std::uint32_t(doc.DataLength), 0, 0, 0, 1, 0};
}

// A point file image with the given count and records.
Bytes pointFileImage(std::int32_t count, const std::vector<PointRecord>& records) {
    Bytes b(4 + records.size() * 12);
    test::putLe32(b, 0, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < records.size(); ++i) {
        test::putLe32(b, 4 + i * 12, records[i].Position);
        test::putLe32(b, 8 + i * 12, static_cast<std::uint32_t>(records[i].Strength));
        b[12 + i * 12] = records[i].Enabled;
        b[13 + i * 12] = records[i].Locked;
        b[14 + i * 12] = records[i].Channel;
    }
    return b;
}

TEST(PointFile, SaveWritesTheFixedLayoutAndReopenRestoresTheTable) {
    TempDir dir;
    SampleDocument doc = documentOfLength(40000);
    fillCandidates(doc, {100, 2000, 2004, 30000});
    const std::string path = dir.file("points.tlp");
    savePointFile(doc, path);

    const Bytes bytes = test::readBytes(path);
    ASSERT_EQ(bytes.size(), 98320u);
    EXPECT_EQ(test::getLe32(bytes, 0), 4u);
    // Record 2 at 4 + 2 * 12: position 2000, strength -500, enabled 1, locked 1, channel 1.
    EXPECT_EQ(test::getLe32(bytes, 28), 2000u);
    EXPECT_EQ(static_cast<std::int32_t>(test::getLe32(bytes, 32)), -500);
    EXPECT_EQ(bytes[36], 1);
    EXPECT_EQ(bytes[37], 1);
    EXPECT_EQ(bytes[38], 1);
    EXPECT_EQ(test::getLe32(bytes, 4 + 5 * 12), 40000u) << "end record";

    SampleDocument reopened = documentOfLength(40000);
    openPointFile(reopened, path);
    EXPECT_EQ(reopened.CandidateCount, 4);
    for (int i = 0; i <= 5; ++i)
        EXPECT_EQ(reopened.CandidateTable[i], doc.CandidateTable[i]) << "record " << i;
}

TEST(PointFile, FileForALongerSampleIsCutBackAtTheFirstRecordBeyondTheData) {
    TempDir dir;
    SampleDocument longer = documentOfLength(100000);
    fillCandidates(longer, {100, 5000, 60000, 70000});
    const std::string path = dir.file("long.tlp");
    savePointFile(longer, path);

    SampleDocument doc = documentOfLength(50000);
    openPointFile(doc, path);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.CandidateTable[2].Position, 5000u);
    EXPECT_EQ(doc.CandidateTable[3].Position, 50000u) << "the first dropped record ends the table";
}

TEST(PointFile, EndRecordOfALongerSampleIsMovedToTheEndOfTheData) {
    TempDir dir;
    SampleDocument longer = documentOfLength(100000);
    fillCandidates(longer, {100, 5000});
    const std::string path = dir.file("long.tlp");
    savePointFile(longer, path);

    SampleDocument doc = documentOfLength(50000);
    openPointFile(doc, path);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.CandidateTable[3].Position, 50000u);
}

TEST(PointFile, ShortFileFillsOnlyTheRecordsItHolds) {
    TempDir dir;
    SampleDocument doc = documentOfLength(90000);
    // The records the file does not reach lie after the ones it holds, so that sorting the
    // table leaves every record where the file put it.
    fillCandidates(doc, {10, 20, 30, 60000, 70000});
    const PointRecord before4 = doc.CandidateTable[4];

    // Count 5, records 0 to 2 whole and 5 bytes of record 3.
    Bytes image = pointFileImage(
        5,
        {{0, 0, 0, 0, 1, 0}, {1000, 7, 1, 0, 1, 0}, {2000, 8, 1, 1, 1, 0}, {50000, 9, 1, 0, 1, 0}});
    image.resize(image.size() - 7);
    const std::string path = dir.file("short.tlp");
    test::writeBytes(path, image);

    openPointFile(doc, path);
    EXPECT_EQ(doc.CandidateCount, 5);
    EXPECT_EQ(doc.CandidateTable[1].Position, 1000u);
    EXPECT_EQ(doc.CandidateTable[2].Locked, 1);
    // Record 3: the position's 4 bytes and the first strength byte came from the file.
    EXPECT_EQ(doc.CandidateTable[3].Position, 50000u);
    EXPECT_EQ(doc.CandidateTable[3].Strength, ((1000 * 2 - 1500) & ~0xFF) | 9);
    EXPECT_EQ(doc.CandidateTable[4], before4) << "records past the file keep their content";
    EXPECT_EQ(doc.CandidateTable[6].Position, 90000u);
}

TEST(PointFile, RecordsInAnyOrderAreSortedAndThoseBeyondTheDataDropped) {
    TempDir dir;
    const std::string path = dir.file("unsorted.tlp");
    test::writeBytes(path, pointFileImage(6, {{0, 0, 0, 0, 1, 0},
                                              {5000, 1, 1, 0, 1, 0},
                                              {60000, 2, 1, 0, 1, 0},
                                              {100, 3, 1, 0, 1, 0},
                                              {5000, 4, 1, 1, 1, 0},
                                              {2000, 5, 1, 0, 1, 0},
                                              {50000, 6, 1, 0, 1, 0}}));
    SampleDocument doc = documentOfLength(50000);
    openPointFile(doc, path);
    ASSERT_EQ(doc.CandidateCount, 5) << "only the record beyond DataLength is dropped";
    EXPECT_EQ(doc.CandidateTable[1], (PointRecord{100, 3, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[2], (PointRecord{2000, 5, 1, 0, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[3], (PointRecord{5000, 1, 1, 0, 1, 0})) << "stable";
    EXPECT_EQ(doc.CandidateTable[4], (PointRecord{5000, 4, 1, 1, 1, 0}));
    EXPECT_EQ(doc.CandidateTable[5].Position, 50000u) << "at the end of the data: kept";
    EXPECT_EQ(doc.CandidateTable[6].Position, 50000u) << "the end record";
}

TEST(PointFile, GarbageCountsStayInsideTheTable) {
    TempDir dir;
    const std::string path = dir.file("garbage.tlp");
    for (std::int32_t count : {-5, 8193, 0x7FFFFFFF}) {
        SampleDocument doc = documentOfLength(1000);
        test::writeBytes(path, pointFileImage(count, {{0, 0, 0, 0, 1, 0}, {500, 1, 1, 0, 1, 0}}));
        openPointFile(doc, path);
        EXPECT_GE(doc.CandidateCount, 0) << count;
        EXPECT_LE(doc.CandidateCount, kMaxCandidates) << count;
        EXPECT_EQ(doc.candidateEndRecord().Position, 1000u) << count;
    }
}

TEST(PointFile, UnreadableFilesLeaveTheTableUnchanged) {
    TempDir dir;
    SampleDocument doc = documentOfLength(1000);
    fillCandidates(doc, {10, 20});
    const PointTable before = doc.CandidateTable;
    EXPECT_THROW(openPointFile(doc, dir.file("missing.tlp")), PointFileError);
    test::writeBytes(dir.file("tiny.tlp"), {1, 2});
    EXPECT_THROW(openPointFile(doc, dir.file("tiny.tlp")), PointFileError);
    EXPECT_EQ(doc.CandidateCount, 2);
    EXPECT_EQ(doc.CandidateTable, before);
}

// A point file that is a device or a FIFO is refused without being opened: reading a FIFO
// would wait for a writer for ever.
TEST(PointFile, ANodeIsRefusedWithoutBeingOpened) {
    TempDir dir;
    SampleDocument doc = documentOfLength(1000);
    fillCandidates(doc, {10, 20});
    const PointTable before = doc.CandidateTable;
    for (const test::NodeKind kind : {test::NodeKind::CharDevice, test::NodeKind::Fifo}) {
        const std::string node = dir.file("points.tlp");
        ASSERT_TRUE(test::makeNode(node, kind));
        const test::OpenWatch watch(node);
        ASSERT_TRUE(watch.watching());
        try {
            openPointFile(doc, node);
            ADD_FAILURE() << "a node was read as a point file";
        } catch (const PointFileError& e) {
            EXPECT_STREQ(e.what(),
                         ("Cannot open point file " + node + ": it is not a regular file").c_str());
        }
        EXPECT_FALSE(watch.opened());
        EXPECT_EQ(doc.CandidateTable, before);
        std::filesystem::remove(node);
    }
}

// A file-size limit makes writes fail even for root; the save must keep the old file.
TEST(PointFile, FailedSaveKeepsTheFileItWouldReplace) {
    TempDir dir;
    const std::string path = dir.file("keep.tlp");
    test::writeBytes(path, {'o', 'l', 'd'});
    SampleDocument doc = documentOfLength(1000);
    fillCandidates(doc, {10});

    {
        const test::FileSizeLimit full(4096);
        EXPECT_THROW(savePointFile(doc, path), FileWriteError);
    }

    EXPECT_EQ(test::readBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "no partial file is left behind";
}

TEST(PointFile, SaveIntoAMissingFolderFails) {
    TempDir dir;
    SampleDocument doc = documentOfLength(1000);
    EXPECT_THROW(savePointFile(doc, dir.file("no/such/folder.tlp")), FileWriteError);
}

} // namespace
} // namespace tolvane
