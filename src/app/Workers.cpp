#include "app/Workers.h"

#include "fileio/ConvertedSample.h"
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
    if (m_convert)
        loadConvertedSample(*m_loaded, m_fileName);
    else
        loadSampleFile(*m_loaded, m_fileName);
    if (!isWaveFileName(m_fileName))
        return;
    try {
        m_cuePoints = readCuePoints(
            m_fileName, static_cast<std::uint64_t>(m_loaded->DataLength / m_loaded->frameBytes()));
    } catch (const std::exception&) {
        // The samples are in: a file that cannot be read again for its cue points has none.
    }
}

void tpseek::work() {
    m_report = scanTransients(m_doc, ScanOptions{m_viewWidth});
}

// The segments are read from the undo step's copy of the region where it lies, in its file, so
// that a long region is not held twice in memory.
void trandom::work() {
    const std::uint64_t length = m_region.length;
    shuffleLoopSegments(
        m_doc,
        [this, length](std::uint64_t offset, std::uint8_t* to, std::size_t count) {
            if (offset + count > length)
                throw UndoFileError("the copy of the region is shorter than the region");
            m_copy.loadAt(offset, to, count);
        },
        m_generator);
}

} // namespace tolvane
