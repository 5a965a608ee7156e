#pragma once

// The effect host the editor and the command line drive: the operations a plug-in window needs
// (list, set up, pages, presets, connect, deliver, release) over the system's plug-ins
// (platform/PluginBackend). 16-bit PCM goes in through a buffer of the host's; what the plug-in
// makes of it comes back, as 16-bit PCM again, through the data callback.

#include "platform/PluginBackend.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

class EDllInitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kMsgPluginInitError = "Error initializing DirectX plugins!";
inline constexpr const char* kMsgPluginSetupFailed =
    "An error occurred when initialising the plugin -\r\n\r\n";

// SetupFilter's results: ready, no plug-in host on this system, the plug-in refused (it could
// not be loaded, or its channels do not fit the data: setupRefusal() says which).
inline constexpr std::uint16_t kSetupReady = 0;
inline constexpr std::uint16_t kSetupHostFailed = 0xFCD8;
inline constexpr std::uint16_t kSetupRefused = 1;
// Deliver's result when the bytes could not be processed (its top byte is negative).
inline constexpr std::int32_t kDeliverFailed = -1;

// Receives the processed 16-bit PCM of each delivery, on the delivering thread; returns 0.
using TDataCallback = std::function<int(const std::uint8_t* data, std::uint32_t length)>;

// A page of controls: the controls of one port group (or of none), a handful at a time.
struct PropertyPage {
    std::string name;
    std::vector<std::size_t> controls; // indexes into the plug-in's controls
};

// Where the host shows its property pages: the window that gives SetupFilter its site draws the
// page's controls at the origin and reads and sets them through the host.
class PropertyPageSite {
public:
    virtual ~PropertyPageSite() = default;
    virtual void showPage(int page, int x, int y) = 0;
    virtual void removePage(int page) = 0;
    // The control values changed (a preset was loaded): show them again.
    virtual void refreshPage() = 0;
};

class TDLib {
public:
    static constexpr std::uint32_t kBufferBytes = 32768;
    static constexpr int kMaxControlsPerPage = 8;

    // A null backend is a system without a plug-in host: InitPlugins fails.
    explicit TDLib(std::unique_ptr<PluginBackend> backend);
    ~TDLib();
    TDLib(const TDLib&) = delete;
    TDLib& operator=(const TDLib&) = delete;

    // Set when the host could not start; every plug-in function of the program is then skipped.
    bool failed() const { return m_failed; }

    int InitPlugins(int reserved);
    int GetNumPlugs() const;
    // The installed plug-ins as GetNumPlugs counts them (empty without a host).
    const std::vector<PluginDescription>& plugins() const;
    std::string GetNextPlugInName(std::uint16_t index) const;
    // Where the user's presets are stored (and the presets kept from earlier versions).
    void SetPath(const std::filesystem::path& presetFolder);
    void SetCallback(TDataCallback callback);
    void SetSampleParams(int bits, std::uint32_t rate, int channels);
    std::uint16_t SetupFilter(std::uint16_t index, PropertyPageSite* site);
    int GetNumPages() const;
    std::string GetTabName(std::uint16_t page) const;
    int GetSheetSizeX(int reserved) const;
    int GetSheetSizeY(int reserved) const;
    void SetOrig(int x, int y);
    void ShowPage(int page);
    void KillPage(int page);
    std::string GetCLSID() const;
    int SavePersistData(const std::string& name);
    int LoadPersistData(const std::string& name);
    void Repaint();
    int Connect();
    void StartGraph();
    void StopGraph();
    void Disconnect();
    int GetNumOutChans() const;
    void ReConnectSink(int channels);
    std::uint32_t GetOutRate() const;
    std::uint8_t* GetDevBuf(int channels);
    std::uint32_t GetBufferSize() const;
    std::int32_t Deliver(std::uint16_t bytes);
    void KillFilter(int reserved);

    // Why the last SetupFilter refused, as the message to show: the plug-in could not be
    // loaded (and the loader's reason), or its channel layout does not fit the data.
    const std::string& setupRefusal() const { return m_refusal; }

    // What the pages show and change: the set-up plug-in's controls and their values (safe to
    // call while another thread delivers). Ranges relative to the sample rate are given in
    // absolute units at the rate of SetSampleParams.
    const PluginDescription* plugin() const;
    const PropertyPage& page(int index) const {
        return m_pages.at(static_cast<std::size_t>(index));
    }
    float controlValue(std::size_t control) const;
    void setControlValue(std::size_t control, float value);
    // Sets the control with that symbol; false when there is none.
    bool setControlBySymbol(const std::string& symbol, float value);
    // The set-up plug-in's presets by name, and the deletion of one of ours.
    std::vector<PluginPreset> presetList() const;
    bool deletePreset(const std::string& name);
    // The share of real time the last delivery's run calls took, in percent.
    double cpuLoad() const { return m_cpuLoad.load(); }

private:
    struct Graph;
    int naturalOutputChannels() const;
    void buildPages();
    void runBlocks(const float* planes, std::uint32_t frames);
    void emitFrames(std::uint32_t frames);

    std::unique_ptr<PluginBackend> m_backend;
    bool m_failed = false;
    TDataCallback m_callback;
    std::uint32_t m_rate = 44100;
    int m_channels = 1;
    std::optional<std::size_t> m_current;         // the set-up plug-in
    std::optional<PluginDescription> m_described; // its description at m_rate
    std::unique_ptr<PluginInstance> m_spare;      // made by SetupFilter, used by Connect
    std::string m_refusal;
    PropertyPageSite* m_site = nullptr;
    std::vector<PropertyPage> m_pages;
    int m_originX = 0;
    int m_originY = 0;
    std::unique_ptr<std::atomic<float>[]> m_values;
    std::unique_ptr<Graph> m_graph;
    std::atomic<double> m_cpuLoad{0.0};
};

// The folder the user's presets are stored in: ~/.lv2, where every LV2 host looks for them.
std::filesystem::path defaultPresetFolder();
// Where earlier versions stored them: "WaveTolvane/lv2-presets" in the user's data folder
// (XDG_DATA_HOME, else ~/.local/share). SetPath reads it too.
std::filesystem::path legacyPresetFolder();

} // namespace tolvane
