// Processing ten minutes of 44.1 kHz stereo, timed in the same run as its peers:
// - normalise + invert from file to file (load, both operations, write), against sox doing the
//   same (`sox -D in out gain -n vol -1`), by CPU time: sox must take at least 1.2 x ours;
// - strip silence of the loaded sample, against one plain pass that reads every sample (the
//   memory floor): within 2 x.
//
//   bench_process [WORK_FOLDER]

#include "BenchSupport.h"
#include "document/UndoRecord.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "processing/LevelOperations.h"
#include "processing/StripSilence.h"
#include "processing/WriteSampleFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The median time of `runs` runs of `work`, after `prepare` (untimed) before each.
template <typename Prepare, typename Work>
double medianMilliseconds(int runs, Prepare prepare, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const auto start = Clock::now();
        if (!work())
            return -1;
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Ten minutes of noise bursts, 0.3 s each, with 0.2 s of digital silence after each.
void writeBurstsFile(const std::string& path) {
    constexpr int kRate = 44100;
    constexpr int kFrames = kRate * 600;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrames) * 2, 0);
    std::uint32_t state = 99;
    for (int frame = 0; frame < kFrames; ++frame) {
        if (frame % (kRate / 2) >= kRate * 3 / 10)
            continue;
        for (int c = 0; c < 2; ++c) {
            state = state * 1664525u + 1013904223u;
            samples[2 * static_cast<std::size_t>(frame) + c] =
                static_cast<std::int16_t>(static_cast<int>(state >> 16) % 24000 - 12000);
        }
    }
    tolvane::writeWaveFile(path, 2, kRate, samples.data(), samples.size() * 2);
}

bool normaliseAndInvertFile(const std::string& in, const std::string& out) {
    tolvane::SampleDocument doc;
    tolvane::openSampleDocument(doc, in);
    tolvane::UndoRecord undo;
    undo.UndoEnabled = false; // as `tolvane process`
    tolvane::normaliseSample(doc, undo, {});
    tolvane::invertSample(doc, undo);
    tolvane::WriteSampleFile(doc, out, 0, static_cast<std::uint32_t>(doc.DataLength),
                             tolvane::kWriteBothChannels);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path work =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::string in = (work / "tolvane-bench-bursts-10min.wav").string();
    const std::string ours = (work / "tolvane-bench-processed-ours.wav").string();
    const std::string theirs = (work / "tolvane-bench-processed-sox.wav").string();
    if (!std::filesystem::exists(in)) {
        std::printf("writing %s ...\n", in.c_str());
        writeBurstsFile(in);
    }
    const auto nothing = [] {};
    bool met = true;

    std::printf("normalise + invert, ten minutes of stereo, file to file (CPU time)\n");
    using tolvane::bench::medianCpuMilliseconds;
    const double ourFile =
        medianCpuMilliseconds(5, RUSAGE_SELF, [&] { return normaliseAndInvertFile(in, ours); });
    std::printf("  ours (load, normalise, invert, write) %9.2f ms\n", ourFile);
    const std::string soxCommand =
        "sox -D '" + in + "' '" + theirs + "' gain -n vol -1 > /dev/null 2>&1";
    const double sox = medianCpuMilliseconds(3, RUSAGE_CHILDREN,
                                             [&] { return std::system(soxCommand.c_str()) == 0; });
    if (sox < 0) {
        std::printf("  sox                 not available (install sox)\n");
        met = false;
    } else {
        constexpr double kTarget = 1.2;
        const double ratio = sox / ourFile;
        std::printf("  sox gain -n vol -1                    %9.2f ms\n", sox);
        std::printf("  ratio sox / ours: %.2f (target >= %.1f: %s)\n", ratio, kTarget,
                    ratio >= kTarget ? "met" : "MISSED");
        met = met && ratio >= kTarget;
    }

    std::printf("strip silence, ten minutes of stereo in memory\n");
    tolvane::SampleDocument loaded;
    tolvane::openSampleDocument(loaded, in);
    volatile std::int64_t sink = 0;
    const double floor = medianMilliseconds(7, nothing, [&] {
        const std::uint8_t* p = loaded.SampleData.data();
        std::int64_t sum = 0;
        for (std::int32_t i = 0; i + 1 < loaded.DataLength; i += 2)
            sum += static_cast<std::int16_t>(static_cast<std::uint16_t>(p[i] | p[i + 1] << 8));
        sink = sum;
        return true;
    });
    tolvane::SampleDocument doc;
    tolvane::UndoRecord undo;
    undo.UndoEnabled = false;
    tolvane::StripSilenceReport report;
    const double strip = medianMilliseconds(
        7, [&] { doc = loaded; },
        [&] {
            report = tolvane::stripSilence(doc, undo, {20, 2000});
            return true;
        });
    std::printf("  strip silence     %9.2f ms (%zu silences, %u bytes removed)\n", strip,
                report.silences.size(), report.removedBytes);
    std::printf("  summing pass      %9.2f ms (the memory floor)\n", floor);
    std::printf("  ratio strip / floor: %.2f (target <= 2: %s)\n", strip / floor,
                strip <= 2 * floor ? "met" : "MISSED");
    met = met && strip <= 2 * floor;
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
    return met ? 0 : 1;
}
