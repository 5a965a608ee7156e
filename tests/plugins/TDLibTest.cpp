#include "plugins/TDLib.h"

#include "TestPlugins.h"
#include "plugins/PcmConversion.h"
#include "plugins/PlugInProbe.h"

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <random>
#include <sstream>

namespace tolvane {
namespace {

using test::pluginIndex;

int pluginIndex(const TDLib& lib, const std::string& uri) {
    for (int i = 0; i < lib.GetNumPlugs(); ++i)
        if (lib.plugins()[static_cast<std::size_t>(i)].uri == uri)
            return i;
    return -1;
}

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
    ASSERT_EQ(backend->plugins().size(), 5u);
    const PluginDescription& gain =
        backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kGainUri))];
    EXPECT_EQ(gain.name, "Test Gain");
    EXPECT_EQ(gain.category, "Amplifier");
    EXPECT_EQ(gain.maker, "Tolvane Tests");
    EXPECT_EQ(gain.bundle, std::filesystem::path(TOLVANE_TEST_LV2_PATH) / "tolvane-test.lv2");
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
    EXPECT_EQ(delay.category, "Delay");
    const PluginDescription& fragile =
        backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kFragileUri))];
    EXPECT_EQ(fragile.category, "Filter") << "a low-pass filter is a filter";
    EXPECT_TRUE(fragile.controls[0].sampleRateRelative);
    EXPECT_FLOAT_EQ(fragile.controls[0].maximum, 0.5F) << "as the plug-in gives it";
    EXPECT_EQ(backend->plugins()[static_cast<std::size_t>(pluginIndex(*backend, test::kSpreadUri))]
                  .category,
              "Other");

    auto one = makeLilvPluginBackend(test::kStereoGainUri);
    ASSERT_EQ(one->plugins().size(), 1u) << "a host for one effect lists that one";
    EXPECT_EQ(one->plugins()[0].uri, test::kStereoGainUri);
    EXPECT_TRUE(makeLilvPluginBackend("urn:none")->plugins().empty());
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(makeLilvPluginBackend({}, &stop)->plugins().empty()) << "asked to stop at once";
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

TEST_F(HostTest, RefusalsSayWhetherTheLayoutOrTheLibraryIsAtFault) {
    EXPECT_EQ(setUp(test::kStereoGainUri, 1), kSetupRefused);
    EXPECT_EQ(lib.setupRefusal(), std::string(kMsgPluginSetupFailed) +
                                      "It takes stereo input (2 audio inputs, 2 audio outputs), "
                                      "so it cannot accept mono data.");
    EXPECT_EQ(setUp(test::kSpreadUri, 2), kSetupRefused) << "would make four channels";
    EXPECT_EQ(lib.setupRefusal(), std::string(kMsgPluginSetupFailed) +
                                      "It turns one channel into two (1 audio input, 2 audio "
                                      "outputs), so it cannot accept stereo data.");
    EXPECT_EQ(setUp(test::kGainUri, 2), kSetupReady) << "one instance per channel";
    EXPECT_TRUE(lib.setupRefusal().empty());
    EXPECT_EQ(lib.GetNumOutChans(), 2);
    EXPECT_EQ(lib.GetCLSID(), test::kGainUri);

    setenv("LV2_PATH", TOLVANE_FAULTY_LV2_PATH, 1);
    TDLib faulty(makeLilvPluginBackend(test::kMissingUri));
    ASSERT_EQ(faulty.InitPlugins(0), 0);
    ASSERT_EQ(faulty.GetNumPlugs(), 1);
    for (int channels : {1, 2}) {
        faulty.SetSampleParams(16, 44100, channels);
        EXPECT_EQ(faulty.SetupFilter(0, nullptr), kSetupRefused);
        EXPECT_TRUE(faulty.setupRefusal().starts_with(std::string(kMsgPluginSetupFailed) +
                                                      "The plugin could not be loaded:\r\n"))
            << faulty.setupRefusal();
        EXPECT_NE(faulty.setupRefusal().find("not-installed.so: cannot open shared object file"),
                  std::string::npos)
            << "the loader's own reason: " << faulty.setupRefusal();
    }
}

// Some plug-ins make their state in activate and free it in cleanup without looking: freeing an
// instance that never ran crashed the host (set up, then given up; or a preset stored).
TEST_F(HostTest, InstancesThatNeverRanAreFreedWithoutCrashingThePlugIn) {
    EXPECT_EXIT(
        {
            for (int channels : {1, 2}) {
                setUp(test::kFragileUri, channels);
                lib.KillFilter(0); // the window's "Cancel"
                setUp(test::kFragileUri, channels);
                lib.SetPath(defaultPresetFolder());
                lib.SavePersistData("Kept");
                const std::vector<std::int16_t> in(static_cast<std::size_t>(channels) * 10, 7);
                if (run(in) != in)
                    std::exit(1);
                lib.KillFilter(0);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// The plug-ins of Debian's swh-lv2 that crashed that way, each set up and given up, then tried on
// mono and stereo data, when they are installed.
TEST_F(HostTest, FiltersOfSwhLv2AreFreedWithoutCrashing) {
    unsetenv("LV2_PATH");
    int installed = 0;
    for (const char* name :
         {"bandpass_a_iir", "bandpass_iir", "highpass_iir", "lowpass_iir", "butthigh_iir",
          "buttlow_iir", "bwxover_iir", "allpass_c", "allpass_l", "allpass_n"}) {
        const std::string uri = std::string("http://plugin.org.uk/swh-plugins/") + name;
        if (makeLilvPluginBackend(uri)->plugins().empty())
            continue;
        ++installed;
        EXPECT_EXIT(
            {
                TDLib swh(makeLilvPluginBackend(uri));
                swh.InitPlugins(0);
                for (int channels : {1, 2}) {
                    swh.SetSampleParams(16, 44100, channels);
                    swh.SetupFilter(0, nullptr);
                    swh.KillFilter(0);
                }
                std::ostringstream tried;
                std::exit(tryEffect(uri, 44100, 0.05, tried) == 0 &&
                                  tried.str().find("mono: works") != std::string::npos
                              ? 0
                              : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << name;
    }
    if (installed == 0)
        GTEST_SKIP() << "swh-lv2 is not installed (scripts/install-deps)";
}

TEST_F(HostTest, RangesRelativeToTheSampleRateFollowTheDataRate) {
    for (const std::uint32_t rate : {22050U, 44100U, 96000U}) {
        EXPECT_EQ(lib.InitPlugins(0), 0);
        lib.SetSampleParams(16, rate, 1);
        ASSERT_EQ(lib.SetupFilter(static_cast<std::uint16_t>(pluginIndex(lib, test::kFragileUri)),
                                  nullptr),
                  kSetupReady);
        const PluginControl& cutoff = lib.plugin()->controls[0];
        EXPECT_FLOAT_EQ(cutoff.maximum, rate / 2.0F) << rate;
        EXPECT_FLOAT_EQ(cutoff.defaultValue, rate / 4.0F) << rate;
        EXPECT_FLOAT_EQ(lib.controlValue(0), rate / 4.0F) << rate;
        lib.setControlValue(0, 40000.0F);
        EXPECT_FLOAT_EQ(lib.controlValue(0), std::min(40000.0F, rate / 2.0F)) << rate;
    }
    // A real filter: at 96 kHz its cutoff reaches 48 kHz.
    unsetenv("LV2_PATH");
    TDLib swh(makeLilvPluginBackend("http://plugin.org.uk/swh-plugins/lsFilter"));
    if (swh.GetNumPlugs() == 0)
        GTEST_SKIP() << "swh-lv2 is not installed (scripts/install-deps)";
    ASSERT_EQ(swh.InitPlugins(0), 0);
    swh.SetSampleParams(16, 96000, 1);
    ASSERT_EQ(swh.SetupFilter(0, nullptr), kSetupReady);
    EXPECT_TRUE(swh.setControlBySymbol("cutoff", 48000.0F));
    const auto& controls = swh.plugin()->controls;
    const auto cutoff = std::find_if(controls.begin(), controls.end(),
                                     [](const PluginControl& c) { return c.symbol == "cutoff"; });
    ASSERT_NE(cutoff, controls.end());
    EXPECT_FLOAT_EQ(cutoff->maximum, 48000.0F);
    EXPECT_FLOAT_EQ(swh.controlValue(static_cast<std::size_t>(cutoff - controls.begin())),
                    48000.0F);
}

// The fast conversion gives exactly what lrint of the clipped value gives.
TEST(PcmConversion, RoundsHalfToEvenAndClipsExactlyAsLrint) {
    const auto reference = [](float value) {
        const float scaled = value * 32768.0F;
        const long sample =
            std::isnan(scaled) ? 0 : std::lrint(std::clamp(scaled, -32768.0F, 32767.0F));
        return static_cast<std::int16_t>(sample);
    };
    std::vector<float> values = {0.0F,
                                 -0.0F,
                                 1.0F,
                                 -1.0F,
                                 2.0F,
                                 -7.5F,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::denorm_min(),
                                 -std::numeric_limits<float>::denorm_min()};
    // Every sample value, every half-way point and quarter between them, a little beyond the
    // range, and values a step of the float grid either side of each half.
    for (int quarter = -4 * 32800; quarter <= 4 * 32800; ++quarter) {
        const float value = static_cast<float>(quarter) / (4.0F * 32768.0F);
        values.push_back(value);
        values.push_back(std::nextafter(value, 2.0F));
        values.push_back(std::nextafter(value, -2.0F));
    }
    std::mt19937 random(28);
    std::uniform_real_distribution<float> anywhere(-1.5F, 1.5F);
    for (int i = 0; i < 200000; ++i)
        values.push_back(anywhere(random));
    for (float value : values)
        ASSERT_EQ(pcm16FromFloat(value), reference(value)) << value;
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
    EXPECT_EQ(folder, environment.dataFolder() / ".lv2") << "where every LV2 host finds them";
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

// An installed effect's factory presets, from the preset files of its own bundle, are listed
// beside the user's and set its controls.
TEST_F(HostTest, FactoryPresetsOfAnInstalledEffectAreListedAndLoad) {
    unsetenv("LV2_PATH");
    TDLib mda(makeLilvPluginBackend("http://drobilla.net/plugins/mda/Detune"));
    if (mda.GetNumPlugs() == 0)
        GTEST_SKIP() << "mda-lv2 is not installed (scripts/install-deps)";
    mda.SetPath(defaultPresetFolder());
    ASSERT_EQ(mda.InitPlugins(0), 0);
    mda.SetSampleParams(16, 44100, 2);
    ASSERT_EQ(mda.SetupFilter(0, nullptr), kSetupReady);
    ASSERT_TRUE(mda.setControlBySymbol("mix", 0.1F));
    ASSERT_EQ(mda.SavePersistData("Mine"), 0);
    std::vector<std::string> names;
    for (const PluginPreset& preset : mda.presetList())
        names.push_back(preset.name + (preset.ours ? " (ours)" : ""));
    EXPECT_EQ(names, (std::vector<std::string>{"Mine (ours)", "Out Of Tune", "Stereo Detune",
                                               "Symphonic"}));
    ASSERT_EQ(mda.LoadPersistData("Out Of Tune"), 0);
    const auto& controls = mda.plugin()->controls;
    std::map<std::string, float> values;
    for (std::size_t i = 0; i < controls.size(); ++i)
        values[controls[i].symbol] = mda.controlValue(i);
    EXPECT_FLOAT_EQ(values["detune"], 0.8F);
    EXPECT_FLOAT_EQ(values["mix"], 0.7F);
    ASSERT_EQ(mda.LoadPersistData("Mine"), 0);
    for (std::size_t i = 0; i < controls.size(); ++i)
        values[controls[i].symbol] = mda.controlValue(i);
    EXPECT_FLOAT_EQ(values["mix"], 0.1F);
    EXPECT_FLOAT_EQ(values["detune"], 0.2F);
    mda.KillFilter(0);
}

} // namespace
} // namespace tolvane
