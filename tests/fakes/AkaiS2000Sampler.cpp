#include "fakes/AkaiS2000Sampler.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tolvane::test {
namespace {

constexpr std::uint8_t kAkai = 0x47, kModel = 0x48;
constexpr std::uint8_t kRstat = 0x00, kStat = 0x01, kRplist = 0x02, kPlist = 0x03;
constexpr std::uint8_t kRslist = 0x04, kSlist = 0x05;
const std::string kAkaiCharacters = "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ#+-.";

void checkCondition(ScsiAnswer& answer) {
    answer.status = 0x02;
    answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x2C, 0};
}

} // namespace

AkaiS2000Sampler::AkaiS2000Sampler(const std::string& socketPath)
    : m_target(socketPath, [this](const ScsiCommand& c, ScsiAnswer& a) { return handle(c, a); }) {}

bool AkaiS2000Sampler::exclusiveMode() const {
    std::lock_guard lock(m_mutex);
    return m_exclusive;
}

std::vector<std::vector<std::uint8_t>> AkaiS2000Sampler::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::uint8_t> AkaiS2000Sampler::akaiName(const std::string& name) {
    std::vector<std::uint8_t> chars;
    for (std::size_t i = 0; i < 12; ++i) {
        const char c = i < name.size() ? static_cast<char>(std::toupper(name[i])) : ' ';
        const std::size_t at = kAkaiCharacters.find(c);
        chars.push_back(static_cast<std::uint8_t>(at == std::string::npos ? 10 : at));
    }
    return chars;
}

std::string AkaiS2000Sampler::fromAkaiName(const std::uint8_t* chars) {
    std::string name;
    for (int i = 0; i < 12; ++i)
        name += chars[i] < kAkaiCharacters.size() ? kAkaiCharacters[chars[i]] : '?';
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

SocketScsiTarget::Reply AkaiS2000Sampler::handle(const ScsiCommand& command, ScsiAnswer& reply) {
    std::lock_guard lock(m_mutex);
    const std::uint8_t op = command.cdb.empty() ? 0xFF : command.cdb[0];
    const std::uint32_t length = command.cdb.size() >= 5
                                     ? std::uint32_t(command.cdb[2]) << 16 |
                                           std::uint32_t(command.cdb[3]) << 8 | command.cdb[4]
                                     : 0;
    switch (op) {
    case 0x00: // TEST UNIT READY
        break;
    case 0x12: // INQUIRY
        reply.dataIn = inquiryData(3, "AKAI", "S2000", "2.00");
        break;
    case 0x09:
        m_exclusive = command.cdb.size() >= 5 && (command.cdb[4] & 1);
        if (!m_exclusive)
            m_out.clear();
        break;
    case 0x0C: {
        if (!m_exclusive) {
            checkCondition(reply);
            break;
        }
        // One or more SysEx messages, F0 … F7 each.
        std::vector<std::uint8_t> message;
        for (std::uint8_t b : command.dataOut) {
            if (b == 0xF0)
                message.clear();
            message.push_back(b);
            if (b == 0xF7)
                takeSysEx(std::exchange(message, {}));
        }
        break;
    }
    case 0x0D:
        if (!m_exclusive) {
            checkCondition(reply);
            break;
        }
        reply.dataIn = {static_cast<std::uint8_t>(m_out.size() >> 16),
                        static_cast<std::uint8_t>(m_out.size() >> 8),
                        static_cast<std::uint8_t>(m_out.size())};
        break;
    case 0x0E: {
        if (!m_exclusive) {
            checkCondition(reply);
            break;
        }
        const std::size_t n = std::min<std::size_t>(length, m_out.size());
        reply.dataIn.assign(m_out.begin(), m_out.begin() + static_cast<long>(n));
        m_out.erase(m_out.begin(), m_out.begin() + static_cast<long>(n));
        break;
    }
    default:
        checkCondition(reply);
    }
    return SocketScsiTarget::Reply::Answer;
}

void AkaiS2000Sampler::takeSysEx(const std::vector<std::uint8_t>& m) {
    if (m.size() >= 6 && m[1] == kAkai && m[4] == kModel) {
        const std::uint8_t channel = m[2];
        switch (m[3]) {
        case kRstat:
            answer(channel, kStat, {0, 0, 0, 0, 0, 0, 0, 0});
            return;
        case kRslist:
            answer(channel, kSlist, nameList(sampleNames));
            return;
        case kRplist:
            answer(channel, kPlist, nameList(programNames));
            return;
        default:
            break;
        }
    }
    m_received.push_back(m);
}

void AkaiS2000Sampler::answer(std::uint8_t channel, std::uint8_t op,
                              const std::vector<std::uint8_t>& data) {
    const std::vector<std::uint8_t> head = {0xF0, kAkai, channel, op, kModel};
    m_out.insert(m_out.end(), head.begin(), head.end());
    m_out.insert(m_out.end(), data.begin(), data.end());
    m_out.push_back(0xF7);
}

std::vector<std::uint8_t> AkaiS2000Sampler::nameList(const std::vector<std::string>& names) const {
    std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(names.size() & 0x7F),
                                      static_cast<std::uint8_t>(names.size() >> 7 & 0x7F)};
    for (const std::string& name : names) {
        const auto chars = akaiName(name);
        data.insert(data.end(), chars.begin(), chars.end());
    }
    return data;
}

} // namespace tolvane::test
