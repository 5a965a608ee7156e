#include "cli/RunTolvane.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

using tolvane::test::Bytes;
using tolvane::test::TempDir;

using test::CommandRun;

CommandRun tolvane(const std::vector<std::string>& args) {
    return test::runCommand(args);
}

TEST(InfoCommand, DescribesAnAcceptedFileAsTheStatusBarDoes) {
    const CommandRun run = tolvane({"info", TOLVANE_DEMO_LOOP});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string(TOLVANE_DEMO_LOOP) +
                           ": accepted (0)\n"
                           "  format: 16 Bit / 44100 hz stereo\n"
                           "  data: 705600 bytes, 176400 frames, 4.000 s\n");
}

TEST(InfoCommand, TheLengthShownIsTheLengthALoadGives) {
    TempDir dir;
    Bytes file = tolvane::test::waveImage(1, 44100, Bytes(100, 7));
    tolvane::test::putLe32(file, 40, 0x7FFFFF00); // a header that claims two gigabytes
    const std::string claims = dir.file("claims.wav");
    tolvane::test::writeBytes(claims, file);
    const CommandRun run = tolvane({"info", claims});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("  data: 244 bytes, 122 frames"), std::string::npos) << run.out;
}

TEST(InfoCommand, RefusedFilesGetTheEditorsMessagesAndTheWorstExitStatus) {
    TempDir dir;
    const std::string eight = dir.file("eight.wav");
    tolvane::test::writeBytes(eight, tolvane::test::waveImage(1, 8000, Bytes(100), 1, 8));
    const std::string garbage = dir.file("garbage.wav");
    tolvane::test::writeBytes(garbage, Bytes(50, 'x'));

    CommandRun run = tolvane({"info", eight});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, eight + ": wrong format (1)\n"
                               "File type is unrecognised;\nMust be 16bit uncompressed format\n");

    run = tolvane({"info", TOLVANE_DEMO_LOOP, garbage, eight});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(garbage + ": unreadable (2)\n"
                                     "Unable to load file;\n\nFile is corrupted or is in an "
                                     "unrecognised format.\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("Invalid WAV"), std::string::npos);
}

TEST(InfoCommand, MonoFramesAndTruncationAreReported) {
    TempDir dir;
    const std::string path = dir.file("mono.wav");
    Bytes file = tolvane::test::waveImage(1, 22050, Bytes(22050 * 2, 1));
    file.resize(file.size() - 100);
    tolvane::test::writeBytes(path, file);
    const CommandRun run = tolvane({"info", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("  format: 16 Bit / 22050 hz mono\n"
                           "  data: 44100 bytes, 22050 frames, 1.000 s\n"
                           "  truncated: the file holds 44000 of 44100 data bytes"),
              std::string::npos)
        << run.out;
}

TEST(InfoCommand, UsageErrors) {
    EXPECT_EQ(tolvane({}).status, kExitUsage);
    EXPECT_EQ(tolvane({"info"}).status, kExitUsage);
    const CommandRun version = tolvane({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tolvane ", 0), 0u);
}

TEST(InfoCommand, TerminalTextTurnsMessageLineBreaksIntoPlainOnes) {
    EXPECT_EQ(terminalText("a;\r\n\r\nb\r\n"), "a;\n\nb\n");
    EXPECT_EQ(terminalText("x\ry"), "x\ry");
}

} // namespace
} // namespace tolvane::cli
