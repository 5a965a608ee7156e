// `tolvane process`: the steps in their order, bad input, and the results against sox.
#include "cli/RunTolvane.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

using tolvane::test::Bytes;
using tolvane::test::TempDir;
namespace t = tolvane::test;

using Samples = std::vector<std::int16_t>;

void writeWave(const std::string& path, std::uint16_t channels, const Samples& samples,
               std::uint32_t rate = 44100) {
    t::writeBytes(path, t::waveImage(channels, rate, t::pcm16(samples)));
}

Samples decoded(const std::string& path) {
    return t::samples16(t::soxDecodeToRaw16(path));
}

// What sox makes of `in` with the given effects, decoded (no dither).
Samples soxResult(const std::string& in, const std::string& effects, const TempDir& dir) {
    const std::string out = dir.file("sox-result.wav");
    t::runOrFail("sox -D " + t::shellQuote(in) + " " + t::shellQuote(out) + " " + effects);
    return decoded(out);
}

test::CommandRun process(const std::string& in, const std::string& out,
                         std::vector<std::string> steps) {
    steps.insert(steps.begin(), {"process", in, out});
    return test::runCommand(steps);
}

// Pairs (s, -s) of varied levels: a stereo signal whose mean is exactly 0, so that removing it
// changes nothing and the result can be set against a tool that does not remove it.
Samples balancedFrames(int frames, int peak) {
    Samples samples;
    std::uint32_t state = 7;
    for (int i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const auto s = static_cast<std::int16_t>(static_cast<int>(state >> 16) % (peak - 100));
        samples.push_back(s);
        samples.push_back(static_cast<std::int16_t>(-s));
    }
    samples[20] = static_cast<std::int16_t>(-peak);
    samples[21] = static_cast<std::int16_t>(peak);
    return samples;
}

// Square-wave bursts (never near zero) between stretches of digital silence.
Samples burstsAndSilences(const std::vector<std::pair<int, bool>>& pieces) {
    Samples samples;
    for (const auto& [count, loud] : pieces)
        for (int i = 0; i < count; ++i)
            samples.push_back(static_cast<std::int16_t>(loud ? ((i / 50) % 2 ? -8000 : 8000) : 0));
    return samples;
}

#define REQUIRE_SOX()                                                                              \
    if (!t::haveProgram("sox"))                                                                    \
    GTEST_SKIP() << "sox is not installed (scripts/install-deps)"

TEST(ProcessCommand, StepsRunInTheOrderGivenAndTheResultIsWritten) {
    REQUIRE_SOX();
    TempDir dir;
    const Samples frames{100, -200, 300, -400, -32768, 32767};
    writeWave(dir.file("in.wav"), 2, frames);
    // Invert the left channel, then keep it, at half the rate, as AIFF.
    auto run = process(dir.file("in.wav"), dir.file("out.aif"),
                       {"--channel", "left", "--invert", "--to-mono", "left", "--rate", "22050"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("left channel only\ninverted\nconverted to mono (left)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("16 Bit / 22050 hz mono"), std::string::npos) << run.out;
    EXPECT_EQ(decoded(dir.file("out.aif")), (Samples{-101, -301, 32767}));
    t::runOrFail("test \"$(soxi -r " + t::shellQuote(dir.file("out.aif")) + ")\" = 22050");

    // The other order keeps the left channel first and inverts the mono sample.
    run = process(dir.file("in.wav"), dir.file("out.wav"), {"--to-stereo"});
    EXPECT_EQ(run.status, 64) << "a stereo sample cannot become stereo";
    run = process(dir.file("in.wav"), dir.file("out.wav"),
                  {"--to-mono", "right", "--to-stereo", "--channel", "right", "--quantise", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(decoded(dir.file("out.wav")), (Samples{-200, 0, -400, 0, 32767, 0}));
}

TEST(ProcessCommand, BadOptionsAndStepsThatCannotBeDoneWriteNothing) {
    TempDir dir;
    writeWave(dir.file("mono.wav"), 1, {0, 0, 0, 0});
    writeWave(dir.file("loud.wav"), 1, Samples(2000, 9000));
    const std::string out = dir.file("out.wav");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--quantise", "17"}, "--quantise needs a whole number from 0 to 16, not '17'"},
        {{"--normalise=0"}, "--normalise needs a whole number from 1 to 1000, not '0'"},
        {{"--rate", "768001"}, "--rate needs a whole number from 1 to 768000"},
        {{"--strip-silence", "62", "100"}, "--strip-silence needs a whole number from 1 to 61"},
        {{"--strip-silence", "1"}, "--strip-silence needs two values, THOLD and GAP"},
        {{"--to-mono", "both"}, "--to-mono is left, right or mix, not 'both'"},
        {{"--channel", "middle"}, "--channel is left, right or both"},
        {{"--normalise"}, "--normalise: the sample is silent"},
        {{"--to-mono", "mix"}, "--to-mono mix: the sample is already mono"},
        {{"--channel", "left"}, "--channel left: the sample is mono"},
        {{"--quantise", "16"}, "--quantise 16: the sample already has 16 bits"},
        {{"--strip-silence", "1", "100"}, "Nothing would remain after removing silence."},
        {{"--invert", "--to-stereo", "--to-stereo"}, "--to-stereo: the sample is already stereo"},
    };
    for (const auto& [steps, message] : cases) {
        const auto run = process(dir.file("mono.wav"), out, steps);
        EXPECT_EQ(run.status, 64) << steps.front();
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << steps.front() << ": nothing is written";
    }
    EXPECT_EQ(process(dir.file("loud.wav"), out, {"--normalise", "extra"}).status, 64);
    EXPECT_EQ(process(dir.file("missing.wav"), out, {"--invert"}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(out));

    // A full disk: the file it would replace stays as it was.
    t::writeBytes(out, {1, 2, 3});
    TempDir scratch;
    const auto full = test::runProgramWithFileSizeLimit(
        1, {"process", dir.file("loud.wav"), out, "--invert"}, scratch.path().string());
    EXPECT_TRUE(full.exited);
    EXPECT_EQ(full.status, 73) << full.err;
    EXPECT_EQ(t::readBytes(out), (Bytes{1, 2, 3}));
}

TEST(ProcessCommand, NormalisedPeakAgreesWithSoxGainN) {
    REQUIRE_SOX();
    TempDir dir;
    writeWave(dir.file("in.wav"), 2, balancedFrames(3000, 9100));
    ASSERT_EQ(process(dir.file("in.wav"), dir.file("ours.wav"), {"--normalise"}).status, 0);
    const Samples ours = decoded(dir.file("ours.wav"));
    const Samples sox = soxResult(dir.file("in.wav"), "gain -n", dir);
    ASSERT_EQ(ours.size(), sox.size());
    EXPECT_EQ(*std::max_element(ours.begin(), ours.end()), 32767);
    EXPECT_EQ(*std::min_element(ours.begin(), ours.end()), -32767);
    EXPECT_GE(std::max(-*std::min_element(sox.begin(), sox.end()),
                       int{*std::max_element(sox.begin(), sox.end())}),
              32767)
        << "sox puts the peak on full scale too";
    // sox scales by 32768 / peak and rounds, we by 32767 / peak and truncate.
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_LE(std::abs(ours[i] - sox[i]), 2) << "sample " << i;
}

TEST(ProcessCommand, InvertIsSoxVolMinusOneLessOne) {
    REQUIRE_SOX();
    TempDir dir;
    Samples samples = balancedFrames(1000, 20000);
    samples[0] = -32768;
    samples[1] = 32767;
    writeWave(dir.file("in.wav"), 2, samples);
    ASSERT_EQ(process(dir.file("in.wav"), dir.file("ours.wav"), {"--invert"}).status, 0);
    const Samples ours = decoded(dir.file("ours.wav"));
    const Samples sox = soxResult(dir.file("in.wav"), "vol -1", dir);
    ASSERT_EQ(ours.size(), sox.size());
    EXPECT_EQ(ours[0], 32767) << "sox clips -(-32768) to the same value";
    EXPECT_EQ(sox[0], 32767);
    for (std::size_t i = 1; i < ours.size(); ++i)
        ASSERT_EQ(ours[i], sox[i] - 1) << "sample " << i;
}

TEST(ProcessCommand, ChannelConversionsAgreeWithSoxRemix) {
    REQUIRE_SOX();
    TempDir dir;
    // Even samples: there our mix (each half truncated) and sox's (the sum halved) agree.
    Samples frames = balancedFrames(2000, 30000);
    for (std::size_t i = 0; i < frames.size(); i += 2)
        frames[i + 1] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
    for (std::int16_t& s : frames)
        s = static_cast<std::int16_t>(s & ~1);
    writeWave(dir.file("in.wav"), 2, frames);
    for (const auto& [channel, remix] : {std::pair<const char*, const char*>{"left", "remix 1"},
                                         {"right", "remix 2"},
                                         {"mix", "remix 1,2"}}) {
        SCOPED_TRACE(channel);
        ASSERT_EQ(process(dir.file("in.wav"), dir.file("mono.wav"), {"--to-mono", channel}).status,
                  0);
        EXPECT_EQ(decoded(dir.file("mono.wav")), soxResult(dir.file("in.wav"), remix, dir));
    }
    ASSERT_EQ(process(dir.file("mono.wav"), dir.file("stereo.wav"), {"--to-stereo"}).status, 0);
    EXPECT_EQ(decoded(dir.file("stereo.wav")), soxResult(dir.file("mono.wav"), "remix 1 1", dir));
}

// sox leaves about one analysis window of each silence it cuts; without those zeros the audio
// it keeps is exactly ours, in mono and stereo.
TEST(ProcessCommand, StripSilenceKeepsTheAudioSoxSilenceKeeps) {
    REQUIRE_SOX();
    TempDir dir;
    const Samples mono = burstsAndSilences({{3000, false},
                                            {13230, true},
                                            {22050, false},
                                            {13230, true},
                                            {17640, false},
                                            {13230, true},
                                            {5000, false}});
    Samples stereo;
    for (const std::int16_t s : mono)
        stereo.insert(stereo.end(), {s, static_cast<std::int16_t>(-s)});
    writeWave(dir.file("mono.wav"), 1, mono);
    writeWave(dir.file("stereo.wav"), 2, stereo);
    for (const char* name : {"mono.wav", "stereo.wav"}) {
        SCOPED_TRACE(name);
        const auto run =
            process(dir.file(name), dir.file("ours.wav"), {"--strip-silence", "1", "1000"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("stripped 4 silences"), std::string::npos) << run.out;
        const Samples ours = decoded(dir.file("ours.wav"));
        const Samples sox = soxResult(dir.file(name), "silence 1 0.001 0.01% -1 0.01 0.01%", dir);
        const std::size_t channels = std::string(name) == "stereo.wav" ? 2 : 1;
        EXPECT_EQ(ours.size(), 3 * 13230 * channels) << "exactly the bursts";
        Samples soxAudio;
        std::copy_if(sox.begin(), sox.end(), std::back_inserter(soxAudio),
                     [](std::int16_t s) { return s != 0; });
        EXPECT_EQ(ours, soxAudio);
    }
}

TEST(ProcessCommand, TheRateChangesWithoutResampling) {
    REQUIRE_SOX();
    TempDir dir;
    const Samples frames = balancedFrames(500, 1000);
    writeWave(dir.file("in.wav"), 2, frames);
    ASSERT_EQ(process(dir.file("in.wav"), dir.file("out.wav"), {"--rate", "11025"}).status, 0);
    EXPECT_EQ(decoded(dir.file("out.wav")), frames);
    t::runOrFail("test \"$(soxi -r " + t::shellQuote(dir.file("out.wav")) + ")\" = 11025");
}

} // namespace
} // namespace tolvane::cli
