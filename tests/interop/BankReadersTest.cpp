// Sound banks read back by readers nobody here wrote: sf2dump, sf2extract and fluidsynth for
// SoundFont 2, sf3convert as a second SoundFont parser, dlsdump for DLS, gigdump and gigextract
// for GigaSampler files, rifftree for every RIFF file.
#include "export/BankDocuments.h"
#include "support/TestFiles.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::shellQuote;
using test::TempDir;

struct ToolRun {
    int status = -1;
    std::string output; // standard output and error
};

ToolRun run(const std::string& command) {
    ToolRun result;
    FILE* pipe = ::popen(("timeout 60 " + command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kSegmentFrames = 17640; // 0.4 s
constexpr double kTones[] = {300, 500, 800, 1200};

// Four segments, each a tone of its own pitch, so that a rendering shows which one sounds.
SampleDocument toneLoop(std::uint16_t channels, bool merged) {
    const std::uint32_t frame = 2u * channels;
    std::vector<std::uint32_t> points;
    for (std::uint32_t k = 1; k < 4; ++k)
        points.push_back(k * kSegmentFrames * frame);
    // One frame more than four segments: the last one ends a frame before LocatorR.
    SampleDocument doc = test::bankLoop(
        channels, merged, static_cast<std::int32_t>((4 * kSegmentFrames + 1) * frame), points);
    for (std::uint32_t f = 0; f < 4 * kSegmentFrames; ++f) {
        const double tone = kTones[f / kSegmentFrames];
        for (std::uint32_t c = 0; c < channels; ++c) {
            const double gain = c == 0 ? 12000 : 6000; // the channels differ
            const auto v = static_cast<std::int16_t>(
                std::lround(gain * std::sin(2 * std::numbers::pi * tone * f / kRate)));
            const std::size_t at = f * frame + 2 * c;
            doc.SampleData.data()[at] = static_cast<std::uint8_t>(v & 0xFF);
            doc.SampleData.data()[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
    }
    return doc;
}

void writeBank(const SampleDocument& doc, const std::string& path,
               const BankSettings& settings = test::fixedBankSettings()) {
    for (const BankFileResult& result : writeSoundBank(doc, path, settings))
        ASSERT_TRUE(result.written) << result.fileName << ": " << result.error;
}

void expectRiffTreeReads(const std::string& path) {
    const ToolRun tree = run("rifftree " + shellQuote(path));
    EXPECT_EQ(tree.status, 0) << tree.output;
    EXPECT_EQ(tree.output.find("rror"), std::string::npos) << tree.output;
}

// The data of the WAV files a reader extracted, in the order of their names.
std::vector<test::Bytes> extractedData(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<test::Bytes> data;
    for (const fs::path& file : files)
        data.push_back(test::soxDecodeToRaw16(file.string()));
    return data;
}

// A standard MIDI file: one note per key, a second apart, each half a second long.
test::Bytes notesFile(const std::vector<int>& keys) {
    test::Bytes track;
    auto delta = [&track](std::uint32_t ticks) {
        std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(ticks & 0x7F)};
        while (ticks >>= 7)
            bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (ticks & 0x7F)));
        track.insert(track.end(), bytes.begin(), bytes.end());
    };
    for (const int key : keys) { // 480 ticks a quarter at 120 bpm: 960 ticks a second
        delta(key == keys.front() ? 0 : 480);
        track.insert(track.end(), {0x90, static_cast<std::uint8_t>(key), 100});
        delta(480);
        track.insert(track.end(), {0x80, static_cast<std::uint8_t>(key), 0});
    }
    delta(0);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    test::Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    file.resize(file.size() + 4);
    test::putBe32(file, file.size() - 4, static_cast<std::uint32_t>(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// The pitch of a stretch of 16-bit stereo, from its zero crossings (left channel).
double pitchAt(const test::Bytes& stereo, double from, double to) {
    const auto sample = [&stereo](std::size_t frame) {
        return static_cast<std::int16_t>(stereo[4 * frame] | stereo[4 * frame + 1] << 8);
    };
    const auto first = static_cast<std::size_t>(from * kRate);
    const auto last = std::min(static_cast<std::size_t>(to * kRate), stereo.size() / 4 - 1);
    int crossings = 0;
    for (std::size_t f = first; f < last; ++f)
        if ((sample(f) < 0) != (sample(f + 1) < 0))
            ++crossings;
    return crossings / 2.0 / (to - from);
}

// FluidSynth's rendering of the notes on the bank alone (no fallback soundfont, no effects), as
// 16-bit stereo samples; empty when it failed.
test::Bytes renderNotes(const std::string& bank, const std::vector<int>& keys, const TempDir& dir) {
    const std::string notes = dir.file("notes.mid");
    const std::string rendered = bank + ".wav";
    test::writeBytes(notes, notesFile(keys));
    const ToolRun synth =
        run("fluidsynth -n -i -q -r 44100 -o synth.default-soundfont= -o synth.reverb.active=0 "
            "-o synth.chorus.active=0 -F " +
            shellQuote(rendered) + " -T wav " + shellQuote(bank) + " " + shellQuote(notes));
    EXPECT_EQ(synth.status, 0) << synth.output;
    EXPECT_EQ(synth.output.find("rror"), std::string::npos) << synth.output;
    if (synth.status != 0)
        return {};
    return test::soxDecodeToRaw16(rendered);
}

TEST(BankReaders, SoundFontIsReadByTwoParsersAndItsSamplesAreTheSegments) {
    TempDir dir;
    const SampleDocument doc = toneLoop(1, false);
    const std::string bank = dir.file("tones.sf2");
    writeBank(doc, bank);
    expectRiffTreeReads(bank);

    const ToolRun dump = run("sf2dump " + shellQuote(bank));
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(dump.output.find("Broken"), std::string::npos) << dump.output;
    for (const char* name : {"KQ1", "KQ2", "KQ3", "KQ4", "WaveTolvane", "loop"})
        EXPECT_NE(dump.output.find(name), std::string::npos) << name << "\n" << dump.output;

    // A second parser: it reads every section, lists the presets, and converts the samples.
    const ToolRun presets = run("sf3convert -d " + shellQuote(bank));
    ASSERT_EQ(presets.status, 0) << presets.output;
    for (const char* section : {"readSection <igen> len 68", "readSection <shdr> len 230",
                                "readSection <ibag> len 20", "000 0000-00 loop"})
        EXPECT_NE(presets.output.find(section), std::string::npos) << section << "\n"
                                                                   << presets.output;
    const ToolRun compressed =
        run("sf3convert -z " + shellQuote(bank) + " " + shellQuote(dir.file("tones.sf3")));
    ASSERT_EQ(compressed.status, 0) << compressed.output;
    EXPECT_GT(fs::file_size(dir.file("tones.sf3")), 1000u);

    fs::create_directory(dir.file("x"));
    const ToolRun extract = run("sf2extract " + shellQuote(bank) + " " + shellQuote(dir.file("x")));
    ASSERT_EQ(extract.status, 0) << extract.output;
    const auto samples = extractedData(dir.file("x"));
    const auto segments = loopSegments(doc, 1);
    ASSERT_EQ(samples.size(), segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const test::Bytes expected = test::segmentBytes(doc, segments[i]);
        ASSERT_GE(samples[i].size(), expected.size()) << i;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), samples[i].begin()))
            << "sample " << i + 1 << " holds its segment";
    }
}

TEST(BankReaders, FluidSynthPlaysEachSegmentOnItsKey) {
    TempDir dir;
    for (const bool white : {false, true}) {
        BankSettings settings = test::fixedBankSettings();
        settings.keymap.whiteKeysOnly = white;
        settings.keymap.octave = 5;
        const std::string bank = dir.file(white ? "white.sf2" : "chromatic.sf2");
        writeBank(toneLoop(1, false), bank, settings);
        const std::vector<int> keys =
            white ? std::vector<int>{60, 62, 64, 65} : std::vector<int>{60, 61, 62, 63};
        const test::Bytes audio = renderNotes(bank, keys, dir);
        ASSERT_GT(audio.size(), 4u * 4 * kRate) << "four seconds of stereo";
        for (std::size_t k = 0; k < 4; ++k) {
            const double pitch =
                pitchAt(audio, static_cast<double>(k) + 0.05, static_cast<double>(k) + 0.35);
            EXPECT_NEAR(pitch, kTones[k], kTones[k] * 0.03)
                << "key " << keys[k] << " plays segment " << k + 1;
        }
        // Between the notes: silence (a wrong key would sound nothing, a loop would go on).
        EXPECT_LT(pitchAt(audio, 0.6, 0.9), 5.0);
    }
}

// The level of one channel (0 left, 1 right) of a stretch of 16-bit stereo.
double levelAt(const test::Bytes& stereo, int channel, double from, double to) {
    double sum = 0;
    std::size_t count = 0;
    for (auto f = static_cast<std::size_t>(from * kRate);
         f < static_cast<std::size_t>(to * kRate) && 4 * f + 3 < stereo.size(); ++f, ++count) {
        const std::size_t at = 4 * f + 2 * static_cast<std::size_t>(channel);
        const double v = static_cast<std::int16_t>(stereo[at] | stereo[at + 1] << 8);
        sum += v * v;
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
}

// Merged stereo: each key plays its segment's left sample on the left and its right sample
// (recorded at half the level) on the right.
TEST(BankReaders, FluidSynthPlaysAStereoPairOnEachKey) {
    TempDir dir;
    BankSettings settings = test::fixedBankSettings();
    settings.keymap.octave = 5;
    const std::string bank = dir.file("stereo.sf2");
    writeBank(toneLoop(2, true), bank, settings);
    const test::Bytes audio = renderNotes(bank, {60, 61, 62, 63}, dir);
    ASSERT_GT(audio.size(), 4u * 4 * kRate) << "four seconds of stereo";
    for (std::size_t k = 0; k < 4; ++k) {
        const double from = static_cast<double>(k) + 0.05, to = static_cast<double>(k) + 0.35;
        EXPECT_NEAR(pitchAt(audio, from, to), kTones[k], kTones[k] * 0.03) << "key " << 60 + k;
        const double left = levelAt(audio, 0, from, to), right = levelAt(audio, 1, from, to);
        EXPECT_GT(right, 0) << "key " << 60 + k;
        EXPECT_NEAR(left / right, 2.0, 0.2) << "key " << 60 + k;
    }
}

TEST(BankReaders, DlsIsReadWithEveryRegionOnItsWave) {
    TempDir dir;
    const SampleDocument doc = toneLoop(1, false);
    const std::string bank = dir.file("tones.dls");
    writeBank(doc, bank);
    expectRiffTreeReads(bank);
    const ToolRun dump = run("dlsdump " + shellQuote(bank));
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(dump.output.find("<NO_VALID_SAMPLE_REFERENCE>"), std::string::npos) << dump.output;
    // The instrument's own INFO list is empty, so only the instrument goes without a name.
    EXPECT_EQ(dump.output.find("<NO NAME>"), dump.output.rfind("<NO NAME>")) << dump.output;
    for (const char* region :
         {"Sample: \"KQ1\", 44100Hz, KeyRange=48-48", "Sample: \"KQ2\", 44100Hz, KeyRange=49-49",
          "Sample: \"KQ4\", 44100Hz, KeyRange=51-51"})
        EXPECT_NE(dump.output.find(region), std::string::npos) << region << "\n" << dump.output;
}

TEST(BankReaders, GigaSamplerFilesAreReadAndTheirSamplesAreTheSegmentsByteForByte) {
    TempDir dir;
    for (const bool merged : {false, true}) {
        const SampleDocument doc = toneLoop(merged ? 2 : 1, merged);
        const std::string bank = dir.file(merged ? "stereo.gig" : "mono.gig");
        writeBank(doc, bank);
        expectRiffTreeReads(bank);
        const ToolRun dump = run("gigdump " + shellQuote(bank));
        ASSERT_EQ(dump.status, 0) << dump.output;
        EXPECT_NE(dump.output.find("KQ4"), std::string::npos) << dump.output;
        const std::string out = dir.file(merged ? "xs" : "xm");
        fs::create_directory(out);
        const ToolRun extract = run("gigextract " + shellQuote(bank) + " " + shellQuote(out));
        ASSERT_EQ(extract.status, 0) << extract.output;
        const auto samples = extractedData(out);
        const auto segments = loopSegments(doc, 1);
        ASSERT_EQ(samples.size(), segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i)
            EXPECT_EQ(samples[i], test::segmentBytes(doc, segments[i]))
                << (merged ? "stereo" : "mono") << " sample " << i + 1;
    }
}

} // namespace
} // namespace tolvane
