// The effects offered sorted by name in a menu per kind of at most 30, and found by words.
#include "plugins/EffectMenu.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

PluginDescription effect(const std::string& name, const std::string& kind,
                         const std::string& maker = {}) {
    PluginDescription plugin;
    plugin.uri = "urn:" + name;
    plugin.name = name;
    plugin.category = kind;
    plugin.maker = maker;
    return plugin;
}

std::vector<std::string> names(const std::vector<PluginDescription>& plugins,
                               const std::vector<std::size_t>& indexes) {
    std::vector<std::string> result;
    for (std::size_t i : indexes)
        result.push_back(plugins[i].name);
    return result;
}

TEST(EffectMenu, KindsInOrderWithOtherLastAndNamesSortedWithoutCase) {
    const std::vector<PluginDescription> plugins = {
        effect("reverb b", "Reverb"), effect("Zed", "Other"),       effect("Lowpass", "Filter"),
        effect("Amp", "Amplifier"),   effect("Reverb A", "Reverb"), effect("odd", ""),
        effect("comb", "Filter"),
    };
    const auto groups = groupEffects(plugins);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0].title, "Amplifier");
    EXPECT_EQ(groups[1].title, "Filter");
    EXPECT_EQ(names(plugins, groups[1].plugins), (std::vector<std::string>{"comb", "Lowpass"}));
    EXPECT_EQ(groups[2].title, "Reverb");
    EXPECT_EQ(names(plugins, groups[2].plugins),
              (std::vector<std::string>{"Reverb A", "reverb b"}));
    EXPECT_EQ(groups[3].title, "Other") << "a plug-in of no kind is among the others";
    EXPECT_EQ(names(plugins, groups[3].plugins), (std::vector<std::string>{"odd", "Zed"}));
}

TEST(EffectMenu, AKindOfMoreThanThirtyIsSplitEvenlyWithItsLetters) {
    std::vector<PluginDescription> plugins;
    for (char c = 'a'; c <= 'z'; ++c) {
        plugins.push_back(effect(std::string(1, c) + " one", "Dynamics"));
        plugins.push_back(effect(std::string(1, c) + " two", "Dynamics"));
    }
    plugins.push_back(effect("Solo", "Delay"));
    const auto groups = groupEffects(plugins);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].title, "Delay") << "one menu keeps its plain name";
    EXPECT_EQ(groups[1].title, "Dynamics (A\u2013M)");
    EXPECT_EQ(groups[2].title, "Dynamics (N\u2013Z)");
    EXPECT_EQ(groups[1].plugins.size(), 26u) << "52 effects: two menus of 26, not 30 and 22";
    EXPECT_EQ(groups[2].plugins.size(), 26u);
    for (const auto& group : groupEffects(plugins, 7))
        EXPECT_LE(group.plugins.size(), 7u) << group.title;
}

TEST(EffectMenu, FindMatchesEveryWordInNameKindOrMaker) {
    const std::vector<PluginDescription> plugins = {
        effect("Glame Lowpass Filter", "Filter", "Steve Harris"),
        effect("Plate Reverb", "Reverb", "Someone"),
        effect("Compressor Stereo", "Dynamics", "Steve Harris"),
    };
    EXPECT_EQ(names(plugins, findEffects(plugins, "LOWPASS")),
              std::vector<std::string>{"Glame Lowpass Filter"});
    EXPECT_EQ(names(plugins, findEffects(plugins, "steve")),
              (std::vector<std::string>{"Compressor Stereo", "Glame Lowpass Filter"}));
    EXPECT_EQ(names(plugins, findEffects(plugins, "  harris   dynamics ")),
              std::vector<std::string>{"Compressor Stereo"});
    EXPECT_TRUE(findEffects(plugins, "steve reverb").empty());
    EXPECT_EQ(findEffects(plugins, "").size(), 3u);
}

} // namespace
} // namespace tolvane
