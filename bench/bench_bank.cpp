// A SoundFont of a ten-minute stereo sample cut into 2,000 segments, against writing the same
// sample bytes as one WAV file with the program's own WAV writer, timed in the same run.
#include "export/SoundBank.h"
#include "fileio/WaveFileWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work> double medianMilliseconds(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

constexpr int kRate = 44100;
constexpr std::size_t kFrames = std::size_t(kRate) * 600;
constexpr int kSegments = 2000;

// Ten minutes of merged stereo noise with a slice point every 1/2000 of it.
void makeDocument(tolvane::SampleDocument& doc) {
    doc.DocumentOpen = true;
    doc.Channels = 2;
    doc.BitsPerSample = 16;
    doc.SampleRate = kRate;
    doc.MergeChannels = true;
    doc.FileName = "ten-minutes.wav";
    doc.DataLength = static_cast<std::int32_t>(kFrames * 4);
    doc.SampleData.setSize(kFrames * 4 + tolvane::kSpareBytes);
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < kFrames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        const auto sample = static_cast<std::int16_t>(state >> 16);
        doc.SampleData.data()[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
        doc.SampleData.data()[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    doc.SliceCount = kSegments - 1;
    for (int i = 1; i < kSegments; ++i)
        doc.SliceTable[i] = {static_cast<std::uint32_t>(kFrames / kSegments * i * 4),
                             100,
                             1,
                             0,
                             tolvane::kChannelMonoOrRight,
                             0};
    doc.SliceTable[kSegments] = {
        static_cast<std::uint32_t>(doc.DataLength), 0, 1, 0, tolvane::kChannelMonoOrRight, 0};
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
}

} // namespace

int main() {
    const auto document = std::make_unique<tolvane::SampleDocument>();
    tolvane::SampleDocument& doc = *document;
    makeDocument(doc);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "tolvane-bench-bank";
    std::filesystem::create_directories(folder);
    const std::string bank = (folder / "bank.sf2").string();
    const std::string wave = (folder / "same.wav").string();

    tolvane::BankSettings settings;
    settings.presetName = "ten-minutes";
    settings.creationDate = tolvane::soundFontDateToday();
    // Keys are not the point here: base note only keeps the keymap from objecting.
    settings.keymap.baseNoteOnly = true;
    bool ok = true;
    const double soundFont = medianMilliseconds(3, [&] {
        for (const auto& result : tolvane::writeSoundBank(doc, bank, settings))
            ok = ok && result.written;
    });
    const double plain = medianMilliseconds(3, [&] {
        tolvane::writeWaveFile(wave, 2, kRate, doc.SampleData.data(),
                               static_cast<std::size_t>(doc.DataLength));
    });
    const auto bankBytes = std::filesystem::file_size(bank);
    const auto waveBytes = std::filesystem::file_size(wave);
    std::filesystem::remove_all(folder);
    if (!ok) {
        std::printf("bank: the SoundFont could not be written\n");
        return 1;
    }
    const double ratio = soundFont / plain;
    std::printf("bank: SoundFont of ten minutes of stereo in %d segments (%d samples)\n", kSegments,
                2 * kSegments);
    std::printf("  SoundFont         %8.2f ms (%llu bytes)\n", soundFont,
                static_cast<unsigned long long>(bankBytes));
    std::printf("  one WAV           %8.2f ms (%llu bytes, the same samples)\n", plain,
                static_cast<unsigned long long>(waveBytes));
    std::printf("  ratio SoundFont / WAV: %.2f (target < 2: %s)\n", ratio,
                ratio < 2 ? "met" : "MISSED");
    return ratio < 2 ? 0 : 1;
}
