#pragma once

// How the installed effects are offered: sorted by name, grouped by kind in menus of a
// bounded length, and found by words of their name, kind or maker.

#include "platform/PluginBackend.h"

#include <cstddef>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kEffectsPerMenu = 30;

struct EffectMenuGroup {
    std::string title; // the kind, with the range of first letters when a kind is split
    std::vector<std::size_t> plugins; // indexes into the list, sorted by name
};

// The kinds in alphabetical order ("Other" last), each with its effects sorted by name; a kind
// with more than `perMenu` effects is split into menus of at most that many, titled with their
// letters ("Filter (A-L)", "Filter (M-Z)").
std::vector<EffectMenuGroup> groupEffects(const std::vector<PluginDescription>& plugins,
                                          std::size_t perMenu = kEffectsPerMenu);

// The effects whose name, kind or maker contain every word of `query` (case ignored), sorted by
// name; all of them for an empty query.
std::vector<std::size_t> findEffects(const std::vector<PluginDescription>& plugins,
                                     const std::string& query);

} // namespace tolvane
