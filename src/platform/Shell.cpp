#include "platform/Shell.h"

#include <QProcess>

namespace tolvane {

bool ProcessShell::open(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace tolvane
