// `tolvane ports` against simulated samplers on the socket adaptor, and `tolvane profiles` on a
// profile store beside a settings file.
#include "RunTolvane.h"
#include "fakes/SmdiSampler.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane::cli::test {
namespace {

using tolvane::test::SmdiSample;
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

// What a profiles file holds reaches the terminal escaped; a file that cannot be read is
// reported, never shown as "No Presets Stored".
TEST_F(ProfilesCommand, NamesPrintEscapedAndAnUnreadableStoreIsAnError) {
    ASSERT_TRUE(store.write("plain", SamplerProfile{}));
    std::ofstream(store.file(), std::ios::app)
        << "00000000010100000000000000000000 \x1b]0;pwned\x07\n";
    CommandRun run = profiles({"list"});
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.out, "plain\n\\x1B]0;pwned\\x07\n");
    EXPECT_EQ(profiles({"add", "bad\x1b", "--type", "sds"}).status, kExitUsage);

    std::filesystem::remove(store.file());
    std::filesystem::create_directory(store.file());
    run = profiles({"list"});
    EXPECT_EQ(run.status, kExitBadProfile);
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("No Presets Stored"), std::string::npos);
}

TEST_F(ProfilesCommand, ACorruptedProfileSaysSo) {
    ASSERT_TRUE(store.write("good", SamplerProfile{}));
    std::ofstream(store.file(), std::ios::app) << "0011 broken\n";
    const CommandRun run = profiles({"show", "broken"});
    EXPECT_EQ(run.status, kExitBadProfile);
    EXPECT_EQ(run.err, "Error reading preset - may be corrupted!\n");
    EXPECT_EQ(profiles({"list"}).out, "good\nbroken\n");
}

// A sampler set up without the window: made, changed, used, shown and deleted.
TEST_F(ProfilesCommand, AddAndSetMakeAProfileThatTheTransferCommandsUse) {
    ::unsetenv("TOLVANE_SCSI_SOCKETS");
    tolvane::test::SmdiSampler sampler(dir.file("smdi.sock"));
    const std::string sockets = dir.file("other.sock") + ":" + sampler.path();
    CommandRun run = profiles({"add", "Rack E4", "--type", "smdi", "--socket", sampler.path(),
                               "--scsi-sockets", sockets, "--offset", "-2"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const auto added = store.read("Rack E4");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->protocol, 1);
    EXPECT_EQ(added->adaptor, linuxScsiAdaptors().size()) << "the socket adaptor";
    EXPECT_EQ(added->target, 1) << "the second socket";
    EXPECT_EQ(added->scsiInUse, 1);
    EXPECT_EQ(added->midiOutputInUse, 0);
    EXPECT_EQ(added->offset, -2);

    run = profiles({"set", "Rack E4", "--type", "emu", "--offset", "1024", "--channel", "9"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("protocol: 4 E-mu ESI and EOS (E4 / E64) SCSI\n"), std::string::npos)
        << run.out;
    const auto changed = store.read("Rack E4");
    EXPECT_EQ(changed->offset, 1024);
    EXPECT_EQ(changed->channel, 9);
    EXPECT_EQ(changed->target, 1) << "what set does not name stays";

    // The transfer commands find the sampler through it.
    SmdiSample held;
    held.name = "KICK";
    held.lengthWords = 2;
    held.data = {1, 2, 3, 4};
    sampler.store(1, held);
    run = runCommand({"smdi", "list", "--profile", "Rack E4", "--settings", settings,
                      "--scsi-sockets", sockets});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "1\tKICK\t4 bytes\t16\tmono\t44100 Hz\n");

    EXPECT_EQ(profiles({"add", "Rack E4", "--type", "sds"}).status, kExitUsage) << "exists";
    EXPECT_EQ(profiles({"add", "New"}).status, kExitUsage) << "no type";
    EXPECT_EQ(profiles({"add", "New", "--type", "s1000"}).status, kExitUsage);
    EXPECT_EQ(profiles({"add", "New", "--type", "akai", "--offset", "1025"}).status, kExitUsage);
    EXPECT_EQ(profiles({"add", "New", "--type", "akai", "--scsi", "0"}).status, kExitUsage);
    EXPECT_EQ(profiles({"add", "New", "--type", "akai", "--socket", dir.file("x.sock")}).status,
              kExitUsage)
        << "a socket the SCSI bus does not have";
    EXPECT_EQ(profiles({"set", "Missing", "--channel", "2"}).status, kExitBadProfile);
    EXPECT_EQ(profiles({"show", "Rack E4", "--channel", "2"}).status, kExitUsage);
    EXPECT_EQ(store.names(), std::vector<std::string>{"Rack E4"});
    EXPECT_EQ(profiles({"delete", "Rack E4"}).status, kExitOk);
}

} // namespace
} // namespace tolvane::cli::test
