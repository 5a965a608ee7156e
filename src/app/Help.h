#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace tolvane {

class HelpWindow;

// The help pages that come with the program: beside the installed program
// (<prefix>/share/wavetolvane/help), else in the source tree it was built from.
QString helpFolder();
// A page of the help at an anchor ("contents", "tips", "open", "preferences").
QUrl helpPage(const QString& anchor);
// The demo loop the editor opens when it is given no file: beside the installed program
// (<prefix>/share/wavetolvane/demo-loop.wav), else in the source tree.
QString demoLoopPath();
// Shows a help page in the program's own help window (never the desktop's browser): the one
// `from`'s window already has, else a new one that belongs to that window, so that it can be
// used while that window is modal and goes with it. Returns the help window.
HelpWindow* showHelp(QWidget& from, const QString& anchor);

} // namespace tolvane
