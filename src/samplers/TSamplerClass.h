#pragma once

#include "platform/ScsiBus.h"
#include "samplers/SamplerProfile.h"
#include "samplers/TransferRunner.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

class MemoryStream;
class TMidiInput;
class TMidiOutput;
class TWaveSmoother;

// Where a driver's error and warning boxes go: the window shows them as dialogs, the command
// line prints them. Called on whichever thread the driver reports from.
class DriverMessages {
public:
    virtual ~DriverMessages() = default;
    virtual void error(const std::string& text) = 0;
    virtual void warning(const std::string& text) = 0;
};

// The sending thread that waits while one sample is under way.
class WaitingThread {
public:
    virtual ~WaitingThread() = default;
    virtual void Resume() = 0;
};

// One sample a driver found on the sampler.
struct SampleDirectoryEntry {
    std::uint32_t lengthWords = 0;
    std::uint32_t rate = 0;
    std::uint8_t bitsPerWord = 0;
    std::uint8_t channels = 0;
};
inline constexpr std::size_t kSampleDirectorySize = 1025;
using SampleDirectory = std::array<SampleDirectoryEntry, kSampleDirectorySize>;

// The list the request window shows of the sampler's samples.
class SampleListView {
public:
    virtual ~SampleListView() = default;
    virtual void clear() = 0;
    virtual void addSample(int number, const std::string& name) = 0;
};

// The format of a received sample, handed to the receive callback.
struct ReceivedFormat {
    std::uint32_t rate = 0;
    std::uint8_t bitsPerSample = 16;
    std::uint8_t channels = 1;
    std::uint32_t lengthBytes = 0;
};

using SamplerCallback = std::function<void()>;
using ReceiveCallback = std::function<void(const ReceivedFormat&)>;

// The arguments of SendSample, in their documented order.
struct SampleSendArguments {
    std::string name;
    int sampleNumber = 0; // the number chosen + the profile offset + the position in the run
    std::uint8_t highKey = 0;
    std::uint8_t lowKey = 0;
    std::uint8_t rootKey = 0;
    std::uint8_t byteOrder = 0; // 0: the driver makes the 16-bit data big-endian
    SamplerCallback onError;
    SamplerCallback onDone;
    bool batch = false; // report the end through onDone instead of resuming the thread
    int positionInRun = 1;
    int samplesInRun = 1; // n of "sample k of n", for the progress
    int channelsSent = 1;
    bool region = false;
    bool stereoAsStereo = false;
    int bitsPerSample = 16;
    std::uint32_t sampleRate = 44100;
    int sourceChannels = 1;
    std::uint32_t lengthBytes = 0;
    std::uint32_t startOffset = 0; // in the stream, in bytes
};

// The one interface the transfer windows use to reach a sampler. Every operation does
// nothing here (the queries answer false and empty); each driver overrides what its protocol
// supports. Callbacks run when an asynchronous step ends, on the thread that ended it.
// Underneath, every driver does its work on its `runner()`: the operations queue there one after
// the other, and whoever started one waits there for its end and its outcome.
class TSamplerClass {
public:
    // A driver stops its runner first in its own destructor: no job may outlive the driver.
    virtual ~TSamplerClass() = default;

    TransferRunner& runner() { return m_runner; }

    virtual void SetSmoother(TWaveSmoother* /*smoother*/) {}
    virtual void SetNameList(const std::vector<std::string>& /*names*/) {}
    virtual void Abort() {}
    virtual void SetBatchStream(MemoryStream* /*stream*/) {}
    virtual void MapSamples(const std::string& /*programName*/, const std::string& /*baseName*/,
                            SamplerCallback /*onDone*/, int /*firstSample*/, int /*count*/,
                            bool /*whiteKeys*/, int /*keySpread*/, int /*baseNote*/) {}
    virtual void SetProfile(const SamplerProfile& /*profile*/) {}
    virtual void SetScsiEntry(ScsiEntry /*entry*/) {}
    virtual void SetSampleStream(MemoryStream* /*stream*/) {}
    virtual void SetStatusPanel(StatusPanel* /*panel*/) {}
    virtual void SetMidiPorts(TMidiInput* /*input*/, TMidiOutput* /*output*/) {}
    virtual void SetWaitingThread(WaitingThread* /*thread*/) {}
    virtual void ClearAbort() {}
    virtual void GetSampleList(SampleDirectory& /*destination*/) {}
    virtual bool Aborted() { return false; }
    virtual void Connect(SamplerCallback /*continuation*/) {}
    virtual void SendSample(const SampleSendArguments& /*arguments*/) {}
    virtual void ReceiveSample(int /*sampleNumber*/, ReceiveCallback /*onDone*/) {}
    virtual void ListSamples(SamplerCallback /*onDone*/, SampleListView* /*view*/) {}
    virtual std::string GetReceivedName() { return {}; }

private:
    TransferRunner m_runner;
};

} // namespace tolvane
