#pragma once

// Trying an effect before the editor loads it. The try runs in a child process (the editor or
// `tolvane` started again with the plug-in's URI), so that a plug-in that crashes or hangs takes
// only the child with it; the verdicts are remembered in a file beside the settings, each with
// a fingerprint of the plug-in's bundle, and asked again when the bundle changes.

#include "plugins/TDLib.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::chrono::seconds kProbeDeadline{20};
inline constexpr double kProbeSeconds = 0.1;

// The child's side: sets the plug-in up for mono and for stereo data at `rate` in turn, shows
// every page, processes `seconds` of audio through it as "Process" does and closes it, writing a
// line before and after each step ("mono: trying", then "mono: works", "mono: refused: ..." or
// "mono: failed: ..."), and "done" at the end. Returns 0, or 64 when no such effect is installed.
int tryEffect(const std::string& uri, std::uint32_t rate, double seconds, std::ostream& out);

// What the child found out. An unusable effect is never loaded into the editor.
struct ProbeVerdict {
    bool usable = false;
    bool remember = true; // false when the child could not be started at all: ask again
    std::string reason;   // why it is unusable ("it crashed (signal 11) ... on mono data")
    std::vector<std::string> layouts; // the child's lines for each layout ("mono: works", ...)
};

// Runs `command` followed by the URI, "--rate" and the rate (the child's side above) and reads
// its verdict; a child that crashes or does not end within the deadline makes it unusable.
ProbeVerdict probeInChild(const std::vector<std::string>& command, const std::string& uri,
                          std::uint32_t rate, std::chrono::milliseconds deadline = kProbeDeadline);

// A short text that changes whenever a file of the bundle is added, removed, resized or
// rewritten.
std::string bundleFingerprint(const std::filesystem::path& bundle);

// The remembered verdicts, in a file of one line per effect: URI, fingerprint, "usable" or
// "unusable", and the reason, separated by tabs.
class ProbeStore {
public:
    explicit ProbeStore(std::filesystem::path file = {});

    // The verdict remembered for the plug-in, when its bundle is as it was then.
    const ProbeVerdict* find(const PluginDescription& plugin) const;
    // Remembers the verdict and writes the file again (a file that cannot be written is left
    // as it was; the verdict is kept for this run).
    void remember(const PluginDescription& plugin, const ProbeVerdict& verdict);

private:
    struct Entry {
        std::string fingerprint;
        ProbeVerdict verdict;
    };
    const std::string& fingerprintOf(const std::filesystem::path& bundle) const;
    void save() const;

    std::filesystem::path m_file;
    std::map<std::string, Entry> m_entries;                              // by URI
    mutable std::map<std::filesystem::path, std::string> m_fingerprints; // of this run
};

// The file of remembered verdicts beside a settings file: its name with ".effects" in place of
// its extension.
std::filesystem::path probeStoreBeside(const std::filesystem::path& settingsFile);

} // namespace tolvane
