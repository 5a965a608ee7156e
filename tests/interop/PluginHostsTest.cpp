// The same effect with the same settings through `tolvane plugin` and through lv2file, another
// LV2 host: the samples agree within 1 LSB.
#include "cli/Tolvane.h"
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

// Runs the file through the effect with both hosts and compares what they wrote.
void expectSameAsLv2file(const std::string& uri, const std::string& symbol,
                         const std::string& value, const std::string& lv2Path) {
    if (!test::haveProgram("lv2file"))
        GTEST_SKIP() << "lv2file is not installed (scripts/install-deps)";
    if (lv2Path.empty())
        unsetenv("LV2_PATH");
    else
        setenv("LV2_PATH", lv2Path.c_str(), 1);
    std::ostringstream listing, none;
    cli::runTolvane({"plugins"}, listing, none);
    if (listing.str().find(uri + "\n") == std::string::npos)
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
    ASSERT_EQ(a.size(), b.size());
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    EXPECT_LE(worst, 1) << "largest difference in LSB";
    EXPECT_NE(a, test::samples16(test::soxDecodeToRaw16(in))) << "the effect changed the sound";
}

TEST(PluginHosts, SwhAmplifierAgreesWithLv2file) {
    expectSameAsLv2file("http://plugin.org.uk/swh-plugins/amp", "gain", "-6", "");
}

TEST(PluginHosts, TestGainAgreesWithLv2file) {
    expectSameAsLv2file("urn:wavetolvane:test:gain", "gain", "0.3", TOLVANE_TEST_LV2_PATH);
}

} // namespace
} // namespace tolvane
