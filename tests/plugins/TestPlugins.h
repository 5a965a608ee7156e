#pragma once

// The tests' own LV2 effects (built into <build>/lv2) as the only installed plug-ins, and a
// fresh data folder for presets.

#include "plugins/TDLib.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace tolvane::test {

inline const char* kGainUri = "urn:wavetolvane:test:gain";
inline const char* kSpreadUri = "urn:wavetolvane:test:spread";
inline const char* kDelayUri = "urn:wavetolvane:test:delay";
inline const char* kStereoGainUri = "urn:wavetolvane:test:stereo-gain";
inline const char* kFragileUri = "urn:wavetolvane:test:fragile";
// In a bundle of their own (TOLVANE_FAULTY_LV2_PATH), never among the plug-ins above:
inline const char* kCrashUri = "urn:wavetolvane:faulty:crash";     // crashes when it runs
inline const char* kHangUri = "urn:wavetolvane:faulty:hang";       // never returns from a run
inline const char* kMissingUri = "urn:wavetolvane:faulty:missing"; // its library is not there

// Points LV2_PATH at the test plug-ins (and `more` folders), and HOME and XDG_DATA_HOME at an
// empty folder of its own (where presets are stored).
class TestPluginEnvironment {
public:
    explicit TestPluginEnvironment(const std::string& more = {}) {
        setenv("LV2_PATH",
               (std::string(TOLVANE_TEST_LV2_PATH) + (more.empty() ? "" : ":" + more)).c_str(), 1);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_data = std::filesystem::temp_directory_path() /
                 ("tolvane-plugins-" + std::to_string(::getpid()) + "-" +
                  (info != nullptr ? std::string(info->name()) : std::string("data")));
        std::filesystem::remove_all(m_data);
        std::filesystem::create_directories(m_data);
        setenv("XDG_DATA_HOME", m_data.c_str(), 1);
        if (const char* home = std::getenv("HOME"))
            m_home = home;
        setenv("HOME", m_data.c_str(), 1);
    }
    ~TestPluginEnvironment() {
        if (m_home)
            setenv("HOME", m_home->c_str(), 1);
        std::error_code error;
        std::filesystem::remove_all(m_data, error);
    }
    TestPluginEnvironment(const TestPluginEnvironment&) = delete;
    TestPluginEnvironment& operator=(const TestPluginEnvironment&) = delete;
    const std::filesystem::path& dataFolder() const { return m_data; }

private:
    std::filesystem::path m_data;
    std::optional<std::string> m_home;
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
