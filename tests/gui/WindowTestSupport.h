#pragma once

#include "app/TMainForm.h"

#include <QApplication>
#include <QElapsedTimer>

namespace tolvane::test {

// Lets the window's load, scan and save workers finish (at most 20 seconds).
inline void waitUntilIdle(TMainForm& form) {
    QElapsedTimer timer;
    timer.start();
    while ((form.isBusy() || form.document().DetectPending) && timer.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
}

} // namespace tolvane::test
