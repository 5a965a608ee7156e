// `tolvane ports` against simulated samplers on the socket adaptor, and `tolvane profiles` on a
// profile store beside a settings file.
#include "RunTolvane.h"
#include "fakes/SmdiSampler.h"
#include "samplers/ProfileStore.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane::cli::test {
namespace {

using tolvane::test::TempDir;

TEST(PortsCommand, ListsTheSocketTargetsWithTheSamplerMark) {
    ::unsetenv("TOLVANE_SCSI_SOCKETS");
    TempDir dir;
    tolvane::test::SmdiSampler sampler(dir.file("smdi.sock"));
    const CommandRun run =
        runCommand({"ports", "--scsi-sockets", sampler.path() + ":" + dir.file("none.sock")});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("MIDI"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("SCSI:\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  ID:0 Socket targets\n"
                           "    ID:0 TOLVANE SMDI SAMPLER 1.0 (*)\n"
                           "    ID:1 No Device Found\n"),
              std::string::npos)
        << run.out;

    // The environment variable names the sockets instead of the option.
    ::setenv("TOLVANE_SCSI_SOCKETS", dir.file("none.sock").c_str(), 1);
    const CommandRun fromEnvironment = runCommand({"ports", "--scsi-sockets", sampler.path()});
    ::unsetenv("TOLVANE_SCSI_SOCKETS");
    EXPECT_NE(fromEnvironment.out.find("    ID:0 No Device Found\n"), std::string::npos)
        << fromEnvironment.out;
    EXPECT_EQ(runCommand({"ports", "extra"}).status, kExitUsage);
}

class ProfilesCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string settings = dir.file("tolvane.ini");
    SamplerProfileStore store{profileStoreBeside(settings)};

    CommandRun profiles(std::vector<std::string> args) {
        args.insert(args.begin(), "profiles");
        args.insert(args.end(), {"--settings", settings});
        return runCommand(args);
    }
};

TEST_F(ProfilesCommand, ListsShowsAndDeletes) {
    EXPECT_EQ(profiles({}).out, "No Presets Stored\n");
    SamplerProfile a3000;
    a3000.protocol = 2;
    a3000.midiOutput = 1;
    a3000.midiOutputInUse = 1;
    a3000.adaptor = 0;
    a3000.target = 4;
    a3000.scsiInUse = 1;
    a3000.offset = -1;
    a3000.midiInput = SamplerProfile::kNothingSelected;
    ASSERT_TRUE(store.write("Rack A3000", a3000));
    ASSERT_TRUE(store.write("SDS", SamplerProfile{}));
    EXPECT_EQ(profiles({"list"}).out, "Rack A3000\nSDS\n");

    const CommandRun shown = profiles({"show", "Rack A3000"});
    EXPECT_EQ(shown.status, kExitOk);
    EXPECT_NE(shown.out.find("protocol: 2 Yamaha A3000 SCSI (needs MIDI out)\n"), std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("MIDI input: none\n"), std::string::npos);
    EXPECT_NE(shown.out.find("SCSI target: 4\n"), std::string::npos);
    EXPECT_NE(shown.out.find("offset: -1\n"), std::string::npos);
    EXPECT_NE(shown.out.find("bytes: FF 01 00 04 01 01 00 01 01 02 00 00 FF FF FF FF\n"),
              std::string::npos)
        << shown.out;

    EXPECT_EQ(profiles({"delete", "Rack A3000"}).status, kExitOk);
    EXPECT_EQ(profiles({"list"}).out, "SDS\n");
    EXPECT_EQ(profiles({"delete", "Rack A3000"}).status, kExitBadProfile);
    EXPECT_EQ(profiles({"show", "nothing"}).status, kExitBadProfile);
    EXPECT_EQ(profiles({"rename", "SDS"}).status, kExitUsage);
    EXPECT_EQ(profiles({"show"}).status, kExitUsage);
}

TEST_F(ProfilesCommand, ACorruptedProfileSaysSo) {
    ASSERT_TRUE(store.write("good", SamplerProfile{}));
    std::ofstream(store.file(), std::ios::app) << "0011 broken\n";
    const CommandRun run = profiles({"show", "broken"});
    EXPECT_EQ(run.status, kExitBadProfile);
    EXPECT_EQ(run.err, "Error reading preset - may be corrupted!\n");
    EXPECT_EQ(profiles({"list"}).out, "good\nbroken\n");
}

} // namespace
} // namespace tolvane::cli::test
