#include "samplers/ProfileStore.h"

#include "document/SafeFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tolvane {
namespace {

constexpr const char* kHeader = "# WaveTolvane sampler profiles";
constexpr const char* kHex = "0123456789ABCDEF";

std::string hexOf(const std::array<std::uint8_t, SamplerProfile::kSize>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<SamplerProfile> parseRecord(const std::string& text) {
    if (text.size() != 2 * SamplerProfile::kSize)
        return std::nullopt;
    std::array<std::uint8_t, SamplerProfile::kSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexDigit(text[2 * i]);
        const int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return SamplerProfile::fromBytes(bytes);
}

} // namespace

bool SamplerProfileStore::exists() const {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(m_file, ec));
}

// Reading a FIFO or a device would wait or never end: only a regular file is read, and one
// that cannot be read is reported rather than taken for an empty store.
std::vector<SamplerProfileStore::Line> SamplerProfileStore::load() const {
    std::vector<Line> lines;
    std::error_code ec;
    const auto status = std::filesystem::status(m_file, ec);
    if (!std::filesystem::exists(status))
        return lines;
    if (!std::filesystem::is_regular_file(status))
        throw EProfileReadError("The sampler profiles " + m_file + " are not a regular file");
    std::ifstream in(m_file, std::ios::binary);
    if (!in)
        throw EProfileReadError("The sampler profiles in " + m_file +
                                " cannot be read: " + std::strerror(errno));
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty() || text == kHeader)
            continue;
        const std::size_t blank = text.find(' ');
        if (blank == std::string::npos)
            lines.push_back({text, {}}); // listed, and reported damaged when read
        else
            lines.push_back({text.substr(blank + 1), text.substr(0, blank)});
    }
    if (in.bad())
        throw EProfileReadError("The sampler profiles in " + m_file + " cannot be read");
    return lines;
}

bool SamplerProfileStore::save(const std::vector<Line>& lines) {
    std::string text = std::string(kHeader) + "\n";
    for (const Line& line : lines)
        text += line.record + " " + line.name + "\n";
    try {
        std::filesystem::create_directories(std::filesystem::path(m_file).parent_path());
        SafeFileWriter writer(m_file);
        writer.write(text.data(), text.size());
        writer.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> SamplerProfileStore::names() const {
    std::vector<std::string> names;
    for (const Line& line : load())
        names.push_back(line.name);
    return names;
}

std::optional<SamplerProfile> SamplerProfileStore::read(const std::string& name) const {
    if (!exists())
        return std::nullopt;
    for (const Line& line : load())
        if (line.name == name) {
            if (auto profile = parseRecord(line.record))
                return profile;
            break;
        }
    throw EProfileReadError(kMsgPresetCorrupted);
}

bool SamplerProfileStore::write(const std::string& name, const SamplerProfile& profile) {
    if (!storableProfileName(name) || !profile.valid())
        return false;
    std::vector<Line> lines;
    try {
        lines = load();
    } catch (const EProfileReadError&) {
        return false; // what cannot be read is not replaced
    }
    const std::string record = hexOf(profile.toBytes());
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.name == name; });
    if (found != lines.end())
        found->record = record;
    else
        lines.push_back({name, record});
    return save(lines);
}

bool SamplerProfileStore::remove(const std::string& name) {
    std::vector<Line> lines;
    try {
        lines = load();
    } catch (const EProfileReadError&) {
        return false;
    }
    // One profile goes: a file made by hand may hold a name twice.
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.name == name; });
    if (found == lines.end())
        return false;
    lines.erase(found);
    return save(lines);
}

bool storableProfileName(const std::string& name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::string printableProfileName(const std::string& name) {
    std::string text;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            text += "\\x";
            text += kHex[u >> 4];
            text += kHex[u & 15];
        } else {
            text += c;
        }
    }
    return text;
}

std::string profileStoreBeside(const std::string& settingsFile) {
    return std::filesystem::path(settingsFile).replace_extension(".samplers").string();
}

std::string defaultSettingsFile() {
    if (const char* chosen = std::getenv("TOLVANE_SETTINGS"); chosen && *chosen)
        return chosen;
    std::filesystem::path folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = config;
    else if (const char* home = std::getenv("HOME"))
        folder = std::filesystem::path(home) / ".config";
    return (folder / "Quorvex" / "WaveTolvane (Advanced).conf").string();
}

} // namespace tolvane
