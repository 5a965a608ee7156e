#include "app/Workers.h"

#include "fileio/SampleFileReader.h"

#include <exception>
#include <vector>

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

void trandom::work() {
    std::vector<std::uint8_t> original(m_region.length);
    m_copy.load(original.data(), original.size());
    shuffleLoopSegments(m_doc, original, m_generator);
}

} // namespace tolvane
