#include "samplers/SdsCodec.h"

#include <algorithm>

namespace tolvane::sds {
namespace {

constexpr std::uint8_t kSysex = 0xF0;
constexpr std::uint8_t kEndOfSysex = 0xF7;

void put7(Bytes& out, std::uint32_t value, int groups) {
    for (int i = 0; i < groups; ++i)
        out.push_back(static_cast<std::uint8_t>((value >> (7 * i)) & 0x7F));
}

std::uint32_t get7(const std::uint8_t* bytes, int groups) {
    std::uint32_t value = 0;
    for (int i = groups - 1; i >= 0; --i)
        value = (value << 7) | (bytes[i] & 0x7F);
    return value;
}

Bytes start(std::uint8_t channel, Op op) {
    return {kSysex, kNonRealTime, static_cast<std::uint8_t>(channel & 0x7F),
            static_cast<std::uint8_t>(op)};
}

} // namespace

std::array<std::uint8_t, 3> packWord(std::int16_t word) {
    const auto u = static_cast<std::uint16_t>(static_cast<std::uint16_t>(word) ^ 0x8000u);
    return {static_cast<std::uint8_t>((u >> 9) & 0x7F), static_cast<std::uint8_t>((u >> 2) & 0x7F),
            static_cast<std::uint8_t>((u & 3) << 5)};
}

std::int16_t unpackWord(const std::uint8_t* bytes) {
    const auto u = static_cast<std::uint16_t>((bytes[0] & 0x7F) << 9 | (bytes[1] & 0x7F) << 2 |
                                              (bytes[2] & 0x60) >> 5);
    return static_cast<std::int16_t>(u ^ 0x8000u);
}

std::uint8_t packetChecksum(std::span<const std::uint8_t> packet) {
    std::uint8_t sum = 0;
    const std::size_t end = std::min<std::size_t>(packet.size(), 5 + kPacketDataBytes);
    for (std::size_t i = 1; i < end; ++i)
        sum ^= packet[i];
    return sum & 0x7F;
}

Bytes encodeHeader(std::uint8_t channel, const DumpHeader& h) {
    Bytes m = start(channel, Op::Header);
    m.reserve(kHeaderSize);
    put7(m, static_cast<std::uint32_t>(h.sampleNumber), 2);
    m.push_back(h.bits & 0x7F);
    put7(m, h.periodNs, 3);
    put7(m, h.lengthWords, 3);
    put7(m, h.loopStart, 3);
    put7(m, h.loopEnd, 3);
    m.push_back(h.loopType & 0x7F);
    m.push_back(kEndOfSysex);
    return m;
}

Bytes encodePacket(std::uint8_t channel, std::uint8_t packetNumber,
                   std::span<const std::int16_t> words) {
    Bytes m = start(channel, Op::Packet);
    m.reserve(kPacketSize);
    m.push_back(packetNumber & 0x7F);
    for (std::int16_t w : words.first(std::min(words.size(), kWordsPerPacket))) {
        const auto three = packWord(w);
        m.insert(m.end(), three.begin(), three.end());
    }
    m.resize(5 + kPacketDataBytes, 0);
    m.push_back(packetChecksum(m));
    m.push_back(kEndOfSysex);
    return m;
}

Bytes encodeRequest(std::uint8_t channel, int sampleNumber) {
    Bytes m = start(channel, Op::Request);
    put7(m, static_cast<std::uint32_t>(sampleNumber), 2);
    m.push_back(kEndOfSysex);
    return m;
}

Bytes encodeReply(Op op, std::uint8_t channel, std::uint8_t packetNumber) {
    Bytes m = start(channel, op);
    m.push_back(packetNumber & 0x7F);
    m.push_back(kEndOfSysex);
    return m;
}

std::optional<Message> classify(std::span<const std::uint8_t> m) {
    if (m.size() < 6 || m[0] != kSysex || m[1] != kNonRealTime || m.back() != kEndOfSysex)
        return std::nullopt;
    Message message;
    message.channel = m[2];
    switch (m[3]) {
    case static_cast<std::uint8_t>(Op::Header):
        if (m.size() != kHeaderSize)
            return std::nullopt;
        message.op = Op::Header;
        return message;
    case static_cast<std::uint8_t>(Op::Packet):
        if (m.size() != kPacketSize)
            return std::nullopt;
        message.op = Op::Packet;
        message.packet = m[4];
        return message;
    case static_cast<std::uint8_t>(Op::Request):
        if (m.size() != 7)
            return std::nullopt;
        message.op = Op::Request;
        return message;
    case static_cast<std::uint8_t>(Op::Ack):
    case static_cast<std::uint8_t>(Op::Nak):
    case static_cast<std::uint8_t>(Op::Cancel):
    case static_cast<std::uint8_t>(Op::Wait):
        if (m.size() != 6)
            return std::nullopt;
        message.op = static_cast<Op>(m[3]);
        message.packet = m[4];
        return message;
    default:
        return std::nullopt;
    }
}

std::optional<DumpHeader> decodeHeader(std::span<const std::uint8_t> m) {
    const auto kind = classify(m);
    if (!kind || kind->op != Op::Header)
        return std::nullopt;
    DumpHeader h;
    h.sampleNumber = static_cast<int>(get7(&m[4], 2));
    h.bits = m[6];
    h.periodNs = get7(&m[7], 3);
    h.lengthWords = get7(&m[10], 3);
    h.loopStart = get7(&m[13], 3);
    h.loopEnd = get7(&m[16], 3);
    h.loopType = m[19];
    return h;
}

std::optional<DecodedPacket> decodePacket(std::span<const std::uint8_t> m) {
    const auto kind = classify(m);
    if (!kind || kind->op != Op::Packet)
        return std::nullopt;
    DecodedPacket p;
    p.number = m[4];
    p.checksumOk = packetChecksum(m) == m[5 + kPacketDataBytes];
    for (std::size_t i = 0; i < kWordsPerPacket; ++i)
        p.words[i] = unpackWord(&m[5 + 3 * i]);
    return p;
}

} // namespace tolvane::sds
