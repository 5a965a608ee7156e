#pragma once

#include "fakes/SocketScsiTarget.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::test {

// One sample in a simulated sampler's memory: its header fields and its data as the wire
// carries it (big-endian words, channels interleaved).
struct SmdiSample {
    std::string name;
    std::uint8_t bitsPerWord = 16;
    std::uint8_t channels = 1;
    std::uint32_t periodNs = 22676; // 44100 Hz
    std::uint32_t lengthWords = 0;  // per channel
    std::uint32_t loopStart = 0, loopEnd = 0;
    std::uint8_t loopControl = 0x7F; // no loop
    std::uint8_t pitchInteger = 60;  // MIDI note
    std::uint32_t pitchFraction = 0; // 24 bits
    std::vector<std::uint8_t> data;
    // A broken header for tests: the name length byte announces more than the name holds.
    std::optional<std::uint8_t> nameLengthOverride;
};

// A sampler that speaks SMDI (SCSI Musical Data Interchange, the public protocol of 1991) as a
// processor-type SCSI target on a Unix socket. Every SMDI message travels in a SCSI SEND
// (0x0A, data out) and the sampler's reply is fetched with RECEIVE (0x08, data in); the
// transfer length sits in CDB bytes 2 to 4. A message is "SMDI", a 16-bit message ID, a 16-bit
// sub-ID and a 24-bit length of what follows (all big-endian). What it understands:
//   Master Identify 0001/0000              -> Slave Identify 0001/0001
//   Sample Header Request 0120/0000 (n)    -> Sample Header 0121/0000, or Message Reject
//                                             0020/0002 (no sample at that number)
//   Sample Header 0121/0000 (a new sample) -> Begin Sample Transfer Acknowledge 0122/0001
//                                             (n, the packet length it takes)
//   Begin Sample Transfer 0122/0000 (n, packet length)
//        after a Sample Header from the master -> Send Next Packet 0103/0000 (packet 0)
//        for a sample it holds                -> Begin Sample Transfer Acknowledge (n, length)
//   Data Packet 0110/0000 (packet k, data)  -> Send Next Packet (k+1), or End of Procedure
//                                             0104/0000 after the last; Message Reject
//                                             0011/0000 when k is not the packet asked for
//   Send Next Packet 0103/0000 (k)          -> Data Packet k, or End of Procedure past the end
//   Abort Procedure 0105/0000               -> ACK 0100/0000
//   Delete Sample 0124/0000 (n)             -> End of Procedure
//   anything else                           -> Message Reject 0002/0000
// A Message Reject carries a 16-bit rejection code and a 16-bit sub-code. A RECEIVE with no
// reply pending, and a SEND while a reply is still pending, end with CHECK CONDITION (sense key
// 5, additional sense code 0x81 and 0x80). A Wait 0102/0000 reply means "busy, poll": TEST UNIT
// READY answers BUSY until the sampler is done, then RECEIVE fetches the real reply. Sample
// Header data: number (3), bits per word (1), channels (1), period in ns (3), length in words
// per channel (4), loop start (4), loop end (4), loop control (1), pitch integer (1), pitch
// fraction (3), name length (1), name.
class SmdiSampler {
public:
    static constexpr std::uint16_t kIdentify = 0x0001, kReject = 0x0002, kAck = 0x0100,
                                   kWait = 0x0102, kSendNextPacket = 0x0103,
                                   kEndOfProcedure = 0x0104, kAbort = 0x0105, kDataPacket = 0x0110,
                                   kHeaderRequest = 0x0120, kSampleHeader = 0x0121,
                                   kBeginTransfer = 0x0122, kDeleteSample = 0x0124;

    explicit SmdiSampler(const std::string& socketPath);

    const std::string& path() const { return m_target.path(); }
    void store(int number, SmdiSample sample);
    std::optional<SmdiSample> sample(int number) const;
    // How many SCSI commands the target has seen.
    int commands() const { return m_target.commandsSeen(); }
    // The largest data packet the sampler takes or gives (it offers this in its acknowledge;
    // at least 1).
    void setPacketLength(std::uint32_t bytes);

    // Faults. `occurrence` counts the messages of that ID the sampler has received, from 0.
    // Answer the occurrence-th message `id` with Message Reject code/sub.
    void rejectAt(std::uint16_t id, int occurrence, std::uint16_t code, std::uint16_t sub);
    // Answer it with Wait; TEST UNIT READY then reports BUSY `busyPolls` times, and the Wait
    // reply is given `repeats` times more before the real reply (a storm when large).
    void waitAt(std::uint16_t id, int occurrence, int busyPolls, int repeats = 0);
    // Answer it with Abort Procedure, dropping what is under way.
    void abortAt(std::uint16_t id, int occurrence);
    // The first time data packet `packet` comes, lose it and ask for the same packet again.
    void dropPacket(std::uint32_t packet);
    // Stop answering any command (until turned off again).
    void setSilent(bool silent);
    // Fall silent at the occurrence-th message `id`: its SEND is never answered, nor anything
    // after it until setSilent(false).
    void silentAt(std::uint16_t id, int occurrence);
    bool silent() const;

    // The (ID, sub-ID) of every message the sampler received, in order.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> received() const;
    int testUnitReadyCount() const;
    // The commands that broke the exchange: a RECEIVE with no reply pending, a SEND while one is.
    int violations() const;
    // Whether a transfer is still open (a begun send or receive, not ended or aborted).
    bool busy() const;

    static std::vector<std::uint8_t> message(std::uint16_t id, std::uint16_t sub,
                                             const std::vector<std::uint8_t>& data = {});
    static std::vector<std::uint8_t> headerData(int number, const SmdiSample& sample);

private:
    struct Fault {
        enum class Kind { Reject, Wait, Abort, Silence } kind;
        std::uint16_t id = 0;
        int occurrence = 0;
        std::uint16_t code = 0, sub = 0;
        int busyPolls = 0, repeats = 0;
    };

    SocketScsiTarget::Reply handle(const ScsiCommand& command, ScsiAnswer& answer);
    std::vector<std::uint8_t> answerTo(const std::vector<std::uint8_t>& message);
    std::vector<std::uint8_t> protocolAnswer(std::uint16_t id, std::uint16_t sub,
                                             const std::uint8_t* data, std::uint32_t length);
    std::vector<std::uint8_t> dataPacket(std::uint32_t packet);
    std::vector<std::uint8_t> takeIncomingPacket(const std::uint8_t* data, std::uint32_t length);

    mutable std::mutex m_mutex;
    std::map<int, SmdiSample> m_samples;
    std::vector<std::uint8_t> m_pending; // the reply for the next RECEIVE
    std::vector<std::uint8_t> m_held;    // the real reply while Wait is given
    int m_busyPolls = 0, m_waitRepeats = 0;
    std::optional<std::pair<int, SmdiSample>> m_incoming;
    bool m_incomingBegun = false;
    std::uint32_t m_expectedPacket = 0;
    int m_outgoing = -1;
    std::uint32_t m_maxPacketLength = 0x1000;
    std::uint32_t m_packetLength = 0;
    std::vector<Fault> m_faults;
    std::map<std::uint16_t, int> m_seen;
    std::vector<std::uint32_t> m_drops;
    bool m_silent = false;
    int m_testUnitReady = 0;
    int m_violations = 0;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> m_received;
    SocketScsiTarget m_target; // last: serves once the rest exists
};

} // namespace tolvane::test
