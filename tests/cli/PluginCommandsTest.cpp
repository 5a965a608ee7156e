// `tolvane plugins` and `tolvane plugin`: the effects listed, files through them, bad requests.
#include "cli/RunTolvane.h"
#include "plugins/TestPlugins.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

using tolvane::test::TempDir;
namespace t = tolvane::test;
using Samples = std::vector<std::int16_t>;

class PluginCommandTest : public ::testing::Test {
protected:
    t::TestPluginEnvironment environment;
    TempDir dir;

    std::string wave(const std::string& name, std::uint16_t channels, const Samples& samples) {
        const std::string path = dir.file(name);
        t::writeBytes(path, t::waveImage(channels, 44100, t::pcm16(samples)));
        return path;
    }
    Samples decoded(const std::string& path) { return t::samples16(t::soxDecodeToRaw16(path)); }
};

TEST_F(PluginCommandTest, ListsEachEffectWithChannelsAndControlRanges) {
    const auto run = test::runCommand({"plugins"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("urn:wavetolvane:test:gain\n  name: Test Gain\n  kind: Amplifier\n"
                           "  maker: Tolvane Tests\n  channels: 1 in, 1 out\n"
                           "  control gain \"Gain\": 0 to 4, default 1\n  preset: Half\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  control cutoff \"Cutoff\": 4.41 to 22050, default 11025 Hz (at 44100 "
                           "Hz; scales with the sample rate)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  control invert \"Invert\": on/off, default off [Polarity]"),
              std::string::npos)
        << run.out;
    setenv("LV2_PATH", dir.file("nothing").c_str(), 1);
    EXPECT_EQ(test::runCommand({"plugins"}).out, "No plugins available\n");
}

TEST_F(PluginCommandTest, ProcessesAFileWithPresetAndSettingsInThatOrder) {
    const std::string in = wave("in.wav", 2, {100, -100, 2001, 7, 32767, -32768});
    const std::string out = dir.file("out.wav");
    auto run = test::runCommand({"plugin", in, out, "--uri", t::kGainUri, "--preset", "Half"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(decoded(out), (Samples{50, -50, 1000, 4, 16384, -16384}));
    run = test::runCommand(
        {"plugin", in, out, "--uri", t::kGainUri, "--preset", "Half", "--set", "gain=2"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(decoded(out), (Samples{200, -200, 4002, 14, 32767, -32768})) << "clipped";
    run = test::runCommand(
        {"plugin", in, out, "--uri", t::kGainUri, "--set", "gain=0", "--loop", "4", "8"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(decoded(out), (Samples{100, -100, 0, 0, 32767, -32768})) << "the loop only";
}

TEST_F(PluginCommandTest, MonoThroughAStereoOutputEffectWritesStereo) {
    const std::string out = dir.file("out.wav");
    const auto run = test::runCommand(
        {"plugin", wave("in.wav", 1, {10, -20}), out, "--uri", t::kSpreadUri, "--set", "gain=3"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("stereo"), std::string::npos) << run.out;
    EXPECT_EQ(decoded(out), (Samples{10, 30, -20, -60}));
}

TEST_F(PluginCommandTest, RefusedFormatsAndBadRequestsWriteNothing) {
    const std::string mono = wave("mono.wav", 1, {1, 2, 3, 4});
    const std::string out = dir.file("out.wav");
    auto run = test::runCommand({"plugin", mono, out, "--uri", t::kStereoGainUri});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_NE(run.err.find("It takes stereo input (2 audio inputs, 2 audio outputs), so it cannot "
                           "accept mono data."),
              std::string::npos)
        << run.err;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--uri", "urn:none"},
                                               {"--uri", t::kGainUri, "--set", "gain=4.5"},
                                               {"--uri", t::kGainUri, "--set", "volume=1"},
                                               {"--uri", t::kGainUri, "--set", "gain"},
                                               {"--uri", t::kGainUri, "--preset", "Loud"},
                                               {"--uri", t::kGainUri, "--loop", "6", "5"},
                                               {"--uri", t::kGainUri, "--loop", "0", "9"},
                                               {"--set", "gain=1"}}) {
        std::vector<std::string> command{"plugin", mono, out};
        command.insert(command.end(), args.begin(), args.end());
        run = test::runCommand(command);
        EXPECT_EQ(run.status, kExitUsage) << args.back() << run.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << args.back();
    }
}

// The effect's result goes through the same writer as every other output: a FIFO or a device in
// place of the output is refused and left as it is.
TEST_F(PluginCommandTest, AnOutputThatIsNotARegularFileIsRefused) {
    const std::string in = wave("in.wav", 1, {100, -100, 2001, 7});
    for (const t::NodeKind kind : {t::NodeKind::Fifo, t::NodeKind::CharDevice}) {
        const std::string node = dir.file("node.wav");
        ASSERT_TRUE(t::makeNode(node, kind));
        const auto run = test::runCommand({"plugin", in, node, "--uri", t::kGainUri});
        EXPECT_EQ(run.status, kExitCannotWrite) << run.err;
        EXPECT_NE(run.err.find(node + ": it is not a regular file"), std::string::npos) << run.err;
        EXPECT_TRUE(t::isNode(node, kind));
        std::filesystem::remove(node);
    }
}

TEST_F(PluginCommandTest, ARangeRelativeToTheRateIsCheckedAtTheFilesRate) {
    const std::string out = dir.file("out.wav");
    const std::string in = dir.file("in96.wav");
    t::writeBytes(in, t::waveImage(1, 96000, t::pcm16({1, 2, 3, 4})));
    auto run =
        test::runCommand({"plugin", in, out, "--uri", t::kFragileUri, "--set", "cutoff=48000"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    run = test::runCommand({"plugin", wave("in44.wav", 1, {1, 2}), out, "--uri", t::kFragileUri,
                            "--set", "cutoff=30000"});
    EXPECT_EQ(run.status, kExitUsage) << "above half of 44100 Hz";
}

TEST_F(PluginCommandTest, ProbeTriesBothLayoutsAndSaysWhatHappened) {
    auto run = test::runCommand({"plugins", "--probe", t::kStereoGainUri, "--rate", "48000"});
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_TRUE(run.out.starts_with("mono: trying\nmono: refused: An error occurred when "
                                    "initialising the plugin - It takes stereo input"))
        << run.out;
    EXPECT_TRUE(run.out.ends_with("stereo: trying\nstereo: works\ndone\n")) << run.out;
    run = test::runCommand({"plugins", "--probe", "urn:none"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.out, "no installed effect urn:none\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"plugins", "--probe"},
             {"plugins", "--probe", t::kGainUri, "--rate", "12"},
             {"plugins", "--probe", t::kGainUri, "--seconds", "x"},
             {"plugins", "--list"}})
        EXPECT_EQ(test::runCommand(args).status, kExitUsage) << args.back();
}

} // namespace
} // namespace tolvane::cli
