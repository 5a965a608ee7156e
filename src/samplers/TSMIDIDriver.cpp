#include "samplers/TSMIDIDriver.h"

#include "document/MemoryStream.h"
#include "midi/MidiOut.h"
#include "samplers/SamplerNames.h"
#include "samplers/YamahaKeymaps.h"

#include <algorithm>

namespace tolvane {

TSMIDIDriver::TSMIDIDriver() {
    rebuildSession();
    // An abort ends the exchange under way at once: its wait is cut short.
    runner().setAbortHook([this] {
        if (auto current = session())
            current->cancel();
    });
}

TSMIDIDriver::TSMIDIDriver(ScsiBus& bus, TMidiOutput* output) : TSMIDIDriver() {
    m_entry = bus.entry();
    m_midiOutput = output;
    rebuildSession();
}

TSMIDIDriver::~TSMIDIDriver() {
    runner().stop();
}

void TSMIDIDriver::setMessages(DriverMessages* messages) {
    setReportSink([messages](const std::string& text, bool warning) {
        if (!messages)
            return;
        if (warning)
            messages->warning(text);
        else
            messages->error(text);
    });
}

void TSMIDIDriver::setReportSink(ReportSink sink) {
    std::lock_guard lock(m_mutex);
    m_reportSink = std::move(sink);
}

void TSMIDIDriver::setTimings(const SmdiTimings& timings) {
    std::lock_guard lock(m_mutex);
    m_timings = timings;
    if (m_session)
        m_session->setTimings(timings);
}

void TSMIDIDriver::setSleeper(SmdiSession::Sleeper sleeper) {
    std::lock_guard lock(m_mutex);
    m_sleeper = std::move(sleeper);
    if (m_session)
        m_session->setSleeper(m_sleeper);
}

std::string TSMIDIDriver::lastReport() const {
    std::lock_guard lock(m_mutex);
    return m_lastReport;
}

std::shared_ptr<SmdiSession> TSMIDIDriver::session() const {
    std::lock_guard lock(m_mutex);
    return m_session;
}

void TSMIDIDriver::rebuildSession() {
    auto session = std::make_shared<SmdiSession>(m_entry, m_profile.adaptor, m_profile.target,
                                                 m_profile.protocol);
    session->setTimings(m_timings);
    if (m_sleeper)
        session->setSleeper(m_sleeper);
    session->setStatusSink([this](const std::string& text) { status(text); });
    session->setProgressSink([this](const TransferProgress& p) { runner().progress(p); });
    m_session = std::move(session);
}

void TSMIDIDriver::resume() const {
    WaitingThread* thread = nullptr;
    {
        std::lock_guard lock(m_mutex);
        thread = m_waitingThread;
    }
    if (thread)
        thread->Resume();
}

TransferOutcome TSMIDIDriver::report(const SmdiOutcome& outcome) {
    if (!outcome.message.empty()) {
        ReportSink sink;
        {
            std::lock_guard lock(m_mutex);
            m_lastReport = outcome.message;
            sink = m_reportSink;
        }
        if (sink)
            sink(outcome.message, outcome.kind == SmdiOutcome::Kind::Aborted);
    }
    switch (outcome.kind) {
    case SmdiOutcome::Kind::Done:
        return TransferOutcome::done();
    case SmdiOutcome::Kind::Cancelled:
        return TransferOutcome::cancelled();
    case SmdiOutcome::Kind::Aborted:
        return TransferOutcome::stoppedBySampler(outcome.message);
    case SmdiOutcome::Kind::Failed:
        break;
    }
    return TransferOutcome::failed(outcome.message);
}

void TSMIDIDriver::SetSmoother(TWaveSmoother* smoother) {
    std::lock_guard lock(m_mutex);
    m_smoother = smoother;
}

void TSMIDIDriver::SetNameList(const std::vector<std::string>& names) {
    std::lock_guard lock(m_mutex);
    m_nameList = names;
}

void TSMIDIDriver::Abort() {
    runner().abort();
}

void TSMIDIDriver::SetBatchStream(MemoryStream* stream) {
    std::lock_guard lock(m_mutex);
    m_batchStream = stream;
}

void TSMIDIDriver::SetProfile(const SamplerProfile& profile) {
    std::lock_guard lock(m_mutex);
    m_profile = profile;
    rebuildSession();
}

void TSMIDIDriver::SetScsiEntry(ScsiEntry entry) {
    std::lock_guard lock(m_mutex);
    m_entry = std::move(entry);
    rebuildSession();
}

void TSMIDIDriver::SetSampleStream(MemoryStream* stream) {
    std::lock_guard lock(m_mutex);
    m_sampleStream = stream;
}

void TSMIDIDriver::SetStatusPanel(StatusPanel* panel) {
    runner().setStatusPanel(panel);
}

void TSMIDIDriver::SetMidiPorts(TMidiInput* /*input*/, TMidiOutput* output) {
    std::lock_guard lock(m_mutex);
    m_midiOutput = output;
}

void TSMIDIDriver::SetWaitingThread(WaitingThread* thread) {
    std::lock_guard lock(m_mutex);
    m_waitingThread = thread;
}

void TSMIDIDriver::ClearAbort() {
    runner().clearAbort();
    if (auto current = session())
        current->clearCancel();
}

void TSMIDIDriver::GetSampleList(SampleDirectory& destination) {
    std::lock_guard lock(m_mutex);
    destination = m_directory;
}

bool TSMIDIDriver::Aborted() {
    std::lock_guard lock(m_mutex);
    return m_session && m_session->cancelled();
}

std::string TSMIDIDriver::GetReceivedName() {
    std::lock_guard lock(m_mutex);
    return m_receivedName;
}

void TSMIDIDriver::Connect(SamplerCallback continuation) {
    runner().run([this, session = session()] { return report(session->connect()); },
                 [continuation = std::move(continuation)](const TransferOutcome& outcome) {
                     if (outcome.completed() && continuation)
                         continuation();
                 });
}

void TSMIDIDriver::configureSource(TWaveSmoother& source,
                                   const SampleSendArguments& arguments) const {
    MemoryStream* stream = arguments.batch && m_batchStream ? m_batchStream : m_sampleStream;
    const bool wholeFrames = arguments.stereoAsStereo || arguments.sourceChannels <= 1;
    source.source = stream ? stream->data() : nullptr;
    source.sourceSize = stream ? stream->size() : 0;
    source.start = arguments.startOffset;
    source.sourceLayout = wholeFrames ? 1 : 2;
    source.outputChannels = wholeFrames ? std::max(arguments.sourceChannels, 1) : 1;
    source.length = wholeFrames ? arguments.lengthBytes : arguments.lengthBytes / 2;
    source.length &= ~1u; // whole 16-bit words
    source.swapInput = false;
    source.swapOutput = arguments.byteOrder == 0;
}

void TSMIDIDriver::SendSample(const SampleSendArguments& arguments) {
    std::shared_ptr<SmdiSession> session;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
        m_batch = arguments.batch;
    }
    runner().run(
        [this, session, arguments] {
            TWaveSmoother* source = nullptr;
            {
                std::lock_guard lock(m_mutex);
                source = m_smoother ? m_smoother : &m_ownSmoother;
                configureSource(*source, arguments);
            }
            const bool wholeFrames = arguments.stereoAsStereo || arguments.sourceChannels <= 1;
            SmdiSendJob job;
            job.number = static_cast<std::uint32_t>(std::max(arguments.sampleNumber, 0));
            job.name = samplerText(arguments.name, smdi::kNameCapacity);
            job.sampleRate = arguments.sampleRate;
            job.channels =
                static_cast<std::uint8_t>(wholeFrames ? std::max(arguments.sourceChannels, 1) : 1);
            job.bitsPerWord = static_cast<std::uint8_t>(arguments.bitsPerSample);
            job.rootKey = arguments.rootKey;
            job.lowKey = arguments.lowKey;
            job.highKey = arguments.highKey;
            job.regionOnly = arguments.region;
            job.batch = arguments.batch;
            job.positionInRun = arguments.positionInRun;
            job.samplesInRun = arguments.samplesInRun;
            const TransferOutcome outcome = report(session->sendSample(job, *source));
            if (outcome.kind == TransferOutcome::Kind::CancelledByUser)
                status("Inactive");
            return outcome;
        },
        [this, arguments](const TransferOutcome& outcome) {
            if (!arguments.batch)
                resume();
            else if (outcome.completed() && arguments.onDone)
                arguments.onDone();
            else if (!outcome.completed() && arguments.onError)
                arguments.onError();
        });
}

void TSMIDIDriver::ReceiveSample(int sampleNumber, ReceiveCallback onDone) {
    std::shared_ptr<SmdiSession> session;
    MemoryStream* stream = nullptr;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
        stream = m_sampleStream;
    }
    session->clearCancel(); // receiving starts with the abort flag clear
    runner().clearAbort();
    auto format = std::make_shared<ReceivedFormat>();
    runner().run(
        [this, session, stream, sampleNumber, format] {
            std::string name;
            MemoryStream scratch;
            // Into a buffer of our own first, so that a failed transfer leaves the stream as it
            // was.
            const SmdiOutcome outcome = session->receiveSample(
                static_cast<std::uint32_t>(std::max(sampleNumber, 0)), scratch, *format, name);
            {
                std::lock_guard lock(m_mutex);
                m_receivedName = name;
            }
            const TransferOutcome result = report(outcome);
            if (!result.completed()) {
                *format = {0, 0, 0, 0};
            } else if (stream) {
                stream->clear();
                stream->write(scratch.data(), scratch.size());
                stream->seek(0, SeekOrigin::Begin);
            }
            return result;
        },
        [format, onDone = std::move(onDone)](const TransferOutcome&) {
            if (onDone)
                onDone(*format);
        });
}

void TSMIDIDriver::ListSamples(SamplerCallback onDone, SampleListView* view) {
    std::shared_ptr<SmdiSession> session;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
        m_directory = {};
    }
    runner().run(
        [this, session, view] {
            if (view)
                view->clear();
            const SmdiOutcome outcome = session->listSamples(
                [&](const smdi::SampleHeader& header) {
                    {
                        std::lock_guard lock(m_mutex);
                        if (header.number < m_directory.size())
                            m_directory[header.number] = {header.lengthWords,
                                                          smdi::rateForPeriod(header.periodNs),
                                                          header.bitsPerWord, header.channels};
                    }
                    if (view)
                        view->addSample(static_cast<int>(header.number), header.name);
                },
                kSampleDirectorySize);
            const TransferOutcome result = report(outcome);
            session->clearCancel();
            return result;
        },
        [onDone = std::move(onDone)](const TransferOutcome&) {
            if (onDone)
                onDone();
        });
}

bool TSMIDIDriver::sendSysEx(const std::vector<std::vector<std::uint8_t>>& messages) {
    TMidiOutput* output = nullptr;
    int device = 0;
    {
        std::lock_guard lock(m_mutex);
        output = m_midiOutput;
        device = m_profile.midiOutput;
    }
    if (!output)
        return false;
    try {
        output->ClosePort();
        output->setDeviceID(device);
        output->OpenPort();
        for (const auto& message : messages)
            output->SendSysEx(message);
        output->ClosePort();
        return true;
    } catch (const EmidioutputError&) {
        try {
            output->ClosePort();
        } catch (const EmidioutputError&) {
        }
        return false;
    }
}

void TSMIDIDriver::MapSamples(const std::string& programName, const std::string& baseName,
                              SamplerCallback onDone, int firstSample, int count, bool whiteKeys,
                              int keySpread, int baseNote) {
    std::shared_ptr<SmdiSession> session;
    bool batch = false;
    std::vector<std::string> runNames;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
        batch = m_batch;
        if (batch)
            runNames = m_nameList;
    }
    runner().run(
        [=, this] {
            const KeymapSettings keys = keymapForMapping(baseNote, keySpread, whiteKeys);
            std::vector<std::vector<std::uint8_t>> messages;
            if (session->protocol() == kA3000Protocol) {
                // The sampler's own names first: a sample it renamed on arrival is found by them.
                std::vector<std::string> samplerNames;
                session->listSamples(
                    [&](const smdi::SampleHeader& header) { samplerNames.push_back(header.name); },
                    kSampleDirectorySize);
                const int samples = batch ? static_cast<int>(runNames.size()) : count;
                std::uint8_t device = 0;
                {
                    std::lock_guard lock(m_mutex);
                    device = m_profile.sysexId;
                }
                messages = buildA3000Keymap(
                    programName, a3000SampleNames(baseName, samples, runNames, samplerNames), keys,
                    device);
            } else if (session->protocol() == kExProtocol) {
                messages.push_back(buildExKeymap(programName, firstSample, count, keys));
            }
            if (messages.empty())
                return TransferOutcome::done(); // the other sampler types have no keymap
            status("Mapping samples...");
            TransferOutcome outcome;
            if (!sendSysEx(messages))
                outcome = report({SmdiOutcome::Kind::Failed, kMsgKeymapFailed});
            status("Inactive");
            session->clearCancel();
            return outcome;
        },
        [=, this](const TransferOutcome&) {
            // Only the A3000's run waits for its keymap (it lists the sampler first).
            if (!batch && session->protocol() == kA3000Protocol)
                resume();
            if (batch && onDone)
                onDone();
        });
}

} // namespace tolvane
