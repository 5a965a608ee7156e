#pragma once

// The program's side of the effect host: what a plug-in processes (the whole sample or the
// loop), the processing run that puts its output into the document as one undo step, and the
// preview that plays the loop through it until stopped.

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "plugins/TDLib.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace tolvane {

inline constexpr const char* kMsgNoPlugins = "No plugins available";
inline constexpr const char* kMsgHostFailed =
    "Error initialising DirectShow - \r\n\r\nPlease check DirectMedia is installed before "
    "continuing!";
inline constexpr const char* kMsgNoPages = "Plugin has no property pages - process?";
inline constexpr const char* kMsgConnectFailed =
    "An error occured when trying to connect to the plugin - no preview is \r\npossible.\r\n\r\n"
    "This plugin may be unable to process this data type.\r\n";
inline constexpr const char* kMsgPluginError = "A plugin error occurred!";
inline constexpr const char* kMsgDeliverError = "An processing error occurred!";
inline constexpr const char* kMsgPresetLoadError = "Error saving preset!";
inline constexpr const char* kNoPresetSelected = "No preset selected";

// "Selection:": the whole sample or the loop between the locators.
enum class PlugInMode { All = 0, Loop = 1 };

struct ByteRegion {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};

// The bytes a plug-in works on: the whole data, or the locators' region in whole stereo frames
// (the left locator rounded down to 4 bytes, the length too), within the data.
ByteRegion plugInRegion(const SampleDocument& doc, PlugInMode mode);

enum class PlugInOutcome { Processed, ConnectFailed, DeliverFailed, Cancelled };

// Runs the region through the set-up plug-in (SetSampleParams and SetupFilter done) and, unless
// cancelled or failed, replaces the region with the plug-in's output as one undo step (kind 2:
// data, format and candidates). The output is collected apart from the document, so a cancelled
// or failed run leaves the document as it was. A plug-in with more output channels than the
// document makes the document stereo; the unprocessed rest of a loop run is doubled to match.
// Throws UndoFileError when the undo step cannot be recorded (the document is then untouched).
PlugInOutcome processThroughPlugIn(TDLib& lib, SampleDocument& doc, UndoRecord& undo,
                                   PlugInMode mode, const std::atomic<bool>& cancelled,
                                   const std::function<void(int percent)>& progress);

// Plays the loop through the set-up plug-in, over and over, into a sink of 16-bit stereo until
// stopped. Runs on a thread of its own; the sink (the preview output) may block.
class PlugInPreview {
public:
    struct Events {
        std::function<void(const std::uint8_t*, std::size_t)> sink; // stereo frames
        std::function<void(int percent)> cpu;                       // every 20 deliveries
        std::function<void()> connectFailed;
    };

    PlugInPreview(TDLib& lib, const SampleDocument& doc, Events events);
    ~PlugInPreview();
    PlugInPreview(const PlugInPreview&) = delete;
    PlugInPreview& operator=(const PlugInPreview&) = delete;

    void start();
    // Asks the thread to end; it ends after the delivery under way.
    void requestStop() { m_stop = true; }
    // Waits for the thread to end (asks it to first).
    void join();
    bool running() const { return m_thread.joinable() && !m_finished; }

private:
    void run();
    void deliverToSink(const std::uint8_t* data, std::uint32_t length);

    TDLib& m_lib;
    const SampleDocument& m_doc;
    Events m_events;
    int m_outputChannels;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::vector<std::uint8_t> m_stereo;
    std::thread m_thread;
};

} // namespace tolvane
