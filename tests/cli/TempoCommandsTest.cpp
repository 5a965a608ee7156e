// `tolvane grid`, `tolvane randomise` and the grid options of `tolvane export`, checked with
// independent tools: soxi for the lengths of a grid series, sox for the samples of a shuffled
// loop, aubioonset for its hits.
#include "cli/RunTolvane.h"
#include "export/MidiTemplate.h"
#include "slicing/GridCut.h"
#include "slicing/Tempo.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;
using tolvane::test::Bytes;
using tolvane::test::shellQuote;
using tolvane::test::TempDir;

long framesOf(const std::string& file) {
    return std::stol(tolvane::test::commandOutput("soxi -s " + shellQuote(file)));
}

int hitsIn(const std::string& file) {
    const std::string onsets = tolvane::test::commandOutput("aubioonset -i " + shellQuote(file));
    return static_cast<int>(std::count(onsets.begin(), onsets.end(), '\n'));
}

// The 16-bit samples of one channel (0 left, 1 right) of a stereo file, decoded by sox.
std::vector<std::int16_t> channelSamples(const std::string& file, int channel) {
    const Bytes raw = tolvane::test::soxDecodeToRaw16(file);
    std::vector<std::int16_t> samples;
    for (std::size_t i = 2 * static_cast<std::size_t>(channel); i + 1 < raw.size(); i += 4)
        samples.push_back(static_cast<std::int16_t>(raw[i] | (raw[i + 1] << 8)));
    return samples;
}

TEST(GridCommand, PrintsTheTempoAndTheGridAndWritesItsPointFile) {
    TempDir dir;
    const auto run = test::runCommand(
        {"grid", TOLVANE_DEMO_LOOP, "--bars", "2", "--cut", "16", "--tlp", dir.file("grid.tlp")});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("tempo: 120.00 BPM\n"), std::string::npos) << "4 s of stereo as 2 bars";
    EXPECT_NE(run.out.find("slice points: 31\n"), std::string::npos)
        << "32 sixteenths, both ends of the loop dropped";
    EXPECT_NE(run.out.find("\n1 22096 32640 1 1 1\n"), std::string::npos)
        << "12 frames after the first step (22050 bytes, rounded down to a frame)";
    EXPECT_EQ(fs::file_size(dir.file("grid.tlp")), 98320u);

    const auto split = test::runCommand({"grid", TOLVANE_DEMO_LOOP, "--split", "--channel", "right",
                                         "--bars", "1", "--beats", "2", "--cut", "8"});
    ASSERT_EQ(split.status, kExitOk) << split.err;
    EXPECT_NE(split.out.find("slice points: 11\n"), std::string::npos) << "one channel's grid";
    EXPECT_NE(split.out.find("tempo: 90.00 BPM\n"), std::string::npos);
}

TEST(GridCommand, RefusesAGridWithoutALengthOrTooFineForTheTable) {
    const auto grid = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"grid", TOLVANE_DEMO_LOOP});
        return test::runCommand(args);
    };
    const auto noLength = grid({"--bars", "0", "--cut", "8"});
    EXPECT_EQ(noLength.status, kExitUsage);
    EXPECT_NE(noLength.err.find(kMsgNoTempo), std::string::npos) << noLength.err;
    const auto tooFine = grid({"--bars", "300", "--cut", "32"});
    EXPECT_EQ(tooFine.status, kExitUsage);
    EXPECT_NE(tooFine.err.find("8192"), std::string::npos) << tooFine.err;
    EXPECT_EQ(grid({"--bars", "1", "--cut", "12"}).status, kExitUsage);
    EXPECT_EQ(grid({"--bars", "40000", "--cut", "8"}).status, kExitUsage);
    EXPECT_EQ(grid({"--bars", "1"}).status, kExitUsage) << "no grid asked for";
    EXPECT_EQ(test::runCommand({"export", TOLVANE_DEMO_LOOP, "--refine"}).status, kExitUsage)
        << "--refine without --cut";
}

TEST(GridCommand, AGridSeriesOfTheDemoLoopHasFilesOfOneLength) {
    TempDir dir;
    const auto run = test::runCommand({"export", TOLVANE_DEMO_LOOP, "--bars", "2", "--cut", "16",
                                       "--segments", dir.file("g.wav"), "--smooth", "0"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    std::vector<long> frames;
    for (int i = 1; i <= 32; ++i) {
        const std::string name = (i < 10 ? "g0" : "g") + std::to_string(i) + ".wav";
        frames.push_back(framesOf(dir.file(name)));
    }
    // 176400 frames in 32 sixteenths: 5512.5 frames each. Each point lies 12 frames after its
    // step, and the series leaves out the frame at the right locator.
    for (std::size_t i = 1; i + 1 < frames.size(); ++i)
        EXPECT_TRUE(frames[i] == 5512 || frames[i] == 5513) << "file " << i + 1;
    EXPECT_EQ(frames.front(), 5512 + 12);
    EXPECT_EQ(frames.back(), 5512 - 12 - 1);
}

TEST(RandomiseCommand, ASeedRepeatsAndTheLoopKeepsEverySample) {
    TempDir dir;
    const auto randomise = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args{"randomise", TOLVANE_DEMO_LOOP, dir.file(out), "--seed",
                                      "9",         "--sensitivity",   "100"};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCommand(args);
    };
    const auto first = randomise("a.wav", {});
    ASSERT_EQ(first.status, kExitOk) << first.err;
    EXPECT_NE(first.out.find("candidates: "), std::string::npos) << "points found again";
    const auto kept = randomise("b.wav", {"--keep-points"});
    ASSERT_EQ(kept.status, kExitOk) << kept.err;
    EXPECT_EQ(kept.out.find("candidates: "), std::string::npos);
    EXPECT_EQ(tolvane::test::readBytes(dir.file("a.wav")),
              tolvane::test::readBytes(dir.file("b.wav")))
        << "the same seed, the same order; keeping the points changes no sample";

    for (int channel : {0, 1}) {
        auto original = channelSamples(TOLVANE_DEMO_LOOP, channel);
        auto shuffled = channelSamples(dir.file("a.wav"), channel);
        ASSERT_EQ(original.size(), shuffled.size());
        EXPECT_NE(original, shuffled);
        std::sort(original.begin(), original.end());
        std::sort(shuffled.begin(), shuffled.end());
        EXPECT_EQ(original, shuffled) << "channel " << channel;
    }

    ASSERT_EQ(test::runCommand({"randomise", TOLVANE_DEMO_LOOP, dir.file("left.wav"), "--split",
                                "--channel", "left", "--sensitivity", "100"})
                  .status,
              kExitOk);
    EXPECT_EQ(channelSamples(dir.file("left.wav"), 1), channelSamples(TOLVANE_DEMO_LOOP, 1))
        << "the right channel of split stereo is left alone";
    EXPECT_NE(channelSamples(dir.file("left.wav"), 0), channelSamples(TOLVANE_DEMO_LOOP, 0));

    EXPECT_EQ(test::runCommand({"randomise", TOLVANE_DEMO_LOOP}).status, kExitUsage) << "no OUT";
    EXPECT_EQ(test::runCommand({"randomise", TOLVANE_DEMO_LOOP, dir.file("c.wav"), "--seed", "-1"})
                  .status,
              kExitUsage);
    EXPECT_EQ(test::runCommand({"randomise", TOLVANE_DEMO_LOOP, dir.file("nowhere/c.wav")}).status,
              kExitCannotWrite);
}

// Eight plucked notes, each dying away before the next: a shuffle cut at the notes' starts
// must keep every hit, wherever it puts them.
TEST(RandomiseCommand, AShuffledLoopHasAsManyHitsAsTheOriginal) {
    TempDir dir;
    std::string notes;
    int i = 0;
    for (const char* note : {"C3", "G3", "E4", "C4", "A3", "D4", "F3", "B3"}) {
        const std::string hit = dir.file("hit" + std::to_string(++i) + ".wav");
        tolvane::test::runOrFail("sox -D -n -r 44100 -c 2 -b 16 " + shellQuote(hit) +
                                 " synth 0.12 pluck " + note + " fade 0 0.12 0.1 pad 0 0.13");
        notes += ' ' + shellQuote(hit);
    }
    const std::string loop = dir.file("loop.wav");
    tolvane::test::runOrFail("sox" + notes + ' ' + shellQuote(loop));
    ASSERT_EQ(hitsIn(loop), 8);
    for (const char* seed : {"1", "2", "3"}) {
        const std::string shuffled = dir.file(std::string("shuffled") + seed + ".wav");
        const auto run = test::runCommand(
            {"randomise", loop, shuffled, "--seed", seed, "--sensitivity", "100", "--keep-points"});
        ASSERT_EQ(run.status, kExitOk) << run.err;
        EXPECT_NE(run.out.find("segments shuffled: 8\n"), std::string::npos) << run.out;
        EXPECT_NE(tolvane::test::readBytes(shuffled), tolvane::test::readBytes(loop));
        EXPECT_EQ(hitsIn(shuffled), 8) << "seed " << seed;
    }
}

TEST(ExportCommand, TheMidiTemplateNeedsATempoAndTakesTheKeymap) {
    TempDir dir;
    const auto noTempo =
        test::runCommand({"export", TOLVANE_DEMO_LOOP, "--midi", dir.file("t.mid")});
    EXPECT_EQ(noTempo.status, kExitUsage);
    EXPECT_NE(noTempo.err.find(kMsgNoTempo), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("t.mid")));
    EXPECT_EQ(test::runCommand({"export", TOLVANE_DEMO_LOOP, "--bars", "2", "--midi",
                                dir.file("t.mid"), "--interval", "3"})
                  .status,
              kExitUsage)
        << "intervals are even";

    const auto run = test::runCommand({"export", TOLVANE_DEMO_LOOP, "--sensitivity", "60", "--bars",
                                       "2", "--midi", dir.file("t.mid"), "--base-note", "60",
                                       "--interval", "2", "--bank-name", "Break"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const std::string csv =
        tolvane::test::commandOutput("midicsv " + shellQuote(dir.file("t.mid")));
    EXPECT_NE(csv.find("Title_t, \"Break\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 0, Tempo, 500000"), std::string::npos) << "2 bars in 4 s";
    EXPECT_NE(csv.find("1, 0, Note_on_c, 0, 60, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("Note_on_c, 0, 63, 96"), std::string::npos) << "the interval + 1";
    EXPECT_NE(csv.find("1, 3840, Note_off_c"), std::string::npos) << "the loop ends on 2 bars";

    const auto split = test::runCommand({"export", TOLVANE_DEMO_LOOP, "--split", "--channel",
                                         "right", "--sensitivity", "60", "--beats", "8", "--midi",
                                         dir.file("s.mid"), "--format", "1"});
    ASSERT_EQ(split.status, kExitOk) << split.err;
    EXPECT_TRUE(fs::exists(dir.file("sR.mid")));
    EXPECT_FALSE(fs::exists(dir.file("sL.mid")));
}

// A tempo outside what the file's tempo field holds would play at another speed: refused, with
// the range, before anything is written.
TEST(ExportCommand, ATemplateTempoOutsideTheMidiRangeIsRefused) {
    TempDir dir;
    const std::string slow = dir.file("slow.wav");
    tolvane::test::soxSynth(slow, "-r 8000 -c 1 -b 16", 20.0);
    const auto oneBeat = test::runCommand({"export", slow, "--beats", "1", "--whole",
                                           dir.file("w.wav"), "--midi", dir.file("s.mid")});
    EXPECT_EQ(oneBeat.status, kExitUsage);
    EXPECT_NE(oneBeat.err.find("3.00 BPM"), std::string::npos) << oneBeat.err;
    EXPECT_NE(oneBeat.err.find("3.5763 to 60000000 BPM"), std::string::npos) << oneBeat.err;
    const auto fast = test::runCommand({"export", TOLVANE_DEMO_LOOP, "--locators", "0", "100",
                                        "--bars", "32767", "--midi", dir.file("f.mid")});
    EXPECT_EQ(fast.status, kExitUsage) << fast.err;
    EXPECT_EQ(tolvane::test::filesIn(dir.path()), std::vector<std::string>{"slow.wav"})
        << "nothing written";
}

TEST(ExportCommand, TheTrackFileGoesThroughTheLibraryNamed) {
    TempDir dir;
    const std::string mono = dir.file("mono.wav");
    tolvane::test::soxSynth(mono, "-r 44100 -c 1 -b 16", 2.0, "pluck C3");
    const auto track = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"export", mono, "--sensitivity", "100",
                                      "--bars", "1",  "--track",       dir.file("t.trk")};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCommand(args);
    };
    const auto written = track({"--track-library", TOLVANE_TRACK_LIBRARY});
    ASSERT_EQ(written.status, kExitOk) << written.err;
    const auto dump = tolvane::test::readBytes(dir.file("t.trk"));
    ASSERT_GE(dump.size(), 2048u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dump.data())), "WaveTolvane");
    EXPECT_GE(dump[276], 1);

    const auto missing = track({"--track-library", dir.file("none.so")});
    EXPECT_EQ(missing.status, kExitCannotWrite);
    EXPECT_NE(missing.err.find("Error #1"), std::string::npos) << missing.err;
    EXPECT_EQ(track({"--track-library", TOLVANE_NO_ENTRIES_LIBRARY}).status, kExitCannotWrite);

    // The record's smoothing byte is what --smooth gives the files: 30 unless told otherwise.
    EXPECT_EQ(dump[1823], 30);
    for (const int level : {12, 0}) {
        ASSERT_EQ(
            track({"--track-library", TOLVANE_TRACK_LIBRARY, "--smooth", std::to_string(level)})
                .status,
            kExitOk);
        EXPECT_EQ(tolvane::test::readBytes(dir.file("t.trk"))[1823], level);
    }

    // A bare file name is a file of the current folder, and the system says why it is not.
    const auto bare = track({"--track-library", "no-such-track-library.so"});
    EXPECT_EQ(bare.status, kExitCannotWrite);
    EXPECT_NE(bare.err.find(fs::current_path().string() + "/no-such-track-library.so"),
              std::string::npos)
        << "the reason names the file looked for: " << bare.err;

    const auto stereo =
        test::runCommand({"export", TOLVANE_DEMO_LOOP, "--bars", "1", "--track", dir.file("s.trk"),
                          "--track-library", TOLVANE_TRACK_LIBRARY});
    EXPECT_EQ(stereo.status, kExitUsage);
    EXPECT_NE(stereo.err.find("mono samples"), std::string::npos) << stereo.err;
    EXPECT_FALSE(fs::exists(dir.file("s.trk")));
}

} // namespace
} // namespace tolvane::cli
