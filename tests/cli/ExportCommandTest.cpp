#include "cli/RunTolvane.h"
#include "slicing/SegmentRanges.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;
using tolvane::test::filesIn;
using tolvane::test::TempDir;

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

test::CommandRun exportDemo(std::vector<std::string> args) {
    args.insert(args.begin(), {"export", TOLVANE_DEMO_LOOP});
    return test::runCommand(args);
}

TEST(ExportCommand, WritesTheSeriesRegionSegmentAndWholeSample) {
    TempDir dir;
    const auto run = exportDemo({"--sensitivity", "60", "--segments", dir.file("loop.wav"),
                                 "--region", dir.file("region.aif"), "--selected", "2",
                                 dir.file("two.wav"), "--whole", dir.file("whole.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(dir.file("whole.wav") + ": 705644 bytes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(dir.file("region.aif") + ": 705654 bytes"), std::string::npos);
    ASSERT_TRUE(std::filesystem::exists(dir.file("loop01.wav")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        tolvane::test::runOrFail("soxi " + tolvane::test::shellQuote(entry.path()) +
                                 " > /dev/null");
    // The whole-sample file holds exactly the demo loop's samples.
    EXPECT_EQ(tolvane::test::soxDecodeToRaw16(dir.file("whole.wav")),
              tolvane::test::soxDecodeToRaw16(TOLVANE_DEMO_LOOP));
}

TEST(ExportCommand, SplitStereoWritesLeftAndRightSeries) {
    TempDir dir;
    const auto run =
        exportDemo({"--split", "--sensitivity", "60", "--segments", dir.file("s.aif")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("s01L.aif")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("s01R.aif")));
    const auto left = tolvane::test::readBytes(dir.file("s01L.aif"));
    EXPECT_EQ(left[21], 1) << "one channel per file";
}

TEST(ExportCommand, RefusesBadRequests) {
    EXPECT_EQ(exportDemo({"--smooth", "61"}).status, kExitUsage);
    EXPECT_EQ(exportDemo({"--locators", "5"}).status, kExitUsage);
    EXPECT_EQ(exportDemo({"--channel", "middle"}).status, kExitUsage);
    EXPECT_EQ(test::runCommand({"export", "/no/such.wav"}).status, kExitUnreadable);
    EXPECT_EQ(exportDemo({"--whole", "/no/such/folder/x.wav"}).status, kExitCannotWrite);
}

// Under a file-size limit (a full disk, even for root) a write fails instead of ending the
// program with a signal, and the temporary file goes with the failure.
TEST(ExportCommand, AFullDiskIsAWriteErrorThatLeavesNoFileBehind) {
    TempDir dir, scratch;
    const auto run = test::runProgramWithFileSizeLimit(
        20, {"export", TOLVANE_DEMO_LOOP, "--whole", dir.file("whole.wav")},
        scratch.path().string());
    ASSERT_TRUE(run.exited) << "a signal ended the program";
    EXPECT_EQ(run.status, kExitCannotWrite);
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_TRUE(filesIn(dir.path()).empty()) << filesIn(dir.path()).front();
}

TEST(ExportCommand, ASeriesStopsAtItsFirstFileThatCannotBeWritten) {
    const std::vector<std::string> request = {"export", TOLVANE_DEMO_LOOP, "--sensitivity", "60",
                                              "--segments"};
    TempDir unhindered, dir, scratch;
    auto args = request;
    args.push_back(unhindered.file("s.wav"));
    ASSERT_EQ(test::runCommand(args).status, kExitOk);
    const std::vector<std::string> names = filesIn(unhindered.path());
    std::vector<std::uintmax_t> sizes;
    for (const std::string& name : names)
        sizes.push_back(fs::file_size(unhindered.path() / name));

    // Room for the first file: the first larger one fails, and some later one would fit.
    const int blocks = static_cast<int>((sizes.front() + 511) / 512);
    const auto fits = [&](std::uintmax_t size) { return size <= std::uintmax_t(blocks) * 512; };
    const auto firstFailing = std::find_if_not(sizes.begin(), sizes.end(), fits);
    ASSERT_NE(firstFailing, sizes.end()) << "the case needs a file larger than the first";
    ASSERT_NE(std::find_if(firstFailing, sizes.end(), fits), sizes.end())
        << "the case needs a later file that would fit";

    args.back() = dir.file("s.wav");
    const auto run = test::runProgramWithFileSizeLimit(blocks, args, scratch.path().string());
    ASSERT_TRUE(run.exited) << "a signal ended the program";
    EXPECT_EQ(run.status, kExitCannotWrite);
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    const std::vector<std::string> written(names.begin(),
                                           names.begin() + (firstFailing - sizes.begin()));
    EXPECT_EQ(filesIn(dir.path()), written) << "the files before the failure, and no others";
}

TEST(ExportCommand, ASeriesIntoAMissingFolderFailsOnce) {
    TempDir dir;
    const auto run =
        exportDemo({"--sensitivity", "60", "--segments", dir.file("no/such/folder/s.wav")});
    EXPECT_EQ(run.status, kExitCannotWrite);
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

// Every number is read in full and checked against its range before any file is touched; the
// message names the option.
TEST(ExportCommand, NumbersOutOfRangeOrNotNumbersAtAllAreUsageErrors) {
    const std::vector<std::vector<std::string>> refused = {
        {"--sensitivity", "-1"},       {"--sensitivity", "101"},
        {"--sensitivity", "nan"},      {"--sensitivity", "inf"},
        {"--sensitivity", "1e300"},    {"--view-width", "0"},
        {"--view-width", "-1"},        {"--view-width", "4294967297"},
        {"--smooth", "4294967296"},    {"--smooth", "3.5"},
        {"--locators", "-1", "-5"},    {"--locators", "0", "4294967296"},
        {"--locators", "0x10", "400"}, {"--selected", "abc", "x.wav"},
        {"--selected", "0", "x.wav"},  {"--selected", "99999999999", "x.wav"},
        {"--segments", "x.mp3"},       {"--segments", "x"}};
    for (const auto& options : refused) {
        TempDir dir;
        auto args = options;
        args.insert(args.end(), {"--whole", dir.file("whole.wav")});
        const auto run = exportDemo(args);
        EXPECT_EQ(run.status, kExitUsage) << options[0] << " " << options[1];
        EXPECT_NE(run.err.find(options[0]), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir.file("whole.wav"))) << options[0] << " " << options[1];
    }
}

TEST(ExportCommand, LocatorsMustEncloseWholeFramesOfTheData) {
    for (const auto& [left, right] : std::vector<std::pair<std::string, std::string>>{
             {"0", "0"}, {"400", "400"}, {"800", "400"}, {"0", "705604"}, {"0", "2"}}) {
        for (const char* split : {"--channel", "--split"}) {
            TempDir dir;
            std::vector<std::string> args = {
                "--locators",     left, right, "--segments", dir.file("s.wav"), "--region",
                dir.file("r.wav")};
            if (std::string(split) == "--split")
                args.push_back(split);
            else
                args.insert(args.end(), {split, "both"});
            const auto run = exportDemo(args);
            EXPECT_EQ(run.status, kExitUsage) << left << " " << right << " " << split;
            EXPECT_TRUE(filesIn(dir.path()).empty()) << left << " " << right << " " << split;
        }
    }
}

// Locators on odd bytes or inside a frame are taken down to whole frames: every file holds
// whole frames and is read back by sox.
TEST(ExportCommand, UnalignedLocatorsGiveWholeFrames) {
    TempDir dir;
    const auto run = exportDemo({"--sensitivity", "60", "--locators", "1001", "300003",
                                 "--segments", dir.file("s.wav"), "--region", dir.file("r.wav")});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    for (const std::string& name : filesIn(dir.path())) {
        const auto bytes = tolvane::test::readBytes(dir.file(name));
        EXPECT_EQ(tolvane::test::getLe32(bytes, 40) % 4, 0u) << name;
        tolvane::test::runOrFail("soxi " + tolvane::test::shellQuote(dir.file(name)) +
                                 " > /dev/null");
    }

    // A mono file with odd locators.
    const std::string mono = dir.file("mono.wav");
    tolvane::test::soxSynth(mono, "-r 44100 -b 16 -c 1", 1.0);
    const auto monoRun = test::runCommand({"export", mono, "--locators", "1001", "20001",
                                           "--segments", dir.file("m.wav"), "--smooth", "0"});
    ASSERT_EQ(monoRun.status, kExitOk) << monoRun.err;
    EXPECT_EQ(fs::file_size(dir.file("m1.wav")), 44u + 18998) << "from 1000 to 20000 less 2";
}

// In split stereo segment N is the Nth of the chosen channel's own segments.
TEST(ExportCommand, SelectedSegmentsOfSplitStereoArePerChannel) {
    TempDir dir;
    const auto refused =
        exportDemo({"--split", "--sensitivity", "60", "--selected", "2", dir.file("two.wav")});
    EXPECT_EQ(refused.status, kExitUsage) << "which channel?";
    EXPECT_NE(refused.err.find("--channel"), std::string::npos) << refused.err;

    SampleDocument doc;
    ASSERT_EQ(
        openAndScan(TOLVANE_DEMO_LOOP, kDefaultWaveformWidth, true, doc, std::cout, std::cerr),
        kExitOk);
    doc.Threshold = thresholdForSliderPosition(sliderPositionForPercent(60));
    rebuildSliceTable(doc);
    for (const auto& [channel, tag] : {std::pair<std::string, std::uint8_t>{"left", 2},
                                       std::pair<std::string, std::uint8_t>{"right", 1}}) {
        const std::string path = dir.file(channel + ".wav");
        const auto run = exportDemo(
            {"--split", "--sensitivity", "60", "--channel", channel, "--selected", "2", path});
        ASSERT_EQ(run.status, kExitOk) << run.err;
        const auto range = segmentRange(doc, 2, tag);
        ASSERT_TRUE(range);
        EXPECT_GT(range->byteCount, 1000u);
        EXPECT_EQ(fs::file_size(path), 44 + range->byteCount) << channel;
        // The file holds that channel's samples of the segment.
        const auto bytes = tolvane::test::readBytes(path);
        for (std::uint32_t i = 0; i < range->byteCount; i += 2) {
            const std::uint32_t at = range->start + 2 * i;
            ASSERT_EQ(bytes[44 + i], doc.SampleData.data()[at]) << channel << " " << i;
            ASSERT_EQ(bytes[45 + i], doc.SampleData.data()[at + 1]) << channel << " " << i;
        }
    }
}

TEST(ExportCommand, AMissingInputFileIsReportedWithItsReason) {
    TempDir dir;
    const auto run = test::runCommand({"export", dir.file("missing.wav")});
    EXPECT_EQ(run.status, kExitUnreadable);
    EXPECT_NE(run.out.find("Unable to load file;"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(dir.file("missing.wav") + ": No such file or directory"),
              std::string::npos)
        << run.err;
}

// Root reads any file, so the program runs as nobody to meet a file it may not read.
TEST(ExportCommand, AnUnreadableInputFileIsReportedWithItsReason) {
    TempDir dir;
    const std::string locked = dir.file("locked.wav");
    fs::copy_file(TOLVANE_DEMO_LOOP, locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const std::string errFile = dir.file("err.txt");
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                tolvane::test::shellQuote(TOLVANE_COMMAND) + " info " +
                                tolvane::test::shellQuote(locked) + " >/dev/null 2>" +
                                tolvane::test::shellQuote(errFile);
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitUnreadable);
    const auto err = tolvane::test::readBytes(errFile);
    EXPECT_NE(std::string(err.begin(), err.end()).find(locked + ": Permission denied"),
              std::string::npos)
        << std::string(err.begin(), err.end());
}

// The slice points detect prints (position of each), after its "slice points: N" line.
std::vector<long> printedPositions(const std::string& out) {
    std::vector<long> positions;
    std::istringstream lines(out.substr(out.find("slice points:")));
    std::string line;
    std::getline(lines, line);
    long index = 0, position = 0;
    while (lines >> index >> position) {
        positions.push_back(position);
        std::getline(lines, line);
    }
    return positions;
}

TEST(ExportCommand, MarkersFileHoldsTheRegionsSlicePointsAndReadsBackExactly) {
    TempDir dir;
    const std::string markers = dir.file("marked.wav");
    const std::vector<std::string> region{"--sensitivity", "50", "--locators", "4000", "400000"};
    std::vector<std::string> args = region;
    args.insert(args.end(), {"--markers", markers});
    const auto run = exportDemo(args);
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<std::string> detect{"detect", TOLVANE_DEMO_LOOP, "--sensitivity", "50"};
    const auto points = test::runCommand(detect);
    std::vector<long> expected;
    for (const long position : printedPositions(points.out))
        if (position > 4000 && position < 400000)
            expected.push_back((position - 4000) / 4);
    ASSERT_FALSE(expected.empty());

    // libsndfile's own reader lists every cue point at its frame.
    if (tolvane::test::haveProgram("sndfile-info")) {
        const std::string info =
            tolvane::test::commandOutput("sndfile-info " + tolvane::test::shellQuote(markers));
        EXPECT_NE(info.find("Count : " + std::to_string(expected.size())), std::string::npos)
            << info;
        for (const long frame : expected)
            EXPECT_NE(info.find("Offset : " + std::to_string(frame)), std::string::npos) << info;
        EXPECT_NE(info.find("labl : 1 : Slice 1"), std::string::npos) << info;
    }
    const auto back = test::runCommand({"detect", "--from-markers", markers});
    ASSERT_EQ(back.status, 0) << back.err;
    std::vector<long> backFrames;
    for (const long position : printedPositions(back.out))
        backFrames.push_back(position / 4);
    EXPECT_EQ(backFrames, expected);
    EXPECT_EQ(back.out.find("slice points: " + std::to_string(expected.size())),
              back.out.find("slice points:"));
}

TEST(ExportCommand, MarkersRefusesOtherNamesTheInputAndFilesWithoutCuePoints) {
    TempDir dir;
    EXPECT_EQ(exportDemo({"--markers", dir.file("m.aif")}).status, kExitUsage);
    EXPECT_EQ(exportDemo({"--markers", TOLVANE_DEMO_LOOP}).status, kExitCannotWrite);
    EXPECT_EQ(exportDemo({"--locators", "8", "10", "--markers", dir.file("m.wav")}).status,
              kExitUsage);
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.wav")));
    const auto none = test::runCommand({"detect", "--from-markers", TOLVANE_DEMO_LOOP});
    EXPECT_EQ(none.status, kExitWrongFormat);
    EXPECT_NE(none.err.find("no cue points"), std::string::npos) << none.err;
}

} // namespace
} // namespace tolvane::cli
