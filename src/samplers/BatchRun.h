#pragma once

#include "document/MemoryStream.h"
#include "platform/Poster.h"
#include "samplers/TSamplerClass.h"
#include "samplers/TransferPlan.h"
#include "slicing/Keymap.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

// The texts of files that cannot go in a batch.
inline constexpr const char* kMsgBatchOpenError =
    "Error opening file - may be open in other program";
inline constexpr const char* kMsgBatchCorrupted = "Wave File Corrupted!\r\n";
inline constexpr const char* kMsgTransferAborted = "Transfer aborted!";
inline constexpr const char* kMsgTransferComplete = "Transfer complete!";
inline constexpr const char* kMsgBatchComplete = "Batch transfer complete!";

// Why a file cannot join the batch list, or nothing when it can.
enum class BatchFileProblem { None, Missing, CannotOpen, Corrupted, NotSixteenBit };
BatchFileProblem batchFileProblem(const std::string& path);

// The messages of the batch window's "Add" for each problem.
std::string batchAddMessage(BatchFileProblem problem, const std::string& name);

// A file's data size in the batch list: "12 kb".
std::string batchSizeText(const std::string& path);

struct BatchRequest {
    int protocol = kProtocolSmdi;
    int firstSampleNumber = 0;
    bool autoMap = false;
    KeymapSettings keymap;
    std::vector<std::string> files;
};

struct BatchResult {
    bool aborted = false; // the batch did not complete: see the outcome
    int filesSent = 0;
    std::string error; // a file's message that ended the batch early, if one did
    TransferOutcome outcome;
};

// "Batch Send": the files one after the other, each file's done callback starting the next,
// then the keys of the sent samples. The driver's callbacks may come from a device thread; the
// poster brings every step back to the owner's thread.
class BatchRun final : public WaitingThread {
public:
    using EndRoutine = std::function<void(const BatchResult&)>;

    BatchRun(TSamplerClass& driver, Poster ownerThread, EndRoutine onEnd);
    ~BatchRun() override;
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    void start(BatchRequest request);
    bool running() const { return m_running; }
    void abort();

    void Resume() override; // the Yamaha and Akai keymaps end this way

private:
    struct Alive {
        bool alive = true;
    };
    void sendFile(std::size_t index);
    void mapped();
    SamplerCallback later(std::function<void()> job) const;
    void afterLast();
    void finish(TransferOutcome outcome, std::string error = {});
    void post(std::function<void()> job);

    TSamplerClass& m_driver;
    Poster m_post;
    EndRoutine m_onEnd;
    BatchRequest m_request;
    MemoryStream m_stream;
    std::vector<std::string> m_sentNames;
    std::shared_ptr<Alive> m_alive = std::make_shared<Alive>();
    bool m_running = false;
    bool m_aborted = false;
    bool m_mapping = false;
    int m_sent = 0;
};

} // namespace tolvane
