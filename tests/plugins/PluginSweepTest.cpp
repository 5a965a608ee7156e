// Every LV2 effect installed on this system (on the LV2 path as a user has it), tried as the
// editor tries an effect before it loads it, in a child process of its own: set up for mono and
// for stereo data, every page shown, one second of audio processed, closed. Each layout must work
// or be refused with the host's message; no effect may crash, hang or fail.
#include "TestPlugins.h"
#include "plugins/PlugInProbe.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace tolvane {
namespace {

constexpr std::chrono::seconds kDeadline{90}; // a heavy effect on a busy machine

struct Tally {
    int worked = 0, refused = 0, failed = 0;
};

TEST(PluginSweep, EveryInstalledEffectWorksOrIsRefused) {
    unsetenv("LV2_PATH");
    const auto backend = makeLilvPluginBackend();
    const auto& plugins = backend->plugins();
    if (plugins.empty())
        GTEST_SKIP() << "no LV2 effects are installed (scripts/install-deps)";
    const std::vector<std::string> probe = {TOLVANE_COMMAND, "plugins", "--probe", "--seconds",
                                            "1"};
    const auto start = std::chrono::steady_clock::now();
    std::vector<ProbeVerdict> verdicts(plugins.size());
    std::mutex next;
    std::size_t taken = 0;
    const auto sweep = [&] {
        for (;;) {
            std::size_t i = 0;
            {
                std::lock_guard lock(next);
                if (taken == plugins.size())
                    return;
                i = taken++;
            }
            verdicts[i] = probeInChild(probe, plugins[i].uri, 44100, kDeadline);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned n = 0; n < std::clamp(std::thread::hardware_concurrency(), 1U, 4U); ++n)
        workers.emplace_back(sweep);
    for (std::thread& worker : workers)
        worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::map<std::string, Tally> layouts;
    std::set<std::filesystem::path> bundles;
    std::map<std::string, int> makers; // effects by the host part of their URI
    int unusable = 0;
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        const ProbeVerdict& verdict = verdicts[i];
        bundles.insert(plugins[i].bundle);
        const std::string& uri = plugins[i].uri;
        ++makers[uri.substr(0, uri.find('/', uri.find("//") + 2))];
        if (!verdict.usable) {
            ++unusable;
            ADD_FAILURE() << uri << " (" << plugins[i].name << "): " << verdict.reason;
            continue;
        }
        EXPECT_EQ(verdict.layouts.size(), 2u) << uri;
        for (const std::string& line : verdict.layouts) {
            const std::string layout = line.substr(0, line.find(':'));
            const std::string what = line.substr(line.find(':') + 2);
            Tally& tally = layouts[layout];
            if (what == "works") {
                ++tally.worked;
            } else if (what.starts_with("refused: An error occurred when initialising the "
                                        "plugin - ")) {
                ++tally.refused;
            } else {
                ++tally.failed;
                ADD_FAILURE() << uri << " (" << plugins[i].name << "): " << line;
            }
        }
    }
    std::cout << "swept " << plugins.size() << " effects from " << bundles.size() << " bundles in "
              << static_cast<int>(seconds + 0.5) << " s\n";
    for (const auto& [maker, count] : makers)
        std::cout << "  " << maker << ": " << count << "\n";
    for (const auto& [layout, tally] : layouts)
        std::cout << "  " << layout << ": " << tally.worked << " worked, " << tally.refused
                  << " refused, " << tally.failed << " failed\n";
    std::cout << "  crashed or hung: " << unusable << "\n";
    EXPECT_EQ(unusable, 0);
}

} // namespace
} // namespace tolvane
