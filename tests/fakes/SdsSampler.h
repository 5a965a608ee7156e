#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

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

// A sampler on a JACK MIDI port that takes and gives samples by the MIDI Sample Dump Standard
// (the MIDI Manufacturers Association's public specification). It listens on the port
// "<name>-in:in" and answers on "<name>-out:out" (one JACK client each), on SysEx channel
// `channel`:
//   Dump Header   F0 7E cc 01 ss ss ee ff ff ff gg gg gg hh hh hh ii ii ii jj F7
//                 -> ACK for packet 0; the packets that follow fill the sample
//   Data Packet   F0 7E cc 02 kk <120 bytes> ll F7 (ll: XOR of 7E cc 02 kk and the data,
//                 & 7F) -> ACK kk, or NAK kk when the checksum is wrong
//   Dump Request  F0 7E cc 03 ss ss F7 -> the header, then one packet after each ACK
//                 (a WAIT holds, a CANCEL stops); nothing for a sample it does not hold
//   ACK 7F, NAK 7E (send that packet again), CANCEL 7D, WAIT 7C: F0 7E cc op pp F7
// Numbers are 7-bit groups, lowest first. A 16-bit word goes left-justified in three bytes
// (2 + 7 + 7 bits, then 5 zero bits) as an unsigned value (0x8000 is silence). With
// `handshake` off the sampler sends no ACK (open loop) and takes the packets as they come.
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

    void store(int number, SdsSample sample);
    std::optional<SdsSample> sample(int number) const;
    int naksSent() const;

    static std::vector<std::uint8_t> dumpHeader(std::uint8_t channel, int number,
                                                const SdsSample& sample);
    static std::vector<std::uint8_t> dataPacket(std::uint8_t channel, std::uint8_t packet,
                                                const std::uint8_t* bytes120);
    // The 120 data bytes of each packet for the sample's words (16 bits: 40 words a packet).
    static std::vector<std::uint8_t> packedWords(const std::vector<std::int16_t>& words);

private:
    static void received(double, std::vector<unsigned char>* message, void* self);
    void handle(const std::vector<std::uint8_t>& m);
    void send(std::vector<std::uint8_t> message);
    void sendPacket(std::size_t index);

    std::string m_name;
    std::uint8_t m_channel;
    bool m_ok = false;
    mutable std::mutex m_mutex;
    std::map<int, SdsSample> m_samples;
    std::optional<std::pair<int, SdsSample>> m_incoming;
    std::vector<std::uint8_t> m_incomingBytes;
    std::vector<std::uint8_t> m_outgoingBytes;
    std::size_t m_outgoingPackets = 0;
    int m_naks = 0;
    std::unique_ptr<RtMidiOut> m_out;
    std::unique_ptr<RtMidiIn> m_in;
};

} // namespace tolvane::test
