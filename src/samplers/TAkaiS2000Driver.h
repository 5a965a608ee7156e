#pragma once

#include "samplers/TSamplerClass.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace tolvane {

// How long the S2000-family driver waits for the sampler.
struct AkaiTiming {
    std::chrono::milliseconds request{15000}; // one SCSI request
    std::chrono::milliseconds reply{10000};   // the reply to a message
    std::chrono::milliseconds poll{20};       // between two questions for a reply
};

// The driver of the S2000 family (S2000, S3000XL, S3200XL) over SCSI. The sampler is put into
// its SCSI exclusive mode, the System Exclusive messages of akai::… go to it as SCSI data and
// its replies come back the same way; sample data goes in raw blocks of 1024 bytes, 16-bit
// big-endian. Lists the sampler's samples, receives one, sends one into the next free sample
// slot, and writes a program with one keygroup per sent sample into the next free program.
//
// Every operation runs on the driver's runner, one after the other, and calls its callbacks
// there. Each one enters the exclusive mode and always leaves it again, also after a failure or
// Abort; a sampler that stops answering ends the operation after the bounded times of
// `AkaiTiming`.
class TAkaiS2000Driver : public TSamplerClass {
public:
    using Messages = DriverMessages;
    using Timing = AkaiTiming;

    explicit TAkaiS2000Driver(ScsiEntry entry = {}, Messages* messages = nullptr,
                              Timing timing = {});
    ~TAkaiS2000Driver() override;
    TAkaiS2000Driver(const TAkaiS2000Driver&) = delete;
    TAkaiS2000Driver& operator=(const TAkaiS2000Driver&) = delete;

    void setMessages(Messages* messages) { m_messages = messages; }
    void setTiming(Timing timing) { m_timing = timing; }
    // Returns when every operation asked for so far has ended.
    void waitIdle() { runner().wait(); }

    void SetSmoother(TWaveSmoother* smoother) override { m_smoother = smoother; }
    void SetNameList(const std::vector<std::string>& names) override { m_names = names; }
    void Abort() override;
    void SetBatchStream(MemoryStream* stream) override { m_batchStream = stream; }
    // The program goes into the next free program number, its keygroups into that program.
    // A name list set before (a batch) gives the count and the names, for this mapping only.
    // Ends like SendSample: `onDone` in batch mode (or when no waiting thread is set), else
    // the waiting thread is resumed.
    void MapSamples(const std::string& programName, const std::string& baseName,
                    SamplerCallback onDone, int firstSample, int count, bool whiteKeys,
                    int keySpread, int baseNote) override;
    void SetProfile(const SamplerProfile& profile) override;
    void SetScsiEntry(ScsiEntry entry) override;
    void SetSampleStream(MemoryStream* stream) override { m_sampleStream = stream; }
    void SetStatusPanel(StatusPanel* panel) override { runner().setStatusPanel(panel); }
    void SetWaitingThread(WaitingThread* thread) override { m_waiting = thread; }
    void GetSampleList(SampleDirectory& destination) override;
    bool Aborted() override { return m_abort; }
    void Connect(SamplerCallback continuation) override;
    // Sends into the next free sample slot; `sampleNumber` is not used, since the sampler
    // only creates a sample past its last one.
    void SendSample(const SampleSendArguments& arguments) override;
    // The done callback gets the format of the received sample, or all zeros when nothing
    // usable arrived.
    void ReceiveSample(int sampleNumber, ReceiveCallback onDone) override;
    void ListSamples(SamplerCallback onDone, SampleListView* view) override;
    std::string GetReceivedName() override;

private:
    class Link;
    struct Failure;

    // Clears the abort flag: every operation starts with it clear.
    void begin();
    TransferOutcome runConnect();
    TransferOutcome runList(SampleListView* view);
    TransferOutcome runReceive(int sampleNumber, ReceivedFormat& format);
    TransferOutcome runSend(const SampleSendArguments& arguments);
    TransferOutcome runMap(const std::string& programName, const std::string& baseName,
                           const std::vector<std::string>& names, int count, bool whiteKeys,
                           int keySpread, int baseNote);
    void sendData(Link& link, std::uint32_t bytesToSend, const SampleSendArguments& arguments);
    void finishSend(bool batch, const SamplerCallback& onDone);
    TransferOutcome report(const Failure& failure);
    void status(const std::string& text) { runner().status(text); }

    ScsiEntry m_entry;
    Messages* m_messages = nullptr;
    Timing m_timing;
    std::uint8_t m_adaptor = 0;
    std::uint8_t m_target = 0;
    TWaveSmoother* m_smoother = nullptr;
    MemoryStream* m_sampleStream = nullptr;
    MemoryStream* m_batchStream = nullptr;
    WaitingThread* m_waiting = nullptr;
    std::vector<std::string> m_names;
    std::atomic<bool> m_abort = false;

    std::mutex m_stateMutex; // the received name and the directory
    std::string m_receivedName;
    SampleDirectory m_directory{};
};

// The driver's texts.
inline constexpr const char* kMsgAkaiCommunication = "Error communicating with sampler";
inline constexpr const char* kMsgAkaiUnexpectedReply = "Error communicating with sampler!";
inline constexpr const char* kMsgAkaiAborted = "Operation aborted!";
inline constexpr const char* kMsgAkaiStereo = "Akai driver cannot handle stereo at this time!";
inline constexpr const char* kMsgAkaiMemory = "Insufficient memory in sampler!";
inline constexpr const char* kMsgAkaiProgram = "Error writing program!";
inline constexpr const char* kMsgAkaiKeygroup = "Error writing keygroup!";
inline constexpr const char* kMsgAkaiNoAnswer = "The sampler stopped answering - transfer ended!";
inline constexpr const char* kMsgAkaiNoRate =
    "The sampler gave no usable sample rate for this sample - nothing received!";
inline constexpr const char* kMsgAkaiNoSource = "No sample data to send!";

} // namespace tolvane
