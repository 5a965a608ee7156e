#pragma once

#include "document/SampleDocument.h"
#include "slicing/TransientScan.h"

#include <QThread>
#include <functional>
#include <memory>
#include <string>

namespace tolvane {

// The load worker: reads a sample file away from the window's thread. The completion handler
// takes the sample into the document on the window's thread.
class ttload : public QThread {
public:
    explicit ttload(std::string fileName) : m_fileName(std::move(fileName)) {}

    const std::string& fileName() const { return m_fileName; }
    SampleDocument& loaded() { return *m_loaded; }
    const std::string& error() const { return m_error; }

protected:
    void run() override;

private:
    std::string m_fileName;
    std::unique_ptr<SampleDocument> m_loaded = std::make_unique<SampleDocument>();
    std::string m_error;
};

// The scan worker: runs transient detection on the document while the window is disabled.
class tpseek : public QThread {
public:
    tpseek(SampleDocument& doc, int viewWidth) : m_doc(doc), m_viewWidth(viewWidth) {}
    const ScanReport& report() const { return m_report; }

protected:
    void run() override;

private:
    SampleDocument& m_doc;
    int m_viewWidth;
    ScanReport m_report;
};

// A save worker: runs its write and remembers whether it failed (the save's `SaveFailed`).
class SaveThread : public QThread {
public:
    explicit SaveThread(std::function<void()> write) : m_write(std::move(write)) {}
    bool failed() const { return m_failed; }

protected:
    void run() override;

private:
    std::function<void()> m_write;
    bool m_failed = false;
};

// One class per save command, as the window names them.
class tmainsave : public SaveThread {
    using SaveThread::SaveThread;
};
class tsaveas : public SaveThread {
    using SaveThread::SaveThread;
};
class ttseg : public SaveThread {
    using SaveThread::SaveThread;
};
class tsaveselseg : public SaveThread {
    using SaveThread::SaveThread;
};
class ttsregion : public SaveThread {
    using SaveThread::SaveThread;
};
class TCutWave : public SaveThread {
    using SaveThread::SaveThread;
};

} // namespace tolvane
