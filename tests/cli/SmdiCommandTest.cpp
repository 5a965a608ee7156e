// `tolvane smdi` against the simulated SMDI sampler on a socket.
#include "RunTolvane.h"
#include "document/SampleDocument.h"
#include "fakes/SmdiSampler.h"
#include "processing/WriteSampleFile.h"
#include "slicing/ChannelMode.h"

#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

using test::CommandRun;
using test::runCommand;

TEST(SmdiCommand, SendsListsAndReceivesAStereoFile) {
    tolvane::test::TempDir dir;
    tolvane::test::SmdiSampler sampler(dir.file("smdi.sock"));
    sampler.setPacketLength(1000);

    SampleDocument doc;
    doc.Channels = 2;
    doc.BitsPerSample = 16;
    doc.SampleRate = 48000;
    doc.BytesPerSecond = 48000 * 4;
    doc.DataLength = 6000;
    std::vector<std::uint8_t> data(6000 + kSpareBytes);
    for (std::size_t i = 0; i < 6000; ++i)
        data[i] = static_cast<std::uint8_t>(i * 31 + i / 300);
    doc.SampleData.assign(data);
    const std::string wav = dir.file("beat.wav");
    WriteSampleFile(doc, wav, 0, 6000, kWriteBothChannels);

    const std::string socket = sampler.path();
    CommandRun run = runCommand({"smdi", "send", wav, "--socket", socket, "--number", "1"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("sent: beat as sample 1\nsent 1 of 1 samples\n"), std::string::npos)
        << run.out;
    const auto stored = sampler.sample(1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->channels, 2);
    EXPECT_EQ(stored->lengthWords, 1500u);
    EXPECT_EQ(stored->periodNs, 20833u);
    ASSERT_EQ(stored->data.size(), 6000u);
    EXPECT_EQ(stored->data[0], data[1]) << "big-endian words";

    run = runCommand({"smdi", "list", "--socket", socket, "--protocol", "4"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "1\tbeat\t2kb\t16\tstereo\t48000 Hz\n");

    const std::string back = dir.file("back.wav");
    run = runCommand({"smdi", "receive", "1", back, "--socket", socket});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("received 'beat': 1500 frames, 2 channels, 48000 Hz\n"),
              std::string::npos)
        << run.out;
    SampleDocument received;
    std::ostringstream out, err;
    ASSERT_EQ(openDocument(back, received, out, err), kExitOk) << err.str();
    EXPECT_EQ(received.Channels, 2);
    EXPECT_EQ(received.SampleRate, 48000u);
    ASSERT_EQ(received.DataLength, 6000);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 6000, received.SampleData.data()));

    // The segments between the locators, one sample each, together the region up to the right
    // locator.
    run = runCommand({"smdi", "send", wav, "--segments", "--split", "--locators", "400", "4000",
                      "--socket", socket, "--number", "20", "--name", "part", "--smooth", "0"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    std::vector<std::uint8_t> both;
    for (int n = 20; sampler.sample(n); ++n) {
        const auto segment = sampler.sample(n);
        EXPECT_EQ(segment->channels, 1);
        both.insert(both.end(), segment->data.begin(), segment->data.end());
    }
    EXPECT_NE(run.out.find("sent: part1 as sample 20\n"), std::string::npos) << run.out;
    std::vector<std::uint8_t> expected; // the left channel's segments, then the right's
    for (std::size_t channel = 0; channel < 4; channel += 2)
        for (std::size_t i = 400 + channel; i < 4000 + channel; i += 4)
            expected.insert(expected.end(), {data[i + 1], data[i]});
    EXPECT_EQ(both, expected) << run.out;

    // An E-mu sampler numbers from 1, as its listing does: that is where a send goes unless
    // --number says otherwise (in the 16 KB packets E-mu samplers take).
    sampler.setPacketLength(0x4000);
    run = runCommand({"smdi", "send", wav, "--socket", socket, "--protocol", "4", "--name", "emu"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("sent: emu as sample 1\n"), std::string::npos) << run.out;
    ASSERT_TRUE(sampler.sample(1));
    EXPECT_EQ(sampler.sample(1)->name, "emu");

    // Failures: a sample that is not there, a sampler that refuses, bad options.
    run = runCommand({"smdi", "receive", "9", back, "--socket", socket});
    EXPECT_EQ(run.status, 69);
    EXPECT_NE(run.err.find("Sample out of range?"), std::string::npos) << run.err;
    run = runCommand({"smdi", "list", "--socket", dir.file("nobody.sock")});
    EXPECT_EQ(run.status, 69);
    EXPECT_NE(run.err.find("Device is not SMIDI compliant!"), std::string::npos) << run.err;
    EXPECT_EQ(runCommand({"smdi", "list"}).status, kExitUsage);
    EXPECT_EQ(runCommand({"smdi", "list", "--target", "0"}).status, kExitUsage);
    EXPECT_EQ(runCommand({"smdi", "fetch", "--socket", socket}).status, kExitUsage);
}

} // namespace
} // namespace tolvane::cli
