#include "app/Help.h"

#include "app/dialogs/HelpWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tolvane {

namespace {

// A file of the program's shared data: <bin>/../share/wavetolvane/<name> when installed.
QString installedData(const QString& name) {
    const QString path =
        QDir(QCoreApplication::applicationDirPath()).filePath("../share/wavetolvane/" + name);
    return QFileInfo::exists(path) ? QFileInfo(path).canonicalFilePath() : QString();
}

} // namespace

QString helpFolder() {
    const QString installed = installedData("help/index.html");
    return installed.isEmpty() ? QString(TOLVANE_HELP_DIR) : QFileInfo(installed).path();
}

QString demoLoopPath() {
    const QString installed = installedData("demo-loop.wav");
    return installed.isEmpty() ? QString(TOLVANE_DEMO_LOOP) : installed;
}

QUrl helpPage(const QString& anchor) {
    QUrl url = QUrl::fromLocalFile(helpFolder() + "/index.html");
    url.setFragment(anchor);
    return url;
}

HelpWindow* showHelp(QWidget& from, const QString& anchor) {
    QWidget* owner = from.window();
    HelpWindow* help = nullptr;
    for (QObject* child : owner->children())
        if (auto* window = dynamic_cast<HelpWindow*>(child))
            help = window;
    if (!help)
        help = new HelpWindow(owner);
    help->showPage(helpPage(anchor));
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

} // namespace tolvane
