#pragma once

#include "document/MemoryStream.h"
#include "samplers/TSamplerClass.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::test {

// A driver that keeps what the transfer flows ask of it and ends each sample at once (or, when
// told to hold, only when the test says so, or on Abort). Like a real driver it does its work
// on its runner, and its completions come from there.
class RecordingSamplerDriver : public TSamplerClass {
public:
    struct Mapping {
        std::string programName, baseName;
        int first = 0, count = 0;
        bool whiteKeys = false;
        int spread = 0, baseNote = 0;
    };

    std::vector<SampleSendArguments> sent;
    std::vector<std::vector<std::uint8_t>> sentBytes; // the stream's bytes each send pointed at
    std::vector<Mapping> mappings;
    std::vector<std::string> nameList;
    int aborts = 0;
    bool hold = false; // leave each sample sent or received under way until complete() or Abort
    bool resumeOnMap = true; // end MapSamples by resuming the waiting thread
    int failAt = -1;         // the send (from 0) that ends with the error callback
    bool deaf = false;       // not even an abort ends a held sample
    // Reported on the runner while each sample is under way.
    std::optional<TransferProgress> progressWhileSending;
    // What ReceiveSample hands back: bytes written to the sample stream, the format, the name.
    std::vector<std::uint8_t> receiveBytes;
    ReceivedFormat receiveFormat;
    std::string receiveName;
    std::vector<int> received; // the sample numbers asked for
    std::vector<std::pair<int, std::string>> listing;
    SampleDirectory directory{};

    RecordingSamplerDriver() {
        runner().setAbortHook([this] {
            {
                std::lock_guard lock(m_mutex);
                m_abortSeen = true;
            }
            m_changed.notify_all();
        });
    }
    ~RecordingSamplerDriver() override {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        runner().stop();
    }

    void SetWaitingThread(WaitingThread* thread) override { m_waiting = thread; }
    void SetSampleStream(MemoryStream* stream) override { m_stream = stream; }
    void SetBatchStream(MemoryStream* stream) override { m_batch = stream; }
    void SetStatusPanel(StatusPanel* panel) override { runner().setStatusPanel(panel); }
    void SetNameList(const std::vector<std::string>& names) override { nameList = names; }
    void ClearAbort() override {
        m_aborted = false;
        runner().clearAbort();
        std::lock_guard lock(m_mutex);
        m_abortSeen = false;
    }
    bool Aborted() override { return m_aborted; }
    void Abort() override {
        ++aborts;
        m_aborted = true;
        runner().abort();
    }
    void Connect(SamplerCallback continuation) override {
        runner().run([] { return TransferOutcome::done(); },
                     [continuation](const TransferOutcome&) { continuation(); });
    }

    void SendSample(const SampleSendArguments& arguments) override {
        sent.push_back(arguments);
        MemoryStream* source = arguments.batch ? m_batch : m_stream;
        std::vector<std::uint8_t> bytes;
        if (source && arguments.startOffset <= source->size()) {
            const std::size_t end = std::min<std::size_t>(
                source->size(), std::size_t{arguments.startOffset} + arguments.lengthBytes);
            bytes.assign(source->data() + arguments.startOffset, source->data() + end);
        }
        sentBytes.push_back(std::move(bytes));
        const bool fail = static_cast<int>(sent.size()) - 1 == failAt;
        runner().run(
            [this, fail] {
                if (fail)
                    return TransferOutcome::failed("refused");
                if (progressWhileSending)
                    runner().progress(*progressWhileSending);
                return waitWhileHeld() ? TransferOutcome::done() : TransferOutcome::cancelled();
            },
            [this, arguments](const TransferOutcome& outcome) {
                if (!outcome.completed() && arguments.onError)
                    arguments.onError();
                if (arguments.batch) {
                    if (outcome.completed() && arguments.onDone)
                        arguments.onDone();
                } else if (m_waiting) {
                    m_waiting->Resume();
                }
            });
    }

    void MapSamples(const std::string& programName, const std::string& baseName,
                    SamplerCallback onDone, int first, int count, bool whiteKeys, int spread,
                    int baseNote) override {
        mappings.push_back({programName, baseName, first, count, whiteKeys, spread, baseNote});
        runner().run([] { return TransferOutcome::done(); },
                     [this, onDone](const TransferOutcome&) {
                         if (resumeOnMap && m_waiting)
                             m_waiting->Resume();
                         else if (onDone)
                             onDone();
                     });
    }

    void ReceiveSample(int sampleNumber, ReceiveCallback onDone) override {
        received.push_back(sampleNumber);
        runner().run(
            [this] {
                if (!waitWhileHeld())
                    return TransferOutcome::cancelled();
                if (m_stream) {
                    m_stream->clear();
                    m_stream->write(receiveBytes.data(), receiveBytes.size());
                }
                return TransferOutcome::done();
            },
            [this, onDone](const TransferOutcome& outcome) {
                onDone(outcome.completed() ? receiveFormat : ReceivedFormat{0, 0, 0, 0});
            });
    }
    std::string GetReceivedName() override { return receiveName; }
    void ListSamples(SamplerCallback onDone, SampleListView* view) override {
        runner().run(
            [this, view] {
                view->clear();
                for (const auto& [number, name] : listing)
                    view->addSample(number, name);
                return TransferOutcome::done();
            },
            [onDone](const TransferOutcome&) { onDone(); });
    }
    void GetSampleList(SampleDirectory& destination) override { destination = directory; }

    // Ends the held sample under way, or the next one to be held when none has reached the
    // driver yet: a window may start its run a few events after the click that asked for it.
    void complete() {
        {
            std::lock_guard lock(m_mutex);
            ++m_releases;
        }
        m_changed.notify_all();
    }

private:
    // On the runner: the operation under way stays there while held; false when it was
    // aborted (or the driver goes).
    bool waitWhileHeld() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] {
            return !hold || m_releases > 0 || m_closing || (m_abortSeen && !deaf);
        });
        if (hold && m_releases > 0)
            --m_releases;
        return !m_abortSeen && !m_closing;
    }

    WaitingThread* m_waiting = nullptr;
    MemoryStream* m_stream = nullptr;
    MemoryStream* m_batch = nullptr;
    bool m_aborted = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_releases = 0; // complete() calls not yet used by a held sample
    bool m_abortSeen = false;
    bool m_closing = false;
};

} // namespace tolvane::test
