// An effect plug-in on ten minutes of 44.1 kHz stereo, through the same code as the editor's
// "Process" and "Preview":
// - processing speed as a multiple of real time (at least 100 x);
// - the preview's start: from the start to the first processed bytes (at most 100 ms), and its
//   slowest delivery as a share of the time its audio plays (below 100 %: no underrun).
//
//   bench_plugins [URI]   (default: the SWH simple amplifier, in Debian's swh-lv2)

#include "BenchSupport.h"
#include "document/UndoRecord.h"
#include "plugins/PlugInHost.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMinimumSpeed = 100.0;
constexpr double kMaximumStartMs = 100.0;

std::optional<std::uint16_t> findPlugin(const std::string& uri,
                                        const tolvane::PluginBackend& backend) {
    for (std::size_t i = 0; i < backend.plugins().size(); ++i)
        if (backend.plugins()[i].uri == uri)
            return static_cast<std::uint16_t>(i);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tolvane;
    const std::string uri = argc > 1 ? argv[1] : "http://plugin.org.uk/swh-plugins/amp";
    TDLib lib(makeLilvPluginBackend());
    const auto backend = makeLilvPluginBackend();
    const auto index = findPlugin(uri, *backend);
    if (lib.InitPlugins(0) != 0 || !index) {
        std::printf("plug-ins: %s is not installed (scripts/install-deps)\n", uri.c_str());
        return 1;
    }
    SampleDocument doc;
    bench::makeTenMinutesOfStereo(doc);
    lib.SetSampleParams(16, doc.SampleRate, doc.Channels);
    if (lib.SetupFilter(*index, nullptr) != kSetupReady) {
        std::printf("plug-ins: %s refuses stereo data\n", uri.c_str());
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

    // The preview of a one-minute loop: the time to the first bytes, the slowest delivery.
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

    std::printf("plug-ins: %s on 10 min of stereo: %.0f ms, %.0f x real time (need >= %.0f x)\n",
                uri.c_str(), processMs, speed, kMinimumSpeed);
    std::printf("plug-ins: preview starts in %.1f ms (need <= %.0f ms); slowest delivery "
                "took %.2f %% of its real time (need < 100 %%)\n",
                startMs, kMaximumStartMs, worstCpu);
    return speed >= kMinimumSpeed && startMs <= kMaximumStartMs && worstCpu < 100.0 ? 0 : 1;
}
