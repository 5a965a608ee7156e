// A SoundFont of a ten-minute stereo sample cut into 2,000 segments, against writing the same
// sample bytes as one WAV file with the program's own WAV writer, timed in the same run. The
// SoundFont writer is called on the planned file directly: "Save To Sound Bank" gives every
// segment a key of its own and so refuses more than 128, but the writer's cost is what grows
// with the segment count.
#include "BenchSupport.h"
#include "export/SoundBank.h"
#include "fileio/WaveFileWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr int kSegments = 2000;

// Ten minutes of merged stereo noise with a slice point every 1/2000 of it.
void makeDocument(tolvane::SampleDocument& doc) {
    tolvane::bench::makeTenMinutesOfStereo(doc);
    doc.FileName = "ten-minutes.wav";
    tolvane::bench::sliceEvenly(doc, kSegments);
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
    const std::vector<tolvane::BankFile> planned =
        tolvane::planBankFiles(doc, bank, tolvane::BankFormat::SoundFont);
    bool ok = planned.size() == 1;
    const double soundFont = tolvane::bench::medianMilliseconds(3, [&] {
        try {
            tolvane::writeSoundFont(doc, planned.at(0), settings);
        } catch (const std::exception&) {
            ok = false;
        }
    });
    const double plain = tolvane::bench::medianMilliseconds(3, [&] {
        tolvane::writeWaveFile(wave, 2, tolvane::bench::kBenchRate, doc.SampleData.data(),
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
