#pragma once

#include "platform/ScsiBus.h"
#include "processing/TWaveSmoother.h"
#include "samplers/SmdiSession.h"
#include "samplers/TSamplerClass.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr const char* kMsgKeymapFailed =
    "Error transferring keymap information!\r\nTry closing other midi programs...";

// The SMDI sampler driver: moves samples between the editor and a sampler on a SCSI bus (the
// generic, the two Yamaha and the E-mu sampler types), and sends the Yamaha keymaps through the
// profile's MIDI output. Each operation runs on the driver's runner, one at a time; its end is
// reported through the callbacks or by resuming the waiting thread, and its outcome is the
// runner's. Errors and warnings go to the report sink (the window shows them as dialogs).
class TSMIDIDriver : public TSamplerClass {
public:
    static constexpr int kA3000Protocol = 2, kExProtocol = 3;
    using ReportSink = std::function<void(const std::string& text, bool warning)>;

    TSMIDIDriver();
    explicit TSMIDIDriver(ScsiBus& bus, TMidiOutput* output = nullptr);
    ~TSMIDIDriver() override;
    TSMIDIDriver(const TSMIDIDriver&) = delete;
    TSMIDIDriver& operator=(const TSMIDIDriver&) = delete;

    void setReportSink(ReportSink sink);
    void setMessages(DriverMessages* messages);
    void setTimings(const SmdiTimings& timings);
    void setSleeper(SmdiSession::Sleeper sleeper);
    // Blocks until every operation started has ended (at once on the driver's own thread).
    void Wait() { runner().wait(); }
    // The text of the last error or warning reported.
    std::string lastReport() const;

    void SetSmoother(TWaveSmoother* smoother) override;
    void SetNameList(const std::vector<std::string>& names) override;
    void Abort() override;
    void SetBatchStream(MemoryStream* stream) override;
    void MapSamples(const std::string& programName, const std::string& baseName,
                    SamplerCallback onDone, int firstSample, int count, bool whiteKeys,
                    int keySpread, int baseNote) override;
    void SetProfile(const SamplerProfile& profile) override;
    void SetScsiEntry(ScsiEntry entry) override;
    void SetSampleStream(MemoryStream* stream) override;
    void SetStatusPanel(StatusPanel* panel) override;
    void SetMidiPorts(TMidiInput* input, TMidiOutput* output) override;
    void SetWaitingThread(WaitingThread* thread) override;
    void ClearAbort() override;
    void GetSampleList(SampleDirectory& destination) override;
    bool Aborted() override;
    void Connect(SamplerCallback continuation) override;
    void SendSample(const SampleSendArguments& arguments) override;
    void ReceiveSample(int sampleNumber, ReceiveCallback onDone) override;
    void ListSamples(SamplerCallback onDone, SampleListView* view) override;
    std::string GetReceivedName() override;

private:
    std::shared_ptr<SmdiSession> session() const;
    void rebuildSession();
    TransferOutcome report(const SmdiOutcome& outcome);
    void status(const std::string& text) { runner().status(text); }
    void resume() const;
    bool sendSysEx(const std::vector<std::vector<std::uint8_t>>& messages);
    void configureSource(TWaveSmoother& source, const SampleSendArguments& arguments) const;

    mutable std::mutex m_mutex; // guards the settings below against the operation's thread
    ScsiEntry m_entry;
    SamplerProfile m_profile;
    std::shared_ptr<SmdiSession> m_session;
    SmdiTimings m_timings;
    SmdiSession::Sleeper m_sleeper;
    ReportSink m_reportSink;
    std::string m_lastReport;
    TWaveSmoother* m_smoother = nullptr;
    TWaveSmoother m_ownSmoother;
    MemoryStream* m_sampleStream = nullptr;
    MemoryStream* m_batchStream = nullptr;
    WaitingThread* m_waitingThread = nullptr;
    TMidiOutput* m_midiOutput = nullptr;
    std::vector<std::string> m_nameList;
    SampleDirectory m_directory{};
    std::string m_receivedName;
    bool m_batch = false; // the last SendSample's batch flag
};

} // namespace tolvane
