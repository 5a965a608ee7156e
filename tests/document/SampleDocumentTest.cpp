#include "document/SampleDocument.h"

#include "document/MemoryStream.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(SampleDocument, NewEmptyDocumentIsOneSilentMonoSample) {
    SampleDocument doc;
    doc.CandidateCount = 40;
    doc.CandidateTable[7].Locked = 1;
    doc.MergeChannels = true;
    newEmptyDocument(doc);

    EXPECT_EQ(doc.FileName, "Untitled");
    EXPECT_EQ(doc.Channels, 1);
    EXPECT_EQ(doc.SampleRate, 44100u);
    EXPECT_EQ(doc.BitsPerSample, 16);
    EXPECT_EQ(doc.DataLength, 2);
    ASSERT_EQ(doc.SampleData.size(), 2 + kSpareBytes);
    EXPECT_EQ(doc.SampleData.data()[0], 0);
    EXPECT_EQ(doc.SampleData.data()[1], 0);
    EXPECT_EQ(doc.CandidateCount, 1);
    EXPECT_EQ(doc.SliceCount, 1);
    EXPECT_EQ(doc.LocatorL, 0u);
    EXPECT_EQ(doc.LocatorR, 2u);
    EXPECT_EQ(doc.Threshold, 65536);
    EXPECT_TRUE(doc.DetectPending);
    EXPECT_TRUE(doc.DocumentOpen);
    EXPECT_FALSE(doc.MergeChannels);
    EXPECT_EQ(doc.CandidateTable[7].Locked, 0) << "closing clears the old locks";
    EXPECT_EQ(doc.candidateEndRecord().Position, 2u);
}

TEST(SampleDocument, CloseEmptiesTheDocumentAndClearsFlagsOfUsedRecords) {
    SampleDocument doc;
    doc.FileName = "/x/loop.wav";
    doc.DocumentOpen = true;
    doc.DataLength = 8;
    doc.SampleData.setSize(8 + kSpareBytes);
    doc.CandidateCount = 2;
    doc.SliceCount = 2;
    for (int i = 0; i <= 3; ++i)
        doc.CandidateTable[i] = PointRecord{std::uint32_t(i * 2), 100, 1, 1, 1, 0};
    doc.CandidateTable[4].Locked = 1; // beyond the end record: not part of the table

    closeDocument(doc);

    EXPECT_FALSE(doc.DocumentOpen);
    EXPECT_TRUE(doc.FileName.empty());
    EXPECT_EQ(doc.SampleData.size(), 0u);
    EXPECT_EQ(doc.CandidateCount, 0);
    EXPECT_EQ(doc.SliceCount, 0);
    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(doc.CandidateTable[i].Enabled, 0) << i;
        EXPECT_EQ(doc.CandidateTable[i].Locked, 0) << i;
        EXPECT_EQ(doc.CandidateTable[i].Position, std::uint32_t(i * 2)) << "positions stay";
    }
    EXPECT_EQ(doc.CandidateTable[4].Locked, 1);
}

TEST(SampleDocument, FormatStatusTextNamesTheChannels) {
    EXPECT_EQ(formatStatusText(16, 44100, 2), "16 Bit / 44100 hz stereo");
    EXPECT_EQ(formatStatusText(16, 22050, 1), "16 Bit / 22050 hz mono");
}

TEST(MemoryStream, ReadsAndSeeksStayInsideTheBuffer) {
    MemoryStream s;
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
    s.write(bytes, sizeof bytes);
    EXPECT_EQ(s.size(), 5u);
    EXPECT_EQ(s.seek(-2, SeekOrigin::End), 3u);
    std::uint8_t out[8] = {};
    EXPECT_EQ(s.read(out, sizeof out), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(s.seek(-100, SeekOrigin::Current), 0u);
    EXPECT_EQ(s.seek(100, SeekOrigin::Begin), 5u);
    s.seek(3, SeekOrigin::Begin);
    s.write(bytes, 4); // grows past the end
    EXPECT_EQ(s.size(), 7u);
    s.setSize(2);
    EXPECT_EQ(s.position(), 2u);
    s.setSize(4);
    EXPECT_EQ(s.data()[3], 0) << "grown bytes are zero";
}

TEST(SampleDocument, TheChannelChoiceNeverLeavesNoChannel) {
    SampleDocument doc;
    chooseChannels(doc, true, false);
    EXPECT_EQ(doc.FirstChannel, 1);
    EXPECT_EQ(doc.LastChannel, 1);
    chooseChannels(doc, false, true);
    EXPECT_EQ(doc.FirstChannel, 2);
    EXPECT_EQ(doc.LastChannel, 2);
    chooseChannels(doc, false, false);
    EXPECT_EQ(doc.FirstChannel, 1);
    EXPECT_EQ(doc.LastChannel, 2);
}

} // namespace
} // namespace tolvane
