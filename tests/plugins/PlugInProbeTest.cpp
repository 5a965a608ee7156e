// Trying effects in a child process (`tolvane plugins --probe`): what works, what is refused, and
// what crashes, hangs or cannot be started; the verdicts remembered beside the settings.
#include "plugins/PlugInProbe.h"

#include "TestPlugins.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

const std::vector<std::string> kProbe = {TOLVANE_COMMAND, "plugins", "--probe"};

class ProbeTest : public ::testing::Test {
protected:
    test::TestPluginEnvironment environment{TOLVANE_FAULTY_LV2_PATH};
};

TEST_F(ProbeTest, WorkingAndRefusedLayoutsMakeAUsableEffect) {
    ProbeVerdict gain = probeInChild(kProbe, test::kGainUri, 44100);
    EXPECT_TRUE(gain.usable) << gain.reason;
    EXPECT_EQ(gain.layouts, (std::vector<std::string>{"mono: works", "stereo: works"}));
    ProbeVerdict stereo = probeInChild(kProbe, test::kStereoGainUri, 96000);
    EXPECT_TRUE(stereo.usable) << stereo.reason;
    ASSERT_EQ(stereo.layouts.size(), 2u);
    EXPECT_TRUE(stereo.layouts[0].starts_with("mono: refused: An error occurred when "
                                              "initialising the plugin - It takes stereo input"))
        << stereo.layouts[0];
    EXPECT_EQ(stereo.layouts[1], "stereo: works");
    ProbeVerdict missing = probeInChild(kProbe, test::kMissingUri, 44100);
    EXPECT_TRUE(missing.usable) << "refused at set-up, with the reason, but no danger";
    ASSERT_EQ(missing.layouts.size(), 2u);
    EXPECT_NE(missing.layouts[0].find("could not be loaded"), std::string::npos);
}

TEST_F(ProbeTest, AnEffectThatCrashesOrHangsIsUnusableAndSaysWhere) {
    const ProbeVerdict crash = probeInChild(kProbe, test::kCrashUri, 44100);
    EXPECT_FALSE(crash.usable);
    EXPECT_TRUE(crash.remember);
    // SIGSEGV, or SIGABRT where a sanitizer catches the fault and aborts.
    EXPECT_TRUE(crash.reason.starts_with("it crashed (signal ")) << crash.reason;
    EXPECT_TRUE(crash.reason.ends_with("when tried on mono data")) << crash.reason;

    const ProbeVerdict hang =
        probeInChild(kProbe, test::kHangUri, 44100, std::chrono::milliseconds(3000));
    EXPECT_FALSE(hang.usable);
    EXPECT_TRUE(hang.remember);
    EXPECT_TRUE(hang.reason.starts_with("it did not finish within 3 s")) << hang.reason;

    const ProbeVerdict gone = probeInChild({"/nonexistent/tolvane"}, test::kGainUri, 44100);
    EXPECT_FALSE(gone.usable);
    EXPECT_FALSE(gone.remember) << "tried again next time";
    EXPECT_TRUE(gone.reason.starts_with("it could not be tried: cannot start /nonexistent/tolvane"))
        << gone.reason;

    const ProbeVerdict unknown = probeInChild(kProbe, "urn:none", 44100);
    EXPECT_FALSE(unknown.usable);
    EXPECT_NE(unknown.reason.find("no installed effect urn:none"), std::string::npos)
        << unknown.reason;
}

TEST_F(ProbeTest, VerdictsAreRememberedUntilTheBundleChanges) {
    const std::filesystem::path bundle = environment.dataFolder() / "some.lv2";
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "manifest.ttl") << "# one\n";
    PluginDescription good, bad;
    good.uri = "urn:good";
    bad.uri = "urn:bad";
    good.bundle = bad.bundle = bundle;
    const std::filesystem::path file = probeStoreBeside(environment.dataFolder() / "s.conf");
    EXPECT_EQ(file.filename(), "s.effects");
    {
        ProbeStore store(file);
        EXPECT_EQ(store.find(good), nullptr);
        store.remember(good, {true, true, {}, {}});
        store.remember(bad, {false, true, "it crashed (signal 11)\twhen\r\ntried", {}});
        store.remember(PluginDescription{}, {false, false, "not started", {}});
    }
    std::ofstream(file, std::ios::app) << "garbage line\nurn:x\tf\tmaybe\n";
    {
        const ProbeStore store(file);
        ASSERT_NE(store.find(good), nullptr);
        EXPECT_TRUE(store.find(good)->usable);
        ASSERT_NE(store.find(bad), nullptr);
        EXPECT_FALSE(store.find(bad)->usable);
        EXPECT_EQ(store.find(bad)->reason, "it crashed (signal 11) when tried");
    }
    std::ofstream(bundle / "manifest.ttl", std::ios::app) << "# two\n";
    const ProbeStore changed(file);
    EXPECT_EQ(changed.find(good), nullptr) << "a changed bundle is tried again";
    EXPECT_EQ(changed.find(bad), nullptr);
    EXPECT_NE(bundleFingerprint(bundle), bundleFingerprint(environment.dataFolder()));
}

} // namespace
} // namespace tolvane
