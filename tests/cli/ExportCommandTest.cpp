#include "cli/RunTolvane.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;
using tolvane::test::TempDir;

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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

} // namespace
} // namespace tolvane::cli
