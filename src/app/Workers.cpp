#include "app/Workers.h"

#include "fileio/SampleFileReader.h"

#include <exception>

namespace tolvane {

void WorkerThread::run() {
    try {
        work();
    } catch (const std::exception& e) {
        m_failed = true;
        m_error = e.what();
    } catch (...) {
        m_failed = true;
        m_error = "unknown failure";
    }
}

void ttload::work() {
    loadSampleFile(*m_loaded, m_fileName);
}

void tpseek::work() {
    m_report = scanTransients(m_doc, ScanOptions{m_viewWidth});
}

} // namespace tolvane
