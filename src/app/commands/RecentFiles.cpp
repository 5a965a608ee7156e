#include "app/commands/RecentFiles.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <utility>

namespace tolvane {

void RecentFiles::add(const QString& fileName) {
    auto& recent = m_ctx.settings.recentFiles;
    if (!QFileInfo::exists(fileName))
        return;
    for (const QString& known : recent)
        if (known.toLower() == fileName.toLower())
            return;
    for (int i = 3; i > 0; --i)
        recent[i] = recent[i - 1];
    recent[0] = fileName;
    show();
}

void RecentFiles::moveToTop(int index) {
    auto& recent = m_ctx.settings.recentFiles;
    std::swap(recent[index], recent[0]);
    show();
}

void RecentFiles::show() {
    const auto& recent = m_ctx.settings.recentFiles;
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        QAction* item = m_ctx.controls.SubOpenItem[i];
        item->setText(recent[i]);
        item->setVisible(!recent[i].isEmpty());
        any = any || !recent[i].isEmpty();
    }
    m_ctx.controls.reopenMenu->setEnabled(any);
}

} // namespace tolvane
