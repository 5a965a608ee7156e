#include "platform/PluginBackend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>

namespace tolvane {
namespace {

constexpr std::uint32_t kBlockFrames = 4096;
constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* kPresetFile = "preset.ttl";

// A lilv node that frees itself.
struct NodeDeleter {
    void operator()(LilvNode* node) const { lilv_node_free(node); }
};
using Node = std::unique_ptr<LilvNode, NodeDeleter>;

struct NodesDeleter {
    void operator()(LilvNodes* nodes) const { lilv_nodes_free(nodes); }
};
using Nodes = std::unique_ptr<LilvNodes, NodesDeleter>;

struct StateDeleter {
    void operator()(LilvState* state) const { lilv_state_free(state); }
};
using State = std::unique_ptr<LilvState, StateDeleter>;

std::string nodeText(const LilvNode* node) {
    return node != nullptr && lilv_node_as_string(node) != nullptr ? lilv_node_as_string(node)
                                                                   : std::string();
}

// URIs to numbers and back, for plug-ins and for state. Plug-ins may call it from any thread.
class UridMap {
public:
    UridMap() {
        m_map.handle = this;
        m_map.map = [](LV2_URID_Map_Handle handle, const char* uri) {
            return static_cast<UridMap*>(handle)->map(uri);
        };
        m_unmap.handle = this;
        m_unmap.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
            return static_cast<UridMap*>(handle)->unmap(urid);
        };
    }
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri) {
        std::lock_guard lock(m_mutex);
        auto [it, added] = m_ids.emplace(uri, static_cast<LV2_URID>(m_uris.size() + 1));
        if (added)
            m_uris.push_back(&it->first);
        return it->second;
    }
    const char* unmap(LV2_URID urid) {
        std::lock_guard lock(m_mutex);
        return urid == 0 || urid > m_uris.size() ? nullptr : m_uris[urid - 1]->c_str();
    }
    LV2_URID_Map* mapFeature() { return &m_map; }
    LV2_URID_Unmap* unmapFeature() { return &m_unmap; }

private:
    std::mutex m_mutex;
    std::map<std::string, LV2_URID> m_ids;
    std::vector<const std::string*> m_uris;
    LV2_URID_Map m_map{};
    LV2_URID_Unmap m_unmap{};
};

// The features every instance gets: URID mapping and the block-length options.
class HostFeatures {
public:
    explicit HostFeatures(UridMap& urids) {
        m_minBlock = 1;
        m_maxBlock = static_cast<std::int32_t>(kBlockFrames);
        const LV2_URID intType = urids.map(LV2_ATOM_PREFIX "Int");
        m_options = {
            {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t),
             intType, &m_minBlock},
            {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
             intType, &m_maxBlock},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
        };
        m_features = {{LV2_URID__map, urids.mapFeature()},
                      {LV2_URID__unmap, urids.unmapFeature()},
                      {LV2_OPTIONS__options, m_options.data()},
                      {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
        for (LV2_Feature& feature : m_features)
            m_list.push_back(&feature);
        m_list.push_back(nullptr);
        for (const LV2_Feature& feature : m_features)
            m_supported.insert(feature.URI);
        m_supported.insert(LV2_CORE__isLive);
        m_supported.insert(LV2_CORE__inPlaceBroken); // our buffers are always separate
        m_supported.insert(LV2_CORE__hardRTCapable);
    }
    HostFeatures(const HostFeatures&) = delete;
    HostFeatures& operator=(const HostFeatures&) = delete;

    const LV2_Feature* const* list() const { return m_list.data(); }
    bool supports(const std::string& uri) const { return m_supported.contains(uri); }

private:
    std::int32_t m_minBlock;
    std::int32_t m_maxBlock;
    std::vector<LV2_Options_Option> m_options;
    std::vector<LV2_Feature> m_features;
    std::vector<const LV2_Feature*> m_list;
    std::set<std::string> m_supported;
};

// The port layout of one plug-in, worked out once when the plug-ins are listed.
struct PortLayout {
    std::vector<std::uint32_t> audioIn, audioOut;
    std::vector<std::uint32_t> controlOut; // read-only outputs, each needs somewhere to write
    std::optional<std::uint32_t> latencyPort;
    std::uint32_t portCount = 0;
    std::filesystem::path library;
};

// A running instance. Every port is connected from the start (audio ports to silence until
// run() connects the caller's buffers), so that a plug-in that looks at its ports early finds
// memory there.
class LilvInstanceRunner final : public PluginInstance {
public:
    LilvInstanceRunner(LilvInstance* instance, const PluginDescription& description,
                       const PortLayout& layout)
        : m_instance(instance), m_layout(layout), m_controls(description.controls.size()),
          m_outputs(layout.controlOut.size(), 0.0F),
          m_silence((layout.audioIn.size() + layout.audioOut.size()) * kBlockFrames, 0.0F) {
        for (std::size_t i = 0; i < m_controls.size(); ++i) {
            m_controls[i] = description.controls[i].defaultValue;
            lilv_instance_connect_port(m_instance, description.controls[i].port, &m_controls[i]);
        }
        for (std::size_t i = 0; i < layout.controlOut.size(); ++i)
            lilv_instance_connect_port(m_instance, layout.controlOut[i], &m_outputs[i]);
        float* scratch = m_silence.data();
        for (std::uint32_t port : layout.audioIn) {
            lilv_instance_connect_port(m_instance, port, scratch);
            scratch += kBlockFrames;
        }
        for (std::uint32_t port : layout.audioOut) {
            lilv_instance_connect_port(m_instance, port, scratch);
            scratch += kBlockFrames;
        }
    }
    // Some plug-ins free in cleanup what only activation creates (filter state, delay lines)
    // and crash when an instance that never ran is freed: such an instance is activated and
    // deactivated first.
    ~LilvInstanceRunner() override {
        if (!m_everActive)
            lilv_instance_activate(m_instance);
        if (m_active || !m_everActive)
            lilv_instance_deactivate(m_instance);
        lilv_instance_free(m_instance);
    }
    LilvInstanceRunner(const LilvInstanceRunner&) = delete;
    LilvInstanceRunner& operator=(const LilvInstanceRunner&) = delete;

    void setControl(std::size_t control, float value) override {
        if (control < m_controls.size())
            m_controls[control] = value;
    }
    void activate() override {
        if (!m_active)
            lilv_instance_activate(m_instance);
        m_active = true;
        m_everActive = true;
    }
    void deactivate() override {
        if (m_active)
            lilv_instance_deactivate(m_instance);
        m_active = false;
    }
    void run(const float* const* inputs, float* const* outputs, std::uint32_t frames) override {
        for (std::size_t i = 0; i < m_layout.audioIn.size(); ++i)
            lilv_instance_connect_port(m_instance, m_layout.audioIn[i],
                                       const_cast<float*>(inputs[i]));
        for (std::size_t i = 0; i < m_layout.audioOut.size(); ++i)
            lilv_instance_connect_port(m_instance, m_layout.audioOut[i], outputs[i]);
        lilv_instance_run(m_instance, frames);
    }
    std::uint32_t maxBlockFrames() const override { return kBlockFrames; }
    std::uint32_t latency() const override {
        if (!m_layout.latencyPort)
            return 0;
        const auto at = std::find(m_layout.controlOut.begin(), m_layout.controlOut.end(),
                                  *m_layout.latencyPort);
        const float value = m_outputs[static_cast<std::size_t>(at - m_layout.controlOut.begin())];
        return std::isfinite(value) && value > 0.0F ? static_cast<std::uint32_t>(value) : 0;
    }
    LilvInstance* handle() { return m_instance; }

private:
    LilvInstance* m_instance;
    PortLayout m_layout;
    std::vector<float> m_controls;
    std::vector<float> m_outputs;
    std::vector<float> m_silence;
    bool m_active = false;
    bool m_everActive = false;
};

// Why lilv could not instantiate the plug-in: the library's loader error, a missing entry
// point or plug-in, or else the plug-in's own refusal.
std::string whyNotInstantiated(const std::filesystem::path& library, const std::string& uri,
                               double sampleRate) {
    if (library.empty())
        return "it names no library";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        return error != nullptr ? std::string(error) : "cannot open " + library.string();
    }
    std::string why;
    using Entry = const LV2_Descriptor* (*)(std::uint32_t);
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, "lv2_descriptor"));
    if (entry == nullptr) {
        why = library.string() + " has no lv2_descriptor entry point";
    } else {
        bool found = false;
        for (std::uint32_t i = 0; const LV2_Descriptor* d = entry(i); ++i)
            found = found || (d->URI != nullptr && uri == d->URI);
        why = found ? "the plug-in refused to start at " +
                          std::to_string(static_cast<long>(sampleRate)) + " Hz"
                    : library.string() + " does not contain " + uri;
    }
    dlclose(handle);
    return why;
}

// The symbol of one of the LV2 units, as the units specification gives it, for systems without
// that specification's bundle; empty for others.
std::string unitSymbol(const std::string& uri) {
    static const std::map<std::string, std::string> kSymbols = {
        {LV2_UNITS__s, "s"},
        {LV2_UNITS__ms, "ms"},
        {LV2_UNITS__min, "min"},
        {LV2_UNITS__bar, "bars"},
        {LV2_UNITS__beat, "beats"},
        {LV2_UNITS__frame, "frames"},
        {LV2_UNITS__m, "m"},
        {LV2_UNITS__cm, "cm"},
        {LV2_UNITS__mm, "mm"},
        {LV2_UNITS__km, "km"},
        {LV2_UNITS__inch, "in"},
        {LV2_UNITS__mile, "mi"},
        {LV2_UNITS__db, "dB"},
        {LV2_UNITS__pc, "%"},
        {LV2_UNITS__hz, "Hz"},
        {LV2_UNITS__khz, "kHz"},
        {LV2_UNITS__mhz, "MHz"},
        {LV2_UNITS__bpm, "BPM"},
        {LV2_UNITS__oct, "oct"},
        {LV2_UNITS__cent, "ct"},
        {LV2_UNITS__semitone12TET, "semi"},
        {LV2_UNITS__degree, "deg"},
        {LV2_UNITS__midiNote, "note"},
    };
    const auto found = kSymbols.find(uri);
    return found != kSymbols.end() ? found->second : std::string();
}

// The folders of the LV2 path: LV2_PATH when it is set, else the folders LV2 hosts look in by
// default; "~" stands for the home folder.
std::vector<std::filesystem::path> lv2PathFolders() {
    const char* set = std::getenv("LV2_PATH");
    std::string path = set != nullptr && *set != '\0' ? set : TOLVANE_DEFAULT_LV2_PATH;
    const char* home = std::getenv("HOME");
    std::vector<std::filesystem::path> folders;
    std::istringstream parts(path);
    for (std::string folder; std::getline(parts, folder, ':');) {
        if (folder.starts_with("~/") && home != nullptr)
            folder = home + folder.substr(1);
        if (!folder.empty())
            folders.emplace_back(folder);
    }
    return folders;
}

// A file name made of the letters and digits of `text` (others become '_').
std::string fileNamePart(const std::string& text) {
    std::string part;
    for (char c : text)
        part += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    return part.empty() ? std::string("preset") : part.substr(0, 60);
}

class LilvPluginBackend final : public PluginBackend {
public:
    LilvPluginBackend(const std::string& onlyUri, const std::atomic<bool>* stop)
        : m_world(lilv_world_new()), m_features(m_urids), m_stop(stop) {
        loadBundles();
        listPlugins(onlyUri);
    }
    ~LilvPluginBackend() override { lilv_world_free(m_world); }
    LilvPluginBackend(const LilvPluginBackend&) = delete;
    LilvPluginBackend& operator=(const LilvPluginBackend&) = delete;

    const std::vector<PluginDescription>& plugins() const override { return m_descriptions; }

    std::unique_ptr<PluginInstance> instantiate(std::size_t plugin, double sampleRate,
                                                std::string& why) override {
        if (plugin >= m_plugins.size()) {
            why = "no such plug-in";
            return nullptr;
        }
        return makeRunner(plugin, sampleRate, why);
    }

    void setPresetFolder(const std::filesystem::path& folder) override {
        m_presetFolder = folder;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        readPresetFolder(folder);
    }

    void readPresetFolder(const std::filesystem::path& folder) override {
        if (std::find(m_userFolders.begin(), m_userFolders.end(), folder.lexically_normal()) ==
            m_userFolders.end())
            m_userFolders.push_back(folder.lexically_normal());
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.is_directory(error) && isPresetBundle(entry.path()))
                loadBundle(entry.path());
        }
    }

    std::vector<PluginPreset> presets(std::size_t plugin) override {
        std::vector<PluginPreset> list;
        for (const auto& [name, uri] : presetUris(plugin))
            list.push_back({name, isOurs(uri)});
        return list;
    }

    std::optional<ControlValues> loadPreset(std::size_t plugin, const std::string& name) override {
        const auto uris = presetUris(plugin);
        const auto found = uris.find(name);
        if (found == uris.end())
            return std::nullopt;
        Node subject(lilv_new_uri(m_world, found->second.c_str()));
        lilv_world_load_resource(m_world, subject.get());
        State state(lilv_state_new_from_world(m_world, m_urids.mapFeature(), subject.get()));
        if (!state)
            return std::nullopt;
        ControlValues values;
        const LV2_URID floatType = m_urids.map(LV2_ATOM_PREFIX "Float");
        const LV2_URID doubleType = m_urids.map(LV2_ATOM_PREFIX "Double");
        const LV2_URID intType = m_urids.map(LV2_ATOM_PREFIX "Int");
        struct Reading {
            ControlValues* values;
            LV2_URID floatType, doubleType, intType;
        } reading{&values, floatType, doubleType, intType};
        lilv_state_restore(
            state.get(), nullptr,
            [](const char* symbol, void* data, const void* value, std::uint32_t size,
               std::uint32_t type) {
                auto* r = static_cast<Reading*>(data);
                if (type == r->floatType && size == sizeof(float))
                    r->values->emplace_back(symbol, *static_cast<const float*>(value));
                else if (type == r->doubleType && size == sizeof(double))
                    r->values->emplace_back(symbol,
                                            static_cast<float>(*static_cast<const double*>(value)));
                else if (type == r->intType && size == sizeof(std::int32_t))
                    r->values->emplace_back(
                        symbol, static_cast<float>(*static_cast<const std::int32_t*>(value)));
            },
            &reading, 0, nullptr);
        return values;
    }

    bool savePreset(std::size_t plugin, const std::string& name,
                    const ControlValues& values) override {
        if (plugin >= m_plugins.size() || m_presetFolder.empty())
            return false;
        // A preset of ours with this name is replaced: its bundle goes first.
        deletePreset(plugin, name);
        // The state holds the port values only; the instance is needed by lilv to ask the
        // plug-in for any state of its own, which a plug-in without that extension has not.
        std::string why;
        auto runner = makeRunner(plugin, 48000.0, why);
        if (!runner)
            return false;
        struct Values {
            const ControlValues* values;
            LV2_URID floatType;
        } source{&values, m_urids.map(LV2_ATOM_PREFIX "Float")};
        const std::filesystem::path bundle =
            uniqueBundle(fileNamePart(m_descriptions[plugin].name) + "_" + fileNamePart(name));
        State state(lilv_state_new_from_instance(
            m_plugins[plugin], runner->handle(), m_urids.mapFeature(), nullptr, nullptr, nullptr,
            bundle.c_str(),
            [](const char* symbol, void* data, std::uint32_t* size,
               std::uint32_t* type) -> const void* {
                auto* s = static_cast<Values*>(data);
                for (const auto& [name, value] : *s->values) {
                    if (name == symbol) {
                        *size = sizeof(float);
                        *type = s->floatType;
                        return &value;
                    }
                }
                *size = 0;
                *type = 0;
                return nullptr;
            },
            &source, 0, m_features.list()));
        runner.reset();
        if (!state)
            return false;
        lilv_state_set_label(state.get(), name.c_str());
        if (lilv_state_save(m_world, m_urids.mapFeature(), m_urids.unmapFeature(), state.get(),
                            nullptr, bundle.c_str(), kPresetFile) != 0)
            return false;
        loadBundle(bundle);
        return presetUris(plugin).contains(name);
    }

    bool deletePreset(std::size_t plugin, const std::string& name) override {
        const auto uris = presetUris(plugin);
        const auto found = uris.find(name);
        if (found == uris.end() || !isOurs(found->second))
            return false;
        const std::filesystem::path file = filePath(found->second);
        const std::filesystem::path bundle = file.parent_path();
        Node bundleNode(lilv_new_file_uri(m_world, nullptr, (bundle.string() + "/").c_str()));
        lilv_world_unload_resource(m_world,
                                   Node(lilv_new_uri(m_world, found->second.c_str())).get());
        lilv_world_unload_bundle(m_world, bundleNode.get());
        std::error_code error;
        std::filesystem::remove_all(bundle, error);
        return !error;
    }

private:
    // Every bundle on the LV2 path, in the path's order and by name within a folder. Unlike
    // lilv_world_load_all this leaves out the LV2 specifications' own documents, which make up
    // half of the loading and tell nothing this host uses (the kinds of plug-ins and the symbols
    // of units are known here).
    void loadBundles() {
        for (const std::filesystem::path& folder : lv2PathFolders()) {
            std::error_code error;
            std::vector<std::filesystem::path> bundles;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error))
                if (std::filesystem::exists(entry.path() / "manifest.ttl", error))
                    bundles.push_back(entry.path());
            std::sort(bundles.begin(), bundles.end());
            for (const std::filesystem::path& bundle : bundles)
                if (!stopped())
                    loadBundle(bundle);
        }
    }

    bool stopped() const { return m_stop != nullptr && m_stop->load(); }

    // Every installed effect, or only the one with that URI: lilv reads a plug-in's description
    // when it is first asked about it, so a host for one effect reads only that one.
    void listPlugins(const std::string& onlyUri) {
        const LilvPlugins* all = lilv_world_get_all_plugins(m_world);
        if (!onlyUri.empty()) {
            Node uri(lilv_new_uri(m_world, onlyUri.c_str()));
            if (const LilvPlugin* plugin = lilv_plugins_get_by_uri(all, uri.get()))
                addIfEffect(plugin);
            return;
        }
        LILV_FOREACH(plugins, it, all) {
            if (stopped())
                return;
            addIfEffect(lilv_plugins_get(all, it));
        }
    }

    // Lists the plug-in when it is an effect this host can run.
    void addIfEffect(const LilvPlugin* plugin) {
        Node audio(lilv_new_uri(m_world, LV2_CORE__AudioPort));
        Node control(lilv_new_uri(m_world, LV2_CORE__ControlPort));
        Node input(lilv_new_uri(m_world, LV2_CORE__InputPort));
        Node output(lilv_new_uri(m_world, LV2_CORE__OutputPort));
        Node optional(lilv_new_uri(m_world, LV2_CORE__connectionOptional));
        const std::set<std::string> types = typesOf(plugin);
        if (types.contains(LV2_CORE__InstrumentPlugin) || !featuresSupported(plugin))
            return;
        PortLayout layout;
        layout.portCount = lilv_plugin_get_num_ports(plugin);
        bool usable = true;
        std::vector<std::uint32_t> controlIn;
        for (std::uint32_t i = 0; i < layout.portCount && usable; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const bool isInput = lilv_port_is_a(plugin, port, input.get());
            if (lilv_port_is_a(plugin, port, audio.get()))
                (isInput ? layout.audioIn : layout.audioOut).push_back(i);
            else if (lilv_port_is_a(plugin, port, control.get()))
                (isInput ? controlIn : layout.controlOut).push_back(i);
            else
                usable = lilv_port_has_property(plugin, port, optional.get());
        }
        const auto channelsOk = [](std::size_t n) { return n == 1 || n == 2; };
        if (!usable || !channelsOk(layout.audioIn.size()) || !channelsOk(layout.audioOut.size()))
            return;
        if (lilv_plugin_has_latency(plugin))
            layout.latencyPort = lilv_plugin_get_latency_port_index(plugin);
        layout.library = filePath(nodeText(lilv_plugin_get_library_uri(plugin)));
        PluginDescription description;
        description.uri = nodeText(lilv_plugin_get_uri(plugin));
        Node name(lilv_plugin_get_name(plugin));
        description.name = name ? nodeText(name.get()) : description.uri;
        description.category = categoryOf(types);
        Node maker(lilv_plugin_get_author_name(plugin));
        description.maker = maker ? nodeText(maker.get()) : std::string();
        // The bundle's URI ends in a slash: the folder is the path without it.
        description.bundle = filePath(nodeText(lilv_plugin_get_bundle_uri(plugin))).parent_path();
        description.audioInputs = static_cast<int>(layout.audioIn.size());
        description.audioOutputs = static_cast<int>(layout.audioOut.size());
        for (std::uint32_t index : controlIn)
            description.controls.push_back(describeControl(plugin, index));
        m_plugins.push_back(plugin);
        m_layouts.push_back(std::move(layout));
        m_descriptions.push_back(std::move(description));
    }

    // The plug-in's kind for grouping, from the LV2 classes it names: the broadest class below
    // lv2:Plugin, except for kinds musicians look for on their own (to LV2 a reverb is a delay,
    // an equaliser a filter). The class tree is the LV2 core's, known here, so that a system
    // without the LV2 specification bundles groups the same.
    static std::string categoryOf(const std::set<std::string>& types) {
        static const std::vector<std::pair<const char*, const char*>> kKinds = {
            {LV2_CORE__ReverbPlugin, "Reverb"},         {LV2_CORE__DelayPlugin, "Delay"},
            {LV2_CORE__EQPlugin, "Equaliser"},          {LV2_CORE__MultiEQPlugin, "Equaliser"},
            {LV2_CORE__ParaEQPlugin, "Equaliser"},      {LV2_CORE__PitchPlugin, "Pitch Shifter"},
            {LV2_CORE__SpectralPlugin, "Spectral"},     {LV2_CORE__FilterPlugin, "Filter"},
            {LV2_CORE__AllpassPlugin, "Filter"},        {LV2_CORE__BandpassPlugin, "Filter"},
            {LV2_CORE__CombPlugin, "Filter"},           {LV2_CORE__HighpassPlugin, "Filter"},
            {LV2_CORE__LowpassPlugin, "Filter"},        {LV2_CORE__DynamicsPlugin, "Dynamics"},
            {LV2_CORE__CompressorPlugin, "Dynamics"},   {LV2_CORE__EnvelopePlugin, "Dynamics"},
            {LV2_CORE__ExpanderPlugin, "Dynamics"},     {LV2_CORE__GatePlugin, "Dynamics"},
            {LV2_CORE__LimiterPlugin, "Dynamics"},      {LV2_CORE__ModulatorPlugin, "Modulator"},
            {LV2_CORE__ChorusPlugin, "Modulator"},      {LV2_CORE__FlangerPlugin, "Modulator"},
            {LV2_CORE__PhaserPlugin, "Modulator"},      {LV2_CORE__DistortionPlugin, "Distortion"},
            {LV2_CORE__WaveshaperPlugin, "Distortion"}, {LV2_CORE__AmplifierPlugin, "Amplifier"},
            {LV2_CORE__SpatialPlugin, "Spatial"},       {LV2_CORE__SimulatorPlugin, "Simulator"},
            {LV2_CORE__GeneratorPlugin, "Generator"},   {LV2_CORE__ConstantPlugin, "Generator"},
            {LV2_CORE__OscillatorPlugin, "Generator"},  {LV2_CORE__UtilityPlugin, "Utility"},
            {LV2_CORE__AnalyserPlugin, "Utility"},      {LV2_CORE__ConverterPlugin, "Utility"},
            {LV2_CORE__FunctionPlugin, "Utility"},      {LV2_CORE__MixerPlugin, "Utility"},
        };
        for (const auto& [uri, kind] : kKinds)
            if (types.contains(uri))
                return kind;
        return "Other";
    }

    // The classes the plug-in names itself (rdf:type), as URIs.
    std::set<std::string> typesOf(const LilvPlugin* plugin) const {
        Node type(lilv_new_uri(m_world, kRdfType));
        Nodes values(lilv_plugin_get_value(plugin, type.get()));
        std::set<std::string> types;
        if (values) {
            LILV_FOREACH(nodes, it, values.get())
            types.insert(nodeText(lilv_nodes_get(values.get(), it)));
        }
        return types;
    }

    // An instance with every port connected, or null with the reason.
    std::unique_ptr<LilvInstanceRunner> makeRunner(std::size_t plugin, double sampleRate,
                                                   std::string& why) {
        LilvInstance* instance =
            lilv_plugin_instantiate(m_plugins[plugin], sampleRate, m_features.list());
        if (instance == nullptr) {
            why = whyNotInstantiated(m_layouts[plugin].library, m_descriptions[plugin].uri,
                                     sampleRate);
            return nullptr;
        }
        return std::make_unique<LilvInstanceRunner>(instance, m_descriptions[plugin],
                                                    m_layouts[plugin]);
    }

    bool featuresSupported(const LilvPlugin* plugin) const {
        Nodes required(lilv_plugin_get_required_features(plugin));
        if (!required)
            return true;
        LILV_FOREACH(nodes, it, required.get()) {
            if (!m_features.supports(nodeText(lilv_nodes_get(required.get(), it))))
                return false;
        }
        return true;
    }

    bool portHas(const LilvPlugin* plugin, const LilvPort* port, const char* property) const {
        Node node(lilv_new_uri(m_world, property));
        return lilv_port_has_property(plugin, port, node.get());
    }

    // The first value of `predicate` for the port: a URI or a blank node, or null.
    Node portValue(const LilvPlugin* plugin, const LilvPort* port, const char* predicate) const {
        Node node(lilv_new_uri(m_world, predicate));
        return Node(lilv_port_get(plugin, port, node.get()));
    }

    // The text of resource's `predicate` (a label or a symbol) in the world. The resource is
    // the node itself, never rebuilt from its text: a blank node's text is no URI, and a
    // missing subject would make the look-up a search of the whole world.
    std::string worldText(const Node& resource, const char* predicate) const {
        if (!resource || !(lilv_node_is_uri(resource.get()) || lilv_node_is_blank(resource.get())))
            return {};
        Node what(lilv_new_uri(m_world, predicate));
        Node value(lilv_world_get(m_world, resource.get(), what.get(), nullptr));
        return value ? nodeText(value.get()) : std::string();
    }

    PluginControl describeControl(const LilvPlugin* plugin, std::uint32_t index) const {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        PluginControl control;
        control.port = index;
        control.symbol = nodeText(lilv_port_get_symbol(plugin, port));
        Node name(lilv_port_get_name(plugin, port));
        control.name = name ? nodeText(name.get()) : control.symbol;
        LilvNode* def = nullptr;
        LilvNode* min = nullptr;
        LilvNode* max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        const auto number = [](LilvNode* node, float fallback) {
            const float value =
                node != nullptr && (lilv_node_is_float(node) || lilv_node_is_int(node))
                    ? lilv_node_as_float(node)
                    : fallback;
            lilv_node_free(node);
            return std::isfinite(value) ? value : fallback;
        };
        control.minimum = number(min, 0.0F);
        control.maximum = number(max, std::max(control.minimum, 1.0F));
        control.defaultValue = std::clamp(number(def, control.minimum), control.minimum,
                                          std::max(control.minimum, control.maximum));
        control.toggled = portHas(plugin, port, LV2_CORE__toggled);
        control.integer = portHas(plugin, port, LV2_CORE__integer);
        control.enumeration = portHas(plugin, port, LV2_CORE__enumeration);
        control.logarithmic = portHas(plugin, port, LV2_PORT_PROPS__logarithmic);
        control.sampleRateRelative = portHas(plugin, port, LV2_CORE__sampleRate);
        const Node unit = portValue(plugin, port, LV2_UNITS__unit);
        control.unit = worldText(unit, LV2_UNITS__symbol);
        if (control.unit.empty() && unit)
            control.unit = unitSymbol(nodeText(unit.get()));
        const Node group = portValue(plugin, port, LV2_PORT_GROUPS__group);
        control.group = worldText(group, kRdfsLabel);
        if (control.group.empty())
            control.group = worldText(group, LV2_CORE__name);
        if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
            LILV_FOREACH(scale_points, it, points) {
                const LilvScalePoint* point = lilv_scale_points_get(points, it);
                control.scalePoints.emplace_back(
                    lilv_node_as_float(lilv_scale_point_get_value(point)),
                    nodeText(lilv_scale_point_get_label(point)));
            }
            lilv_scale_points_free(points);
            std::sort(control.scalePoints.begin(), control.scalePoints.end());
        }
        return control;
    }

    // Preset name to preset URI, for the plug-in's own presets and ours.
    std::map<std::string, std::string> presetUris(std::size_t plugin) const {
        std::map<std::string, std::string> uris;
        if (plugin >= m_plugins.size())
            return uris;
        Node presetClass(lilv_new_uri(m_world, LV2_PRESETS__Preset));
        Node label(lilv_new_uri(m_world, kRdfsLabel));
        Nodes related(lilv_plugin_get_related(m_plugins[plugin], presetClass.get()));
        if (!related)
            return uris;
        LILV_FOREACH(nodes, it, related.get()) {
            const LilvNode* preset = lilv_nodes_get(related.get(), it);
            lilv_world_load_resource(m_world, preset);
            Node name(lilv_world_get(m_world, preset, label.get(), nullptr));
            const std::string text = name ? nodeText(name.get()) : nodeText(preset);
            uris.emplace(text, nodeText(preset));
        }
        return uris;
    }

    static std::filesystem::path filePath(const std::string& uri) {
        char* path = lilv_file_uri_parse(uri.c_str(), nullptr);
        if (path == nullptr)
            return {};
        std::filesystem::path result(path);
        lilv_free(path);
        return result;
    }

    // A preset is the user's when it lies in a bundle of presets only (Turtle files, no
    // plug-in) directly inside one of the user's preset folders: deleting it removes that
    // bundle and nothing else.
    bool isOurs(const std::string& uri) const {
        if (!uri.starts_with("file:"))
            return false;
        const std::filesystem::path bundle = filePath(uri).lexically_normal().parent_path();
        return std::find(m_userFolders.begin(), m_userFolders.end(), bundle.parent_path()) !=
                   m_userFolders.end() &&
               isPresetBundle(bundle);
    }

    // A bundle of one preset: its manifest and one more Turtle file, as hosts save them.
    static bool isPresetBundle(const std::filesystem::path& bundle) {
        std::error_code error;
        int turtle = 0;
        bool manifest = false;
        for (const auto& entry : std::filesystem::directory_iterator(bundle, error)) {
            if (!entry.is_regular_file(error) || entry.path().extension() != ".ttl")
                return false;
            manifest = manifest || entry.path().filename() == "manifest.ttl";
            ++turtle;
        }
        return !error && manifest && turtle == 2;
    }

    std::filesystem::path uniqueBundle(const std::string& stem) const {
        std::filesystem::path bundle = m_presetFolder / (stem + ".preset.lv2");
        for (int n = 2; std::filesystem::exists(bundle); ++n)
            bundle = m_presetFolder / (stem + "_" + std::to_string(n) + ".preset.lv2");
        return bundle;
    }

    void loadBundle(const std::filesystem::path& bundle) {
        Node node(lilv_new_file_uri(m_world, nullptr, (bundle.string() + "/").c_str()));
        lilv_world_load_bundle(m_world, node.get());
    }

    LilvWorld* m_world;
    UridMap m_urids;
    HostFeatures m_features;
    std::vector<const LilvPlugin*> m_plugins;
    std::vector<PortLayout> m_layouts;
    std::vector<PluginDescription> m_descriptions;
    std::filesystem::path m_presetFolder;
    std::vector<std::filesystem::path> m_userFolders; // the user's presets are read from these
    const std::atomic<bool>* m_stop;
};

} // namespace

PluginControl atSampleRate(PluginControl control, double sampleRate) {
    if (control.sampleRateRelative) {
        const auto rate = static_cast<float>(sampleRate);
        control.minimum *= rate;
        control.maximum *= rate;
        control.defaultValue *= rate;
        control.sampleRateRelative = false;
    }
    return control;
}

std::unique_ptr<PluginBackend> makeLilvPluginBackend(const std::string& onlyUri,
                                                     const std::atomic<bool>* stop) {
    return std::make_unique<LilvPluginBackend>(onlyUri, stop);
}

} // namespace tolvane
