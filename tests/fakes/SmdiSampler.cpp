#include "fakes/SmdiSampler.h"

#include <algorithm>
#include <utility>

namespace tolvane::test {
namespace {

constexpr std::uint16_t kNoMessage = 0x0000, kIdentify = 0x0001, kReject = 0x0002;
constexpr std::uint16_t kAck = 0x0100, kSendNextPacket = 0x0103, kEndOfProcedure = 0x0104;
constexpr std::uint16_t kAbort = 0x0105, kDataPacket = 0x0110;
constexpr std::uint16_t kHeaderRequest = 0x0120, kSampleHeader = 0x0121;
constexpr std::uint16_t kBeginTransfer = 0x0122, kDeleteSample = 0x0124;
constexpr std::uint16_t kRejectNoSample = 0x0020, kRejectUnknown = 0x0001;

std::uint32_t be(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

void putBe(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> reject(std::uint16_t code, std::uint16_t sub) {
    std::vector<std::uint8_t> data;
    putBe(data, code, 2);
    putBe(data, sub, 2);
    return SmdiSampler::message(kReject, 0, data);
}

} // namespace

SmdiSampler::SmdiSampler(const std::string& socketPath)
    : m_target(socketPath, [this](const ScsiCommand& c, ScsiAnswer& a) { return handle(c, a); }) {}

void SmdiSampler::store(int number, SmdiSample sample) {
    std::lock_guard lock(m_mutex);
    m_samples[number] = std::move(sample);
}

std::optional<SmdiSample> SmdiSampler::sample(int number) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_samples.find(number);
    if (found == m_samples.end())
        return std::nullopt;
    return found->second;
}

std::vector<std::uint8_t> SmdiSampler::message(std::uint16_t id, std::uint16_t sub,
                                               const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> m = {'S', 'M', 'D', 'I'};
    putBe(m, id, 2);
    putBe(m, sub, 2);
    putBe(m, static_cast<std::uint32_t>(data.size()), 3);
    m.insert(m.end(), data.begin(), data.end());
    return m;
}

std::vector<std::uint8_t> SmdiSampler::headerData(int number, const SmdiSample& s) {
    std::vector<std::uint8_t> d;
    putBe(d, static_cast<std::uint32_t>(number), 3);
    d.push_back(s.bitsPerWord);
    d.push_back(s.channels);
    putBe(d, s.periodNs, 3);
    putBe(d, s.lengthWords, 4);
    putBe(d, s.loopStart, 4);
    putBe(d, s.loopEnd, 4);
    d.push_back(s.loopControl);
    putBe(d, s.pitchInteger, 2);
    putBe(d, s.pitchFraction, 2);
    d.push_back(static_cast<std::uint8_t>(s.name.size()));
    d.insert(d.end(), s.name.begin(), s.name.end());
    return d;
}

SocketScsiTarget::Reply SmdiSampler::handle(const ScsiCommand& command, ScsiAnswer& answer) {
    std::lock_guard lock(m_mutex);
    switch (command.cdb.empty() ? 0xFF : command.cdb[0]) {
    case 0x00: // TEST UNIT READY
        break;
    case 0x12: // INQUIRY
        answer.dataIn = inquiryData(3, "TOLVANE", "SMDI SAMPLER", "1.0");
        break;
    case 0x0A: // SEND: one SMDI message
        m_waiting = answerTo(command.dataOut);
        break;
    case 0x08: // RECEIVE: the answer waiting, once
        answer.dataIn = m_waiting.empty() ? message(kNoMessage, 0) : std::exchange(m_waiting, {});
        break;
    default:
        answer.status = 0x02; // check condition: illegal request
        answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x20, 0};
    }
    return SocketScsiTarget::Reply::Answer;
}

std::vector<std::uint8_t> SmdiSampler::answerTo(const std::vector<std::uint8_t>& m) {
    if (m.size() < 11 || !std::equal(m.begin(), m.begin() + 4, "SMDI"))
        return reject(kRejectUnknown, 0);
    const std::uint16_t id = static_cast<std::uint16_t>(be(&m[4], 2));
    const std::uint16_t sub = static_cast<std::uint16_t>(be(&m[6], 2));
    const std::uint32_t length = be(&m[8], 3);
    if (m.size() != 11 + length)
        return reject(kRejectUnknown, 1);
    const std::uint8_t* d = m.data() + 11;
    if (id == kIdentify && sub == 0)
        return message(kIdentify, 1);
    if (id == kHeaderRequest && length >= 3) {
        const int number = static_cast<int>(be(d, 3));
        const auto found = m_samples.find(number);
        if (found == m_samples.end())
            return reject(kRejectNoSample, 2);
        return message(kSampleHeader, 0, headerData(number, found->second));
    }
    if (id == kSampleHeader && length >= 30) {
        SmdiSample s;
        const int number = static_cast<int>(be(d, 3));
        s.bitsPerWord = d[3];
        s.channels = d[4];
        s.periodNs = be(d + 5, 3);
        s.lengthWords = be(d + 8, 4);
        s.loopStart = be(d + 12, 4);
        s.loopEnd = be(d + 16, 4);
        s.loopControl = d[20];
        s.pitchInteger = static_cast<std::uint16_t>(be(d + 21, 2));
        s.pitchFraction = static_cast<std::uint16_t>(be(d + 23, 2));
        const std::size_t nameLength = std::min<std::size_t>(d[25], length - 26);
        s.name.assign(reinterpret_cast<const char*>(d + 26), nameLength);
        m_incoming = std::make_pair(number, std::move(s));
        return message(kAck, 0);
    }
    if (id == kBeginTransfer && length >= 6) {
        const int number = static_cast<int>(be(d, 3));
        m_packetLength = std::max<std::uint32_t>(be(d + 3, 3), 1);
        std::vector<std::uint8_t> packet;
        putBe(packet, 0, 3);
        if (m_incoming && m_incoming->first == number)
            return message(kSendNextPacket, 0, packet);
        if (!m_samples.contains(number))
            return reject(kRejectNoSample, 2);
        m_outgoing = number;
        return dataPacket(0);
    }
    if (id == kDataPacket && length >= 3 && m_incoming) {
        const std::uint32_t packet = be(d, 3);
        SmdiSample& s = m_incoming->second;
        if (packet * m_packetLength != s.data.size())
            return reject(kRejectUnknown, 3); // out of order
        s.data.insert(s.data.end(), d + 3, d + length);
        const std::size_t total =
            std::size_t(s.lengthWords) * s.channels * ((s.bitsPerWord + 7) / 8);
        if (s.data.size() >= total) {
            s.data.resize(total);
            m_samples[m_incoming->first] = std::move(s);
            m_incoming.reset();
            return message(kEndOfProcedure, 0);
        }
        std::vector<std::uint8_t> next;
        putBe(next, packet + 1, 3);
        return message(kSendNextPacket, 0, next);
    }
    if (id == kSendNextPacket && length >= 3 && m_outgoing >= 0)
        return dataPacket(be(d, 3));
    if (id == kAbort) {
        m_incoming.reset();
        m_outgoing = -1;
        return message(kAck, 0);
    }
    if (id == kDeleteSample && length >= 3) {
        m_samples.erase(static_cast<int>(be(d, 3)));
        return message(kAck, 0);
    }
    return reject(kRejectUnknown, 0);
}

std::vector<std::uint8_t> SmdiSampler::dataPacket(std::uint32_t packet) {
    const std::vector<std::uint8_t>& data = m_samples[m_outgoing].data;
    const std::size_t from = std::size_t(packet) * m_packetLength;
    if (from >= data.size()) {
        m_outgoing = -1;
        return message(kEndOfProcedure, 0);
    }
    std::vector<std::uint8_t> out;
    putBe(out, packet, 3);
    const std::size_t to = std::min(data.size(), from + m_packetLength);
    out.insert(out.end(), data.begin() + static_cast<long>(from),
               data.begin() + static_cast<long>(to));
    return message(kDataPacket, 0, out);
}

} // namespace tolvane::test
