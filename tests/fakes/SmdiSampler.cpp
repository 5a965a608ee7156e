#include "fakes/SmdiSampler.h"

#include <algorithm>
#include <utility>

namespace tolvane::test {
namespace {

// Rejection codes and sub-codes.
constexpr std::uint16_t kRejectGeneral = 0x0002, kRejectPacketMismatch = 0x0011,
                        kRejectSample = 0x0020, kSubNoSample = 0x0002;
// Additional sense codes of a refused SEND or RECEIVE.
constexpr std::uint8_t kSenseReplyPending = 0x80, kSenseNoReplyPending = 0x81;

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
    return SmdiSampler::message(SmdiSampler::kReject, 0, data);
}

std::vector<std::uint8_t> numbered(std::uint16_t id, std::uint16_t sub, std::uint32_t number) {
    std::vector<std::uint8_t> data;
    putBe(data, number, 3);
    return SmdiSampler::message(id, sub, data);
}

void checkCondition(ScsiAnswer& answer, std::uint8_t additionalSense) {
    answer.status = 0x02;
    answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, additionalSense, 0};
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

void SmdiSampler::setPacketLength(std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    m_maxPacketLength = std::max<std::uint32_t>(bytes, 1);
}

void SmdiSampler::rejectAt(std::uint16_t id, int occurrence, std::uint16_t code,
                           std::uint16_t sub) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back({Fault::Kind::Reject, id, occurrence, code, sub, 0, 0});
}

void SmdiSampler::waitAt(std::uint16_t id, int occurrence, int busyPolls, int repeats) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back({Fault::Kind::Wait, id, occurrence, 0, 0, busyPolls, repeats});
}

void SmdiSampler::abortAt(std::uint16_t id, int occurrence) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back({Fault::Kind::Abort, id, occurrence, 0, 0, 0, 0});
}

void SmdiSampler::dropPacket(std::uint32_t packet) {
    std::lock_guard lock(m_mutex);
    m_drops.push_back(packet);
}

void SmdiSampler::setSilent(bool silent) {
    std::lock_guard lock(m_mutex);
    m_silent = silent;
}

void SmdiSampler::silentAt(std::uint16_t id, int occurrence) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back({Fault::Kind::Silence, id, occurrence, 0, 0, 0, 0});
}

bool SmdiSampler::silent() const {
    std::lock_guard lock(m_mutex);
    return m_silent;
}

std::vector<std::pair<std::uint16_t, std::uint16_t>> SmdiSampler::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

int SmdiSampler::violations() const {
    std::lock_guard lock(m_mutex);
    return m_violations;
}

int SmdiSampler::testUnitReadyCount() const {
    std::lock_guard lock(m_mutex);
    return m_testUnitReady;
}

bool SmdiSampler::busy() const {
    std::lock_guard lock(m_mutex);
    return m_incoming.has_value() || m_outgoing >= 0 || !m_pending.empty();
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
    d.push_back(s.pitchInteger);
    putBe(d, s.pitchFraction, 3);
    d.push_back(s.nameLengthOverride.value_or(static_cast<std::uint8_t>(s.name.size())));
    d.insert(d.end(), s.name.begin(), s.name.end());
    return d;
}

SocketScsiTarget::Reply SmdiSampler::handle(const ScsiCommand& command, ScsiAnswer& answer) {
    std::lock_guard lock(m_mutex);
    if (m_silent)
        return SocketScsiTarget::Reply::Hang;
    switch (command.cdb.empty() ? 0xFF : command.cdb[0]) {
    case 0x00: // TEST UNIT READY: BUSY while a Wait is being worked off
        ++m_testUnitReady;
        if (m_busyPolls != 0) {
            if (m_busyPolls > 0)
                --m_busyPolls;
            answer.status = 0x08;
        }
        break;
    case 0x12: // INQUIRY
        answer.dataIn = inquiryData(3, "TOLVANE", "SMDI SAMPLER", "1.0");
        break;
    case 0x0A: // SEND: one SMDI message, only when no reply waits to be fetched
        if (!m_pending.empty()) {
            ++m_violations;
            checkCondition(answer, kSenseReplyPending);
        } else {
            m_pending = answerTo(command.dataOut);
            if (m_silent) // it fell silent at this message
                return SocketScsiTarget::Reply::Hang;
        }
        break;
    case 0x08: { // RECEIVE: the pending reply, once
        if (m_pending.empty()) {
            ++m_violations;
            checkCondition(answer, kSenseNoReplyPending);
            break;
        }
        answer.dataIn = std::exchange(m_pending, {});
        const bool gaveWait = be(&answer.dataIn[4], 2) == kWait;
        if (gaveWait && m_waitRepeats != 0) {
            if (m_waitRepeats > 0)
                --m_waitRepeats;
            m_pending = message(kWait, 0);
        } else if (gaveWait) {
            m_pending = std::exchange(m_held, {});
        }
        break;
    }
    default:
        checkCondition(answer, 0x20); // invalid command operation code
    }
    return SocketScsiTarget::Reply::Answer;
}

std::vector<std::uint8_t> SmdiSampler::answerTo(const std::vector<std::uint8_t>& m) {
    if (m.size() < 11 || !std::equal(m.begin(), m.begin() + 4, "SMDI"))
        return reject(kRejectGeneral, 0);
    const auto id = static_cast<std::uint16_t>(be(&m[4], 2));
    const auto sub = static_cast<std::uint16_t>(be(&m[6], 2));
    const std::uint32_t length = be(&m[8], 3);
    if (m.size() != 11 + std::size_t(length))
        return reject(kRejectGeneral, 1);
    m_received.emplace_back(id, sub);
    const int occurrence = m_seen[id]++;
    const auto fault = std::find_if(m_faults.begin(), m_faults.end(), [&](const Fault& f) {
        return f.id == id && f.occurrence == occurrence;
    });
    if (fault == m_faults.end())
        return protocolAnswer(id, sub, m.data() + 11, length);
    switch (fault->kind) {
    case Fault::Kind::Reject:
        return reject(fault->code, fault->sub);
    case Fault::Kind::Abort:
        m_incoming.reset();
        m_outgoing = -1;
        return message(kAbort, 0);
    case Fault::Kind::Silence:
        m_silent = true;
        return {};
    case Fault::Kind::Wait:
        m_held = protocolAnswer(id, sub, m.data() + 11, length);
        m_busyPolls = fault->busyPolls;
        m_waitRepeats = fault->repeats;
        return message(kWait, 0);
    }
    return reject(kRejectGeneral, 0);
}

std::vector<std::uint8_t> SmdiSampler::protocolAnswer(std::uint16_t id, std::uint16_t sub,
                                                      const std::uint8_t* d, std::uint32_t length) {
    if (id == kIdentify && sub == 0)
        return message(kIdentify, 1);
    if (id == kHeaderRequest && length >= 3) {
        const int number = static_cast<int>(be(d, 3));
        const auto found = m_samples.find(number);
        if (found == m_samples.end())
            return reject(kRejectSample, kSubNoSample);
        return message(kSampleHeader, 0, headerData(number, found->second));
    }
    if (id == kSampleHeader && sub == 0 && length >= 26) {
        SmdiSample s;
        const int number = static_cast<int>(be(d, 3));
        s.bitsPerWord = d[3];
        s.channels = d[4];
        s.periodNs = be(d + 5, 3);
        s.lengthWords = be(d + 8, 4);
        s.loopStart = be(d + 12, 4);
        s.loopEnd = be(d + 16, 4);
        s.loopControl = d[20];
        s.pitchInteger = d[21];
        s.pitchFraction = be(d + 22, 3);
        const std::size_t nameLength = std::min<std::size_t>(d[25], length - 26);
        s.name.assign(reinterpret_cast<const char*>(d + 26), nameLength);
        m_incoming = std::make_pair(number, std::move(s));
        m_incomingBegun = false;
        std::vector<std::uint8_t> ack;
        putBe(ack, static_cast<std::uint32_t>(number), 3);
        putBe(ack, m_maxPacketLength, 3);
        return message(kBeginTransfer, 1, ack);
    }
    if (id == kBeginTransfer && sub == 0 && length >= 6) {
        const int number = static_cast<int>(be(d, 3));
        m_packetLength = std::clamp<std::uint32_t>(be(d + 3, 3), 1, m_maxPacketLength);
        if (m_incoming && m_incoming->first == number) {
            m_incomingBegun = true;
            m_expectedPacket = 0;
            return numbered(kSendNextPacket, 0, 0);
        }
        if (!m_samples.contains(number))
            return reject(kRejectSample, kSubNoSample);
        m_outgoing = number;
        std::vector<std::uint8_t> ack;
        putBe(ack, static_cast<std::uint32_t>(number), 3);
        putBe(ack, m_packetLength, 3);
        return message(kBeginTransfer, 1, ack);
    }
    if (id == kDataPacket && length >= 3 && m_incoming && m_incomingBegun)
        return takeIncomingPacket(d, length);
    if (id == kSendNextPacket && length >= 3 && m_outgoing >= 0)
        return dataPacket(be(d, 3));
    if (id == kAbort) {
        m_incoming.reset();
        m_outgoing = -1;
        return message(kAck, 0);
    }
    if (id == kDeleteSample && length >= 3) {
        m_samples.erase(static_cast<int>(be(d, 3)));
        return message(kEndOfProcedure, 0);
    }
    return reject(kRejectGeneral, 0);
}

std::vector<std::uint8_t> SmdiSampler::takeIncomingPacket(const std::uint8_t* d,
                                                          std::uint32_t length) {
    const std::uint32_t packet = be(d, 3);
    if (packet != m_expectedPacket || length - 3 > m_packetLength)
        return reject(kRejectPacketMismatch, 0);
    const auto drop = std::find(m_drops.begin(), m_drops.end(), packet);
    if (drop != m_drops.end()) { // lost on the way: ask for the same packet again
        m_drops.erase(drop);
        return numbered(kSendNextPacket, 0, packet);
    }
    SmdiSample& s = m_incoming->second;
    s.data.insert(s.data.end(), d + 3, d + length);
    const std::size_t total = std::size_t(s.lengthWords) * s.channels * ((s.bitsPerWord + 7) / 8);
    if (s.data.size() >= total) {
        s.data.resize(total);
        m_samples[m_incoming->first] = std::move(s);
        m_incoming.reset();
        return message(kEndOfProcedure, 0);
    }
    m_expectedPacket = packet + 1;
    return numbered(kSendNextPacket, 0, m_expectedPacket);
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
