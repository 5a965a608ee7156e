#pragma once

#include "app/commands/CommandContext.h"

namespace tolvane {

// The Help menu: the help pages, the tips, the maker's page and the About window.
class HelpCommands {
public:
    explicit HelpCommands(CommandContext& ctx) : m_ctx(ctx) {}

    void HelpFileItemClick();
    void TipItemClick();
    void h1Click();
    void HelpAboutItemClick();

private:
    CommandContext& m_ctx;
};

} // namespace tolvane
