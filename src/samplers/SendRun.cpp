#include "samplers/SendRun.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tolvane {

// What the thread, the owner's thread and jobs still queued there share. A job posted to the
// owner runs only while the run is alive (the destructor sets `closing` first).
struct SendRun::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool resumed = false;
    bool closing = false;
    bool running = false;
    std::atomic<bool> aborted{false};
    std::chrono::milliseconds abortGrace{10000};
};

SendRun::SendRun(TSamplerClass& driver, Poster ownerThread, AskNextSample askNext, EndRoutine onEnd)
    : m_driver(driver), m_post(std::move(ownerThread)), m_askNext(std::move(askNext)),
      m_onEnd(std::move(onEnd)), m_shared(std::make_shared<Shared>()) {}

SendRun::~SendRun() {
    // The driver must not resume a run that is gone.
    m_driver.SetWaitingThread(nullptr);
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->closing = true;
        m_shared->aborted = true;
    }
    m_shared->changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SendRun::start(SendRunRequest request) {
    if (m_thread.joinable())
        m_thread.join();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->resumed = false;
        m_shared->running = true;
        m_shared->aborted = false;
    }
    m_driver.SetWaitingThread(this);
    m_thread =
        std::thread([this, request = std::move(request)]() mutable { run(std::move(request)); });
}

bool SendRun::running() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->running;
}

void SendRun::abort() {
    m_shared->aborted = true;
    m_driver.Abort();
    m_shared->changed.notify_all();
}

void SendRun::setAbortGrace(std::chrono::milliseconds grace) {
    m_shared->abortGrace = grace;
}

void SendRun::Resume() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->resumed = true;
    }
    m_shared->changed.notify_all();
}

bool SendRun::abortRequested() const {
    return m_shared->aborted;
}

bool SendRun::onOwnerThread(std::function<void()> job) {
    auto shared = m_shared;
    auto done = std::make_shared<bool>(false);
    m_post([shared, done, job = std::move(job)] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->closing)
                return;
        }
        job();
        {
            std::lock_guard lock(shared->mutex);
            *done = true;
        }
        shared->changed.notify_all();
    });
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait(lock, [&] { return *done || m_shared->closing; });
    return *done;
}

// Waits until the driver resumes the thread. After an abort the driver gets a grace period to
// wind down; a driver that never answers then cannot hold the run forever.
bool SendRun::suspend() {
    std::unique_lock lock(m_shared->mutex);
    while (!m_shared->resumed && !m_shared->closing) {
        if (m_shared->aborted) {
            if (!m_shared->changed.wait_for(lock, m_shared->abortGrace,
                                            [&] { return m_shared->resumed || m_shared->closing; }))
                break;
        } else {
            m_shared->changed.wait(lock);
        }
    }
    const bool resumed = m_shared->resumed;
    m_shared->resumed = false;
    return resumed && !m_shared->closing;
}

bool SendRun::sendOne(const SendRunRequest& request, std::size_t index) {
    const int position = static_cast<int>(index) + 1;
    const KeyRange keys =
        sendKeys(request.protocol, request.autoMap, request.keymap, static_cast<int>(index));
    SampleSendArguments arguments;
    arguments.name = request.region
                         ? request.baseName
                         : transferSampleName(request.protocol, request.baseName, position,
                                              static_cast<int>(request.samples.size()));
    arguments.sampleNumber = request.firstSampleNumber + static_cast<int>(index);
    arguments.highKey = static_cast<std::uint8_t>(keys.high);
    arguments.lowKey = static_cast<std::uint8_t>(keys.low);
    arguments.rootKey = static_cast<std::uint8_t>(keys.key);
    arguments.byteOrder = 0;
    arguments.onError = [shared = m_shared] { shared->aborted = true; };
    arguments.onDone = [] {};
    arguments.batch = false;
    arguments.positionInRun = position;
    arguments.channelsSent = request.source.channelsSent();
    arguments.region = request.region;
    arguments.stereoAsStereo = request.source.stereoAsStereo;
    arguments.bitsPerSample = 16;
    arguments.sampleRate = request.sampleRate;
    arguments.sourceChannels = request.sourceChannels;
    arguments.lengthBytes = request.samples[index].lengthBytes;
    arguments.startOffset = request.samples[index].startOffset;
    if (!onOwnerThread([this, arguments] { m_driver.SendSample(arguments); }))
        return false;
    return suspend();
}

void SendRun::mapKeys(const SendRunRequest& request, int count) {
    const std::string sampleBase =
        request.protocol == kProtocolYamahaA3000 ? request.baseName : request.fileName;
    const bool waits =
        request.protocol == kProtocolYamahaA3000 || request.protocol == kProtocolAkai;
    const bool posted = onOwnerThread([&] {
        m_driver.MapSamples(
            request.keymap.bankName, sampleBase, [] {}, request.firstSampleNumber, count,
            request.keymap.whiteKeysOnly, request.keymap.interval, request.keymap.baseNote());
    });
    if (posted && waits)
        suspend();
}

void SendRun::run(SendRunRequest request) {
    int sent = 0;
    for (std::size_t i = 0; i < request.samples.size(); ++i) {
        if (i > 0 && request.promptBetween && !abortRequested()) {
            bool goOn = true;
            onOwnerThread([&] { goOn = m_driver.Aborted() || m_askNext(); });
            if (!goOn)
                onOwnerThread([this] { abort(); });
        }
        bool driverAborted = false;
        onOwnerThread([&] { driverAborted = m_driver.Aborted(); });
        if (abortRequested() || driverAborted)
            break;
        if (!sendOne(request, i))
            break;
        ++sent;
    }
    bool aborted = abortRequested();
    if (!aborted)
        onOwnerThread([&] { aborted = m_driver.Aborted(); });
    // The keys are mapped for the samples that arrived; the E-mu sampler took its keys with
    // each sample.
    if (!request.region && !aborted && request.autoMap && request.protocol != kProtocolEmu &&
        sent > 0)
        mapKeys(request, sent);

    const SendRunResult result{aborted, sent};
    auto shared = m_shared;
    m_post([shared, onEnd = m_onEnd, result] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->closing)
                return;
            shared->running = false;
        }
        if (onEnd)
            onEnd(result);
    });
}

} // namespace tolvane
