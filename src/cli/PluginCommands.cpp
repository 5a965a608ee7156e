#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/UndoRecord.h"
#include "plugins/PlugInHost.h"
#include "plugins/PlugInProbe.h"
#include "processing/WriteSampleFile.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace tolvane::cli {
namespace {

struct PluginRequest {
    std::string file;
    std::string output;
    std::string uri;
    std::vector<std::pair<std::string, std::string>> settings; // symbol, value text
    std::optional<std::string> preset;
    std::optional<std::pair<std::string, std::string>> loop;
    bool convert = false;
};

std::string number(float value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// The rate at which ranges relative to the sample rate are shown.
constexpr double kListingRate = 44100.0;

void printControl(const PluginControl& relative, std::ostream& out) {
    const PluginControl control = atSampleRate(relative, kListingRate);
    out << "  control " << control.symbol << " \"" << control.name << "\": ";
    if (control.toggled) {
        out << "on/off, default " << (control.defaultValue > 0.5F ? "on" : "off");
    } else {
        out << number(control.minimum) << " to " << number(control.maximum) << ", default "
            << number(control.defaultValue);
        if (!control.unit.empty())
            out << " " << control.unit;
        if (control.integer)
            out << ", whole numbers";
        if (relative.sampleRateRelative)
            out << " (at 44100 Hz; scales with the sample rate)";
    }
    if (!control.group.empty())
        out << " [" << control.group << "]";
    out << "\n";
    for (const auto& [value, label] : control.scalePoints)
        out << "    " << number(value) << " = " << label << "\n";
}

PluginRequest parsePluginRequest(const std::vector<std::string>& args) {
    PluginRequest request;
    std::vector<std::string> files;
    const auto valueAfter = [&args](std::size_t& i) -> const std::string& {
        if (i + 1 >= args.size())
            throw std::invalid_argument(args[i] + " needs a value");
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--uri") {
            request.uri = valueAfter(i);
        } else if (arg == "--set") {
            const std::string& setting = valueAfter(i);
            const auto equals = setting.find('=');
            if (equals == std::string::npos || equals == 0)
                throw std::invalid_argument("--set takes SYMBOL=VALUE, not '" + setting + "'");
            request.settings.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
        } else if (arg == "--preset") {
            request.preset = valueAfter(i);
        } else if (arg == "--loop") {
            if (i + 2 >= args.size())
                throw std::invalid_argument("--loop needs two values, L and R");
            request.loop = std::make_pair(args[i + 1], args[i + 2]);
            i += 2;
        } else if (arg == "--convert") {
            request.convert = true;
        } else if (arg.starts_with("--")) {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2)
        throw std::invalid_argument("give FILE and OUT");
    if (request.uri.empty())
        throw std::invalid_argument("--uri names the plug-in");
    request.file = files[0];
    request.output = files[1];
    return request;
}

// The host of the one installed effect with that URI, started as the editor starts it; null
// (after saying why) when there is no host.
std::unique_ptr<TDLib> startHost(const std::string& uri, std::ostream& err) {
    auto lib = std::make_unique<TDLib>(makeLilvPluginBackend(uri));
    if (lib->InitPlugins(0) != 0) {
        err << "tolvane: " << kMsgPluginInitError << "\n";
        return nullptr;
    }
    lib->SetPath(defaultPresetFolder());
    return lib;
}

std::optional<std::uint16_t> pluginIndex(const TDLib& lib, const std::string& uri) {
    const auto& plugins = lib.plugins();
    for (std::size_t i = 0; i < plugins.size(); ++i)
        if (plugins[i].uri == uri)
            return static_cast<std::uint16_t>(i);
    return std::nullopt;
}

// Applies the preset, then the settings (each within its control's range).
void applyControls(TDLib& lib, const PluginRequest& request) {
    if (request.preset && lib.LoadPersistData(*request.preset) != 0)
        throw std::invalid_argument("--preset: the plug-in has no preset '" + *request.preset +
                                    "'");
    for (const auto& [symbol, text] : request.settings) {
        const auto& controls = lib.plugin()->controls;
        const auto control =
            std::find_if(controls.begin(), controls.end(),
                         [&name = symbol](const auto& c) { return c.symbol == name; });
        if (control == controls.end())
            throw std::invalid_argument("--set: the plug-in has no control '" + symbol + "'");
        const double value =
            parseNumber("--set " + symbol, text, control->minimum, control->maximum);
        lib.setControlBySymbol(symbol, static_cast<float>(value));
    }
}

} // namespace

namespace {

// `plugins --probe URI [--rate R] [--seconds S]`: the effect tried as the editor tries it.
int runProbe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string uri;
    std::uint32_t rate = 44100;
    double seconds = kProbeSeconds;
    try {
        for (std::size_t i = 1; i < args.size(); ++i) {
            const auto valueAfter = [&]() -> const std::string& {
                if (i + 1 >= args.size())
                    throw std::invalid_argument(args[i] + " needs a value");
                return args[++i];
            };
            if (args[i] == "--rate")
                rate = static_cast<std::uint32_t>(
                    parseWholeNumber("--rate", valueAfter(), 1000, 768000));
            else if (args[i] == "--seconds")
                seconds = parseNumber("--seconds", valueAfter(), 0.001, 60.0);
            else if (args[i].starts_with("--") || !uri.empty())
                throw std::invalid_argument("unexpected " + args[i]);
            else
                uri = args[i];
        }
        if (uri.empty())
            throw std::invalid_argument("--probe needs the effect's URI");
    } catch (const std::invalid_argument& e) {
        err << "tolvane plugins: " << e.what() << "\n";
        return kExitUsage;
    }
    return tryEffect(uri, rate, seconds, out) == 0 ? kExitOk : kExitUsage;
}

} // namespace

int runPlugins(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args.front() == "--probe")
        return runProbe(args, out, err);
    if (!args.empty()) {
        err << "tolvane plugins: takes no arguments but --probe URI\n";
        return kExitUsage;
    }
    auto backend = makeLilvPluginBackend();
    if (backend->plugins().empty()) {
        out << kMsgNoPlugins << "\n";
        return kExitOk;
    }
    backend->setPresetFolder(defaultPresetFolder());
    for (std::size_t i = 0; i < backend->plugins().size(); ++i) {
        const PluginDescription& plugin = backend->plugins()[i];
        out << plugin.uri << "\n  name: " << plugin.name << "\n  kind: " << plugin.category;
        if (!plugin.maker.empty())
            out << "\n  maker: " << plugin.maker;
        out << "\n  channels: " << plugin.audioInputs << " in, " << plugin.audioOutputs << " out\n";
        for (const PluginControl& control : plugin.controls)
            printControl(control, out);
        for (const PluginPreset& preset : backend->presets(i))
            out << "  preset: " << preset.name << (preset.ours ? " (yours)" : "") << "\n";
    }
    return kExitOk;
}

int runPlugin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PluginRequest request;
    try {
        request = parsePluginRequest(args);
    } catch (const std::invalid_argument& e) {
        err << "tolvane plugin: " << e.what() << "\n";
        return kExitUsage;
    }
    SampleDocument doc;
    if (const int status = openDocument(request.file, doc, out, err, request.convert);
        status != kExitOk)
        return status;
    PlugInMode mode = PlugInMode::All;
    auto lib = startHost(request.uri, err);
    if (!lib)
        return kExitUsage;
    const auto index = pluginIndex(*lib, request.uri);
    try {
        if (request.loop) {
            const auto length = static_cast<long long>(doc.DataLength);
            doc.LocatorL = static_cast<std::uint32_t>(
                parseWholeNumber("--loop", request.loop->first, 0, length));
            doc.LocatorR = static_cast<std::uint32_t>(
                parseWholeNumber("--loop", request.loop->second, doc.LocatorL + 1, length));
            mode = PlugInMode::Loop;
            if (plugInRegion(doc, mode).length == 0)
                throw std::invalid_argument("--loop holds no whole stereo frame");
        }
        if (!index)
            throw std::invalid_argument("--uri: no installed effect " + request.uri);
        lib->SetSampleParams(16, doc.SampleRate, doc.Channels);
        const std::uint16_t status = lib->SetupFilter(*index, nullptr);
        if (status != kSetupReady) {
            err << "tolvane plugin: "
                << terminalText(status == kSetupHostFailed ? kMsgHostFailed : lib->setupRefusal())
                << "\n";
            return kExitUsage;
        }
        applyControls(*lib, request);
    } catch (const std::invalid_argument& e) {
        err << "tolvane plugin: " << e.what() << "\n";
        return kExitUsage;
    }
    UndoRecord undo{NoUndoFile{}};
    const std::atomic<bool> cancelled{false};
    const PlugInOutcome outcome = processThroughPlugIn(*lib, doc, undo, mode, cancelled, nullptr);
    lib->KillFilter(0);
    if (outcome != PlugInOutcome::Processed) {
        err << "tolvane plugin: "
            << terminalText(outcome == PlugInOutcome::ConnectFailed ? kMsgConnectFailed
                                                                    : kMsgDeliverError)
            << "nothing written\n";
        return kExitUsage;
    }
    out << "processed through " << lib->plugins()[*index].name << "\n";
    return writeWholeDocument(doc, request.output, out, err);
}

} // namespace tolvane::cli
