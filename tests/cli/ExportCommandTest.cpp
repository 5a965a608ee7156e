#include "cli/RunTolvane.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

using tolvane::test::TempDir;

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

} // namespace
} // namespace tolvane::cli
