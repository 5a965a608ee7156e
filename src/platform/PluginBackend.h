#pragma once

// The system's effect plug-ins, Qt-free: what is installed, an instance that runs on float
// buffers, and the presets each plug-in has. The real implementation hosts LV2 plug-ins through
// lilv (makeLilvPluginBackend).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {

// One control input of a plug-in.
struct PluginControl {
    std::uint32_t port = 0; // the plug-in's own port index
    std::string symbol;
    std::string name;
    std::string unit;  // a short unit symbol ("dB", "Hz"), or empty
    std::string group; // the label of the port group it belongs to, or empty
    float minimum = 0.0F;
    float maximum = 1.0F;
    float defaultValue = 0.0F;
    // The range and default are fractions of the sample rate (a frequency up to Nyquist is
    // 0 to 0.5); the host scales them by the rate it runs at. The value itself is absolute.
    bool sampleRateRelative = false;
    bool toggled = false;
    bool integer = false;
    bool enumeration = false;
    bool logarithmic = false;
    std::vector<std::pair<float, std::string>> scalePoints; // value and label, by value
};

struct PluginDescription {
    std::string uri;
    std::string name;
    std::string category; // the broad kind ("Filter", "Delay", "Reverb", ...), "Other" if none
    std::string maker;    // the author's or maintainer's name, or empty
    std::filesystem::path bundle; // the folder the plug-in was installed in
    int audioInputs = 0;          // 1 or 2
    int audioOutputs = 0;         // 1 or 2
    std::vector<PluginControl> controls;
};

// The control with its range and default in absolute units at that sample rate.
PluginControl atSampleRate(PluginControl control, double sampleRate);

struct PluginPreset {
    std::string name;
    bool ours = false; // stored by the user in a preset folder (may be deleted); else the
                       // plug-in's own factory preset
};

// A running plug-in. Not thread-safe: one thread sets controls and runs it.
class PluginInstance {
public:
    virtual ~PluginInstance() = default;
    // Sets the control with the index of PluginDescription::controls.
    virtual void setControl(std::size_t control, float value) = 0;
    virtual void activate() = 0;
    virtual void deactivate() = 0;
    // Runs `frames` frames (at most maxBlockFrames()) from one buffer per audio input into one
    // buffer per audio output.
    virtual void run(const float* const* inputs, float* const* outputs, std::uint32_t frames) = 0;
    virtual std::uint32_t maxBlockFrames() const = 0;
    // The delay of the output behind the input in frames, as the plug-in reports it after a run.
    virtual std::uint32_t latency() const = 0;
};

// Control values by symbol, as presets hold them.
using ControlValues = std::vector<std::pair<std::string, float>>;

class PluginBackend {
public:
    virtual ~PluginBackend() = default;
    // The installed effects: audio in and out (one or two channels each), not instruments, and
    // nothing that needs more than control and audio ports.
    virtual const std::vector<PluginDescription>& plugins() const = 0;
    // Null when the plug-in cannot be loaded or run at that rate; `why` then says what went
    // wrong (the library's own error when it cannot be loaded).
    virtual std::unique_ptr<PluginInstance> instantiate(std::size_t plugin, double sampleRate,
                                                        std::string& why) = 0;
    // Where the user's presets are stored (created when missing); their bundles are read from
    // there too. Other folders of the user's presets (kept from earlier versions) can be added
    // for reading.
    virtual void setPresetFolder(const std::filesystem::path& folder) = 0;
    virtual void readPresetFolder(const std::filesystem::path& folder) = 0;
    // The plug-in's presets: its own and the user's, by name.
    virtual std::vector<PluginPreset> presets(std::size_t plugin) = 0;
    virtual std::optional<ControlValues> loadPreset(std::size_t plugin,
                                                    const std::string& name) = 0;
    // Stores (or replaces) a preset of our own; false when it could not be written.
    virtual bool savePreset(std::size_t plugin, const std::string& name,
                            const ControlValues& values) = 0;
    // Deletes a preset of the user's; false for a factory preset or one that cannot be removed.
    virtual bool deletePreset(std::size_t plugin, const std::string& name) = 0;
};

// LV2 plug-ins on the LV2 path (LV2_PATH, else ~/.lv2 and the system's folders): every effect,
// or only the one with `onlyUri` (when it is an effect), which is much quicker to start. When
// `stop` is set while the effects are read, the reading ends early with those read so far.
std::unique_ptr<PluginBackend> makeLilvPluginBackend(const std::string& onlyUri = {},
                                                     const std::atomic<bool>* stop = nullptr);

} // namespace tolvane
