#include "processing/SliceMarkerFile.h"

#include "document/SafeFileWriter.h"
#include "fileio/CuePoints.h"
#include "processing/ProcessingDocuments.h"
#include "slicing/GridCut.h"
#include "slicing/MarkerPoints.h"
#include "slicing/SliceSelection.h"
#include "slicing/StereoCandidates.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <map>

namespace tolvane {
namespace {

using test::Bytes;
using test::documentOfSamples;
using test::TempDir;

// What an independent reader finds in a RIFF/WAVE file, walking its chunks as the RIFF
// specification lays them out (none of the program's parsing).
struct WaveContents {
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    Bytes data;
    std::vector<std::uint32_t> cueFrames;        // each cue point's sample offset, in file order
    std::map<std::uint32_t, std::string> labels; // cue id -> "labl" text
    std::vector<std::uint32_t> cueIds;
};

WaveContents readWave(const std::string& path) {
    const Bytes file = test::readBytes(path);
    WaveContents wave;
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(test::getLe32(file, 4), file.size() - 8) << "the RIFF size covers every chunk";
    const auto walk = [&](std::size_t at, std::size_t end, auto&& self) -> void {
        while (at + 8 <= end) {
            const std::string id(file.begin() + at, file.begin() + at + 4);
            const std::uint32_t size = test::getLe32(file, at + 4);
            const std::size_t body = at + 8;
            if (id == "fmt ") {
                wave.channels = static_cast<std::uint16_t>(file[body + 2] | file[body + 3] << 8);
                wave.bits = static_cast<std::uint16_t>(file[body + 14] | file[body + 15] << 8);
            } else if (id == "data") {
                wave.data.assign(file.begin() + body, file.begin() + body + size);
            } else if (id == "cue ") {
                const std::uint32_t count = test::getLe32(file, body);
                EXPECT_EQ(size, 4 + 24 * count);
                for (std::uint32_t k = 0; k < count; ++k) {
                    const std::size_t point = body + 4 + 24 * k;
                    wave.cueIds.push_back(test::getLe32(file, point));
                    EXPECT_EQ(std::string(file.begin() + point + 8, file.begin() + point + 12),
                              "data");
                    wave.cueFrames.push_back(test::getLe32(file, point + 20));
                }
            } else if (id == "LIST") {
                EXPECT_EQ(std::string(file.begin() + body, file.begin() + body + 4), "adtl");
                self(body + 4, body + size, self);
            } else if (id == "labl") {
                wave.labels[test::getLe32(file, body)] =
                    std::string(reinterpret_cast<const char*>(file.data() + body + 4));
            }
            at = body + size + (size & 1);
        }
        EXPECT_EQ(at, end) << "the chunks fill their parent exactly";
    };
    walk(12, file.size(), walk);
    return wave;
}

std::vector<std::int16_t> ramp(std::size_t count) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(i * 7 - 3000);
    return samples;
}

PointRecord locked(std::uint32_t position, std::uint8_t channel = kChannelMonoOrRight) {
    return PointRecord{position, 100, 1, 1, channel, 0};
}

// The slice points' positions of the document, in table order.
std::vector<std::uint32_t> slicePositions(const SampleDocument& doc) {
    std::vector<std::uint32_t> positions;
    for (int i = 1; i <= doc.SliceCount; ++i)
        positions.push_back(doc.SliceTable[i].Position);
    return positions;
}

// Opens the written file as a fresh load of it would be, with its cue points as slice points.
SampleDocument reopenWithMarkers(const SampleDocument& like, const std::string& path,
                                 const WaveContents& wave) {
    std::vector<std::int16_t> samples = test::samples16(wave.data);
    SampleDocument doc = documentOfSamples(like.Channels, true, samples);
    const CuePointReading cues = readCuePoints(path, samples.size() / like.Channels);
    EXPECT_TRUE(cues.problems.empty());
    EXPECT_EQ(useMarkersAsSlicePoints(doc, cues.frames), 0u);
    return doc;
}

TEST(SliceMarkerFile, MonoRegionHoldsItsSlicePointsAsNamedCuePoints) {
    const std::vector<std::int16_t> samples = ramp(4000);
    SampleDocument doc = documentOfSamples(1, false, samples,
                                           {locked(600), locked(1402), locked(3000), locked(7000)});
    doc.LocatorL = 1000;
    doc.LocatorR = 6002;
    TempDir dir;
    writeSliceMarkerFile(doc, dir.file("m.wav"));
    const WaveContents wave = readWave(dir.file("m.wav"));
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.bits, 16);
    EXPECT_EQ(wave.data, Bytes(doc.SampleData.data() + 1000, doc.SampleData.data() + 6000));
    // Only the points inside the region, in frames from its first one.
    EXPECT_EQ(wave.cueFrames, (std::vector<std::uint32_t>{201, 1000}));
    EXPECT_EQ(wave.cueIds, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(wave.labels, (std::map<std::uint32_t, std::string>{{1, "Slice 1"}, {2, "Slice 2"}}));

    const SampleDocument back = reopenWithMarkers(doc, dir.file("m.wav"), wave);
    EXPECT_EQ(slicePositions(back), (std::vector<std::uint32_t>{402, 2000}));
}

TEST(SliceMarkerFile, StereoMergedAndSplitMarkEachFrameOnce) {
    const std::vector<std::int16_t> samples = ramp(2 * 3000);
    SampleDocument merged =
        documentOfSamples(2, true, samples, {locked(4000), locked(8800), locked(10000)});
    TempDir dir;
    writeSliceMarkerFile(merged, dir.file("merged.wav"));
    const WaveContents wave = readWave(dir.file("merged.wav"));
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.data.size(), samples.size() * 2);
    EXPECT_EQ(wave.cueFrames, (std::vector<std::uint32_t>{1000, 2200, 2500}));
    const SampleDocument back = reopenWithMarkers(merged, dir.file("merged.wav"), wave);
    EXPECT_EQ(slicePositions(back), slicePositions(merged)) << "read back: exactly the points";

    // Split: the left channel's point and the right one's of a frame are one cue point; a point
    // only one channel has is marked too.
    SampleDocument split = documentOfSamples(2, false, samples,
                                             {locked(4000, kChannelLeftSplit), locked(4002),
                                              locked(6000, kChannelLeftSplit), locked(9002)});
    writeSliceMarkerFile(split, dir.file("split.wav"));
    EXPECT_EQ(readWave(dir.file("split.wav")).cueFrames,
              (std::vector<std::uint32_t>{1000, 1500, 2250}));
}

TEST(SliceMarkerFile, MarkerPointsAreLockedAndSurviveTheSensitivity) {
    SampleDocument doc = documentOfSamples(2, true, ramp(2 * 3000));
    useMarkersAsSlicePoints(doc, {2500, 700, 700, 0, 3000, 1200});
    // Frame 0 and frames past the data are no slice points; a repeat counts once.
    EXPECT_EQ(slicePositions(doc), (std::vector<std::uint32_t>{2800, 4800, 10000}));
    doc.Threshold = 65535;
    rebuildSliceTable(doc);
    EXPECT_EQ(doc.SliceCount, 3) << "locked points stay at the lowest sensitivity";
    ASSERT_TRUE(splitStereoCandidates(doc));
    rebuildSliceTable(doc);
    EXPECT_EQ(slicePositions(doc),
              (std::vector<std::uint32_t>{2800, 2802, 4800, 4802, 10000, 10002}));

    SampleDocument split = documentOfSamples(2, false, ramp(2 * 3000));
    useMarkersAsSlicePoints(split, {700});
    EXPECT_EQ(split.SliceTable[1],
              (PointRecord{2800, kGridPointStrength, 1, 1, kChannelLeftSplit, 0}));
    EXPECT_EQ(split.SliceTable[2],
              (PointRecord{2802, kGridPointStrength, 1, 1, kChannelMonoOrRight, 0}));
}

TEST(SliceMarkerFile, RefusesAnEmptyRegionAndKeepsTheOldFileOnFailure) {
    SampleDocument doc = documentOfSamples(1, false, ramp(100));
    doc.LocatorL = 40;
    doc.LocatorR = 42;
    TempDir dir;
    EXPECT_THROW(writeSliceMarkerFile(doc, dir.file("none.wav")), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));

    doc.LocatorR = 200;
    test::writeBytes(dir.file("old.wav"), Bytes{1, 2, 3});
    {
        test::FileSizeLimit full(100);
        EXPECT_THROW(writeSliceMarkerFile(doc, dir.file("old.wav")), FileWriteError);
    }
    EXPECT_EQ(test::readBytes(dir.file("old.wav")), (Bytes{1, 2, 3}));
    ASSERT_TRUE(test::makeNode(dir.file("fifo.wav"), test::NodeKind::Fifo));
    EXPECT_THROW(writeSliceMarkerFile(doc, dir.file("fifo.wav")), FileWriteError);
    EXPECT_TRUE(test::isNode(dir.file("fifo.wav"), test::NodeKind::Fifo));
}

} // namespace
} // namespace tolvane
