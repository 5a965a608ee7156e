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
    std::uint16_t pitchInteger = 60, pitchFraction = 0;
    std::vector<std::uint8_t> data;
};

// A sampler that speaks SMDI (SCSI Musical Data Interchange, the public protocol of 1991) as a
// processor-type SCSI target on a Unix socket. Every SMDI message travels in a SCSI SEND
// (0x0A, data out) and the sampler's answer is fetched with RECEIVE (0x08, data in); the
// transfer length sits in CDB bytes 2 to 4. A message is "SMDI", a 16-bit message ID, a 16-bit
// sub-ID and a 24-bit length of what follows (all big-endian). What it understands:
//   Master Identify 0001/0000             -> Slave Identify 0001/0001
//   Sample Header Request 0120/0000 (n)   -> Sample Header 0121/0000, or Message Reject
//   Sample Header 0121/0000 (a new sample) -> ACK 0100/0000
//   Begin Sample Transfer 0122/0000 (n, packet length)
//        after a Sample Header from the master -> Send Next Packet 0103/0000 (packet 0)
//        for a sample it holds               -> Data Packet 0110/0000 (packet 0)
//   Data Packet 0110/0000 (packet k, data) -> Send Next Packet (k+1), or End of Procedure
//                                              0104/0000 after the last
//   Send Next Packet 0103/0000 (k)         -> Data Packet k, or End of Procedure after the last
//   Abort Procedure 0105/0000              -> ACK; Delete Sample 0124/0000 (n) -> ACK
//   anything else                          -> Message Reject 0002/0000
// A RECEIVE with no answer waiting gets No Message 0000/0000. Sample numbers are 24-bit; the
// Sample Header data are: number (3), bits per word (1), channels (1), period in ns (3),
// length in words (4), loop start (4), loop end (4), loop control (1), pitch (2 + 2), name
// length (1), name.
class SmdiSampler {
public:
    explicit SmdiSampler(const std::string& socketPath);

    const std::string& path() const { return m_target.path(); }
    void store(int number, SmdiSample sample);
    std::optional<SmdiSample> sample(int number) const;
    // How many SCSI commands the target has seen.
    int commands() const { return m_target.commandsSeen(); }

    static std::vector<std::uint8_t> message(std::uint16_t id, std::uint16_t sub,
                                             const std::vector<std::uint8_t>& data = {});
    static std::vector<std::uint8_t> headerData(int number, const SmdiSample& sample);

private:
    SocketScsiTarget::Reply handle(const ScsiCommand& command, ScsiAnswer& answer);
    std::vector<std::uint8_t> answerTo(const std::vector<std::uint8_t>& message);
    std::vector<std::uint8_t> dataPacket(std::uint32_t packet);

    mutable std::mutex m_mutex;
    std::map<int, SmdiSample> m_samples;
    std::vector<std::uint8_t> m_waiting; // the answer for the next RECEIVE
    std::optional<std::pair<int, SmdiSample>> m_incoming;
    int m_outgoing = -1;
    std::uint32_t m_packetLength = 0;
    SocketScsiTarget m_target; // last: serves once the rest exists
};

} // namespace tolvane::test
