// The MIDI timing template and the SoundFont of the same loop, played by FluidSynth: the
// rendering has the loop's hits where the loop has them.
#include "cli/Tolvane.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>

namespace tolvane {
namespace {

using test::shellQuote;

std::vector<double> onsets(const std::string& file) {
    std::istringstream lines(test::commandOutput("aubioonset -i " + shellQuote(file)));
    std::vector<double> seconds;
    for (double t; lines >> t;)
        seconds.push_back(t);
    return seconds;
}

TEST(TemplateRender, TheTemplatePlaysTheBankInTheLoopsTime) {
    test::TempDir dir;
    const std::string bank = dir.file("loop.sf2");
    const std::string midi = dir.file("loop.mid");
    std::ostringstream out, err;
    // Two bars of the four-second loop: 120 BPM, the tempo the template is written at.
    ASSERT_EQ(cli::runTolvane({"export", TOLVANE_DEMO_LOOP, "--sensitivity", "100", "--bars", "2",
                               "--bank", bank, "--midi", midi, "--smooth", "0"},
                              out, err),
              0)
        << err.str();
    // A song at 100 BPM: the template's tempo event says 600000 microseconds a quarter.
    test::Bytes file = test::readBytes(midi);
    const test::Bytes tempo{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    auto at = std::search(file.begin(), file.end(), tempo.begin(), tempo.end());
    ASSERT_NE(at, file.end()) << "120 BPM in the template";
    at[3] = 0x09;
    at[4] = 0x27;
    at[5] = 0xC0;
    test::writeBytes(midi, file);
    const std::string rendered = dir.file("render.wav");
    test::runOrFail("fluidsynth -n -i -q -r 44100 -o synth.default-soundfont= "
                    "-o synth.reverb.active=0 -o synth.chorus.active=0 -F " +
                    shellQuote(rendered) + " -T wav " + shellQuote(bank) + " " + shellQuote(midi));
    const std::vector<double> original = onsets(TOLVANE_DEMO_LOOP);
    const std::vector<double> played = onsets(rendered);
    ASSERT_GE(original.size(), 16u);
    // Each segment starts later by the tempos' ratio; inside it the sample plays at its own
    // speed, so a hit keeps its distance from its segment's start. (The detector may place a hit
    // a few milliseconds before the slice point that starts it.)
    std::ostringstream points, ignored;
    ASSERT_EQ(
        cli::runTolvane({"detect", TOLVANE_DEMO_LOOP, "--sensitivity", "100"}, points, ignored), 0);
    std::vector<double> starts{0.0};
    std::istringstream lines(points.str());
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        int index = 0;
        double position = 0;
        if (fields >> index >> position)
            starts.push_back(position / 4 / 44100);
    }
    ASSERT_GE(starts.size(), 10u);
    const double stretch = 120.0 / 100.0; // the loop's tempo over the song's
    ASSERT_EQ(played.size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        const double start =
            *std::prev(std::upper_bound(starts.begin(), starts.end(), original[i] + 0.005));
        EXPECT_NEAR(played[i], start * stretch + (original[i] - start), 0.010) << "hit " << i;
    }
}

} // namespace
} // namespace tolvane
