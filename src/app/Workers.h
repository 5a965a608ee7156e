#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "fileio/CuePoints.h"
#include "slicing/Randomise.h"
#include "slicing/TransientScan.h"

#include <QThread>
#include <functional>
#include <memory>
#include <string>

namespace tolvane {

// A long command's worker: runs its work away from the window's thread and keeps whether it
// failed and why. Nothing escapes it; the busy-bracket runner reads the outcome on the window's
// thread once it has finished. Worker thread.
class WorkerThread : public QThread {
public:
    bool failed() const { return m_failed; }
    const std::string& error() const { return m_error; }

protected:
    void run() final;
    virtual void work() = 0;

private:
    bool m_failed = false;
    std::string m_error;
};

// A worker made of one function: what most commands need.
class FunctionWorker : public WorkerThread {
public:
    explicit FunctionWorker(std::function<void()> work) : m_work(std::move(work)) {}

protected:
    void work() override { m_work(); }

private:
    std::function<void()> m_work;
};

// The load worker: reads a sample file into a document of its own; the completion takes it
// into the open document on the window's thread.
class ttload : public WorkerThread {
public:
    // `convert`: the file is not 16-bit PCM and is converted (the user agreed).
    explicit ttload(std::string fileName, bool convert = false)
        : m_fileName(std::move(fileName)), m_convert(convert) {}
    const std::string& fileName() const { return m_fileName; }
    bool converted() const { return m_convert; }
    SampleDocument& loaded() { return *m_loaded; }
    // The cue points of a WAV file, read with its samples.
    const CuePointReading& cuePoints() const { return m_cuePoints; }

protected:
    void work() override;

private:
    std::string m_fileName;
    bool m_convert = false;
    CuePointReading m_cuePoints;
    std::unique_ptr<SampleDocument> m_loaded = std::make_unique<SampleDocument>();
};

// The scan worker: runs transient detection on the document while the window is disabled.
class tpseek : public WorkerThread {
public:
    tpseek(SampleDocument& doc, int viewWidth) : m_doc(doc), m_viewWidth(viewWidth) {}
    const ScanReport& report() const { return m_report; }

protected:
    void work() override;

private:
    SampleDocument& m_doc;
    int m_viewWidth;
    ScanReport m_report;
};

// The save commands' workers, one class each as the window names them. A failed write leaves
// the file it would replace as it was.
class tmainsave : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class tsaveas : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class ttseg : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class tsaveselseg : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class ttsregion : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class TCutWave : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class tmidisave : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
// The sound bank worker (SoundFont, DLS and GigaSampler files).
class tfontsave : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};

// The shuffle worker: reads the copy of the region back from its file (all of it before anything
// is written, so that a failing read changes nothing) and puts the segments in a random order.
class trandom : public WorkerThread {
public:
    trandom(SampleDocument& doc, const UndoFile& copy, ShuffleRegion region,
            ShuffleGenerator generator)
        : m_doc(doc), m_copy(copy), m_region(region), m_generator(std::move(generator)) {}

protected:
    void work() override;

private:
    SampleDocument& m_doc;
    const UndoFile& m_copy;
    ShuffleRegion m_region;
    ShuffleGenerator m_generator;
};

// The processing commands' workers, one class each as the window names them: normalise,
// invert, quantise, the channel conversion and strip silence.
class TNormThread : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class TInvertThread : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class TQuantThread : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class TChannelThread : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
// Runs the sample through an effect plug-in.
class TDXProcThread : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};
class Silence : public FunctionWorker {
    using FunctionWorker::FunctionWorker;
};

} // namespace tolvane
