#pragma once

// The tests' own LV2 effects (built into <build>/lv2) as the only installed plug-ins, and a
// fresh data folder for presets.

#include "plugins/TDLib.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace tolvane::test {

inline const char* kGainUri = "urn:wavetolvane:test:gain";
inline const char* kSpreadUri = "urn:wavetolvane:test:spread";
inline const char* kDelayUri = "urn:wavetolvane:test:delay";
inline const char* kStereoGainUri = "urn:wavetolvane:test:stereo-gain";

// Points LV2_PATH at the test plug-ins and XDG_DATA_HOME at an empty folder of its own.
class TestPluginEnvironment {
public:
    TestPluginEnvironment() {
        setenv("LV2_PATH", TOLVANE_TEST_LV2_PATH, 1);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_data = std::filesystem::temp_directory_path() /
                 ("tolvane-plugins-" + std::to_string(::getpid()) + "-" +
                  (info != nullptr ? std::string(info->name()) : std::string("data")));
        std::filesystem::remove_all(m_data);
        std::filesystem::create_directories(m_data);
        setenv("XDG_DATA_HOME", m_data.c_str(), 1);
    }
    ~TestPluginEnvironment() {
        std::error_code error;
        std::filesystem::remove_all(m_data, error);
    }
    TestPluginEnvironment(const TestPluginEnvironment&) = delete;
    TestPluginEnvironment& operator=(const TestPluginEnvironment&) = delete;
    const std::filesystem::path& dataFolder() const { return m_data; }

private:
    std::filesystem::path m_data;
};

// The index of the plug-in with that URI, or -1.
inline int pluginIndex(const PluginBackend& backend, const std::string& uri) {
    const auto& plugins = backend.plugins();
    for (std::size_t i = 0; i < plugins.size(); ++i)
        if (plugins[i].uri == uri)
            return static_cast<int>(i);
    return -1;
}

} // namespace tolvane::test
