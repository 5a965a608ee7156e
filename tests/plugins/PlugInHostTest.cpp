#include "plugins/PlugInHost.h"

#include "TestPlugins.h"
#include "processing/ProcessingDocuments.h"

#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace tolvane {
namespace {

using test::documentOfSamples;
using test::DocumentState;
using test::samplesOf;

class PlugInHostTest : public ::testing::Test {
protected:
    test::TestPluginEnvironment environment;
    TDLib lib{makeLilvPluginBackend()};
    std::atomic<bool> cancelled{false};

    void setUp(const std::string& uri, const SampleDocument& doc, float gain) {
        ASSERT_EQ(lib.InitPlugins(0), 0);
        lib.SetSampleParams(16, doc.SampleRate, doc.Channels);
        auto backend = makeLilvPluginBackend();
        ASSERT_EQ(
            lib.SetupFilter(static_cast<std::uint16_t>(test::pluginIndex(*backend, uri)), nullptr),
            kSetupReady);
        lib.setControlBySymbol("gain", gain);
    }
};

std::vector<std::int16_t> ramp(std::size_t count, int step) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(static_cast<int>(i % 3000) * step - 20000);
    return samples;
}

TEST_F(PlugInHostTest, ProcessingAllIsOneUndoStepThatRestoresEveryByte) {
    SampleDocument doc = documentOfSamples(2, true, ramp(40000, 13), {{400, 9, 1, 0, 1, 0}});
    setUp(test::kGainUri, doc, 0.5F);
    const auto input = samplesOf(doc);
    test::expectUndoAndRedo(doc, [&](SampleDocument& d, UndoRecord& undo) {
        EXPECT_EQ(processThroughPlugIn(lib, d, undo, PlugInMode::All, cancelled, nullptr),
                  PlugInOutcome::Processed);
    });
    // After the redo: the halved samples, the same format, a scan pending.
    const auto output = samplesOf(doc);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(output[i], static_cast<std::int16_t>(std::nearbyint(input[i] * 0.5))) << i;
    EXPECT_EQ(doc.Channels, 2);
    EXPECT_TRUE(doc.DetectPending);
}

TEST_F(PlugInHostTest, ProcessingTheLoopKeepsWhatLiesOutsideIt) {
    SampleDocument doc = documentOfSamples(2, true, ramp(20000, 7));
    doc.LocatorL = 4002; // a right sample: the loop starts at its frame
    doc.LocatorR = 30001;
    setUp(test::kGainUri, doc, 0.0F);
    const auto input = samplesOf(doc);
    UndoRecord undo;
    ASSERT_EQ(processThroughPlugIn(lib, doc, undo, PlugInMode::Loop, cancelled, nullptr),
              PlugInOutcome::Processed);
    const auto output = samplesOf(doc);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        const bool inLoop = i * 2 >= 4000 && i * 2 < 30000;
        ASSERT_EQ(output[i], inLoop ? 0 : input[i]) << i;
    }
    EXPECT_EQ(doc.LocatorL, 4002u);
    EXPECT_EQ(doc.LocatorR, 30001u);
}

TEST_F(PlugInHostTest, MonoInStereoOutMakesTheDocumentStereoAndUndoMakesItMonoAgain) {
    SampleDocument doc =
        documentOfSamples(1, false, {10, -20, 30, -40, 50, -60}, {{4, 9, 1, 0, 1, 0}});
    doc.LocatorL = 4;
    doc.LocatorR = 8;
    setUp(test::kSpreadUri, doc, 2.0F);
    const DocumentState before(doc);
    UndoRecord undo;
    ASSERT_EQ(processThroughPlugIn(lib, doc, undo, PlugInMode::Loop, cancelled, nullptr),
              PlugInOutcome::Processed);
    EXPECT_EQ(samplesOf(doc),
              (std::vector<std::int16_t>{10, 10, -20, -20, 30, 60, -40, -80, 50, 50, -60, -60}))
        << "the loop through the plug-in, the rest on both channels";
    EXPECT_EQ(doc.Channels, 2);
    EXPECT_EQ(doc.DataLength, 24);
    EXPECT_EQ(doc.BytesPerSecond, 176400u);
    EXPECT_TRUE(doc.MergeChannels);
    EXPECT_EQ(doc.LastChannel, 2);
    EXPECT_EQ(doc.LocatorL, 8u) << "locators keep their time";
    EXPECT_EQ(doc.LocatorR, 16u);
    EXPECT_EQ(doc.CandidateCount, 0) << "positions of the mono data are found again";
    undoClick(undo, doc, true);
    EXPECT_TRUE(DocumentState(doc) == before);
}

TEST_F(PlugInHostTest, CancelLeavesTheDocumentAndTheUndoStepAsTheyWere) {
    SampleDocument doc = documentOfSamples(2, true, ramp(200000, 5));
    setUp(test::kGainUri, doc, 3.0F);
    const DocumentState before(doc);
    UndoRecord undo;
    int calls = 0;
    const auto outcome =
        processThroughPlugIn(lib, doc, undo, PlugInMode::All, cancelled, [&](int percent) {
            EXPECT_GE(percent, 0);
            EXPECT_LE(percent, 100);
            if (++calls == 3)
                cancelled = true;
        });
    EXPECT_EQ(outcome, PlugInOutcome::Cancelled);
    EXPECT_LE(calls, 4) << "the delivery under way ends, no other follows (of about 50)";
    EXPECT_TRUE(DocumentState(doc) == before);
    EXPECT_FALSE(undo.available);
}

// A plug-in that passes its input through.
class PassThrough : public PluginInstance {
public:
    void setControl(std::size_t, float) override {}
    void activate() override {}
    void deactivate() override {}
    void run(const float* const* inputs, float* const* outputs, std::uint32_t frames) override {
        std::copy_n(inputs[0], frames, outputs[0]);
    }
    std::uint32_t maxBlockFrames() const override { return 64; }
    std::uint32_t latency() const override { return 0; }
};

// A host whose one plug-in starts once (at set-up) and never again: the instance of the set-up
// is the first one connected, so stereo data, which needs two, cannot be connected.
class UnconnectableBackend : public PluginBackend {
public:
    UnconnectableBackend() {
        PluginDescription plugin;
        plugin.uri = "urn:x";
        plugin.name = "X";
        plugin.audioInputs = plugin.audioOutputs = 1;
        m_plugins.push_back(plugin);
    }
    const std::vector<PluginDescription>& plugins() const override { return m_plugins; }
    std::unique_ptr<PluginInstance> instantiate(std::size_t, double, std::string&) override {
        return ++m_calls > 1 ? nullptr : std::make_unique<PassThrough>();
    }
    void setPresetFolder(const std::filesystem::path&) override {}
    void readPresetFolder(const std::filesystem::path&) override {}
    std::vector<PluginPreset> presets(std::size_t) override { return {}; }
    std::optional<ControlValues> loadPreset(std::size_t, const std::string&) override {
        return std::nullopt;
    }
    bool savePreset(std::size_t, const std::string&, const ControlValues&) override {
        return false;
    }
    bool deletePreset(std::size_t, const std::string&) override { return false; }

private:
    std::vector<PluginDescription> m_plugins;
    int m_calls = 0;
};

TEST_F(PlugInHostTest, APlugInThatCannotConnectLeavesTheDocumentAlone) {
    SampleDocument doc = documentOfSamples(2, true, ramp(100, 3));
    TDLib unconnectable(std::make_unique<UnconnectableBackend>());
    ASSERT_EQ(unconnectable.InitPlugins(0), 0);
    unconnectable.SetSampleParams(16, 44100, 2);
    ASSERT_EQ(unconnectable.SetupFilter(0, nullptr), kSetupReady);
    const DocumentState before(doc);
    UndoRecord undo;
    EXPECT_EQ(processThroughPlugIn(unconnectable, doc, undo, PlugInMode::All, cancelled, nullptr),
              PlugInOutcome::ConnectFailed);
    EXPECT_TRUE(DocumentState(doc) == before);
    EXPECT_FALSE(undo.available);
}

TEST_F(PlugInHostTest, PreviewPlaysTheLoopOverAndOverAsStereo) {
    SampleDocument doc = documentOfSamples(1, false, ramp(30000, 9));
    doc.LocatorL = 1000;
    doc.LocatorR = 41003; // 40000 bytes after rounding: two deliveries, the second short
    setUp(test::kGainUri, doc, 0.5F);
    std::mutex mutex;
    std::condition_variable enough;
    std::vector<std::int16_t> played;
    int cpuReports = 0;
    PlugInPreview* self = nullptr;
    PlugInPreview preview(lib, doc,
                          {[&](const std::uint8_t* data, std::size_t length) {
                               std::lock_guard lock(mutex);
                               for (std::size_t i = 0; i + 1 < length; i += 2)
                                   played.push_back(
                                       static_cast<std::int16_t>(data[i] | data[i + 1] << 8));
                               if (played.size() >= 20000 * 2 * 25) {
                                   self->requestStop();
                                   enough.notify_one();
                               }
                           },
                           [&](int percent) {
                               EXPECT_GE(percent, 0);
                               ++cpuReports;
                           },
                           [] { ADD_FAILURE() << "the gain plug-in connects"; }});
    self = &preview;
    preview.start();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(enough.wait_for(lock, std::chrono::seconds(20),
                                    [&] { return played.size() >= 20000 * 2 * 25; }));
    }
    preview.join();
    EXPECT_FALSE(preview.running());
    EXPECT_GE(cpuReports, 2) << "a reading every 20 deliveries";
    const auto input = samplesOf(doc);
    for (std::size_t frame = 0; frame < 20000 * 3; ++frame) {
        const auto expected =
            static_cast<std::int16_t>(std::nearbyint(input[500 + frame % 20000] * 0.5));
        ASSERT_EQ(played[2 * frame], expected) << frame;
        ASSERT_EQ(played[2 * frame + 1], expected) << frame;
    }
}

} // namespace
} // namespace tolvane
