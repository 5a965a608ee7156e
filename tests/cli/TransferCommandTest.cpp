// `tolvane send` and `tolvane request` against the simulated SMDI and S2000 samplers: the
// loop's segments go out and each comes back byte for byte.
#include "RunTolvane.h"
#include "fakes/AkaiS2000Sampler.h"
#include "fakes/SmdiSampler.h"
#include "fileio/WaveFileWriter.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace tolvane::cli::test {
namespace {

using tolvane::test::Bytes;
using tolvane::test::TempDir;

class TransferCommand : public ::testing::Test {
protected:
    TransferCommand() {
        ::unsetenv("TOLVANE_SCSI_SOCKETS");
        std::vector<std::int16_t> samples(22048); // eight segments of 2756 frames
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>((i * 53) % 30000 - 15000);
        source = tolvane::test::pcm16(samples);
        tolvane::test::writeBytes(loop, tolvane::test::waveImage(1, 22050, source));
    }

    // A profile of the given sampler type on the socket target (the socket adaptor comes
    // after the machine's own SCSI hosts).
    void storeProfile(const std::string& name, int protocol, int offset = 0) {
        SamplerProfileStore store(profileStoreBeside(settings));
        SamplerProfile profile;
        profile.protocol = static_cast<std::uint8_t>(protocol);
        profile.scsiInUse = 1;
        profile.adaptor = static_cast<std::uint8_t>(linuxScsiAdaptors().size());
        profile.offset = offset;
        ASSERT_TRUE(store.write(name, profile));
    }
    CommandRun run(std::vector<std::string> args, const std::string& socket) {
        args.insert(args.end(), {"--settings", settings, "--scsi-sockets", socket});
        return runCommand(args);
    }
    // The n-th of the eight segments a one-bar cut to 8ths makes, between the points
    // `tolvane grid` lists.
    Bytes segment(std::size_t n) {
        if (bounds.empty()) {
            const CommandRun grid = runCommand({"grid", loop, "--bars", "1", "--cut", "8"});
            std::istringstream lines(grid.out.substr(grid.out.find("slice points:")));
            std::string line;
            std::getline(lines, line);
            bounds.push_back(0);
            for (std::size_t index, position; lines >> index >> position;) {
                bounds.push_back(position);
                std::getline(lines, line);
            }
            bounds.push_back(source.size());
        }
        return {source.begin() + long(bounds.at(n)), source.begin() + long(bounds.at(n + 1))};
    }

    TempDir dir;
    std::string settings = dir.file("tolvane.ini");
    std::string loop = dir.file("Break.wav");
    Bytes source;
    std::vector<std::size_t> bounds;
};

TEST_F(TransferCommand, SegmentsSentToAnSmdiSamplerComeBackByteForByte) {
    tolvane::test::SmdiSampler sampler(dir.file("smdi.sock"));
    storeProfile("smdi", 1, 10);
    const CommandRun sent = run({"send", loop, "--profile", "smdi", "--bars", "1", "--cut", "8",
                                 "--smooth", "0", "--position", "2"},
                                sampler.path());
    ASSERT_EQ(sent.status, kExitOk) << sent.err;
    EXPECT_NE(sent.out.find("sent 8 of 8 samples"), std::string::npos) << sent.out;
    ASSERT_TRUE(sampler.sample(12));
    EXPECT_EQ(sampler.sample(12)->name, "Break1");
    EXPECT_EQ(sampler.sample(12)->data.size(), segment(0).size());
    for (std::size_t n = 0; n < 8; n += 7) {
        const std::string back = dir.file("back" + std::to_string(n) + ".wav");
        const CommandRun got =
            run({"request", back, "--profile", "smdi", "--position", std::to_string(2 + n)},
                sampler.path());
        ASSERT_EQ(got.status, kExitOk) << got.err;
        EXPECT_EQ(tolvane::test::readBytes(back), tolvane::test::waveImage(1, 22050, segment(n)));
    }
    // Nothing there: the sampler's refusal ends the request with its message.
    const CommandRun missing =
        run({"request", dir.file("none.wav"), "--profile", "smdi", "--position", "900"},
            sampler.path());
    EXPECT_EQ(missing.status, 69);
}

TEST_F(TransferCommand, TheS2000GetsItsProgramAndABatchKeepsEachFilesByteOrder) {
    tolvane::test::AkaiS2000Sampler sampler(dir.file("akai.sock"));
    storeProfile("s2000", 5);
    const CommandRun sent = run({"send", loop, "--profile", "s2000", "--bars", "1", "--cut", "8",
                                 "--smooth", "0", "--automap", "--white-keys", "--base-note", "36"},
                                sampler.path());
    ASSERT_EQ(sent.status, kExitOk) << sent.err;
    ASSERT_EQ(sampler.samples().size(), 8u);
    ASSERT_EQ(sampler.programs().size(), 1u);
    EXPECT_EQ(sampler.programs()[0].keygroups.size(), 8u);
    const std::string back = dir.file("back.wav");
    const CommandRun got =
        run({"request", back, "--profile", "s2000", "--position", "3"}, sampler.path());
    ASSERT_EQ(got.status, kExitOk) << got.err;
    EXPECT_EQ(tolvane::test::readBytes(back), tolvane::test::waveImage(1, 22050, segment(3)));

    // A batch: an AIFF file (big-endian data) arrives as the same samples as a WAV file.
    const Bytes samples = {1, 0, 2, 0, 3, 0, 4, 0};
    std::uint32_t left = static_cast<std::uint32_t>(samples.size());
    writeSampleStream(dir.file("snare.aif"), 1, 44100, left,
                      [&](std::uint8_t* block, std::size_t capacity) {
                          const std::size_t n = std::min<std::size_t>(capacity, left);
                          std::copy_n(samples.begin(), n, block);
                          left -= static_cast<std::uint32_t>(n);
                          return n;
                      });
    writeWaveFile(dir.file("kick.wav"), 1, 44100, samples.data(), samples.size());
    const CommandRun batch =
        run({"send", "--batch", dir.file("snare.aif"), dir.file("kick.wav"), "--profile", "s2000"},
            sampler.path());
    ASSERT_EQ(batch.status, kExitOk) << batch.err;
    ASSERT_EQ(sampler.samples().size(), 10u);
    for (int n : {8, 9}) {
        const std::string file = dir.file("batch" + std::to_string(n) + ".wav");
        ASSERT_EQ(run({"request", file, "--profile", "s2000", "--position", std::to_string(n)},
                      sampler.path())
                      .status,
                  kExitOk);
        EXPECT_EQ(tolvane::test::readBytes(file), tolvane::test::waveImage(1, 44100, samples));
    }

    // A file that is not a sample stops the batch before anything goes.
    tolvane::test::writeBytes(dir.file("bad.wav"), Bytes(30, 1));
    EXPECT_EQ(
        run({"send", "--batch", dir.file("bad.wav"), "--profile", "s2000"}, sampler.path()).status,
        kExitWrongFormat);
    EXPECT_EQ(runCommand({"send", loop}).status, kExitUsage) << "no profile";
    EXPECT_EQ(run({"send", loop, "--profile", "none"}, sampler.path()).status, kExitBadProfile);
}

// The last segment ends at the right locator for every sampler: a file of 11,025 frames with no
// slice points goes as one sample of 11,025 frames, not 11,024.
TEST_F(TransferCommand, TheLastSegmentEndsAtTheRightLocatorOnEverySampler) {
    std::vector<std::int16_t> samples(11025);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i * 3 - 16000);
    const std::string file = dir.file("Odd.wav");
    tolvane::test::writeBytes(file,
                              tolvane::test::waveImage(1, 22050, tolvane::test::pcm16(samples)));
    const std::vector<std::string> oneSegment = {"--sensitivity", "0", "--smooth", "0"};

    tolvane::test::AkaiS2000Sampler akai(dir.file("akai.sock"));
    std::vector<std::string> args = {"akai", "send", file, "--socket", akai.path(), "--no-program"};
    args.insert(args.end(), oneSegment.begin(), oneSegment.end());
    CommandRun run = runCommand(args);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    ASSERT_EQ(akai.samples().size(), 1u);
    EXPECT_EQ(akai.samples()[0].lengthWords(), 11025u);

    tolvane::test::SmdiSampler smdi(dir.file("smdi.sock"));
    args = {"smdi", "send", file, "--segments", "--socket", smdi.path()};
    args.insert(args.end(), oneSegment.begin(), oneSegment.end());
    run = runCommand(args);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    ASSERT_TRUE(smdi.sample(0));
    EXPECT_EQ(smdi.sample(0)->lengthWords, 11025u);
}

} // namespace
} // namespace tolvane::cli::test
