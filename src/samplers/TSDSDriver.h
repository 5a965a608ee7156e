#pragma once

#include "platform/Poster.h"
#include "processing/TWaveSmoother.h"
#include "samplers/SdsCodec.h"
#include "samplers/SdsHandshake.h"
#include "samplers/TSamplerClass.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace tolvane {

inline constexpr const char* kMsgInactive = "Inactive";
inline constexpr const char* kMsgWaiting = "Waiting...";
inline constexpr const char* kMsgErrorOpeningMidi = "Error opening midi devices!";
// A sample number this large or larger waits for the sampler to start the dump itself.
inline constexpr int kWaitForSendBase = 100000;

// What the last transfer came to, for the command line and the tests.
struct SdsTransferReport {
    bool ok = false;
    bool cancelledBySampler = false;
    bool openLoop = false;   // sent without replies (chosen, or no answer to the header)
    std::string message;     // why it stopped, or what went wrong on the way
    int packets = 0;         // sent, or taken in
    int resends = 0;         // packets sent again after a NAK
    int unconfirmed = 0;     // packets a handshaking sampler never answered
    int badChecksums = 0;    // kept in an open loop although damaged
    int duplicates = 0;      // packets received twice, dropped
    std::uint32_t rate = 0;  // of a received sample
    std::uint32_t words = 0; // of the sample
};

// Sends a sample to, or receives one from, any sampler over MIDI by the Sample Dump Standard,
// with the handshake or in an open loop as the profile says. Sending (`TMidiSend`) and
// receiving (`TMidiReceive`) run on the driver's runner, which also opens and closes the ports;
// the MIDI input's event hands the sampler's replies to them. The callbacks of a transfer run
// through the poster (on the window's thread).
class TSDSDriver : public TSamplerClass {
public:
    explicit TSDSDriver(Poster post, SdsTimings timings = {});
    TSDSDriver(TMidiInput& input, TMidiOutput& output, Poster post, SdsTimings timings = {});
    ~TSDSDriver() override;
    TSDSDriver(const TSDSDriver&) = delete;
    TSDSDriver& operator=(const TSDSDriver&) = delete;

    void SetSmoother(TWaveSmoother* smoother) override { m_smoother = smoother; }
    void Abort() override;
    void SetBatchStream(MemoryStream* stream) override { m_batchStream = stream; }
    void SetProfile(const SamplerProfile& profile) override { m_profile = profile; }
    void SetSampleStream(MemoryStream* stream) override { m_sampleStream = stream; }
    void SetStatusPanel(StatusPanel* panel) override { runner().setStatusPanel(panel); }
    void SetMidiPorts(TMidiInput* input, TMidiOutput* output) override;
    void SetWaitingThread(WaitingThread* thread) override { m_waitingThread = thread; }
    void ClearAbort() override;
    void GetSampleList(SampleDirectory& destination) override;
    void Connect(SamplerCallback continuation) override;
    void SendSample(const SampleSendArguments& arguments) override;
    void ReceiveSample(int sampleNumber, ReceiveCallback onDone) override;

    // Where a transfer that fails (not one the user aborted) is reported.
    void setMessages(DriverMessages* messages) { m_messages = messages; }
    bool busy() { return runner().busy(); }
    SdsTransferReport lastReport() const;

private:
    class TMidiSend;
    class TMidiReceive;
    struct Words; // the words of the sample being sent

    enum class Wait { Reply, TimedOut, Aborted };

    std::uint8_t channelByte() const;
    void startTransfer();
    void setStatus(const std::string& text) { runner().status(text); }
    void post(std::function<void()> job);
    void onMidiInput();
    void queueReply(sds::Bytes message);
    void onInputOverflow();
    std::optional<sds::Bytes> waitForMessage(std::chrono::steady_clock::time_point deadline,
                                             Wait& why);
    enum class Delivery { OnItsWay, ToDevice };
    void transmit(const sds::Bytes& message, Delivery delivery = Delivery::OnItsWay);

    // Opens the ports a transfer needs; the message that says why when they cannot be opened.
    std::string openPorts(bool input, bool output);
    TransferOutcome runSend(const SampleSendArguments& arguments);
    SdsSendHandshake::Step awaitGoAhead(SdsSendHandshake& handshake, const sds::Bytes& last);
    std::string progressText(const SampleSendArguments& arguments, int packets, int total) const;
    void endOfSend(const SampleSendArguments& arguments, bool ok);
    void reportFailure(bool ok);
    TransferOutcome outcomeOf(const SdsTransferReport& report) const;
    bool listenForCancel(SdsSendHandshake& handshake, std::chrono::milliseconds duration);

    TransferOutcome runReceive(int sampleNumber, bool request);
    void storeReceived(const std::vector<std::int16_t>& words);
    void closePorts(bool input, bool output);

    Poster m_post;
    SdsTimings m_timings;
    TMidiInput* m_input = nullptr;
    TMidiOutput* m_output = nullptr;
    TWaveSmoother* m_smoother = nullptr;
    TWaveSmoother m_plainSmoother; // when none is set: the samples unchanged
    MemoryStream* m_sampleStream = nullptr;
    MemoryStream* m_batchStream = nullptr;
    WaitingThread* m_waitingThread = nullptr;
    DriverMessages* m_messages = nullptr;
    SamplerProfile m_profile;

    std::atomic<bool> m_abort = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<sds::Bytes> m_replies; // whole SysEx for our channel, in arrival order
    sds::Bytes m_partial;             // a SysEx arriving in pieces
    bool m_inputOverflowed = false;   // the input dropped messages: the transfer cannot be trusted
    SdsTransferReport m_report;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace tolvane
