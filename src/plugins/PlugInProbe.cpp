#include "plugins/PlugInProbe.h"

#include "document/SafeFileWriter.h"
#include "document/UndoRecord.h"
#include "platform/ChildProcess.h"
#include "plugins/PlugInHost.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tolvane {
namespace {

constexpr const char* kDone = "done";
constexpr const char* kTrying = ": trying";

// Reads the value of every control on every page, as the plug-in window does to draw them.
class ReadingSite : public PropertyPageSite {
public:
    explicit ReadingSite(TDLib& lib) : m_lib(lib) {}
    void showPage(int page, int, int) override {
        for (std::size_t control : m_lib.page(page).controls)
            m_lib.setControlValue(control, m_lib.controlValue(control));
    }
    void removePage(int) override {}
    void refreshPage() override {}

private:
    TDLib& m_lib;
};

// One line of text: line breaks become blanks.
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r')
            continue;
        line += c == '\n' || c == '\t' ? ' ' : c;
    }
    while (line.find("  ") != std::string::npos)
        line.erase(line.find("  "), 1);
    return line;
}

// `seconds` of a tone over quiet noise, different on each channel: a full-scale-free signal
// every effect has something to do with.
SampleDocument testSignal(std::uint32_t rate, int channels, double seconds) {
    SampleDocument doc;
    const auto frames = static_cast<std::size_t>(std::max(1.0, std::round(seconds * rate)));
    doc.DocumentOpen = true;
    doc.Channels = static_cast<std::uint16_t>(channels);
    doc.BitsPerSample = 16;
    doc.SampleRate = rate;
    doc.BytesPerSecond = rate * 2U * static_cast<unsigned>(channels);
    doc.MergeChannels = channels == 2;
    doc.LastChannel = static_cast<std::uint8_t>(channels);
    doc.DataLength = static_cast<std::int32_t>(frames * 2 * static_cast<std::size_t>(channels));
    doc.SampleData.setSize(static_cast<std::size_t>(doc.DataLength) + kSpareBytes);
    std::uint32_t noise = 12345;
    std::uint8_t* p = doc.SampleData.data();
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c, p += 2) {
            noise = noise * 1664525U + 1013904223U;
            const double tone = std::sin(2.0 * 3.14159265358979 * (220.0 * (c + 1)) *
                                         static_cast<double>(f) / rate);
            const auto value = static_cast<std::int16_t>(std::lround(
                12000.0 * tone + static_cast<double>(noise >> 16) / 65536.0 * 800.0 - 400.0));
            const auto bits = static_cast<std::uint16_t>(value);
            p[0] = static_cast<std::uint8_t>(bits & 0xFF);
            p[1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    return doc;
}

// Sets the plug-in up for data of `channels` channels, shows its pages, processes and closes it;
// returns what happened ("works", "refused: ...", "failed: ...").
std::string tryLayout(TDLib& lib, std::uint16_t index, std::uint32_t rate, int channels,
                      double seconds) {
    ReadingSite site(lib);
    lib.SetSampleParams(16, rate, channels);
    const std::uint16_t status = lib.SetupFilter(index, &site);
    if (status != kSetupReady)
        return "refused: " + oneLine(status == kSetupHostFailed ? std::string(kMsgHostFailed)
                                                                : lib.setupRefusal());
    lib.SetOrig(0, 0);
    for (int page = 0; page < lib.GetNumPages(); ++page) {
        lib.ShowPage(page);
        lib.KillPage(page);
    }
    SampleDocument doc = testSignal(rate, channels, seconds);
    const auto frames = static_cast<std::size_t>(doc.DataLength) / doc.frameBytes();
    UndoRecord undo;
    undo.UndoEnabled = false;
    const std::atomic<bool> cancelled{false};
    const PlugInOutcome outcome =
        processThroughPlugIn(lib, doc, undo, PlugInMode::All, cancelled, nullptr);
    lib.KillFilter(0);
    switch (outcome) {
    case PlugInOutcome::Processed:
        break;
    case PlugInOutcome::ConnectFailed:
        return "failed: " + oneLine(kMsgConnectFailed);
    case PlugInOutcome::DeliverFailed:
    case PlugInOutcome::Cancelled:
        return "failed: " + oneLine(kMsgDeliverError);
    }
    if (static_cast<std::size_t>(doc.DataLength) != frames * doc.frameBytes())
        return "failed: " + std::to_string(frames) + " frames went in, " +
               std::to_string(static_cast<std::size_t>(doc.DataLength) / doc.frameBytes()) +
               " came out";
    return "works";
}

const char* layoutName(int channels) {
    return channels == 1 ? "mono" : "stereo";
}

// The text of the last "<layout>: trying" line without a result after it, or empty.
std::string layoutUnderWay(const std::vector<std::string>& lines) {
    std::string underWay;
    for (const std::string& line : lines) {
        if (line.ends_with(kTrying))
            underWay = line.substr(0, line.size() - std::strlen(kTrying));
        else if (!underWay.empty() && line.starts_with(underWay + ": "))
            underWay.clear();
    }
    return underWay;
}

std::string whileTrying(const std::string& layout) {
    return layout.empty() ? std::string() : " when tried on " + layout + " data";
}

} // namespace

int tryEffect(const std::string& uri, std::uint32_t rate, double seconds, std::ostream& out) {
    {
        TDLib lib(makeLilvPluginBackend(uri));
        if (lib.InitPlugins(0) != 0) {
            out << "no plug-in host: " << kMsgPluginInitError << std::endl;
            return 64;
        }
        const auto& plugins = lib.plugins();
        const auto found = std::find_if(plugins.begin(), plugins.end(),
                                        [&](const PluginDescription& p) { return p.uri == uri; });
        if (found == plugins.end()) {
            out << "no installed effect " << uri << std::endl;
            return 64;
        }
        const auto index = static_cast<std::uint16_t>(found - plugins.begin());
        for (int channels : {1, 2}) {
            out << layoutName(channels) << kTrying << std::endl;
            out << layoutName(channels) << ": " << tryLayout(lib, index, rate, channels, seconds)
                << std::endl;
        }
    } // the host and its libraries are unloaded before the end is reported
    out << kDone << std::endl;
    return 0;
}

ProbeVerdict probeInChild(const std::vector<std::string>& command, const std::string& uri,
                          std::uint32_t rate, std::chrono::milliseconds deadline) {
    std::vector<std::string> call = command;
    call.insert(call.end(), {uri, "--rate", std::to_string(rate)});
    const ChildResult child = runChildProcess(call, deadline);
    std::vector<std::string> lines;
    std::istringstream output(child.output);
    for (std::string line; std::getline(output, line);)
        lines.push_back(line);
    ProbeVerdict verdict;
    for (const std::string& line : lines)
        if ((line.starts_with("mono: ") || line.starts_with("stereo: ")) &&
            !line.ends_with(kTrying))
            verdict.layouts.push_back(line);
    const std::string layout = layoutUnderWay(lines);
    const bool reachedTheEnd = !lines.empty() && lines.back() == kDone;
    switch (child.end) {
    case ChildResult::End::NotStarted:
        verdict.remember = false;
        verdict.reason = "it could not be tried: " + child.output;
        break;
    case ChildResult::End::TimedOut:
        verdict.reason =
            "it did not finish within " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(deadline).count()) +
            " s" + whileTrying(layout);
        break;
    case ChildResult::End::Signalled:
        verdict.reason = "it crashed (signal " + std::to_string(child.status) + ", " +
                         strsignal(child.status) + ")" + whileTrying(layout);
        break;
    case ChildResult::End::Exited:
        // A report of leaks at the end does not make the effect unusable; not getting there
        // does.
        verdict.usable = reachedTheEnd;
        if (!reachedTheEnd)
            verdict.reason = "it stopped the program (exit status " + std::to_string(child.status) +
                             ")" + whileTrying(layout) +
                             (lines.empty() ? std::string() : ": " + lines.back());
        break;
    }
    return verdict;
}

std::string bundleFingerprint(const std::filesystem::path& bundle) {
    // FNV-1a over each file's name, size and modification time, in name order.
    std::uint64_t hash = 14695981039346656037ULL;
    const auto mix = [&hash](const std::string& text) {
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ULL;
        }
        hash ^= 0xFF;
        hash *= 1099511628211ULL;
    };
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(bundle, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file(error))
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        mix(file.lexically_relative(bundle).string());
        mix(std::to_string(std::filesystem::file_size(file, error)));
        mix(std::to_string(
            std::filesystem::last_write_time(file, error).time_since_epoch().count()));
    }
    std::ostringstream text;
    text << std::hex << hash << "-" << std::dec << files.size();
    return text.str();
}

ProbeStore::ProbeStore(std::filesystem::path file) : m_file(std::move(file)) {
    if (m_file.empty())
        return;
    std::ifstream in(m_file);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');)
            fields.push_back(field);
        if (fields.size() < 3 || fields[0].empty() ||
            (fields[2] != "usable" && fields[2] != "unusable"))
            continue;
        Entry entry{fields[1], {}};
        entry.verdict.usable = fields[2] == "usable";
        entry.verdict.reason = fields.size() > 3 ? fields[3] : std::string();
        m_entries[fields[0]] = std::move(entry);
    }
}

const ProbeVerdict* ProbeStore::find(const PluginDescription& plugin) const {
    const auto found = m_entries.find(plugin.uri);
    if (found == m_entries.end() || found->second.fingerprint != fingerprintOf(plugin.bundle))
        return nullptr;
    return &found->second.verdict;
}

void ProbeStore::remember(const PluginDescription& plugin, const ProbeVerdict& verdict) {
    if (!verdict.remember)
        return;
    m_entries[plugin.uri] = {fingerprintOf(plugin.bundle), verdict};
    save();
}

const std::string& ProbeStore::fingerprintOf(const std::filesystem::path& bundle) const {
    auto found = m_fingerprints.find(bundle);
    if (found == m_fingerprints.end())
        found = m_fingerprints.emplace(bundle, bundleFingerprint(bundle)).first;
    return found->second;
}

void ProbeStore::save() const {
    if (m_file.empty())
        return;
    std::string text;
    for (const auto& [uri, entry] : m_entries)
        text += uri + "\t" + entry.fingerprint + "\t" +
                (entry.verdict.usable ? "usable" : "unusable") + "\t" +
                oneLine(entry.verdict.reason) + "\n";
    try {
        std::error_code error;
        std::filesystem::create_directories(m_file.parent_path(), error);
        SafeFileWriter writer(m_file.string());
        writer.write(text.data(), text.size());
        writer.commit();
    } catch (const FileWriteError&) {
        // Not remembered: the effect is tried again next time.
    }
}

std::filesystem::path probeStoreBeside(const std::filesystem::path& settingsFile) {
    return std::filesystem::path(settingsFile).replace_extension(".effects");
}

} // namespace tolvane
