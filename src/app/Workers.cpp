#include "app/Workers.h"

#include "fileio/SampleFileReader.h"

#include <exception>

namespace tolvane {

void ttload::run() {
    try {
        loadSampleFile(*m_loaded, m_fileName);
    } catch (const std::exception& e) {
        m_error = e.what();
    } catch (...) {
        m_error = "unknown failure";
    }
}

void SaveThread::run() {
    try {
        m_write();
    } catch (...) {
        m_failed = true; // what was written before the failure stays; the target is intact
    }
}

void tpseek::run() {
    try {
        m_report = scanTransients(m_doc, ScanOptions{m_viewWidth});
    } catch (...) {
        // Nothing escapes a worker; the table keeps what the passes left in it.
        m_doc.DetectPending = false;
    }
}

} // namespace tolvane
