#include "cli/RunTolvane.h"
#include "export/SoundBank.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;
using tolvane::test::TempDir;

test::CommandRun exportDemo(std::vector<std::string> args) {
    args.insert(args.begin(), {"export", TOLVANE_DEMO_LOOP});
    return test::runCommand(args);
}

TEST(BankCommand, EachFormatIsWrittenAndListedWithItsWaves) {
    TempDir dir;
    for (const char* name : {"b.sf2", "b.gig", "b.pbf", "b.sfz"}) {
        const auto run = exportDemo({"--sensitivity", "60", "--bank", dir.file(name)});
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_NE(run.out.find(dir.file(name) + ": " +
                               std::to_string(fs::file_size(dir.file(name))) + " bytes"),
                  std::string::npos)
            << run.out;
    }
    EXPECT_TRUE(fs::exists(dir.file("b01.wav"))) << "the SFZ plays stereo waves";
    EXPECT_TRUE(fs::exists(dir.file("b01L.wav"))) << "the Pinnacle bank a layer per channel";
    const auto split = exportDemo(
        {"--split", "--channel", "right", "--sensitivity", "60", "--bank", dir.file("s.dls")});
    ASSERT_EQ(split.status, 0) << split.err;
    EXPECT_TRUE(fs::exists(dir.file("sR.dls")));
    EXPECT_FALSE(fs::exists(dir.file("sL.dls")));
}

TEST(BankCommand, KeymapOptionsPlaceTheSegments) {
    TempDir dir;
    const auto run = exportDemo({"--sensitivity", "60", "--bank", dir.file("w.sfz"), "--base-note",
                                 "36", "--white-keys", "--smooth", "20"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto text = tolvane::test::readBytes(dir.file("w.sfz"));
    const std::string sfz(text.begin(), text.end());
    EXPECT_NE(sfz.find("sample=w01.wav lokey=36 hikey=36 pitch_keycenter=36"), std::string::npos)
        << sfz;
    EXPECT_NE(sfz.find("sample=w02.wav lokey=38 hikey=38 pitch_keycenter=38"), std::string::npos);
    const auto spread = exportDemo({"--sensitivity", "60", "--bank", dir.file("i.sfz"),
                                    "--base-note", "60", "--interval", "2"});
    ASSERT_EQ(spread.status, 0) << spread.err;
    const auto second = tolvane::test::readBytes(dir.file("i.sfz"));
    EXPECT_NE(std::string(second.begin(), second.end())
                  .find("sample=i02.wav lokey=62 hikey=64 pitch_keycenter=63"),
              std::string::npos);
}

TEST(BankCommand, WrongRequestsAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const std::vector<std::vector<std::string>> wrong = {
        {"--bank", dir.file("b.wav")},
        {"--bank", dir.file("b.DLS")}, // merged stereo
        {"--bank", dir.file("b.sf2"), "--base-note", "128"},
        {"--bank", dir.file("b.sf2"), "--interval", "13"},
        {"--bank", dir.file("b.sf2"), "--white-keys", "--base-note", "50"},
        {"--bank", dir.file("b.sf2"), "--base-note", "120", "--sensitivity", "60"},
        {"--base-note", "40", "--whole", dir.file("w.wav")},
        {"--bank", dir.file("b.sf2"), "--locators", "1000", "1002"},
    };
    for (const auto& args : wrong) {
        const auto run = exportDemo(args);
        EXPECT_EQ(run.status, kExitUsage) << args[1] << " " << run.out;
        EXPECT_FALSE(run.err.empty());
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    const auto dls = exportDemo({"--bank", dir.file("b.DLS")});
    EXPECT_NE(dls.err.find("DLS does not support stereo samples at this time!\n\nConver sample "
                           "to mono or select individual channels."),
              std::string::npos)
        << dls.err;
}

TEST(BankCommand, AFileThatCannotBeWrittenIsAWriteErrorAndTheOtherChannelIsStillWritten) {
    TempDir dir;
    tolvane::test::writeBytes(dir.file("bL.sf2"),
                              {'o', 'l', 'd'}); // read-only: refused at the write
    fs::permissions(dir.file("bL.sf2"), fs::perms::owner_read);
    const auto run = exportDemo({"--split", "--sensitivity", "60", "--bank", dir.file("b.sf2")});
    EXPECT_EQ(run.status, kExitCannotWrite);
    EXPECT_EQ(tolvane::test::readBytes(dir.file("bL.sf2")), (tolvane::test::Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(fs::exists(dir.file("bR.sf2")));
}

// A folder where a bank file would go is known before anything is written.
TEST(BankCommand, AFolderInPlaceOfABankFileIsRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    fs::create_directory(dir.file("bL.sf2"));
    const auto run = exportDemo({"--split", "--sensitivity", "60", "--bank", dir.file("b.sf2")});
    EXPECT_EQ(run.status, kExitCannotWrite);
    EXPECT_NE(run.err.find("it is a folder"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_directory(dir.file("bL.sf2")));
    EXPECT_FALSE(fs::exists(dir.file("bR.sf2")));
}

// A bank gives every segment a key of its own; "base note only" cannot put them all on one.
// The last key actually used is what must not lie above 127.
TEST(BankCommand, EverySegmentGetsAKeyUpToTheTopOne) {
    TempDir dir;
    const std::vector<std::string> grid = {"--bars", "5", "--cut", "32", "--base-note", "0"};
    auto stacked = grid;
    stacked.insert(stacked.end(), {"--base-note-only", "--segments", dir.file("s.wav"), "--bank",
                                   dir.file("b.sf2")});
    const auto refused = exportDemo(stacked);
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_NE(refused.err.find("segments exceed the available notes (the last key"),
              std::string::npos)
        << refused.err;
    EXPECT_TRUE(fs::is_empty(dir.path())) << "not one of the series' files either";

    const auto top = exportDemo({"--base-note", "127", "--bank", dir.file("top.sf2")});
    EXPECT_EQ(top.status, kExitOk) << "one segment on the top key fits: " << top.err;
    const auto past =
        exportDemo({"--base-note", "126", "--interval", "4", "--bank", dir.file("past.sf2")});
    EXPECT_EQ(past.status, kExitUsage);
    EXPECT_NE(past.err.find("1 segments exceed the available notes (the last key 128 lies above "
                            "127)"),
              std::string::npos)
        << past.err;
}

} // namespace
} // namespace tolvane::cli
