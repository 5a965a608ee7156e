#include "samplers/SendRun.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>

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
    // The Akai samplers take each sample into their next free slot, whatever its number.
    if (const auto problem = sampleNumberProblem(request.protocol, request.firstSampleNumber,
                                                 static_cast<int>(request.samples.size()));
        problem && request.protocol != kProtocolAkai) {
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->running = true;
        }
        end({true, 0, TransferOutcome::failed(*problem), {}, true});
        return;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->resumed = false;
        m_shared->running = true;
        m_shared->aborted = false;
    }
    m_driver.SetWaitingThread(this);
    try {
        m_thread = std::thread(
            [this, request = std::move(request)]() mutable { run(std::move(request)); });
    } catch (const std::system_error& e) {
        end({true,
             0,
             TransferOutcome::failed(std::string("Cannot start the sending thread: ") + e.what()),
             {},
             true});
    }
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

TransferOutcome SendRun::awaitDriver() {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> giveUp;
    for (;;) {
        if (auto outcome = m_driver.runner().waitFor(std::chrono::milliseconds(20)))
            return *outcome;
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->closing)
            return TransferOutcome::cancelled();
        if (m_shared->aborted && !giveUp)
            giveUp = Clock::now() + m_shared->abortGrace;
        // A driver that does not end after an abort cannot hold the run for ever.
        if (giveUp && Clock::now() >= *giveUp)
            return TransferOutcome::cancelled();
    }
}

TransferOutcome SendRun::sendOne(const SendRunRequest& request, std::size_t index,
                                 std::vector<SentSample>& sent) {
    const int position = static_cast<int>(index) + 1;
    const KeyRange keys =
        sendKeys(request.protocol, request.autoMap, request.keymap, static_cast<int>(index));
    SampleSendArguments arguments;
    arguments.name = request.region && request.samples.size() == 1
                         ? request.baseName
                         : transferSampleName(request.protocol, request.baseName, position,
                                              static_cast<int>(request.samples.size()));
    arguments.sampleNumber = request.firstSampleNumber + static_cast<int>(index);
    arguments.highKey = static_cast<std::uint8_t>(keys.high);
    arguments.lowKey = static_cast<std::uint8_t>(keys.low);
    arguments.rootKey = static_cast<std::uint8_t>(keys.key);
    arguments.byteOrder = 0;
    arguments.onError = [] {};
    arguments.onDone = [] {};
    arguments.batch = false;
    arguments.positionInRun = position;
    arguments.samplesInRun = static_cast<int>(request.samples.size());
    arguments.channelsSent = request.source.channelsSent();
    arguments.region = request.region;
    arguments.stereoAsStereo = request.source.stereoAsStereo;
    arguments.bitsPerSample = 16;
    arguments.sampleRate = request.sampleRate;
    arguments.sourceChannels = request.sourceChannels;
    arguments.lengthBytes = request.samples[index].lengthBytes;
    arguments.startOffset = request.samples[index].startOffset;
    if (!onOwnerThread([this, arguments] { m_driver.SendSample(arguments); }))
        return TransferOutcome::cancelled();
    TransferOutcome outcome = awaitDriver();
    if (outcome.completed())
        sent.push_back({arguments.name, arguments.sampleNumber, arguments.rootKey});
    return outcome;
}

TransferOutcome SendRun::mapKeys(const SendRunRequest& request, int count) {
    const std::string sampleBase =
        request.protocol == kProtocolYamahaA3000 ? request.baseName : request.fileName;
    const bool posted = onOwnerThread([&] {
        m_driver.MapSamples(
            request.keymap.bankName, sampleBase, [] {}, request.firstSampleNumber, count,
            request.keymap.whiteKeysOnly, request.keymap.interval, request.keymap.baseNote());
    });
    return posted ? awaitDriver() : TransferOutcome::cancelled();
}

void SendRun::run(SendRunRequest request) {
    std::vector<SentSample> sentSamples;
    TransferOutcome outcome;
    for (std::size_t i = 0; i < request.samples.size() && outcome.completed(); ++i) {
        if (i > 0 && request.promptBetween && !abortRequested()) {
            bool goOn = true;
            onOwnerThread([&] { goOn = m_askNext(); });
            if (!goOn)
                onOwnerThread([this] { abort(); });
        }
        if (abortRequested()) {
            outcome = TransferOutcome::cancelled();
            break;
        }
        outcome = sendOne(request, i, sentSamples);
    }
    const int sent = static_cast<int>(sentSamples.size());
    if (abortRequested() && outcome.completed())
        outcome = TransferOutcome::cancelled();
    // The keys are mapped for the samples that arrived; the E-mu sampler took its keys with
    // each sample.
    if (!request.region && outcome.completed() && request.autoMap &&
        request.protocol != kProtocolEmu && sent > 0)
        outcome = mapKeys(request, sent);
    end({!outcome.completed(), sent, outcome, std::move(sentSamples), false});
}

void SendRun::end(const SendRunResult& result) {
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
