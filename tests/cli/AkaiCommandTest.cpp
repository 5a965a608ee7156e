// `tolvane akai` against the simulated S2000-family sampler on a socket.
#include "RunTolvane.h"
#include "fakes/AkaiS2000Sampler.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace tolvane::cli::test {
namespace {

using tolvane::test::AkaiS2000Sampler;
using tolvane::test::TempDir;

class AkaiCommand : public ::testing::Test {
protected:
    AkaiCommand() {
        std::vector<std::int16_t> samples(44100);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
        source = tolvane::test::pcm16(samples);
        tolvane::test::writeBytes(loop, tolvane::test::waveImage(1, 22050, source));
    }

    CommandRun akai(std::vector<std::string> args) {
        args.insert(args.begin(), "akai");
        args.insert(args.end(), {"--socket", sampler.path()});
        return runCommand(args);
    }

    TempDir dir;
    AkaiS2000Sampler sampler{dir.file("akai.sock")};
    std::string loop = dir.file("Kick 1.wav");
    tolvane::test::Bytes source;
};

TEST_F(AkaiCommand, SendsTheSegmentsWithAProgramThenListsAndReceives) {
    const CommandRun sent = akai({"send", loop, "--bars", "1", "--cut", "8", "--white-keys",
                                  "--base-note", "36", "--smooth", "0", "--bank-name", "Loop"});
    ASSERT_EQ(sent.status, kExitOk) << sent.err;
    EXPECT_NE(sent.out.find("sent: Kick 1008 on key 48\n"), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("program: LOOP with 8 keygroups\n"), std::string::npos) << sent.out;
    const auto samples = sampler.samples();
    ASSERT_EQ(samples.size(), 8u);
    EXPECT_EQ(samples[0].name(), "KICK 1001");
    EXPECT_EQ(samples[0].rate(), 22050u);
    const auto programs = sampler.programs();
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].keygroups.size(), 8u);
    EXPECT_EQ(programs[0].keygroups[7][3], 48) << "the eighth white key is C an octave up";
    EXPECT_FALSE(sampler.exclusiveMode());

    const CommandRun listed = akai({"list"});
    EXPECT_EQ(listed.status, kExitOk) << listed.err;
    EXPECT_EQ(listed.out.rfind("0\tKICK 1001\t", 0), 0u) << listed.out;

    const std::string received = dir.file("received.wav");
    const CommandRun got = akai({"receive", "0", received});
    ASSERT_EQ(got.status, kExitOk) << got.err;
    const std::size_t bytes = 2 * samples[0].lengthWords();
    EXPECT_EQ(tolvane::test::readBytes(received),
              tolvane::test::waveImage(1, 22050, {source.begin(), source.begin() + long(bytes)}));
}

TEST_F(AkaiCommand, TargetsProfilesAndFailures) {
    EXPECT_EQ(runCommand({"akai", "list"}).status, kExitUsage) << "no target";
    EXPECT_EQ(runCommand({"akai", "list", "--socket", "a", "--target", "0:1"}).status, kExitUsage);
    EXPECT_EQ(runCommand({"akai", "list", "--target", "0:9"}).status, kExitUsage);
    EXPECT_EQ(akai({"receive", "x", "out.wav"}).status, kExitUsage);

    // A profile of another sampler type is refused; one of this type finds the socket target.
    const std::string settings = dir.file("tolvane.ini");
    SamplerProfileStore store(profileStoreBeside(settings));
    SamplerProfile smdi;
    smdi.protocol = 1;
    ASSERT_TRUE(store.write("smdi", smdi));
    SamplerProfile s2000;
    s2000.protocol = 5;
    // The socket adaptor comes after the machine's own SCSI hosts.
    s2000.adaptor = static_cast<std::uint8_t>(linuxScsiAdaptors().size());
    s2000.target = 0;
    ASSERT_TRUE(store.write("s2000", s2000));
    EXPECT_EQ(runCommand({"akai", "list", "--profile", "smdi", "--settings", settings}).status,
              kExitBadProfile);
    sampler.addSample("Hat", {1, 2}, 44100);
    ::unsetenv("TOLVANE_SCSI_SOCKETS");
    const CommandRun listed = runCommand({"akai", "list", "--profile", "s2000", "--settings",
                                          settings, "--scsi-sockets", sampler.path()});
    EXPECT_EQ(listed.status, kExitOk) << listed.err;
    EXPECT_EQ(listed.out, "0\tHAT\t4 bytes\t16\tmono\t44100 Hz\n");

    // Nothing on the socket: the sampler cannot be reached.
    const CommandRun nobody = runCommand({"akai", "list", "--socket", dir.file("nobody.sock")});
    EXPECT_EQ(nobody.status, 69);
    EXPECT_NE(nobody.err.find("Error communicating with sampler"), std::string::npos);
}

} // namespace
} // namespace tolvane::cli::test
