#include "plugins/TDLib.h"

#include "TestPlugins.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::pluginIndex;

std::vector<std::uint8_t> bytesOf(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

std::vector<std::int16_t> samplesOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class RecordingSite : public PropertyPageSite {
public:
    void showPage(int page, int x, int y) override { shown.push_back({page, x, y}); }
    void removePage(int page) override { removed.push_back(page); }
    void refreshPage() override { ++refreshed; }
    std::vector<std::array<int, 3>> shown;
    std::vector<int> removed;
    int refreshed = 0;
};

class HostTest : public ::testing::Test {
protected:
    test::TestPluginEnvironment environment;
    TDLib lib{makeLilvPluginBackend()};
    std::vector<std::uint8_t> output;

    // Sets up the plug-in for data of that channel count; returns SetupFilter's status.
    std::uint16_t setUp(const std::string& uri, int channels, PropertyPageSite* site = nullptr) {
        EXPECT_EQ(lib.InitPlugins(0), 0);
        lib.SetCallback([this](const std::uint8_t* data, std::uint32_t length) {
            output.insert(output.end(), data, data + length);
            return 0;
        });
        lib.SetSampleParams(16, 44100, channels);
        int index = -1;
        for (int i = 0; i < lib.GetNumPlugs(); ++i)
            if (lib.GetNextPlugInName(static_cast<std::uint16_t>(i)) == nameOf(uri))
                index = i;
        EXPECT_GE(index, 0) << uri;
        return lib.SetupFilter(static_cast<std::uint16_t>(index), site);
    }

    static std::string nameOf(const std::string& uri) {
        auto backend = makeLilvPluginBackend();
        return backend->plugins().at(static_cast<std::size_t>(pluginIndex(*backend, uri))).name;
    }

    // Runs the samples through the connected plug-in in deliveries of at most `chunk` bytes.
    std::vector<std::int16_t> run(const std::vector<std::int16_t>& samples,
                                  std::size_t chunk = TDLib::kBufferBytes) {
        output.clear();
        EXPECT_EQ(lib.Connect(), 0);
        lib.StartGraph();
        const auto bytes = bytesOf(samples);
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            const std::size_t n = std::min(chunk, bytes.size() - at);
            std::memcpy(lib.GetDevBuf(lib.GetNumOutChans()), bytes.data() + at, n);
            EXPECT_EQ(lib.Deliver(static_cast<std::uint16_t>(n)), static_cast<std::int32_t>(n));
        }
        lib.StopGraph();
        lib.Disconnect();
        return samplesOf(output);
    }
};

TEST_F(HostTest, ListsEveryEffectWithItsChannelsAndControlRanges) {
    auto backend = makeLilvPluginBackend();
    ASSERT_EQ(backend->plugins().size(), 4u);
    const PluginDescription& gain =
        backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kGainUri))];
    EXPECT_EQ(gain.name, "Test Gain");
    EXPECT_EQ(gain.audioInputs, 1);
    EXPECT_EQ(gain.audioOutputs, 1);
    ASSERT_EQ(gain.controls.size(), 1u);
    EXPECT_EQ(gain.controls[0].symbol, "gain");
    EXPECT_FLOAT_EQ(gain.controls[0].minimum, 0.0F);
    EXPECT_FLOAT_EQ(gain.controls[0].maximum, 4.0F);
    EXPECT_FLOAT_EQ(gain.controls[0].defaultValue, 1.0F);
    const PluginDescription& stereo =
        backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kStereoGainUri))];
    EXPECT_EQ(stereo.audioInputs, 2);
    ASSERT_EQ(stereo.controls.size(), 2u);
    EXPECT_TRUE(stereo.controls[1].toggled);
    EXPECT_EQ(stereo.controls[0].group, "Level");
    const PluginDescription& delay =
        backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kDelayUri))];
    EXPECT_TRUE(delay.controls.empty()) << "the latency output is no control";
}

TEST(HostWithoutPlugins, NoHostFailsToInitialiseAndRefusesEverything) {
    TDLib lib(nullptr);
    EXPECT_NE(lib.InitPlugins(0), 0);
    EXPECT_TRUE(lib.failed());
    EXPECT_EQ(lib.GetNumPlugs(), 0);
    EXPECT_EQ(lib.SetupFilter(0, nullptr), kSetupHostFailed);
    EXPECT_LT(lib.Connect(), 0);
    EXPECT_EQ(lib.GetDevBuf(1), nullptr);
    EXPECT_EQ(lib.Deliver(4), kDeliverFailed);
}

TEST_F(HostTest, AStereoPlugInRefusesMonoDataAndMonoToStereoRefusesStereo) {
    EXPECT_EQ(setUp(test::kStereoGainUri, 1), kSetupRefused);
    EXPECT_EQ(setUp(test::kSpreadUri, 2), kSetupRefused) << "would make four channels";
    EXPECT_EQ(setUp(test::kGainUri, 2), kSetupReady) << "one instance per channel";
    EXPECT_EQ(lib.GetNumOutChans(), 2);
    EXPECT_EQ(lib.GetCLSID(), test::kGainUri);
}

TEST_F(HostTest, GainIsExactRoundsHalfToEvenAndClipsInsteadOfWrapping) {
    ASSERT_EQ(setUp(test::kGainUri, 1), kSetupReady);
    lib.setControlValue(0, 0.5F);
    EXPECT_EQ(run({3, 5, -3, -5, 1000, -32768}),
              (std::vector<std::int16_t>{2, 2, -2, -2, 500, -16384}));
    lib.setControlValue(0, 4.0F);
    EXPECT_EQ(run({10000, -10000, 8191, 100}),
              (std::vector<std::int16_t>{32767, -32768, 32764, 400}));
    lib.setControlValue(0, 9.0F);
    EXPECT_FLOAT_EQ(lib.controlValue(0), 4.0F) << "values stay within the port's range";
}

TEST_F(HostTest, StereoDataThroughAMonoPlugInRunsEachChannelAndKeepsThemApart) {
    ASSERT_EQ(setUp(test::kGainUri, 2), kSetupReady);
    lib.setControlValue(0, 2.0F);
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 10000; ++i) { // several deliveries and blocks
        frames.push_back(static_cast<std::int16_t>(i));
        frames.push_back(static_cast<std::int16_t>(-i));
    }
    const auto out = run(frames, 4000);
    ASSERT_EQ(out.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        ASSERT_EQ(out[i], std::clamp(frames[i] * 2, -32768, 32767)) << i;
}

TEST_F(HostTest, ReportedLatencyIsTakenOutSoOutputLinesUpWithInput) {
    ASSERT_EQ(setUp(test::kDelayUri, 1), kSetupReady);
    std::vector<std::int16_t> samples(5000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i * 7 - 9000);
    EXPECT_EQ(run(samples, 1000), samples);
    EXPECT_EQ(run({1, 2, 3}), (std::vector<std::int16_t>{1, 2, 3})) << "shorter than the delay";
}

TEST_F(HostTest, MonoToStereoOutputAndASinkReconnectedToMono) {
    ASSERT_EQ(setUp(test::kSpreadUri, 1), kSetupReady);
    EXPECT_EQ(lib.GetNumOutChans(), 2);
    lib.setControlValue(0, 2.0F);
    EXPECT_EQ(run({100, -7}), (std::vector<std::int16_t>{100, 200, -7, -14}));
    ASSERT_EQ(lib.Connect(), 0);
    lib.ReConnectSink(1);
    EXPECT_EQ(lib.GetNumOutChans(), 1);
    lib.StartGraph();
    output.clear();
    const auto bytes = bytesOf({100, -7});
    std::memcpy(lib.GetDevBuf(1), bytes.data(), bytes.size());
    lib.Deliver(4);
    EXPECT_EQ(samplesOf(output), (std::vector<std::int16_t>{150, -10})) << "both mixed: -10.5";
    lib.Disconnect();
    EXPECT_EQ(lib.GetNumOutChans(), 2) << "a new connection has the plug-in's own channels";
}

TEST_F(HostTest, DeliveriesOfPartFramesOrTooManyBytesFail) {
    ASSERT_EQ(setUp(test::kGainUri, 2), kSetupReady);
    EXPECT_EQ(lib.GetDevBuf(2), nullptr) << "not streaming yet";
    ASSERT_EQ(lib.Connect(), 0);
    lib.StartGraph();
    EXPECT_EQ(lib.Deliver(6), kDeliverFailed);
    EXPECT_EQ(lib.Deliver(static_cast<std::uint16_t>(TDLib::kBufferBytes + 4)), kDeliverFailed);
    EXPECT_EQ(lib.Deliver(8), 8);
}

TEST_F(HostTest, PagesFollowPortGroupsAndGoToTheSite) {
    RecordingSite site;
    ASSERT_EQ(setUp(test::kStereoGainUri, 2, &site), kSetupReady);
    ASSERT_EQ(lib.GetNumPages(), 2);
    EXPECT_EQ(lib.GetTabName(0), "Level");
    EXPECT_EQ(lib.GetTabName(1), "Polarity");
    EXPECT_EQ(lib.page(1).controls, std::vector<std::size_t>{1});
    EXPECT_GE(lib.GetSheetSizeY(0), 131);
    lib.SetOrig(13, 4);
    lib.ShowPage(1);
    lib.ShowPage(7);
    ASSERT_EQ(site.shown.size(), 1u);
    EXPECT_EQ(site.shown[0], (std::array<int, 3>{1, 13, 4}));
    lib.KillPage(1);
    EXPECT_EQ(site.removed, std::vector<int>{1});
    EXPECT_EQ(setUp(test::kDelayUri, 1), kSetupReady);
    EXPECT_EQ(lib.GetNumPages(), 0) << "no controls, no pages";
}

TEST_F(HostTest, StoredPresetsComeBackInANewHostAndOnlyOursCanBeDeleted) {
    const auto folder = defaultPresetFolder();
    EXPECT_EQ(folder, environment.dataFolder() / "WaveTolvane" / "lv2-presets");
    RecordingSite site;
    lib.SetPath(folder);
    ASSERT_EQ(setUp(test::kGainUri, 1, &site), kSetupReady);
    lib.setControlValue(0, 0.25F);
    ASSERT_EQ(lib.SavePersistData("Quarter \"quiet\""), 0);
    lib.setControlValue(0, 3.0F);
    ASSERT_EQ(lib.SavePersistData("Quarter \"quiet\""), 0) << "stored again: replaced";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    TDLib fresh(makeLilvPluginBackend());
    fresh.SetPath(folder);
    ASSERT_EQ(fresh.InitPlugins(0), 0);
    fresh.SetSampleParams(16, 44100, 1);
    auto backend = makeLilvPluginBackend();
    ASSERT_EQ(fresh.SetupFilter(static_cast<std::uint16_t>(pluginIndex(*backend, test::kGainUri)),
                                nullptr),
              kSetupReady);
    const auto presets = fresh.presetList();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0].name, "Half");
    EXPECT_FALSE(presets[0].ours);
    EXPECT_EQ(presets[1].name, "Quarter \"quiet\"");
    EXPECT_TRUE(presets[1].ours);
    ASSERT_EQ(fresh.LoadPersistData("Quarter \"quiet\""), 0);
    EXPECT_FLOAT_EQ(fresh.controlValue(0), 3.0F);
    ASSERT_EQ(fresh.LoadPersistData("Half"), 0);
    EXPECT_FLOAT_EQ(fresh.controlValue(0), 0.5F);
    EXPECT_NE(fresh.LoadPersistData("Missing"), 0);
    EXPECT_FALSE(fresh.deletePreset("Half")) << "the plug-in's own preset stays";
    EXPECT_TRUE(fresh.deletePreset("Quarter \"quiet\""));
    EXPECT_EQ(fresh.presetList().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    EXPECT_EQ(lib.LoadPersistData("Half"), 0);
    EXPECT_EQ(site.refreshed, 1) << "the page shows the loaded values";
}

} // namespace
} // namespace tolvane
