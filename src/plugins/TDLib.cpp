#include "plugins/TDLib.h"

#include "plugins/PcmConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tolvane {
namespace {

constexpr int kSheetWidth = 420;
constexpr int kRowHeight = 32;
constexpr int kSheetMargin = 16;
constexpr int kMinSheetHeight = 131;

std::string channelText(int count, const char* what) {
    return std::to_string(count) + " audio " + what + (count == 1 ? "" : "s");
}

// Why a plug-in with that layout cannot take data of `channels` channels, or empty when it can:
// mono data into a stereo plug-in is refused, and a mono plug-in runs once per channel unless
// that would make more than two output channels.
std::string layoutRefusal(const PluginDescription& plugin, int channels) {
    const std::string layout = channelText(plugin.audioInputs, "input") + ", " +
                               channelText(plugin.audioOutputs, "output");
    if (plugin.audioInputs > channels)
        return "It takes stereo input (" + layout + "), so it cannot accept mono data.";
    if (channels / plugin.audioInputs * plugin.audioOutputs > 2)
        return "It turns one channel into two (" + layout + "), so it cannot accept stereo data.";
    return {};
}

} // namespace

// A connected plug-in: its instances (one per input channel for a mono plug-in on stereo data),
// the input buffer the caller fills, and the planes the plug-in works on.
struct TDLib::Graph {
    std::vector<std::unique_ptr<PluginInstance>> instances;
    std::vector<std::uint8_t> input = std::vector<std::uint8_t>(kBufferBytes);
    std::uint32_t block = 0;
    int inputsPerInstance = 1;
    int outputsPerInstance = 1;
    int naturalChannels = 1; // what the plug-in makes
    int sinkChannels = 1;    // what the callback gets
    std::vector<float> in;   // naturalChannels planes of `block` floats (inputs)
    std::vector<float> out;  // naturalChannels planes of `block` floats (outputs)
    std::vector<std::uint8_t> bytes;
    bool started = false;
    bool latencyRead = false;
    std::uint32_t latency = 0;
    std::uint32_t skip = 0; // output frames still to drop: the plug-in's delay
    std::uint64_t delivered = 0;
};

TDLib::TDLib(std::unique_ptr<PluginBackend> backend) : m_backend(std::move(backend)) {}

TDLib::~TDLib() = default;

int TDLib::InitPlugins(int) {
    m_failed = m_backend == nullptr;
    return m_failed ? 1 : 0;
}

int TDLib::GetNumPlugs() const {
    return static_cast<int>(plugins().size());
}

const std::vector<PluginDescription>& TDLib::plugins() const {
    static const std::vector<PluginDescription> none;
    return m_backend ? m_backend->plugins() : none;
}

std::string TDLib::GetNextPlugInName(std::uint16_t index) const {
    if (!m_backend || index >= m_backend->plugins().size())
        return {};
    return m_backend->plugins()[index].name;
}

void TDLib::SetPath(const std::filesystem::path& presetFolder) {
    if (!m_backend)
        return;
    m_backend->setPresetFolder(presetFolder);
    if (std::error_code error; std::filesystem::is_directory(legacyPresetFolder(), error))
        m_backend->readPresetFolder(legacyPresetFolder());
}

void TDLib::SetCallback(TDataCallback callback) {
    m_callback = std::move(callback);
}

void TDLib::SetSampleParams(int, std::uint32_t rate, int channels) {
    m_rate = rate;
    m_channels = channels;
}

std::uint16_t TDLib::SetupFilter(std::uint16_t index, PropertyPageSite* site) {
    KillFilter(0);
    m_refusal.clear();
    if (!m_backend || m_failed)
        return kSetupHostFailed;
    if (index >= m_backend->plugins().size()) {
        m_refusal = std::string(kMsgPluginSetupFailed) + "There is no such plugin.";
        return kSetupRefused;
    }
    PluginDescription description = m_backend->plugins()[index];
    if (const std::string refusal = layoutRefusal(description, m_channels); !refusal.empty()) {
        m_refusal = kMsgPluginSetupFailed + refusal;
        return kSetupRefused;
    }
    // The instance that shows the plug-in can be loaded is the first one Connect uses.
    std::string why;
    m_spare = m_backend->instantiate(index, m_rate, why);
    if (!m_spare) {
        m_refusal =
            std::string(kMsgPluginSetupFailed) + "The plugin could not be loaded:\r\n" + why;
        return kSetupRefused;
    }
    for (PluginControl& control : description.controls)
        control = atSampleRate(std::move(control), m_rate);
    m_described = std::move(description);
    m_current = index;
    m_site = site;
    m_values = std::make_unique<std::atomic<float>[]>(m_described->controls.size());
    for (std::size_t i = 0; i < m_described->controls.size(); ++i)
        m_values[i] = m_described->controls[i].defaultValue;
    buildPages();
    return kSetupReady;
}

void TDLib::buildPages() {
    m_pages.clear();
    const auto& controls = plugin()->controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const std::string& group = controls[i].group;
        const bool sameGroup = !m_pages.empty() && i > 0 && controls[i - 1].group == group;
        if (!sameGroup || m_pages.back().controls.size() >= kMaxControlsPerPage)
            m_pages.push_back({group.empty() ? std::string("Controls") : group, {}});
        m_pages.back().controls.push_back(i);
    }
    // Pages of the same name are numbered: "Controls", "Controls 2", ...
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        int seen = 1;
        for (std::size_t j = 0; j < i; ++j)
            seen += m_pages[j].name.starts_with(m_pages[i].name) ? 1 : 0;
        if (seen > 1)
            m_pages[i].name.append(" ").append(std::to_string(seen));
    }
}

int TDLib::GetNumPages() const {
    return static_cast<int>(m_pages.size());
}

std::string TDLib::GetTabName(std::uint16_t page) const {
    return page < m_pages.size() ? m_pages[page].name : std::string();
}

int TDLib::GetSheetSizeX(int) const {
    return kSheetWidth;
}

int TDLib::GetSheetSizeY(int) const {
    std::size_t rows = 0;
    for (const PropertyPage& page : m_pages)
        rows = std::max(rows, page.controls.size());
    return std::max(kMinSheetHeight, static_cast<int>(rows) * kRowHeight + kSheetMargin);
}

void TDLib::SetOrig(int x, int y) {
    m_originX = x;
    m_originY = y;
}

void TDLib::ShowPage(int page) {
    if (m_site != nullptr && page >= 0 && page < GetNumPages())
        m_site->showPage(page, m_originX, m_originY);
}

void TDLib::KillPage(int page) {
    if (m_site != nullptr && page >= 0 && page < GetNumPages())
        m_site->removePage(page);
}

std::string TDLib::GetCLSID() const {
    return m_current ? plugin()->uri : std::string();
}

int TDLib::SavePersistData(const std::string& name) {
    if (!m_current || name.empty())
        return 1;
    ControlValues values;
    const auto& controls = plugin()->controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        values.emplace_back(controls[i].symbol, m_values[i].load());
    return m_backend->savePreset(*m_current, name, values) ? 0 : 1;
}

int TDLib::LoadPersistData(const std::string& name) {
    if (!m_current)
        return 1;
    const auto values = m_backend->loadPreset(*m_current, name);
    if (!values)
        return 1;
    for (const auto& [symbol, value] : *values)
        setControlBySymbol(symbol, value);
    Repaint();
    return 0;
}

void TDLib::Repaint() {
    if (m_site != nullptr)
        m_site->refreshPage();
}

int TDLib::naturalOutputChannels() const {
    const PluginDescription& description = *plugin();
    return m_channels / description.audioInputs * description.audioOutputs;
}

int TDLib::Connect() {
    if (!m_current)
        return -1;
    Disconnect();
    const PluginDescription& description = *plugin();
    auto graph = std::make_unique<Graph>();
    graph->inputsPerInstance = description.audioInputs;
    graph->outputsPerInstance = description.audioOutputs;
    graph->naturalChannels = naturalOutputChannels();
    graph->sinkChannels = graph->naturalChannels;
    const int count = m_channels / description.audioInputs;
    for (int i = 0; i < count; ++i) {
        std::string why;
        auto instance =
            m_spare ? std::move(m_spare) : m_backend->instantiate(*m_current, m_rate, why);
        if (!instance)
            return -1;
        graph->block = instance->maxBlockFrames();
        graph->instances.push_back(std::move(instance));
    }
    const std::size_t planes =
        static_cast<std::size_t>(std::max(m_channels, graph->naturalChannels));
    graph->in.assign(planes * graph->block, 0.0F);
    graph->out.assign(planes * graph->block, 0.0F);
    m_graph = std::move(graph);
    return 0;
}

void TDLib::StartGraph() {
    if (!m_graph || m_graph->started)
        return;
    for (auto& instance : m_graph->instances)
        instance->activate();
    m_graph->started = true;
    m_graph->latencyRead = false;
    m_graph->latency = 0;
    m_graph->skip = 0;
    m_graph->delivered = 0;
}

void TDLib::StopGraph() {
    if (!m_graph || !m_graph->started)
        return;
    // The last `latency` frames of the input are still inside the plug-in: silence pushes them
    // out, so that the output is as long as the input and in step with it.
    if (m_graph->delivered > 0) {
        std::uint32_t tail = m_graph->latency;
        std::fill(m_graph->in.begin(), m_graph->in.end(), 0.0F);
        while (tail > 0) {
            const std::uint32_t frames = std::min(tail, m_graph->block);
            runBlocks(m_graph->in.data(), frames);
            emitFrames(frames);
            tail -= frames;
        }
    }
    for (auto& instance : m_graph->instances)
        instance->deactivate();
    m_graph->started = false;
}

void TDLib::Disconnect() {
    StopGraph();
    m_graph.reset();
}

int TDLib::GetNumOutChans() const {
    if (m_graph)
        return m_graph->sinkChannels;
    return m_current ? naturalOutputChannels() : m_channels;
}

void TDLib::ReConnectSink(int channels) {
    if (m_graph && (channels == 1 || channels == 2))
        m_graph->sinkChannels = channels;
}

std::uint32_t TDLib::GetOutRate() const {
    return m_rate;
}

std::uint8_t* TDLib::GetDevBuf(int) {
    return m_graph && m_graph->started ? m_graph->input.data() : nullptr;
}

std::uint32_t TDLib::GetBufferSize() const {
    return kBufferBytes;
}

std::int32_t TDLib::Deliver(std::uint16_t bytes) {
    const auto frameBytes = static_cast<std::uint32_t>(2 * m_channels);
    if (!m_graph || !m_graph->started || bytes > kBufferBytes || bytes % frameBytes != 0)
        return kDeliverFailed;
    const auto start = std::chrono::steady_clock::now();
    Graph& graph = *m_graph;
    const std::uint32_t frames = bytes / frameBytes;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t count = std::min(frames - done, graph.block);
        float* planes[2] = {graph.in.data(), graph.in.data() + graph.block};
        planesFromPcm16(graph.input.data() + static_cast<std::size_t>(done) * frameBytes, count,
                        m_channels, planes);
        runBlocks(graph.in.data(), count);
        emitFrames(count);
        done += count;
    }
    graph.delivered += frames;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double realTime = static_cast<double>(frames) / m_rate;
    m_cpuLoad = realTime > 0.0 ? took.count() / realTime * 100.0 : 0.0;
    return bytes;
}

void TDLib::runBlocks(const float* planes, std::uint32_t frames) {
    Graph& graph = *m_graph;
    const std::size_t controls = plugin()->controls.size();
    std::vector<const float*> inputs(static_cast<std::size_t>(graph.inputsPerInstance));
    std::vector<float*> outputs(static_cast<std::size_t>(graph.outputsPerInstance));
    for (std::size_t i = 0; i < graph.instances.size(); ++i) {
        PluginInstance& instance = *graph.instances[i];
        for (std::size_t c = 0; c < controls; ++c)
            instance.setControl(c, m_values[c].load(std::memory_order_relaxed));
        for (std::size_t j = 0; j < inputs.size(); ++j)
            inputs[j] = planes + (i * inputs.size() + j) * graph.block;
        for (std::size_t j = 0; j < outputs.size(); ++j)
            outputs[j] = graph.out.data() + (i * outputs.size() + j) * graph.block;
        instance.run(inputs.data(), outputs.data(), frames);
    }
    if (!graph.latencyRead) {
        // A plug-in reports its delay once it has run.
        graph.latency = graph.instances.front()->latency();
        graph.skip = graph.latency;
        graph.latencyRead = true;
    }
}

void TDLib::emitFrames(std::uint32_t frames) {
    Graph& graph = *m_graph;
    const std::uint32_t dropped = std::min(frames, graph.skip);
    graph.skip -= dropped;
    const std::uint32_t kept = frames - dropped;
    if (kept == 0 || !m_callback)
        return;
    const auto sink = static_cast<std::size_t>(graph.sinkChannels);
    graph.bytes.resize(kept * sink * 2);
    float* left = graph.out.data() + dropped;
    float* right = graph.naturalChannels == 2 ? left + graph.block : left;
    if (sink == 1 && graph.naturalChannels == 2) {
        // Both channels mixed into the left plane, which is not read again.
        for (std::uint32_t f = 0; f < kept; ++f)
            left[f] = (left[f] + right[f]) * 0.5F;
    }
    const float* planes[2] = {left, right};
    pcm16FromPlanes(planes, static_cast<int>(sink), kept, graph.bytes.data());
    m_callback(graph.bytes.data(), static_cast<std::uint32_t>(graph.bytes.size()));
}

void TDLib::KillFilter(int) {
    Disconnect();
    m_spare.reset();
    m_pages.clear();
    m_site = nullptr;
    m_current.reset();
    m_described.reset();
    m_values.reset();
}

const PluginDescription* TDLib::plugin() const {
    return m_described ? &*m_described : nullptr;
}

float TDLib::controlValue(std::size_t control) const {
    return m_current && control < plugin()->controls.size() ? m_values[control].load() : 0.0F;
}

void TDLib::setControlValue(std::size_t control, float value) {
    if (!m_current || control >= plugin()->controls.size())
        return;
    const PluginControl& info = plugin()->controls[control];
    const float low = std::min(info.minimum, info.maximum);
    const float high = std::max(info.minimum, info.maximum);
    m_values[control] = std::isfinite(value) ? std::clamp(value, low, high) : info.defaultValue;
}

bool TDLib::setControlBySymbol(const std::string& symbol, float value) {
    if (!m_current)
        return false;
    const auto& controls = plugin()->controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].symbol == symbol) {
            setControlValue(i, value);
            return true;
        }
    }
    return false;
}

std::vector<PluginPreset> TDLib::presetList() const {
    return m_current ? m_backend->presets(*m_current) : std::vector<PluginPreset>{};
}

bool TDLib::deletePreset(const std::string& name) {
    return m_current && m_backend->deletePreset(*m_current, name);
}

namespace {

std::filesystem::path homeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::filesystem::path(home)
                                            : std::filesystem::path(".");
}

} // namespace

std::filesystem::path defaultPresetFolder() {
    return homeFolder() / ".lv2";
}

std::filesystem::path legacyPresetFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::filesystem::path base = data != nullptr && *data != '\0'
                                           ? std::filesystem::path(data)
                                           : homeFolder() / ".local" / "share";
    return base / "WaveTolvane" / "lv2-presets";
}

} // namespace tolvane
