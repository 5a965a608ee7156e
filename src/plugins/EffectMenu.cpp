#include "plugins/EffectMenu.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace tolvane {
namespace {

constexpr const char* kOtherKind = "Other";

std::string lower(const std::string& text) {
    std::string result = text;
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// By name, case ignored; equal names by URI, so that the order never depends on the listing.
std::vector<std::size_t> sortedByName(const std::vector<PluginDescription>& plugins,
                                      std::vector<std::size_t> indexes) {
    std::sort(indexes.begin(), indexes.end(), [&](std::size_t a, std::size_t b) {
        const std::string x = lower(plugins[a].name);
        const std::string y = lower(plugins[b].name);
        return x != y ? x < y : plugins[a].uri < plugins[b].uri;
    });
    return indexes;
}

std::string initial(const std::string& name) {
    const auto c = name.empty() ? '#' : static_cast<unsigned char>(name.front());
    return std::string(1, std::isalnum(c) != 0 ? static_cast<char>(std::toupper(c)) : '#');
}

} // namespace

std::vector<EffectMenuGroup> groupEffects(const std::vector<PluginDescription>& plugins,
                                          std::size_t perMenu) {
    std::map<std::string, std::vector<std::size_t>> kinds;
    for (std::size_t i = 0; i < plugins.size(); ++i)
        kinds[plugins[i].category.empty() ? kOtherKind : plugins[i].category].push_back(i);
    std::vector<std::string> order;
    for (const auto& [kind, members] : kinds)
        if (kind != kOtherKind)
            order.push_back(kind);
    if (kinds.contains(kOtherKind))
        order.push_back(kOtherKind);
    perMenu = std::max<std::size_t>(perMenu, 1);
    std::vector<EffectMenuGroup> groups;
    for (const std::string& kind : order) {
        const std::vector<std::size_t> members = sortedByName(plugins, kinds[kind]);
        // Even menus: 31 effects make menus of 16 and 15, not 30 and 1.
        const std::size_t menus = (members.size() + perMenu - 1) / perMenu;
        const std::size_t size = (members.size() + menus - 1) / menus;
        for (std::size_t at = 0; at < members.size(); at += size) {
            EffectMenuGroup group{kind, {}};
            group.plugins.assign(
                members.begin() + static_cast<std::ptrdiff_t>(at),
                members.begin() + static_cast<std::ptrdiff_t>(std::min(at + size, members.size())));
            if (menus > 1) {
                const std::string first = initial(plugins[group.plugins.front()].name);
                const std::string last = initial(plugins[group.plugins.back()].name);
                group.title += " (" + first + (first == last ? "" : "\u2013" + last) + ")";
            }
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

std::vector<std::size_t> findEffects(const std::vector<PluginDescription>& plugins,
                                     const std::string& query) {
    std::vector<std::string> words;
    std::istringstream split(lower(query));
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        const std::string text =
            lower(plugins[i].name + " " + plugins[i].category + " " + plugins[i].maker);
        if (std::all_of(words.begin(), words.end(),
                        [&](const std::string& w) { return text.find(w) != std::string::npos; }))
            found.push_back(i);
    }
    return sortedByName(plugins, std::move(found));
}

} // namespace tolvane
