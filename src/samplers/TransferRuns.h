#pragma once

#include "document/MemoryStream.h"
#include "platform/Poster.h"
#include "samplers/TSamplerClass.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {

// The first step of every run: the driver's Connect. `then` runs on the owner's thread once the
// sampler answered; `failed` with the outcome when it did not (Connect itself says nothing
// then). Neither runs once `alive` is false.
void connectDriver(TSamplerClass& driver, const Poster& ownerThread,
                   const std::shared_ptr<bool>& alive, std::function<void()> then,
                   std::function<void(const TransferOutcome&)> failed);

// One sample the sampler listed.
struct ListedSample {
    int number = 0;
    std::string name;
};

struct ListResult {
    TransferOutcome outcome;
    std::vector<ListedSample> samples;
    SampleDirectory directory{};
};

// "List Samples": the driver connects, then lists the sampler's samples; each row reaches the
// owner as it is read, the whole list with the driver's directory at the end. The driver's
// callbacks may come from its own thread; the poster brings every step to the owner's thread,
// and nothing reaches the owner once the run is gone.
class ListRun {
public:
    using RowHandler = std::function<void(const ListedSample&)>;
    using EndRoutine = std::function<void(const ListResult&)>;

    ListRun(TSamplerClass& driver, Poster ownerThread, RowHandler onRow, EndRoutine onEnd);
    // Ends a listing still going (the driver is told to abort).
    ~ListRun();
    ListRun(const ListRun&) = delete;
    ListRun& operator=(const ListRun&) = delete;

    void start();
    bool running() const { return m_running; }
    void abort();

private:
    class View;
    void finish(const TransferOutcome& outcome);

    TSamplerClass& m_driver;
    Poster m_post;
    RowHandler m_onRow;
    EndRoutine m_onEnd;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::vector<ListedSample> m_samples;
    bool m_running = false;
};

struct ReceiveResult {
    TransferOutcome outcome;
    ReceivedFormat format{0, 0, 0, 0};
    std::string name; // the driver's name for the sample (GetReceivedName)
};

// "Request", "Wait For Send" and "Receive" of a listed sample: the driver connects (unless
// told not to) and receives the sample into the run's own stream, so that the document stays
// whole until the sample has arrived and been checked. Like ListRun, every step comes to the
// owner's thread and none after the run is gone.
class ReceiveRun {
public:
    using EndRoutine = std::function<void(const ReceiveResult&)>;

    ReceiveRun(TSamplerClass& driver, Poster ownerThread, EndRoutine onEnd);
    ~ReceiveRun();
    ReceiveRun(const ReceiveRun&) = delete;
    ReceiveRun& operator=(const ReceiveRun&) = delete;

    // The driver's sample stream is the run's until the end; `restore` gets it back then.
    void start(int sampleNumber, bool connectFirst, MemoryStream* restore);
    bool running() const { return m_running; }
    void abort();
    // What arrived (little-endian 16-bit words).
    const MemoryStream& received() const { return *m_stream; }

private:
    void receive(int sampleNumber);
    void finish(ReceiveResult result);

    TSamplerClass& m_driver;
    Poster m_post;
    EndRoutine m_onEnd;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Shared with the driver's done callback: the driver may still write into it after the run
    // is gone.
    std::shared_ptr<MemoryStream> m_stream = std::make_shared<MemoryStream>();
    MemoryStream* m_restore = nullptr;
    bool m_running = false;
    bool m_aborted = false;
};

} // namespace tolvane
