#pragma once

#include "samplers/SamplerProfile.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr const char* kMsgPresetCorrupted = "Error reading preset - may be corrupted!";
inline constexpr const char* kNoPresetsStored = "No Presets Stored";

// A stored profile that cannot be read back.
class EProfileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The sampler profiles: named 16-byte records in a file of their own beside the settings
// ("Samplers"), listed in the order they were first stored. One line per profile: the 16 bytes
// as 32 hexadecimal digits, a blank, the name. Every change rewrites the file whole through
// the safe writer, so a failed write leaves the profiles as they were.
class SamplerProfileStore {
public:
    explicit SamplerProfileStore(std::string file) : m_file(std::move(file)) {}
    const std::string& file() const { return m_file; }

    // Whether the store exists (storing creates it).
    bool exists() const;
    // EProfileReadError when the store is no regular file or cannot be read.
    std::vector<std::string> names() const;
    // Nothing when the store does not exist; EProfileReadError when the store cannot be read,
    // the name is not there or its record is damaged.
    std::optional<SamplerProfile> read(const std::string& name) const;
    // Adds or overwrites (keeping its place); false when it could not be written, the store
    // cannot be read, the name cannot be stored (storableProfileName) or the profile is not
    // valid.
    bool write(const std::string& name, const SamplerProfile& profile);
    // Removes the first profile of that name; false when nothing was removed.
    bool remove(const std::string& name);

private:
    struct Line {
        std::string name;
        std::string record; // as stored
    };
    std::vector<Line> load() const;
    bool save(const std::vector<Line>& lines);

    std::string m_file;
};

// A profile name as a terminal may show it: control characters written \xHH.
std::string printableProfileName(const std::string& name);
// Whether a name can be stored: not empty, no control characters.
bool storableProfileName(const std::string& name);

// The profile store that belongs to a settings file: the same name with ".samplers" in place
// of its extension.
std::string profileStoreBeside(const std::string& settingsFile);
// The settings file the editor uses when none is given: TOLVANE_SETTINGS when set, else
// "Quorvex/WaveTolvane (Advanced).conf" in the user's configuration folder.
std::string defaultSettingsFile();

} // namespace tolvane
