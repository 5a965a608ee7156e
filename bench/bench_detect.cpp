// Transient scan against Debian's `aubioonset` (default method) on the same files, timed in
// the same run: a ten-minute 44.1 kHz stereo file of dense hits (enough to fill the
// 8192-candidate table) and the demo loop. Loading and scanning are also set against the floor
// of any design that holds the sample in memory: reading the file into fresh memory and then
// every sample once (the zeroing of fresh pages is paid on both sides).
//
//   bench_detect [WORK_FOLDER]

#include "BenchSupport.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "slicing/TransientScan.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Ten minutes of decaying noise bursts on both channels, one every `gap` to `gap` + `spread`
// seconds.
void writeHitsFile(const std::string& path, double gap, double spread) {
    constexpr int kRate = 44100;
    constexpr int kFrames = kRate * 600;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrames) * 2, 0);
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int onset = 1000; onset < kFrames;) {
        const double amplitude = 4000.0 + next() % 26000;
        for (int n = 0; n < 1200 && onset + n < kFrames; ++n) {
            const double envelope = amplitude * std::exp(-n / 180.0);
            for (int c = 0; c < 2; ++c) {
                const double white = static_cast<double>(next() % 2001) / 1000.0 - 1.0;
                samples[2 * static_cast<std::size_t>(onset + n) + c] =
                    static_cast<std::int16_t>(envelope * white);
            }
        }
        onset += static_cast<int>(kRate * gap) +
                 static_cast<int>(next() % static_cast<int>(kRate * spread));
    }
    tolvane::writeWaveFile(path, 2, kRate, samples.data(), samples.size() * 2);
}

struct OurTimes {
    double load = 0;
    double scan = 0;
    int found = 0;  // before the stereo merge
    int merged = 0; // after it
};

OurTimes timeOurScan(const std::string& path, int runs) {
    std::vector<double> loads, scans;
    OurTimes result;
    for (int i = 0; i < runs; ++i) {
        tolvane::SampleDocument doc;
        auto start = Clock::now();
        tolvane::openSampleDocument(doc, path);
        loads.push_back(millisecondsSince(start));
        start = Clock::now();
        const tolvane::ScanReport scan = tolvane::scanTransients(doc);
        scans.push_back(millisecondsSince(start));
        result.found = scan.found;
        result.merged = doc.CandidateCount;
    }
    result.load = median(loads);
    result.scan = median(scans);
    return result;
}

// The median time of a shell command over `runs` runs; -1 when it fails.
double timeCommand(const std::string& command, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0)
            return -1;
        times.push_back(millisecondsSince(start));
    }
    return median(times);
}

// One `cat` of the file, from the page cache: the floor of any read of it.
double timeCat(const std::string& path, int runs) {
    return timeCommand("cat '" + path + "' > /dev/null", runs);
}

// The file read into memory that was never touched before, then every 16-bit sample summed.
double timeFloor(const std::string& path, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0)
            return -1;
        const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
        const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::read(fd, bytes.get() + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        std::int64_t sum = 0;
        for (std::size_t b = 0; b + 1 < done; b += 2)
            sum +=
                static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[b] | bytes[b + 1] << 8));
        tolvane::bench::keepValue(sum);
        times.push_back(millisecondsSince(start));
    }
    return median(times);
}

double timeAubio(const std::string& path, int runs) {
    return timeCommand("aubioonset -i '" + path + "' > /dev/null 2>&1", runs);
}

bool report(const char* name, const std::string& path, int ourRuns, int aubioRuns,
            double targetRatio, double targetMs, double floorTarget = 0) {
    const OurTimes ours = timeOurScan(path, ourRuns);
    const double aubio = timeAubio(path, aubioRuns);
    std::printf("%s: %d candidates found, %d after the stereo merge\n", name, ours.found,
                ours.merged);
    std::printf("  our scan          %9.2f ms (load %.2f ms, load + scan %.2f ms)\n", ours.scan,
                ours.load, ours.load + ours.scan);
    const double cat = timeCat(path, ourRuns);
    if (cat > 0)
        std::printf("  cat of the file   %9.2f ms: load / cat %.2f, load + scan / cat %.2f\n", cat,
                    ours.load / cat, (ours.load + ours.scan) / cat);
    bool floorMet = true;
    const double floor = timeFloor(path, ourRuns);
    if (floor > 0) {
        const double ratio = (ours.load + ours.scan) / floor;
        std::printf("  read into fresh memory + one pass %9.2f ms: load + scan / that %.2f\n",
                    floor, ratio);
        if (floorTarget > 0) {
            floorMet = ratio <= floorTarget;
            std::printf("  target load + scan <= %.0f x that floor: %s\n", floorTarget,
                        floorMet ? "met" : "MISSED");
        }
    }
    if (aubio < 0) {
        std::printf("  aubioonset        not available (install aubio-tools)\n");
        return false;
    }
    bool met = floorMet;
    const double ratio = aubio / ours.scan;
    const double ratioWithLoad = aubio / (ours.load + ours.scan);
    std::printf("  aubioonset        %9.2f ms\n", aubio);
    std::printf("  ratio aubioonset / our scan: %.1f (with our load: %.1f)\n", ratio,
                ratioWithLoad);
    if (targetRatio > 0) {
        met = met && ratio >= targetRatio;
        std::printf("  target ratio >= %.0f: %s\n", targetRatio, met ? "met" : "MISSED");
    }
    if (targetMs > 0) {
        const bool fast = ours.scan < targetMs;
        std::printf("  target scan < %.0f ms: %s\n", targetMs, fast ? "met" : "MISSED");
        met = met && fast;
    }
    return met;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path work =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::string dense = (work / "tolvane-bench-dense-10min.wav").string();
    const std::string sparse = (work / "tolvane-bench-sparse-10min.wav").string();
    if (!std::filesystem::exists(dense)) {
        std::printf("writing %s ...\n", dense.c_str());
        writeHitsFile(dense, 0.025, 0.020); // fills the 8192-candidate table
    }
    if (!std::filesystem::exists(sparse)) {
        std::printf("writing %s ...\n", sparse.c_str());
        writeHitsFile(sparse, 0.120, 0.060); // every block of both channels is scanned
    }
    const bool denseMet = report("ten minutes, dense hits", dense, 5, 3, 5.0, 0, 3.0);
    const bool sparseMet =
        report("ten minutes, sparser hits (no aubioonset target)", sparse, 5, 3, 0, 0, 3.0);
    const bool demoMet = report("demo loop", TOLVANE_DEMO_LOOP, 51, 5, 0, 5.0);
    return denseMet && sparseMet && demoMet ? 0 : 1;
}
