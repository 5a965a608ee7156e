#pragma once

#include "platform/Poster.h"
#include "samplers/TSamplerClass.h"
#include "samplers/TransferPlan.h"
#include "slicing/Keymap.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tolvane {

// One "Send all in loop" or "Send region" run.
struct SendRunRequest {
    int protocol = kProtocolSmdi;
    bool region = false;
    std::vector<OutgoingSample> samples;
    SendSource source;
    int firstSampleNumber = 0; // the position plus the profile's offset
    std::string baseName;      // transferBaseName of the document
    std::string fileName;      // the document's file name, for the keymaps that use it
    std::uint32_t sampleRate = 44100;
    int sourceChannels = 1;
    bool autoMap = false;       // "Auto map" enabled, on, and the keys fit
    bool promptBetween = false; // "Don't prompt " off: ask before each further sample
    KeymapSettings keymap;
};

// A sample that arrived, as it was sent.
struct SentSample {
    std::string name;
    int number = 0;
    std::uint8_t rootKey = 0;
};

struct SendRunResult {
    bool aborted = false; // the run did not complete: see the outcome
    int samplesSent = 0;
    TransferOutcome outcome;
    std::vector<SentSample> sent;
    bool refused = false; // nothing was asked of the driver: the outcome's message says why
};

// The sending thread (`TSMDISend`): for each sample it has the owner's thread call SendSample
// and then waits on the driver's runner for the sample's end and outcome; after the last one
// it maps the keys. Every driver call runs on the owner's thread through the poster, as the
// drivers expect. The end is reported there too.
class SendRun final : public WaitingThread {
public:
    using AskNextSample = std::function<bool()>; // "Send next sample?": true to go on
    using EndRoutine = std::function<void(const SendRunResult&)>;

    SendRun(TSamplerClass& driver, Poster ownerThread, AskNextSample askNext, EndRoutine onEnd);
    // Ends a run still going (as "Abort dump" does) and waits for its thread.
    ~SendRun() override;
    SendRun(const SendRun&) = delete;
    SendRun& operator=(const SendRun&) = delete;

    // Starts the thread; the driver's waiting thread is this run from now on. When the thread
    // cannot be started the run ends at once (through the owner's thread) as failed.
    void start(SendRunRequest request);
    bool running() const;
    // "Abort dump": on the owner's thread.
    void abort();
    // How long the thread waits for the driver after an abort before it ends regardless.
    void setAbortGrace(std::chrono::milliseconds grace);

    void Resume() override;

private:
    struct Shared;
    void run(SendRunRequest request);
    TransferOutcome sendOne(const SendRunRequest& request, std::size_t index,
                            std::vector<SentSample>& sent);
    TransferOutcome mapKeys(const SendRunRequest& request, int count);
    bool onOwnerThread(std::function<void()> job);
    // Waits for the driver's end of what it was asked; after an abort only for the grace.
    TransferOutcome awaitDriver();
    bool abortRequested() const;
    void end(const SendRunResult& result);

    TSamplerClass& m_driver;
    Poster m_post;
    AskNextSample m_askNext;
    EndRoutine m_onEnd;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace tolvane
