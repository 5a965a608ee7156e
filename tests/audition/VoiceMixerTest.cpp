#include "audition/VoiceMixer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>

namespace tolvane {
namespace {

constexpr std::uint32_t kRate = 44100;

// A program whose samples are a pattern that never repeats within a segment.
std::unique_ptr<AuditionProgram> patternProgram(int channels, std::size_t frames) {
    auto program = std::make_unique<AuditionProgram>();
    program->channels = channels;
    program->samples.resize(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < program->samples.size(); ++i)
        program->samples[i] =
            static_cast<std::int16_t>((static_cast<int>(i) * 7919) % 50001 - 25000);
    return program;
}

void mapKey(AuditionProgram& program, int note, AuditionPart part) {
    AuditionKey& key = program.keys[static_cast<std::size_t>(note)];
    key.parts[static_cast<std::size_t>(key.partCount++)] = part;
}

// Renders `frames` frames in blocks of the given sizes, in turn, onto `start` (what the player
// queued).
std::vector<std::int16_t> render(VoiceMixer& mixer, int channels, std::size_t frames,
                                 std::vector<std::size_t> blocks = {256},
                                 std::vector<std::int16_t> start = {}) {
    std::vector<std::int16_t> out =
        start.empty() ? std::vector<std::int16_t>(frames * channels, 0) : std::move(start);
    std::size_t done = 0;
    for (std::size_t b = 0; done < frames; ++b) {
        const std::size_t n = std::min(blocks[b % blocks.size()], frames - done);
        mixer.mixInto(out.data() + done * channels, n, channels);
        done += n;
    }
    return out;
}

std::int16_t scaled(std::int16_t sample, int velocity) {
    return static_cast<std::int16_t>(std::nearbyint(sample * (velocity / 127.0)));
}

TEST(VoiceMixer, ANotePlaysItsSegmentScaledByVelocityAndThenStops) {
    for (const int velocity : {127, 100, 64, 1}) {
        auto program = patternProgram(1, 4000);
        mapKey(*program, 60, {1000, 1500, 3});
        const std::vector<std::int16_t> samples = program->samples;
        VoiceMixer mixer(kRate);
        mixer.setProgram(std::move(program));
        ASSERT_TRUE(mixer.noteOn(60, velocity));
        const auto out = render(mixer, 1, 800, {100, 37, 512});
        for (std::size_t f = 0; f < 500; ++f)
            ASSERT_EQ(out[f], scaled(samples[1000 + f], velocity))
                << "frame " << f << " at " << velocity;
        for (std::size_t f = 500; f < 800; ++f)
            ASSERT_EQ(out[f], 0) << "the voice ends with its segment";
        EXPECT_EQ(mixer.soundingVoices(), 0);
    }
}

TEST(VoiceMixer, SplitStereoPlaysEachChannelsOwnSegmentOnItsOwnSide) {
    auto program = patternProgram(2, 4000);
    mapKey(*program, 48, {100, 300, 1});   // left channel's segment
    mapKey(*program, 48, {2000, 2100, 2}); // right channel's, shorter
    const std::vector<std::int16_t> samples = program->samples;
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));
    mixer.noteOn(48, 127);
    const auto out = render(mixer, 2, 300, {64});
    for (std::size_t f = 0; f < 300; ++f) {
        ASSERT_EQ(out[2 * f], f < 200 ? samples[2 * (100 + f)] : 0) << "left " << f;
        ASSERT_EQ(out[2 * f + 1], f < 100 ? samples[2 * (2000 + f) + 1] : 0) << "right " << f;
    }
}

TEST(VoiceMixer, SixteenVoicesAndMoreSumSaturatedOnTopOfThePlayerWithoutDropouts) {
    constexpr std::size_t kFrames = 6000;
    auto program = patternProgram(2, 40000);
    for (int n = 0; n < 32; ++n)
        mapKey(*program, 40 + n,
               {static_cast<std::uint32_t>(1000 * n),
                static_cast<std::uint32_t>(1000 * n + 5000 + 13 * n), 3});
    const AuditionProgram copy = *program;
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));
    for (const int voices : {16, 32}) {
        for (int n = 0; n < voices; ++n)
            ASSERT_TRUE(mixer.noteOn(40 + n, 20 + 3 * n));
        std::vector<std::int16_t> player(kFrames * 2);
        for (std::size_t i = 0; i < player.size(); ++i)
            player[i] = static_cast<std::int16_t>(i % 2 ? -3000 : 3000);
        const auto out = render(mixer, 2, kFrames, {1, 255, 1500, 64}, player);
        std::size_t clipped = 0;
        for (std::size_t f = 0; f < kFrames; ++f) {
            for (std::size_t c = 0; c < 2; ++c) {
                double sum = player[2 * f + c];
                for (int n = 0; n < voices; ++n) {
                    const AuditionPart& part = copy.keys[static_cast<std::size_t>(40 + n)].parts[0];
                    if (part.startFrame + f < part.endFrame)
                        sum += copy.samples[2 * (part.startFrame + f) + c] * ((20 + 3 * n) / 127.0);
                }
                const double expected = std::clamp(std::nearbyint(sum), -32768.0, 32767.0);
                clipped += expected != std::nearbyint(sum);
                ASSERT_EQ(out[2 * f + c], expected) << voices << " voices, frame " << f;
            }
        }
        EXPECT_GT(clipped, 0u) << "the test reaches the limits, where the sum saturates";
        EXPECT_EQ(mixer.soundingVoices(), 0);
    }
}

TEST(VoiceMixer, ANoteOffFadesLinearlyToSilenceWithoutAStep) {
    auto program = std::make_unique<AuditionProgram>();
    program->channels = 1;
    program->samples.assign(50000, 20000); // a held level: any step in the fade shows
    mapKey(*program, 70, {0, 50000, 3});
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));
    mixer.noteOn(70, 127);
    const auto held = render(mixer, 1, 1000, {128});
    EXPECT_EQ(held.back(), 20000);
    mixer.noteOff(70);
    const std::uint32_t release = mixer.releaseFrames();
    EXPECT_GE(release, 44u * 2) << "a few milliseconds";
    EXPECT_LE(release, 44u * 10);
    const auto fade = render(mixer, 1, release + 500, {100});
    const double step = 20000.0 / (release + 1);
    int previous = 20000;
    for (std::size_t f = 0; f < fade.size(); ++f) {
        ASSERT_LE(fade[f], previous) << "never rises, frame " << f;
        ASSERT_LE(previous - fade[f], step + 1) << "no step, frame " << f;
        previous = fade[f];
    }
    EXPECT_EQ(fade[release], 0) << "silent once the release is over";
    EXPECT_EQ(mixer.soundingVoices(), 0);
}

TEST(VoiceMixer, ARestruckKeyFadesItsVoiceWhileTheNewOneStarts) {
    auto program = std::make_unique<AuditionProgram>();
    program->channels = 1;
    program->samples.assign(20000, 1000);
    mapKey(*program, 60, {0, 20000, 3});
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));
    mixer.noteOn(60, 127);
    render(mixer, 1, 100);
    mixer.noteOn(60, 127);
    const auto out = render(mixer, 1, mixer.releaseFrames() + 10);
    EXPECT_GT(out[0], 1000) << "both sound at first";
    EXPECT_EQ(out.back(), 1000) << "then the new one alone";
    EXPECT_EQ(mixer.soundingVoices(), 1);
}

TEST(VoiceMixer, UnmappedKeysAndVelocityZeroPlayNothingAndSilenceStopsEveryVoice) {
    auto program = patternProgram(1, 4000);
    mapKey(*program, 60, {0, 4000, 3});
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));
    mixer.noteOn(61, 127);
    mixer.noteOn(60, 0); // a note-on without velocity is a note-off
    auto out = render(mixer, 1, 300);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_FALSE(mixer.noteOn(128, 100));
    mixer.noteOn(60, 127);
    render(mixer, 1, 300);
    EXPECT_EQ(mixer.soundingVoices(), 1);
    mixer.silence();
    out = render(mixer, 1, 300);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t s) { return s == 0; }));
}

TEST(VoiceMixer, AVoicePlaysOnFromTheProgramItStartedInAfterANewOneComes) {
    auto first = std::make_unique<AuditionProgram>();
    first->channels = 1;
    first->samples.assign(10000, 500);
    mapKey(*first, 60, {0, 10000, 3});
    auto second = std::make_unique<AuditionProgram>();
    second->channels = 1;
    second->samples.assign(10000, -700);
    mapKey(*second, 60, {0, 10000, 3});
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(first));
    mixer.noteOn(60, 127);
    render(mixer, 1, 100);
    // Several programs in a row (each undo or slice change makes one) while the voice plays.
    for (int i = 0; i < 10; ++i) {
        auto next = std::make_unique<AuditionProgram>(*second);
        mixer.setProgram(std::move(next));
        render(mixer, 1, 10);
    }
    auto out = render(mixer, 1, 100);
    EXPECT_EQ(out.back(), 500) << "the sounding voice reads the data it started with";
    mixer.noteOn(61, 127); // nothing on 61
    mixer.noteOff(60);
    mixer.noteOn(60, 127);
    out = render(mixer, 1, mixer.releaseFrames() + 10);
    EXPECT_EQ(out.back(), -700) << "a new note plays the new program";
}

} // namespace
} // namespace tolvane
