#pragma once

#include "app/commands/CommandContext.h"

namespace tolvane {

// The "Reopen" list: the last four files opened or saved, newest first.
class RecentFiles {
public:
    explicit RecentFiles(CommandContext& ctx) : m_ctx(ctx) {}

    // A file not in the list yet goes to its top.
    void add(const QString& fileName);
    // Entry `index` moves to the top (it is being opened).
    void moveToTop(int index);
    // The menu items show the list.
    void show();

private:
    CommandContext& m_ctx;
};

} // namespace tolvane
