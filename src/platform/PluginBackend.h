#pragma once

// The system's effect plug-ins, Qt-free: what is installed, an instance that runs on float
// buffers, and the presets each plug-in has. The real implementation hosts LV2 plug-ins through
// lilv (makeLilvPluginBackend).

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
    bool toggled = false;
    bool integer = false;
    bool enumeration = false;
    bool logarithmic = false;
    std::vector<std::pair<float, std::string>> scalePoints; // value and label, by value
};

struct PluginDescription {
    std::string uri;
    std::string name;
    int audioInputs = 0;  // 1 or 2
    int audioOutputs = 0; // 1 or 2
    std::vector<PluginControl> controls;
};

struct PluginPreset {
    std::string name;
    bool ours = false; // stored by this program in the preset folder (may be deleted)
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
    // Null when the plug-in cannot run at that rate; `why` then says what went wrong.
    virtual std::unique_ptr<PluginInstance> instantiate(std::size_t plugin, double sampleRate,
                                                        std::string& why) = 0;
    // Where presets of our own are stored (created when missing); their bundles are read from
    // there too.
    virtual void setPresetFolder(const std::filesystem::path& folder) = 0;
    // The plug-in's presets: its own and those stored by us, by name.
    virtual std::vector<PluginPreset> presets(std::size_t plugin) = 0;
    virtual std::optional<ControlValues> loadPreset(std::size_t plugin,
                                                    const std::string& name) = 0;
    // Stores (or replaces) a preset of our own; false when it could not be written.
    virtual bool savePreset(std::size_t plugin, const std::string& name,
                            const ControlValues& values) = 0;
    // Deletes a preset of our own; false for one that is not ours or cannot be removed.
    virtual bool deletePreset(std::size_t plugin, const std::string& name) = 0;
};

// LV2 plug-ins on the LV2 path (LV2_PATH, else the system's folders).
std::unique_ptr<PluginBackend> makeLilvPluginBackend();

} // namespace tolvane
