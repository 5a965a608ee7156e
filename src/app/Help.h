#pragma once

#include <QString>
#include <QUrl>

namespace tolvane {

// The help pages that come with the program: beside the installed program
// (<prefix>/share/wavetolvane/help), else in the source tree it was built from.
QString helpFolder();
// A page of the help at an anchor ("contents", "tips", "open", "preferences").
QUrl helpPage(const QString& anchor);
// The demo loop the editor opens when it is given no file: beside the installed program
// (<prefix>/share/wavetolvane/demo-loop.wav), else in the source tree.
QString demoLoopPath();
// Shows a help page in the desktop's browser; false when none could be started.
bool showHelp(const QString& anchor);

} // namespace tolvane
