#pragma once

#include "document/MemoryStream.h"
#include "samplers/TSamplerClass.h"

#include <string>
#include <thread>
#include <vector>

namespace tolvane::test {

// A driver that keeps what the transfer flows ask of it and ends each sample at once (or, when
// told to hold, only when the test says so, or on Abort). Completions come from a thread of
// their own, as a device's would.
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
    bool hold = false;       // leave each sample under way until complete() or Abort
    bool resumeOnMap = true; // end MapSamples by resuming the waiting thread
    int failAt = -1;         // the send (from 0) that ends with the error callback
    bool deaf = false;       // not even an abort ends a held sample
    // What ReceiveSample hands back: bytes written to the sample stream, the format, the name.
    std::vector<std::uint8_t> receiveBytes;
    ReceivedFormat receiveFormat;
    std::string receiveName;
    std::vector<int> received; // the sample numbers asked for
    std::vector<std::pair<int, std::string>> listing;
    SampleDirectory directory{};

    ~RecordingSamplerDriver() override { join(); }

    void SetWaitingThread(WaitingThread* thread) override { m_waiting = thread; }
    void SetSampleStream(MemoryStream* stream) override { m_stream = stream; }
    void SetBatchStream(MemoryStream* stream) override { m_batch = stream; }
    void SetNameList(const std::vector<std::string>& names) override { nameList = names; }
    void ClearAbort() override { m_aborted = false; }
    bool Aborted() override { return m_aborted; }
    void Abort() override {
        ++aborts;
        m_aborted = true;
        if (m_pending && !deaf)
            complete(false);
    }
    void Connect(SamplerCallback continuation) override { continuation(); }

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
        m_pending = true;
        const bool fail = static_cast<int>(sent.size()) - 1 == failAt;
        if (!hold || fail)
            complete(!fail);
    }

    void MapSamples(const std::string& programName, const std::string& baseName,
                    SamplerCallback onDone, int first, int count, bool whiteKeys, int spread,
                    int baseNote) override {
        mappings.push_back({programName, baseName, first, count, whiteKeys, spread, baseNote});
        join();
        m_worker = std::thread([this, onDone] {
            if (resumeOnMap && m_waiting)
                m_waiting->Resume();
            else if (onDone)
                onDone();
        });
    }

    void ReceiveSample(int sampleNumber, ReceiveCallback onDone) override {
        received.push_back(sampleNumber);
        if (m_stream) {
            m_stream->clear();
            m_stream->write(receiveBytes.data(), receiveBytes.size());
        }
        join();
        m_worker = std::thread([onDone, format = receiveFormat] { onDone(format); });
    }
    std::string GetReceivedName() override { return receiveName; }
    void ListSamples(SamplerCallback onDone, SampleListView* view) override {
        view->clear();
        for (const auto& [number, name] : listing)
            view->addSample(number, name);
        join();
        m_worker = std::thread([onDone] { onDone(); });
    }
    void GetSampleList(SampleDirectory& destination) override { destination = directory; }

    // Ends the sample under way: done (or error) from a device thread.
    void complete(bool ok = true) {
        if (!m_pending)
            return;
        m_pending = false;
        const SampleSendArguments arguments = sent.back();
        WaitingThread* waiting = m_waiting;
        join();
        m_worker = std::thread([arguments, waiting, ok] {
            if (!ok && arguments.onError)
                arguments.onError();
            if (arguments.batch) {
                if (ok && arguments.onDone)
                    arguments.onDone();
            } else if (waiting) {
                waiting->Resume();
            }
        });
    }

    void join() {
        if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
            m_worker.join();
    }

private:
    WaitingThread* m_waiting = nullptr;
    MemoryStream* m_stream = nullptr;
    MemoryStream* m_batch = nullptr;
    bool m_aborted = false;
    bool m_pending = false;
    std::thread m_worker;
};

} // namespace tolvane::test
