#pragma once

#include "platform/ScsiBus.h"
#include "samplers/SmdiProtocol.h"
#include "samplers/TSamplerClass.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tolvane {

class MemoryStream;
class TWaveSmoother;

inline constexpr const char* kMsgNotSmdiCompliant = "Device is not SMIDI compliant!";
inline constexpr const char* kMsgSamplerCommunication = "Error communicating with sampler";
inline constexpr const char* kMsgSampleOutOfRange =
    "Error communicating with sampler\r\n\r\nSample out of range?";
inline constexpr const char* kMsgOperationAborted = "Operation aborted!";
inline constexpr const char* kMsgNoSamplesAvailable = "No samples available for retrieval";

// How long the SMDI exchange waits. Tests shorten them.
struct SmdiTimings {
    std::chrono::milliseconds pollInterval{500}; // between polls of a busy sampler
    std::chrono::milliseconds waitLimit{30000};  // of waiting on one reply, in all
    std::uint32_t commandTimeoutMs = 30000;      // of one SCSI command
};

// How an SMDI procedure ended.
struct SmdiOutcome {
    enum class Kind {
        Done,
        Failed,    // `message` says why (an error)
        Aborted,   // the sampler aborted ("Operation aborted!", a warning)
        Cancelled, // our own abort: the procedure was ended with the sampler
    };
    Kind kind = Kind::Done;
    std::string message;
    bool done() const { return kind == Kind::Done; }
};

// One sample to send: the header fields and how to show progress; the data come from a
// prepared packet source.
struct SmdiSendJob {
    std::uint32_t number = 0;
    std::string name;
    std::uint32_t sampleRate = 44100;
    std::uint8_t channels = 1; // declared in the header
    std::uint8_t bitsPerWord = 16;
    std::uint8_t rootKey = 0, lowKey = 0, highKey = 0;
    bool regionOnly = false; // "Sending: n%" instead of "Sending # p: n%"
    bool batch = false;
    int positionInRun = 1;
    int samplesInRun = 1;
};

// The SMDI procedures over one SCSI target, each run to its end on the calling thread: every
// message goes out in a SEND and its reply comes back in a RECEIVE; a "wait" reply is polled
// with TEST UNIT READY. `cancel` may be called from any thread; the procedure then ends with
// the sampler at its next step (a sleep, and a command the adaptor can abort, end at once).
class SmdiSession {
public:
    using StatusSink = std::function<void(const std::string&)>;
    using ProgressSink = std::function<void(const TransferProgress&)>;
    using Sleeper = std::function<void(std::chrono::milliseconds)>;

    SmdiSession(ScsiEntry entry, std::uint8_t adaptor, std::uint8_t target, int protocol);

    void setTimings(const SmdiTimings& timings) { m_timings = timings; }
    // Replaces the pause between polls (tests record it instead of sleeping).
    void setSleeper(Sleeper sleeper) { m_sleeper = std::move(sleeper); }
    void setStatusSink(StatusSink sink) { m_status = std::move(sink); }
    void setProgressSink(ProgressSink sink) { m_progress = std::move(sink); }
    int protocol() const { return m_protocol; }

    void cancel();
    void clearCancel();
    bool cancelled() const { return m_cancel; }

    SmdiOutcome connect();
    // `source` is set up (source, start, length, layout, byte order, smoothing); its block size
    // becomes the packet length and it is prepared here.
    SmdiOutcome sendSample(const SmdiSendJob& job, TWaveSmoother& source);
    // The sample's 16-bit words, little-endian, replace the stream's content.
    SmdiOutcome receiveSample(std::uint32_t number, MemoryStream& into, ReceivedFormat& format,
                              std::string& name);
    // Every sample from the first number on (1 on protocol 4, else 0) until the sampler has
    // none; at most `limit` numbers.
    SmdiOutcome listSamples(const std::function<void(const smdi::SampleHeader&)>& each,
                            std::uint32_t limit);

private:
    std::uint8_t command(std::uint8_t opcode, bool dataIn, std::uint8_t* data, std::uint32_t length,
                         std::uint8_t* targetStatus = nullptr);
    bool sendMessage(const std::vector<std::uint8_t>& message);
    std::optional<smdi::Message> receiveMessage(std::size_t capacity);
    // SEND then RECEIVE, with "wait" worked off; nothing (and m_failure set) when it failed.
    std::optional<smdi::Message> exchange(const std::vector<std::uint8_t>& message,
                                          std::size_t capacity);
    bool waitUntilReady(std::chrono::milliseconds& waited);
    void pause(std::chrono::milliseconds duration);
    // A reply that may still wait on the sampler from an earlier, interrupted procedure.
    void drain();
    // Ends a begun procedure with the sampler (abort procedure and its reply).
    void abortProcedure();
    // INQUIRY (a processor device) and the identify exchange.
    SmdiOutcome identify();
    SmdiOutcome failed(const std::string& detail) const;
    SmdiOutcome unexpected(const smdi::Message& reply, const char* base);
    void status(const std::string& text) const;
    void progress(const TransferProgress& progress) const;

    ScsiEntry m_entry;
    std::uint8_t m_adaptor, m_target;
    int m_protocol;
    SmdiTimings m_timings;
    Sleeper m_sleeper;
    StatusSink m_status;
    ProgressSink m_progress;
    std::atomic<bool> m_cancel = false;
    std::mutex m_sleepMutex;
    std::condition_variable m_sleepWake;
    std::mutex m_commandMutex;              // guards the three below against cancel
    ScsiRequestBlock* m_underWay = nullptr; // the command the adaptor runs now
    bool m_ending = false;                  // abortProcedure's steps go out after a cancel
    bool m_refused = false;                 // the last command was held back by a cancel
    std::string m_failure;                  // why the last exchange failed
    bool m_replyPending = false;            // a message went and its reply was not fetched
};

} // namespace tolvane
