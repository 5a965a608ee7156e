// The same effect with the same settings through `tolvane plugin` and through lv2file, another
// LV2 host: the samples agree within 1 LSB; and a preset stored by the editor loads in lv2file.
#include "cli/Tolvane.h"
#include "plugins/TDLib.h"
#include "plugins/TestPlugins.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace tolvane {
namespace {

using test::shellQuote;

// A mono wave of a swept sine, loud but below full scale.
std::string sweep(const test::TempDir& dir) {
    std::vector<std::int16_t> samples(44100);
    double phase = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        phase += 2.0 * 3.14159265358979 * (100.0 + 4000.0 * i / samples.size()) / 44100.0;
        samples[i] = static_cast<std::int16_t>(std::lround(20000.0 * std::sin(phase)));
    }
    const std::string path = dir.file("sweep.wav");
    test::writeBytes(path, test::waveImage(1, 44100, test::pcm16(samples)));
    return path;
}

// The largest difference between the two files' samples, in LSB.
int largestDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

// Runs the file through the effect with both hosts and compares what they wrote.
void expectSameAsLv2file(const std::string& uri, const std::string& symbol,
                         const std::string& value, const std::string& lv2Path) {
    if (!test::haveProgram("lv2file"))
        GTEST_SKIP() << "lv2file is not installed (scripts/install-deps)";
    if (lv2Path.empty())
        unsetenv("LV2_PATH");
    else
        setenv("LV2_PATH", lv2Path.c_str(), 1);
    if (makeLilvPluginBackend(uri)->plugins().empty())
        GTEST_SKIP() << uri << " is not installed (scripts/install-deps)";
    test::TempDir dir;
    const std::string in = sweep(dir);
    const std::string ours = dir.file("ours.wav");
    const std::string theirs = dir.file("theirs.wav");
    std::ostringstream out, err;
    ASSERT_EQ(cli::runTolvane({"plugin", in, ours, "--uri", uri, "--set", symbol + "=" + value},
                              out, err),
              cli::kExitOk)
        << err.str();
    test::runOrFail("lv2file -i " + shellQuote(in) + " -o " + shellQuote(theirs) + " -p " +
                    shellQuote(symbol + ":" + value) + " " + shellQuote(uri) + " > /dev/null 2>&1");
    const auto a = test::samples16(test::soxDecodeToRaw16(ours));
    const auto b = test::samples16(test::soxDecodeToRaw16(theirs));
    EXPECT_LE(largestDifference(a, b), 1) << "largest difference in LSB";
    EXPECT_NE(a, test::samples16(test::soxDecodeToRaw16(in))) << "the effect changed the sound";
}

TEST(PluginHosts, SwhAmplifierAgreesWithLv2file) {
    expectSameAsLv2file("http://plugin.org.uk/swh-plugins/amp", "gain", "-6", "");
}

TEST(PluginHosts, TestGainAgreesWithLv2file) {
    expectSameAsLv2file("urn:wavetolvane:test:gain", "gain", "0.3", TOLVANE_TEST_LV2_PATH);
}

// Stores a preset of the effect with that one control set, as the plug-in window's "Store" does.
void storePreset(const std::string& uri, const std::string& symbol, float value,
                 const std::string& name) {
    TDLib lib(makeLilvPluginBackend(uri));
    ASSERT_EQ(lib.InitPlugins(0), 0);
    lib.SetPath(defaultPresetFolder());
    lib.SetSampleParams(16, 44100, 1);
    ASSERT_EQ(lib.SetupFilter(0, nullptr), kSetupReady);
    ASSERT_TRUE(lib.setControlBySymbol(symbol, value));
    ASSERT_EQ(lib.SavePersistData(name), 0);
}

// lv2file with the stored preset and nothing else set, against the input scaled by `gain`.
void expectLv2fileAppliesPreset(const std::string& uri, const std::string& name, double gain) {
    test::TempDir dir;
    const std::string in = sweep(dir);
    const std::string theirs = dir.file("theirs.wav");
    test::runOrFail("lv2file -P " + shellQuote(name) + " -i " + shellQuote(in) + " -o " +
                    shellQuote(theirs) + " " + shellQuote(uri) + " > /dev/null 2>&1");
    const auto input = test::samples16(test::soxDecodeToRaw16(in));
    std::vector<std::int16_t> expected;
    for (std::int16_t sample : input)
        expected.push_back(static_cast<std::int16_t>(std::lround(sample * gain)));
    EXPECT_LE(largestDifference(test::samples16(test::soxDecodeToRaw16(theirs)), expected), 1)
        << "lv2file applied the preset " << name;
}

TEST(PluginHosts, APresetStoredHereLoadsInLv2file) {
    if (!test::haveProgram("lv2file"))
        GTEST_SKIP() << "lv2file is not installed (scripts/install-deps)";
    test::TestPluginEnvironment environment; // the presets go to ~/.lv2 of a home of its own
    storePreset(test::kGainUri, "gain", 0.25F, "Quiet \"take\"");
    setenv("LV2_PATH",
           (std::string(TOLVANE_TEST_LV2_PATH) + ":" + defaultPresetFolder().string()).c_str(), 1);
    expectLv2fileAppliesPreset(test::kGainUri, "Quiet \"take\"", 0.25);

    // With the LV2 path a user has, ~/.lv2 is on it: nothing to set up for the other host.
    unsetenv("LV2_PATH");
    const std::string amp = "http://plugin.org.uk/swh-plugins/amp";
    if (makeLilvPluginBackend(amp)->plugins().empty())
        GTEST_SKIP() << "swh-lv2 is not installed (scripts/install-deps)";
    storePreset(amp, "gain", -12.0F, "Twelve down");
    expectLv2fileAppliesPreset(amp, "Twelve down", std::pow(10.0, -12.0 / 20.0));
}

} // namespace
} // namespace tolvane
