#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::test {

// One sample as the MIDI Sample Dump Standard carries it.
struct SdsSample {
    std::uint8_t bits = 16;
    std::uint32_t periodNs = 22676;
    std::uint32_t lengthWords = 0;
    std::uint32_t loopStart = 0, loopEnd = 0;
    std::uint8_t loopType = 0x7F;    // no loop
    std::vector<std::int16_t> words; // for 16-bit samples: the signed values
};

// What the simulated sampler does wrong on purpose. Packets count from 0 in the dump (not the
// wrapping packet number); -1 turns a fault off.
struct SdsFaults {
    int nakPacket = -1;                     // receiving: answer this packet with NAK ...
    int nakTimes = 0;                       // ... this many times (a storm when large), then ACK
    int waitAtPacket = -1;                  // receiving: answer WAIT, then ACK after `waitFor`
    std::chrono::milliseconds waitFor{300}; //
    int cancelAtPacket = -1; // receiving: CANCEL instead of an answer; sending: instead of it
    int silentFrom = -1;     // receiving: no answers from here on; sending: stop here
    int corruptPacket = -1;  // sending: this packet goes once with a wrong checksum
    int repeatPacket = -1;   // sending: this packet goes twice (as after a lost ACK)
    bool interleave = false; // before each message: clock, active sensing, another maker's
                             // SysEx, a NAK for another device, a stale NAK for ours and
                             // (sending) a data packet for another device
    // Receiving: each packet is acknowledged this late, as over a slow link; a packet that
    // comes before the last one's ACK went out is lost (not taken, not answered).
    std::chrono::milliseconds ackDelay{0};
    // Receiving: the JACK cycle that brings this packet runs this much late, as on a loaded
    // machine (the server waits for the sampler's client; everything else waits with it).
    int lateCycleAtPacket = -1;
    std::chrono::milliseconds lateCycleBy{0};
};

// A sampler on a JACK MIDI port that takes and gives samples by the MIDI Sample Dump Standard
// (the MIDI Manufacturers Association's public specification). It listens on the port
// "<name>:in" and answers on "<name>:out" (one JACK client), on SysEx channel
// `channel` (and the all-call channel 7F):
//   Dump Header   F0 7E cc 01 ss ss ee ff ff ff gg gg gg hh hh hh ii ii ii jj F7
//                 -> ACK 0; the packets that follow fill the sample
//   Data Packet   F0 7E cc 02 kk <120 bytes> ll F7 (ll: XOR of 7E cc 02 kk and the data)
//                 -> ACK kk, or NAK kk when the checksum is wrong; a packet with the number
//                 just accepted again is acknowledged and dropped
//   Dump Request  F0 7E cc 03 ss ss F7 -> the header; nothing for a sample it does not hold
//   ACK 7F, NAK 7E, CANCEL 7D, WAIT 7C: F0 7E cc op pp F7
// As the sender of a dump it follows the standard's master: after the header it waits up to
// `headerWait` (2 s) for an answer, and goes on without handshake when none comes; after each
// packet it waits up to `packetWait` (20 ms; `answeredPacketWait` once answered): ACK pp sends the
// next, NAK pp sends that packet again, WAIT holds until the next answer, CANCEL stops, nothing
// goes on with the next. Numbers are 7-bit groups, lowest first. A 16-bit word goes left-justified
// in three bytes (7 + 7 + 2 bits, then 5 zero bits) as an unsigned value (0x8000 is silence). With
// `handshake` off it sends no replies (open loop) and takes the packets as they come.
class SdsSampler {
public:
    SdsSampler(const std::string& name, std::uint8_t channel);
    ~SdsSampler();
    SdsSampler(const SdsSampler&) = delete;
    SdsSampler& operator=(const SdsSampler&) = delete;

    bool ok() const { return m_ok; }
    std::string inputPort() const;  // where the program sends to
    std::string outputPort() const; // where the program receives from
    bool handshake = true;
    bool corruptNextChecksum = false; // the next packet sent goes out with a wrong checksum
    std::chrono::milliseconds headerWait{2000};
    std::chrono::milliseconds packetWait{20};
    // Once the receiver has answered (the header or a packet), each packet waits this long for
    // its answer: a receiver behind JACK cycles on a busy machine answers later than 20 ms, and
    // a sampler that went on would leave a NAKed packet unsent. The standard's 20 ms unless set.
    std::chrono::milliseconds answeredPacketWait{20};
    void setFaults(const SdsFaults& faults);

    void store(int number, SdsSample sample);
    std::optional<SdsSample> sample(int number) const;
    // Whether a dump it takes in, or gives, is still under way.
    bool busy() const;
    int naksSent() const;
    int duplicatesReceived() const;
    int packetsLost() const; // by ackDelay
    int cancelsReceived() const;
    // The packet number each CANCEL it received named, in order.
    std::vector<std::uint8_t> cancelPackets() const;
    // Every message it has sent out: replies, dump headers and packets.
    int messagesSent() const;
    // When each packet it accepted arrived, in order.
    std::vector<std::chrono::steady_clock::time_point> packetTimes() const;
    // Of the last dump it sent: whether it got any answer (a closed loop), and whether it ran
    // to the end.
    bool lastDumpHandshaken() const;
    bool lastDumpFinished() const;

    static std::vector<std::uint8_t> dumpHeader(std::uint8_t channel, int number,
                                                const SdsSample& sample);
    static std::vector<std::uint8_t> dataPacket(std::uint8_t channel, std::uint8_t packet,
                                                const std::uint8_t* bytes120);
    // The 120 data bytes of each packet for the sample's words (16 bits: 40 words a packet).
    static std::vector<std::uint8_t> packedWords(const std::vector<std::int16_t>& words);

private:
    static int process(std::uint32_t frames, void* self);
    void takeEvent(const std::uint8_t* bytes, std::size_t size);
    void closeClient();
    void handle(const std::vector<std::uint8_t>& m);
    void takeHeader(const std::vector<std::uint8_t>& m);
    void takePacket(const std::vector<std::uint8_t>& m);
    void reply(std::uint8_t op, std::uint8_t packet);
    void send(std::vector<std::uint8_t> message);
    void sendJunk(std::uint8_t packet, bool withPacket);
    void startDump(int number);
    void dump(std::stop_token stop, int number, SdsSample sample);
    // The next answer to the dump being sent, or nothing after `limit`.
    std::optional<std::vector<std::uint8_t>> nextAnswer(std::stop_token stop,
                                                        std::chrono::milliseconds limit);

    std::string m_name;
    std::uint8_t m_channel;
    bool m_ok = false;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_answered;
    SdsFaults m_faults;
    std::map<int, SdsSample> m_samples;
    // Taking a dump in.
    std::optional<std::pair<int, SdsSample>> m_incoming;
    std::vector<std::uint8_t> m_incomingBytes;
    std::size_t m_incomingPackets = 0;
    std::optional<std::uint8_t> m_lastAccepted;
    int m_naksForFault = 0;
    bool m_silent = false;
    // Giving a dump.
    std::deque<std::vector<std::uint8_t>> m_answers;
    bool m_dumpHandshaken = false, m_dumpFinished = false, m_dumping = false;
    int m_naks = 0, m_duplicates = 0, m_lost = 0;
    std::vector<std::uint8_t> m_cancelPackets;
    bool m_acking = false; // a late ACK is on its way
    std::vector<std::chrono::steady_clock::time_point> m_packetTimes;
    mutable std::mutex m_sendMutex; // replies come from the JACK thread and the dump thread
    int m_sent = 0;
    // Its JACK client: messages out wait in the ring (a length, then the bytes) for the next
    // cycle; a SysEx that comes in pieces is put together in m_assembling (JACK thread only).
    jack_client_t* m_client = nullptr;
    jack_port_t* m_inPort = nullptr;
    jack_port_t* m_outPort = nullptr;
    jack_ringbuffer_t* m_ring = nullptr;
    std::vector<std::uint8_t> m_assembling;
    std::chrono::milliseconds m_lateBy{0}; // the cycle under way ends this late (JACK thread)
    std::jthread m_ackLater;               // the ACK that ends a WAIT
    std::jthread m_dumpThread;
};

} // namespace tolvane::test
