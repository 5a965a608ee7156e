#include "platform/ScsiBus.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace tolvane {

namespace {
constexpr std::uint8_t kNoAdaptors = 0xE8;
constexpr std::size_t kTargetsPerAdaptor = 8;
} // namespace

// The requests of one target, run one after the other on a thread of their own; each
// completion runs on that thread after its request ended.
class ScsiBus::TargetQueue {
public:
    explicit TargetQueue(ScsiAdaptor& adaptor)
        : m_adaptor(adaptor), m_thread([this](std::stop_token stop) { run(stop); }) {}
    ~TargetQueue() {
        {
            std::lock_guard lock(m_mutex); // so that the worker cannot miss the stop
            m_thread.request_stop();
        }
        m_wake.notify_all();
    }

    void push(ScsiRequestBlock& request) {
        {
            std::lock_guard lock(m_mutex);
            m_waiting.push_back(&request);
        }
        m_wake.notify_one();
    }

private:
    void run(std::stop_token stop) {
        for (;;) {
            ScsiRequestBlock* request = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return stop.stop_requested() || !m_waiting.empty(); });
                if (m_waiting.empty())
                    return;
                request = m_waiting.front();
                m_waiting.pop_front();
            }
            if (stop.stop_requested())
                request->status = ScsiRequestBlock::kAborted;
            else
                m_adaptor.execute(*request);
            if (request->completion)
                request->completion(*request);
        }
    }

    ScsiAdaptor& m_adaptor;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<ScsiRequestBlock*> m_waiting;
    std::jthread m_thread; // last: it starts once the queue exists
};

ScsiBus::ScsiBus(std::vector<std::unique_ptr<ScsiAdaptor>> adaptors)
    : m_adaptors(std::move(adaptors)) {
    for (auto& adaptor : m_adaptors)
        for (std::size_t t = 0; t < kTargetsPerAdaptor; ++t)
            m_queues.push_back(std::make_unique<TargetQueue>(*adaptor));
}

ScsiBus::~ScsiBus() {
    m_queues.clear(); // waits for each request under way; the waiting ones end aborted
}

std::uint32_t ScsiBus::supportInfo() const {
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(m_adaptors.size(), 255));
    const std::uint32_t status = count == 0 ? kNoAdaptors : ScsiRequestBlock::kCompleted;
    return status << 8 | count;
}

std::uint8_t ScsiBus::send(ScsiRequestBlock& request) {
    using R = ScsiRequestBlock;
    if (request.adaptor >= m_adaptors.size())
        return request.status = R::kInvalidAdaptor;
    ScsiAdaptor& adaptor = *m_adaptors[request.adaptor];
    if (request.command == R::kHostAdaptorInquiry) {
        request.adaptorCount =
            static_cast<std::uint8_t>(std::min<std::size_t>(m_adaptors.size(), 255));
        request.adaptorIdentifier.fill(' ');
        const std::string name = adaptor.identifier();
        std::copy_n(name.begin(), std::min(name.size(), request.adaptorIdentifier.size()),
                    request.adaptorIdentifier.begin());
        return request.status = R::kCompleted;
    }
    if (request.command == R::kAbortRequest) {
        if (!request.requestToAbort)
            return request.status = R::kInvalidCommand;
        adaptor.abort(*request.requestToAbort);
        return request.status = R::kCompleted;
    }
    if (request.command != R::kExecuteCommand)
        return request.status = R::kInvalidCommand;
    if (request.target >= kTargetsPerAdaptor || request.cdbLength == 0 ||
        request.cdbLength > request.cdb.size() || (request.dataLength > 0 && !request.data))
        return request.status = R::kInvalidCommand;
    request.status = R::kPending;
    if (!(request.flags & R::kPosting)) {
        adaptor.execute(request);
        return request.status;
    }
    m_queues[request.adaptor * kTargetsPerAdaptor + request.target]->push(request);
    return R::kPending;
}

std::string ScsiBus::accessHints() const {
    std::string hints;
    for (const auto& adaptor : m_adaptors) {
        const std::string hint = adaptor->accessHint();
        if (!hint.empty())
            hints += (hints.empty() ? "" : "\n") + hint;
    }
    return hints;
}

std::vector<std::string> splitSocketList(const std::string& list) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start)
            paths.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

std::unique_ptr<ScsiBus> makeSystemScsiBus(const std::string& socketList) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors = linuxScsiAdaptors();
    const char* env = std::getenv("TOLVANE_SCSI_SOCKETS");
    std::vector<std::string> sockets = splitSocketList(env ? std::string(env) : socketList);
    if (!sockets.empty())
        adaptors.push_back(makeSocketScsiAdaptor(std::move(sockets)));
    return std::make_unique<ScsiBus>(std::move(adaptors));
}

} // namespace tolvane
