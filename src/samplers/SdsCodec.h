#pragma once

#include "samplers/SampleRates.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvane {

// The messages of the MIDI Sample Dump Standard: a sample goes as a dump header and data
// packets of 120 bytes (40 words of 16 bits, three 7-bit bytes each), each answered in a
// closed loop by ACK, NAK, WAIT or CANCEL. All are non-real-time SysEx: F0 7E cc op … F7,
// numbers in 7-bit groups, least significant first.
namespace sds {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kNonRealTime = 0x7E;
inline constexpr std::uint8_t kAllCall = 0x7F; // a channel byte every device answers to
inline constexpr std::size_t kHeaderSize = 21;
inline constexpr std::size_t kPacketSize = 127;
inline constexpr std::size_t kPacketDataBytes = 120;
inline constexpr std::size_t kWordsPerPacket = 40;
inline constexpr std::uint8_t kSixteenBits = 0x10;
inline constexpr std::uint8_t kLoopOff = 0x7F;

enum class Op : std::uint8_t {
    Header = 0x01,
    Packet = 0x02,
    Request = 0x03,
    Wait = 0x7C,
    Cancel = 0x7D,
    Nak = 0x7E,
    Ack = 0x7F,
};

struct DumpHeader {
    int sampleNumber = 0; // 0 to 16383
    std::uint8_t bits = kSixteenBits;
    std::uint32_t periodNs = 0;
    std::uint32_t lengthWords = 0; // all three at most 2^21 - 1
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;
    std::uint8_t loopType = kLoopOff;
};

// A SysEx taken apart: which message, for which channel, with which packet number.
struct Message {
    Op op = Op::Ack;
    std::uint8_t channel = 0;
    std::uint8_t packet = 0; // ACK/NAK/WAIT/CANCEL and data packets
};

// The sample period for a rate, to the nearest nanosecond, and back to the nearest hertz.
using tolvane::periodForRate;
using tolvane::rateForPeriod;

// One 16-bit word as three bytes: offset binary (0x8000 is silence), left-justified.
std::array<std::uint8_t, 3> packWord(std::int16_t word);
std::int16_t unpackWord(const std::uint8_t* bytes);

// The exclusive-or of 7E, cc, 02, kk and the 120 data bytes of a packet of 127 bytes.
std::uint8_t packetChecksum(std::span<const std::uint8_t> packet);

Bytes encodeHeader(std::uint8_t channel, const DumpHeader& header);
// At most 40 words; a shorter packet is filled with zero bytes, which the checksum covers.
Bytes encodePacket(std::uint8_t channel, std::uint8_t packetNumber,
                   std::span<const std::int16_t> words);
Bytes encodeRequest(std::uint8_t channel, int sampleNumber);
Bytes encodeReply(Op op, std::uint8_t channel, std::uint8_t packetNumber);

// What a complete SysEx is, when it is one of ours; nothing for other SysEx and short messages.
std::optional<Message> classify(std::span<const std::uint8_t> message);
// Nothing unless the message is a header of 21 bytes ending in F7.
std::optional<DumpHeader> decodeHeader(std::span<const std::uint8_t> message);

struct DecodedPacket {
    std::uint8_t number = 0;
    bool checksumOk = false;
    std::array<std::int16_t, kWordsPerPacket> words{};
};
// Nothing unless the message is a data packet of 127 bytes.
std::optional<DecodedPacket> decodePacket(std::span<const std::uint8_t> message);

// The next packet number: 0 to 127, then 0 again.
inline std::uint8_t nextPacketNumber(std::uint8_t number) {
    return static_cast<std::uint8_t>((number + 1) & 0x7F);
}

// Bytes on a DIN MIDI cable take 10 bits at 31,250 baud: 320 µs each.
inline constexpr double kDinSecondsPerByte = 10.0 / 31250.0;

} // namespace sds
} // namespace tolvane
