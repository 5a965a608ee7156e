#include "fakes/SdsSampler.h"

#include <rtmidi/RtMidi.h>
#include <utility>

namespace tolvane::test {
namespace {

constexpr std::uint8_t kNonRealTime = 0x7E;
constexpr std::uint8_t kHeader = 0x01, kPacket = 0x02, kRequest = 0x03;
constexpr std::uint8_t kAck = 0x7F, kNak = 0x7E, kCancel = 0x7D, kWait = 0x7C;
constexpr std::size_t kPacketData = 120;

void put7(std::vector<std::uint8_t>& out, std::uint32_t v, int groups) {
    for (int i = 0; i < groups; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (7 * i) & 0x7F));
}

std::uint32_t get7(const std::uint8_t* p, int groups) {
    std::uint32_t v = 0;
    for (int i = groups - 1; i >= 0; --i)
        v = v << 7 | p[i];
    return v;
}

std::uint8_t checksum(const std::vector<std::uint8_t>& m, std::size_t end) {
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < end; ++i)
        sum ^= m[i];
    return sum & 0x7F;
}

} // namespace

SdsSampler::SdsSampler(const std::string& name, std::uint8_t channel)
    : m_name(name), m_channel(channel) {
    try {
        m_out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, name + "-out");
        m_out->openVirtualPort("out");
        m_in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, name + "-in", 1024);
        m_in->ignoreTypes(false, true, true);
        m_in->setCallback(&SdsSampler::received, this);
        m_in->openVirtualPort("in");
        m_ok = true;
    } catch (const RtMidiError&) {
        m_ok = false;
    }
}

SdsSampler::~SdsSampler() {
    if (m_in) {
        m_in->closePort();
        m_in->cancelCallback();
    }
}

std::string SdsSampler::inputPort() const {
    return m_name + "-in:in";
}

std::string SdsSampler::outputPort() const {
    return m_name + "-out:out";
}

void SdsSampler::store(int number, SdsSample sample) {
    std::lock_guard lock(m_mutex);
    m_samples[number] = std::move(sample);
}

std::optional<SdsSample> SdsSampler::sample(int number) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_samples.find(number);
    return found == m_samples.end() ? std::nullopt : std::optional<SdsSample>(found->second);
}

int SdsSampler::naksSent() const {
    std::lock_guard lock(m_mutex);
    return m_naks;
}

std::vector<std::uint8_t> SdsSampler::dumpHeader(std::uint8_t channel, int number,
                                                 const SdsSample& s) {
    std::vector<std::uint8_t> m;
    m.reserve(21);
    m.insert(m.end(), {0xF0, kNonRealTime, channel, kHeader});
    put7(m, static_cast<std::uint32_t>(number), 2);
    m.push_back(s.bits);
    put7(m, s.periodNs, 3);
    put7(m, s.lengthWords, 3);
    put7(m, s.loopStart, 3);
    put7(m, s.loopEnd, 3);
    m.push_back(s.loopType);
    m.push_back(0xF7);
    return m;
}

std::vector<std::uint8_t> SdsSampler::dataPacket(std::uint8_t channel, std::uint8_t packet,
                                                 const std::uint8_t* bytes) {
    std::vector<std::uint8_t> m;
    m.reserve(127);
    m.insert(m.end(),
             {0xF0, kNonRealTime, channel, kPacket, static_cast<std::uint8_t>(packet & 0x7F)});
    m.insert(m.end(), bytes, bytes + kPacketData);
    m.push_back(checksum(m, m.size()));
    m.push_back(0xF7);
    return m;
}

std::vector<std::uint8_t> SdsSampler::packedWords(const std::vector<std::int16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::int16_t w : words) {
        const std::uint32_t u = static_cast<std::uint16_t>(w ^ std::int16_t(-0x8000)); // offset
        bytes.push_back(static_cast<std::uint8_t>(u >> 9 & 0x7F));
        bytes.push_back(static_cast<std::uint8_t>(u >> 2 & 0x7F));
        bytes.push_back(static_cast<std::uint8_t>(u << 5 & 0x60));
    }
    bytes.resize((bytes.size() + kPacketData - 1) / kPacketData * kPacketData, 0);
    return bytes;
}

void SdsSampler::received(double, std::vector<unsigned char>* message, void* self) {
    static_cast<SdsSampler*>(self)->handle({message->begin(), message->end()});
}

void SdsSampler::send(std::vector<std::uint8_t> message) {
    m_out->sendMessage(&message);
}

void SdsSampler::handle(const std::vector<std::uint8_t>& m) {
    std::lock_guard lock(m_mutex);
    if (m.size() < 6 || m[0] != 0xF0 || m[1] != kNonRealTime || (m[2] != m_channel && m[2] != 0x7F))
        return;
    switch (m[3]) {
    case kHeader: {
        if (m.size() < 21)
            return;
        SdsSample s;
        s.bits = m[6];
        s.periodNs = get7(&m[7], 3);
        s.lengthWords = get7(&m[10], 3);
        s.loopStart = get7(&m[13], 3);
        s.loopEnd = get7(&m[16], 3);
        s.loopType = m[19];
        m_incoming = std::make_pair(static_cast<int>(get7(&m[4], 2)), s);
        m_incomingBytes.clear();
        if (handshake)
            send({0xF0, kNonRealTime, m_channel, kAck, 0, 0xF7});
        return;
    }
    case kPacket: {
        if (m.size() != 127 || !m_incoming)
            return;
        const std::uint8_t packet = m[4];
        if (checksum(m, 125) != m[125]) {
            ++m_naks;
            if (handshake)
                send({0xF0, kNonRealTime, m_channel, kNak, packet, 0xF7});
            return;
        }
        m_incomingBytes.insert(m_incomingBytes.end(), m.begin() + 5, m.begin() + 125);
        if (handshake)
            send({0xF0, kNonRealTime, m_channel, kAck, packet, 0xF7});
        SdsSample& s = m_incoming->second;
        if (m_incomingBytes.size() >= std::size_t(s.lengthWords) * 3) {
            for (std::uint32_t i = 0; i < s.lengthWords; ++i) {
                const std::uint8_t* b = &m_incomingBytes[std::size_t(i) * 3];
                const auto u = static_cast<std::uint16_t>(b[0] << 9 | b[1] << 2 | b[2] >> 5);
                s.words.push_back(static_cast<std::int16_t>(u ^ 0x8000));
            }
            m_samples[m_incoming->first] = std::move(s);
            m_incoming.reset();
        }
        return;
    }
    case kRequest: {
        const int number = static_cast<int>(get7(&m[4], 2));
        const auto found = m_samples.find(number);
        if (found == m_samples.end())
            return;
        m_outgoingBytes = packedWords(found->second.words);
        m_outgoingPackets = 0;
        send(dumpHeader(m_channel, number, found->second));
        return;
    }
    case kAck:
    case kNak: {
        if (m_outgoingBytes.empty())
            return;
        // An ACK for the header (packet 0 before any was sent) or a packet asks for the next;
        // a NAK for the one named again.
        std::size_t next = m_outgoingPackets;
        if (m[3] == kNak && m_outgoingPackets > 0)
            next = m_outgoingPackets - 1;
        if (next * kPacketData >= m_outgoingBytes.size()) {
            m_outgoingBytes.clear();
            return;
        }
        sendPacket(next);
        m_outgoingPackets = next + 1;
        return;
    }
    case kCancel:
        m_outgoingBytes.clear();
        m_incoming.reset();
        return;
    case kWait:
    default:
        return;
    }
}

void SdsSampler::sendPacket(std::size_t index) {
    std::vector<std::uint8_t> m = dataPacket(m_channel, static_cast<std::uint8_t>(index & 0x7F),
                                             &m_outgoingBytes[index * kPacketData]);
    if (std::exchange(corruptNextChecksum, false))
        m[125] ^= 0x01;
    send(std::move(m));
}

} // namespace tolvane::test
