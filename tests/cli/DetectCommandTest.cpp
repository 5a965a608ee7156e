#include "cli/RunTolvane.h"
#include "document/PointFile.h"
#include "fileio/SampleFileReader.h"
#include "slicing/TransientScan.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace tolvane::cli {
namespace {

using tolvane::test::Bytes;
using tolvane::test::TempDir;

using test::CommandRun;

CommandRun detect(std::vector<std::string> args) {
    args.insert(args.begin(), "detect");
    return test::runCommand(args);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

int candidatesPrinted(const std::string& out) {
    std::smatch m;
    const std::regex count("^candidates: (\\d+)$");
    const auto all = lines(out);
    EXPECT_FALSE(all.empty());
    if (all.empty() || !std::regex_match(all.front(), m, count))
        return -1;
    return std::stoi(m[1]);
}

TEST(DetectCommand, PrintsTheCandidatesAndTheSlicePointsOfTheSensitivity) {
    const CommandRun none = detect({TOLVANE_DEMO_LOOP});
    ASSERT_EQ(none.status, 0) << none.err;
    const int candidates = candidatesPrinted(none.out);
    EXPECT_GT(candidates, 8) << "two bars of eighth notes";
    EXPECT_EQ(lines(none.out).size(), 1u);

    const CommandRun all = detect({TOLVANE_DEMO_LOOP, "--sensitivity", "100"});
    const auto printed = lines(all.out);
    ASSERT_GE(printed.size(), 2u);
    EXPECT_EQ(printed[1].rfind("slice points: ", 0), 0u);
    const std::regex point("^(\\d+) (\\d+) (-?\\d+) 1 0 1$");
    std::uint64_t previous = 0;
    for (std::size_t i = 2; i < printed.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(printed[i], m, point)) << printed[i];
        EXPECT_EQ(std::stoul(m[1]), i - 1);
        EXPECT_GE(std::stol(m[3]), 0) << "slider at 100% selects non-negative strengths";
        EXPECT_GE(std::stoull(m[2]), previous);
        EXPECT_EQ(std::stoull(m[2]) % 4, 0u) << "merged stereo points start a frame";
        previous = std::stoull(m[2]);
    }

    const CommandRun zero = detect({TOLVANE_DEMO_LOOP, "--sensitivity", "0"});
    EXPECT_EQ(lines(zero.out).at(1), "slice points: 0");
}

TEST(DetectCommand, PointFileHoldsTheTableOfTheSameScanInTheEditor) {
    TempDir dir;
    const std::string tlp = dir.file("demo.tlp");
    const CommandRun run = detect({TOLVANE_DEMO_LOOP, "--tlp", tlp});
    ASSERT_EQ(run.status, 0) << run.err;

    SampleDocument scanned;
    openSampleDocument(scanned, TOLVANE_DEMO_LOOP);
    scanTransients(scanned, ScanOptions{kDefaultWaveformWidth});
    SampleDocument fromFile;
    openSampleDocument(fromFile, TOLVANE_DEMO_LOOP);
    openPointFile(fromFile, tlp);
    EXPECT_EQ(tolvane::test::readBytes(tlp).size(), kPointFileSize);
    ASSERT_EQ(fromFile.CandidateCount, scanned.CandidateCount);
    EXPECT_EQ(candidatesPrinted(run.out), scanned.CandidateCount);
    for (int i = 1; i <= scanned.CandidateCount + 1; ++i)
        EXPECT_EQ(fromFile.CandidateTable[i], scanned.CandidateTable[i]) << i;
}

TEST(DetectCommand, SplitAndViewWidthShapeTheStereoTable) {
    const int merged = candidatesPrinted(detect({TOLVANE_DEMO_LOOP}).out);
    const CommandRun split = detect({TOLVANE_DEMO_LOOP, "--split", "--sensitivity", "100"});
    EXPECT_EQ(candidatesPrinted(split.out), 2 * merged);
    const auto printed = lines(split.out);
    for (std::size_t i = 2; i < printed.size(); ++i) {
        const bool right = printed[i].ends_with(" 1");
        std::istringstream fields(printed[i]);
        std::uint64_t index = 0, position = 0;
        fields >> index >> position;
        EXPECT_EQ(position % 4, right ? 2u : 0u) << printed[i];
    }
    // A wider waveform spaces merged points less: never fewer candidates.
    const int narrow = candidatesPrinted(detect({TOLVANE_DEMO_LOOP, "--view-width", "20"}).out);
    const int wide = candidatesPrinted(detect({TOLVANE_DEMO_LOOP, "--view-width", "5000"}).out);
    EXPECT_LT(narrow, merged);
    EXPECT_GE(wide, merged);
}

TEST(DetectCommand, RefusesBadInputLikeInfo) {
    TempDir dir;
    const std::string eight = dir.file("eight.wav");
    tolvane::test::writeBytes(eight, tolvane::test::waveImage(1, 8000, Bytes(100), 1, 8));
    CommandRun run = detect({eight});
    EXPECT_EQ(run.status, kExitWrongFormat);
    EXPECT_NE(run.out.find("Must be 16bit uncompressed format"), std::string::npos);

    run = detect({dir.file("missing.wav")});
    EXPECT_EQ(run.status, kExitUnreadable);
    EXPECT_NE(run.out.find("File is corrupted or is in an unrecognised format."),
              std::string::npos);

    EXPECT_EQ(detect({}).status, kExitUsage);
    EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--sensitivity", "101"}).status, kExitUsage);
    EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--sensitivity", "ten"}).status, kExitUsage);
    EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--view-width", "0"}).status, kExitUsage);
    for (const char* notInRange : {"nan", "inf", "-inf", "1e300"})
        EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--sensitivity", notInRange}).status, kExitUsage)
            << notInRange;
    const CommandRun wide = detect({TOLVANE_DEMO_LOOP, "--view-width", "4294967297"});
    EXPECT_EQ(wide.status, kExitUsage) << "not taken as 1";
    EXPECT_NE(wide.err.find("--view-width"), std::string::npos) << wide.err;
    EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--bogus"}).status, kExitUsage);
    EXPECT_EQ(detect({TOLVANE_DEMO_LOOP, "--tlp", dir.file("no/such/dir.tlp")}).status,
              kExitCannotWrite);
}

} // namespace
} // namespace tolvane::cli

namespace tolvane::cli {
namespace {

// The candidate table holds 8192 points: a recording with more hits gets points only as far as
// the scan reached, and the command says so on standard error.
TEST(DetectCommand, AFullTableTellsHowFarTheScanReached) {
    tolvane::test::TempDir dir;
    const std::string longer = dir.file("long.wav");
    tolvane::test::writeBytes(longer, tolvane::test::clickTrainWave(8300, 820));
    const auto run = test::runCommand({"detect", longer});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("candidates: 8192"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(longer + ": the table is full at 2:32 of 2:34; later hits were not "
                                    "scanned"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(test::runCommand({"detect", TOLVANE_DEMO_LOOP}).err, "") << "a loop fits";
}

TEST(DetectCommand, OtherFormatsOpenOnlyWithConvert) {
    TempDir dir;
    const std::string s24 = dir.file("s24.wav");
    tolvane::test::soxSynth(s24, "-b 24 -c 2", 0.5);
    const CommandRun refused = detect({s24});
    EXPECT_EQ(refused.status, kExitWrongFormat);
    EXPECT_NE(refused.out.find("Must be 16bit uncompressed format"), std::string::npos);
    EXPECT_NE(refused.err.find("is 24-bit; --convert converts it to 16 bits"), std::string::npos)
        << refused.err;
    const CommandRun converted = detect({s24, "--convert"});
    EXPECT_EQ(converted.status, kExitOk) << converted.err;
    EXPECT_GE(candidatesPrinted(converted.out), 0);
    EXPECT_NE(converted.err.find("converted from 24-bit to 16-bit"), std::string::npos);

    // process writes the converted sample as a 16-bit file; a damaged FLAC is a clear error.
    const std::string flac = dir.file("s.flac");
    tolvane::test::soxSynth(flac, "-b 24", 1.0);
    const CommandRun processed =
        test::runCommand({"process", flac, dir.file("out.wav"), "--convert", "--invert"});
    ASSERT_EQ(processed.status, kExitOk) << processed.err;
    EXPECT_EQ(testSampleFile(dir.file("out.wav")).result, Acceptance::Accepted);
    EXPECT_EQ(detect({flac}).status, kExitWrongFormat) << "FLAC is refused without agreement too";
    Bytes cut = tolvane::test::readBytes(flac);
    cut.resize(cut.size() / 2);
    tolvane::test::writeBytes(dir.file("cut.flac"), cut);
    const CommandRun damaged = detect({dir.file("cut.flac"), "--convert"});
    EXPECT_EQ(damaged.status, kExitUnreadable);
    EXPECT_NE(damaged.err.find("FLAC 24-bit data is damaged"), std::string::npos) << damaged.err;
}

} // namespace
} // namespace tolvane::cli
