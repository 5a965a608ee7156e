#include "app/Help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace tolvane {

QString helpFolder() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath("../share/wavetolvane/help");
    if (QFileInfo::exists(installed + "/index.html"))
        return QDir(installed).canonicalPath();
    return QString(TOLVANE_HELP_DIR);
}

QUrl helpPage(const QString& anchor) {
    QUrl url = QUrl::fromLocalFile(helpFolder() + "/index.html");
    url.setFragment(anchor);
    return url;
}

bool showHelp(const QString& anchor) {
    return QDesktopServices::openUrl(helpPage(anchor));
}

} // namespace tolvane
