// Effect plug-ins, through the same code as the editor's "Process" and "Preview", and
// `tolvane plugin` against another LV2 host, lv2file, on the same effect and file:
// - `tolvane plugin` vs lv2file by CPU time (user + system) of the whole command, on ten minutes
//   of 44.1 kHz mono and of stereo and on a one-second file: lv2file's time / ours, at least 1.0;
//   both write to the same folder. The peak memory of both is shown beside the file's size;
// - processing speed as a multiple of real time (at least 100 x);
// - the preview's start: from the start to the first processed bytes (at most 100 ms), and its
//   slowest delivery as a share of the time its audio plays (below 100 %: no underrun).
//
//   bench_plugins [WORK_FOLDER]   (the effects: the SWH amplifier and stereo-to-MS matrix, in
//                                  Debian's swh-lv2)

#include "BenchSupport.h"
#include "document/UndoRecord.h"
#include "fileio/WaveFileWriter.h"
#include "plugins/PlugInHost.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMinimumSpeed = 100.0;
constexpr double kMaximumStartMs = 100.0;
constexpr double kMinimumRatio = 1.0;
constexpr const char* kAmp = "http://plugin.org.uk/swh-plugins/amp";
constexpr const char* kMatrix = "http://plugin.org.uk/swh-plugins/matrixStMS";

struct Cost {
    double cpuSeconds = -1; // user + system; negative when the command failed
    double peakMegabytes = 0;
};

// Runs the command with its output going to `log`; its CPU time and peak memory.
Cost runMeasured(const std::vector<std::string>& command, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {};
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

// The median of `runs` runs of each command, taken in turns so that both meet the same machine.
std::pair<Cost, Cost> medianCosts(int runs, const std::vector<std::string>& ours,
                                  const std::vector<std::string>& theirs, const std::string& log) {
    std::vector<Cost> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(runMeasured(ours, log));
        b.push_back(runMeasured(theirs, log));
    }
    const auto median = [](std::vector<Cost> costs) {
        if (std::any_of(costs.begin(), costs.end(), [](const Cost& c) { return c.cpuSeconds < 0; }))
            return Cost{};
        std::sort(costs.begin(), costs.end(),
                  [](const Cost& x, const Cost& y) { return x.cpuSeconds < y.cpuSeconds; });
        return costs[costs.size() / 2];
    };
    return {median(a), median(b)};
}

// A wave file of `seconds` of noise, the same on every run, written a block at a time (the
// peak memory of the commands run later includes this program's own peak).
void writeNoise(const std::string& path, std::uint16_t channels, std::uint32_t seconds) {
    const std::uint32_t bytes = tolvane::bench::kBenchRate * seconds * channels * 2U;
    std::uint32_t state = 7;
    std::uint32_t left = bytes;
    tolvane::writeSampleStream(path, channels, tolvane::bench::kBenchRate, bytes,
                               [&](std::uint8_t* block, std::size_t capacity) {
                                   const auto n = std::min<std::size_t>(capacity & ~1U, left);
                                   for (std::size_t i = 0; i < n; i += 2) {
                                       state = state * 1664525U + 1013904223U;
                                       const auto sample = static_cast<std::uint16_t>(
                                           static_cast<int>(state >> 16) / 2 - 16384);
                                       block[i] = static_cast<std::uint8_t>(sample & 0xFF);
                                       block[i + 1] = static_cast<std::uint8_t>(sample >> 8);
                                   }
                                   left -= static_cast<std::uint32_t>(n);
                                   return n;
                               });
}

// `tolvane plugin` and lv2file on the same file and effect; true when we are at least as fast.
bool compareWithLv2file(const std::filesystem::path& work, const std::string& label,
                        const std::string& in, const std::string& uri,
                        const std::vector<std::string>& ourSettings,
                        const std::vector<std::string>& theirSettings) {
    const std::string ours = (work / "tolvane-bench-plugin-ours.wav").string();
    const std::string theirs = (work / "tolvane-bench-plugin-lv2file.wav").string();
    std::vector<std::string> ourCommand = {TOLVANE_COMMAND, "plugin", in, ours, "--uri", uri};
    ourCommand.insert(ourCommand.end(), ourSettings.begin(), ourSettings.end());
    std::vector<std::string> theirCommand = {"lv2file", "-i", in, "-o", theirs};
    theirCommand.insert(theirCommand.end(), theirSettings.begin(), theirSettings.end());
    theirCommand.push_back(uri);
    const std::string log = (work / "tolvane-bench-plugin.log").string();
    const auto [a, b] = medianCosts(label == "1 s mono" ? 9 : 3, ourCommand, theirCommand, log);
    std::filesystem::remove(ours);
    std::filesystem::remove(theirs);
    if (a.cpuSeconds < 0 || b.cpuSeconds < 0) {
        std::printf("plug-ins: %s: a command failed (see %s)\n", label.c_str(), log.c_str());
        return false;
    }
    const double ratio = b.cpuSeconds / std::max(a.cpuSeconds, 1e-6);
    std::printf("plug-ins: tolvane plugin vs lv2file, %s (%.0f MB): %.3f s vs %.3f s CPU, "
                "ratio %.2f (need >= %.1f); peak memory %.0f MB vs %.0f MB\n",
                label.c_str(), std::filesystem::file_size(in) / 1048576.0, a.cpuSeconds,
                b.cpuSeconds, ratio, kMinimumRatio, a.peakMegabytes, b.peakMegabytes);
    return ratio >= kMinimumRatio;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tolvane;
    const std::filesystem::path work =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    TDLib lib(makeLilvPluginBackend(kAmp));
    if (lib.InitPlugins(0) != 0 || lib.GetNumPlugs() != 1) {
        std::printf("plug-ins: %s is not installed (scripts/install-deps)\n", kAmp);
        return 1;
    }
    bool met = true;

    // The commands, file to file.
    const std::string mono = (work / "tolvane-bench-plugin-mono.wav").string();
    const std::string stereo = (work / "tolvane-bench-plugin-stereo.wav").string();
    const std::string shortMono = (work / "tolvane-bench-plugin-1s.wav").string();
    writeNoise(mono, 1, 600);
    writeNoise(stereo, 2, 600);
    writeNoise(shortMono, 1, 1);
    met = compareWithLv2file(work, "10 min mono", mono, kAmp, {"--set", "gain=-6"},
                             {"-p", "gain:-6"}) &&
          met;
    met = compareWithLv2file(work, "10 min stereo", stereo, kMatrix, {}, {}) && met;
    met = compareWithLv2file(work, "1 s mono", shortMono, kAmp, {"--set", "gain=-6"},
                             {"-p", "gain:-6"}) &&
          met;
    for (const std::string& file : {mono, stereo, shortMono})
        std::filesystem::remove(file);

    // Processing in memory.
    SampleDocument doc;
    bench::makeTenMinutesOfStereo(doc);
    lib.SetSampleParams(16, doc.SampleRate, doc.Channels);
    if (lib.SetupFilter(0, nullptr) != kSetupReady) {
        std::printf("plug-ins: %s refuses stereo data\n", kAmp);
        return 1;
    }
    const std::atomic<bool> cancelled{false};
    double processMs = 0.0;
    {
        UndoRecord undo;
        undo.UndoEnabled = false;
        processMs = bench::medianMilliseconds(
            3, [&] { processThroughPlugIn(lib, doc, undo, PlugInMode::All, cancelled, nullptr); });
    }
    const double speed = 600'000.0 / processMs;
    met = met && speed >= kMinimumSpeed;

    // The preview of a one-minute loop: the time to the first bytes, the slowest delivery.
    lib.SetSampleParams(16, doc.SampleRate, doc.Channels);
    lib.SetupFilter(0, nullptr);
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(bench::kBenchRate) * 60 * 4;
    std::mutex mutex;
    std::condition_variable firstBytes;
    std::optional<Clock::time_point> first;
    int reports = 0;
    PlugInPreview::Events events;
    double worstCpu = 0.0;
    events.sink = [&](const std::uint8_t*, std::size_t) {
        std::lock_guard lock(mutex);
        worstCpu = std::max(worstCpu, lib.cpuLoad());
        if (!first) {
            first = Clock::now();
            firstBytes.notify_one();
        }
    };
    events.cpu = [&](int) {
        std::lock_guard lock(mutex);
        ++reports;
        firstBytes.notify_one();
    };
    PlugInPreview preview(lib, doc, std::move(events));
    const auto start = Clock::now();
    preview.start();
    {
        std::unique_lock lock(mutex);
        firstBytes.wait_for(lock, std::chrono::seconds(10), [&] { return reports >= 10; });
    }
    preview.join();
    const double startMs =
        first ? std::chrono::duration<double, std::milli>(*first - start).count() : 1e9;
    met = met && startMs <= kMaximumStartMs && worstCpu < 100.0;

    std::printf("plug-ins: %s on 10 min of stereo: %.0f ms, %.0f x real time (need >= %.0f x)\n",
                kAmp, processMs, speed, kMinimumSpeed);
    std::printf("plug-ins: preview starts in %.1f ms (need <= %.0f ms); slowest delivery "
                "took %.2f %% of its real time (need < 100 %%)\n",
                startMs, kMaximumStartMs, worstCpu);
    return met ? 0 : 1;
}
