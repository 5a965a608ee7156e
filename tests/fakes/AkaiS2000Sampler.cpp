#include "fakes/AkaiS2000Sampler.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tolvane::test {
namespace {

constexpr std::uint8_t kAkai = 0x47, kModel = 0x48;
constexpr std::uint8_t kRstat = 0x00, kStat = 0x01, kRplist = 0x02, kPlist = 0x03;
constexpr std::uint8_t kRslist = 0x04, kSlist = 0x05, kPdata = 0x07, kKdata = 0x09;
constexpr std::uint8_t kRsdata = 0x0A, kSdata = 0x0B, kRspack = 0x0C, kReply = 0x16;
const std::string kAkaiCharacters = "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ#+-.";

// Header offsets of the family's published layouts.
constexpr std::size_t kNameAt = 3;       // program and sample
constexpr std::size_t kGroupsAt = 42;    // program: number of keygroups
constexpr std::size_t kRateValidAt = 15; // sample
constexpr std::size_t kLengthAt = 26;    // sample, 32 bits
constexpr std::size_t kRateAt = 138;     // sample, 16 bits

void checkCondition(ScsiAnswer& answer) {
    answer.status = 0x02;
    answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x2C, 0};
}

std::uint32_t sevenBits(const std::uint8_t* groups, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 7 | (groups[i] & 0x7F);
    return value;
}

std::uint32_t littleEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void putLittleEndian(AkaiS2000Sampler::Header& h, std::size_t at, std::uint32_t value, int n) {
    for (int i = 0; i < n; ++i)
        h[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The header of a header message from `at` on: low/high nibble pairs up to the F7.
AkaiS2000Sampler::Header headerFrom(const std::vector<std::uint8_t>& m, std::size_t at) {
    AkaiS2000Sampler::Header header{};
    for (std::size_t i = 0; i < header.size() && at + 2 * i + 1 < m.size() - 1; ++i)
        header[i] = static_cast<std::uint8_t>((m[at + 2 * i] & 0x0F) | (m[at + 2 * i + 1] << 4));
    return header;
}

std::vector<std::uint8_t> nibbles(const AkaiS2000Sampler::Header& header) {
    std::vector<std::uint8_t> out;
    for (std::uint8_t b : header) {
        out.push_back(b & 0x0F);
        out.push_back(b >> 4);
    }
    return out;
}

} // namespace

std::string AkaiS2000Sampler::Sample::name() const {
    return fromAkaiName(&header[kNameAt]);
}
std::uint32_t AkaiS2000Sampler::Sample::lengthWords() const {
    return littleEndian(&header[kLengthAt], 4);
}
std::uint32_t AkaiS2000Sampler::Sample::rate() const {
    return littleEndian(&header[kRateAt], 2);
}
std::string AkaiS2000Sampler::Program::name() const {
    return fromAkaiName(&header[kNameAt]);
}

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

void AkaiS2000Sampler::addSample(const std::string& name, const std::vector<std::int16_t>& words,
                                 std::uint32_t rate, bool rateValid) {
    std::lock_guard lock(m_mutex);
    Sample sample;
    sample.header[0] = 3;
    sample.header[1] = 1;
    sample.header[2] = 60;
    const auto codes = akaiName(name);
    std::copy(codes.begin(), codes.end(), sample.header.begin() + kNameAt);
    sample.header[kRateValidAt] = rateValid ? 0x80 : 0;
    putLittleEndian(sample.header, kLengthAt, static_cast<std::uint32_t>(words.size()), 4);
    putLittleEndian(sample.header, kRateAt, rate, 2);
    for (std::int16_t w : words) {
        sample.data.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(w) >> 8));
        sample.data.push_back(static_cast<std::uint8_t>(w));
    }
    m_samples.push_back(std::move(sample));
}

void AkaiS2000Sampler::addLyingSample(const std::string& name,
                                      const std::vector<std::int16_t>& words,
                                      std::uint32_t claimedWords) {
    addSample(name, words, 44100);
    std::lock_guard lock(m_mutex);
    putLittleEndian(m_samples.back().header, kLengthAt, claimedWords, 4);
}

void AkaiS2000Sampler::addProgram(const std::string& name) {
    std::lock_guard lock(m_mutex);
    Program program;
    program.header[0] = 1;
    const auto codes = akaiName(name);
    std::copy(codes.begin(), codes.end(), program.header.begin() + kNameAt);
    program.header[kGroupsAt] = 1;
    program.keygroups.resize(1);
    m_programs.push_back(std::move(program));
}

std::vector<AkaiS2000Sampler::Sample> AkaiS2000Sampler::samples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

std::vector<AkaiS2000Sampler::Program> AkaiS2000Sampler::programs() const {
    std::lock_guard lock(m_mutex);
    return m_programs;
}

void AkaiS2000Sampler::setFreeWords(std::uint32_t words) {
    std::lock_guard lock(m_mutex);
    m_maxWords = usedWords() + words;
}

void AkaiS2000Sampler::failDataBlock(int block) {
    std::lock_guard lock(m_mutex);
    m_failBlock = block;
}

void AkaiS2000Sampler::failDataReads(bool on) {
    std::lock_guard lock(m_mutex);
    m_failDataReads = on;
}

void AkaiS2000Sampler::refuseNewSamples(bool on) {
    std::lock_guard lock(m_mutex);
    m_refuseNewSamples = on;
}

void AkaiS2000Sampler::setSilent(bool on) {
    std::lock_guard lock(m_mutex);
    m_silent = on;
}

void AkaiS2000Sampler::setHanging(bool on) {
    std::lock_guard lock(m_mutex);
    m_hanging = on;
}

void AkaiS2000Sampler::waitBeforeAck(int waits) {
    std::lock_guard lock(m_mutex);
    m_waitsBeforeAck = waits;
}

std::vector<std::size_t> AkaiS2000Sampler::dataBlocks() const {
    std::lock_guard lock(m_mutex);
    return m_blocks;
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
    const auto& cdb = command.cdb;
    const std::uint8_t op = cdb.empty() ? 0xFF : cdb[0];
    const std::uint32_t length =
        cdb.size() >= 5 ? std::uint32_t(cdb[2]) << 16 | std::uint32_t(cdb[3]) << 8 | cdb[4] : 0;
    const bool sampleData = cdb.size() >= 6 && (cdb[5] & 0x80);
    const auto answered =
        m_hanging ? SocketScsiTarget::Reply::Hang : SocketScsiTarget::Reply::Answer;
    if ((op == 0x0C || op == 0x0D || op == 0x0E) && !m_exclusive) {
        checkCondition(reply);
        return answered;
    }
    switch (op) {
    case 0x00: // TEST UNIT READY
        break;
    case 0x12: // INQUIRY
        reply.dataIn = inquiryData(3, "AKAI", "S2000", "2.00");
        break;
    case 0x09:
        m_exclusive = cdb.size() >= 4 && (cdb[3] & 1);
        if (!m_exclusive) {
            m_out.clear();
            m_dataOut.clear();
            m_message.clear();
        }
        break;
    case 0x0C:
        if (sampleData)
            takeSampleData(command.dataOut, reply);
        else
            takeBytes(command.dataOut);
        break;
    case 0x0D: {
        const std::size_t waiting = m_silent ? 0 : sampleData ? m_dataOut.size() : m_out.size();
        reply.dataIn = {static_cast<std::uint8_t>(waiting >> 16),
                        static_cast<std::uint8_t>(waiting >> 8),
                        static_cast<std::uint8_t>(waiting)};
        break;
    }
    case 0x0E: {
        if (sampleData && m_failDataReads) {
            checkCondition(reply);
            break;
        }
        auto& queue = sampleData ? m_dataOut : m_out;
        const std::size_t n = std::min<std::size_t>(length, queue.size());
        reply.dataIn.assign(queue.begin(), queue.begin() + static_cast<long>(n));
        queue.erase(queue.begin(), queue.begin() + static_cast<long>(n));
        break;
    }
    default:
        checkCondition(reply);
    }
    return answered;
}

void AkaiS2000Sampler::takeBytes(const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t b : bytes) {
        if (b == 0xF0)
            m_message.clear();
        m_message.push_back(b);
        if (b == 0xF7)
            takeSysEx(std::exchange(m_message, {}));
    }
}

void AkaiS2000Sampler::takeSysEx(const std::vector<std::uint8_t>& m) {
    if (m.size() >= 6 && m[0] == 0xF0 && m[1] == kAkai && m[4] == kModel) {
        m_channel = m[2];
        switch (m[3]) {
        case kRstat:
            answer(kStat, status());
            return;
        case kRslist:
            answer(kSlist, nameList(m_samples));
            return;
        case kRplist:
            answer(kPlist, nameList(m_programs));
            return;
        case kRsdata: {
            const auto n = m.size() >= 8 ? sevenBits(&m[5], 2) : ~0u;
            if (n >= m_samples.size()) {
                reply(false);
                return;
            }
            std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(n & 0x7F),
                                              static_cast<std::uint8_t>(n >> 7 & 0x7F)};
            const auto body = nibbles(m_samples[n].header);
            data.insert(data.end(), body.begin(), body.end());
            answer(kSdata, data);
            return;
        }
        case kSdata:
            if (m.size() >= 8) {
                takeSampleHeader(static_cast<int>(sevenBits(&m[5], 2)), headerFrom(m, 7));
                return;
            }
            break;
        case kPdata:
            if (m.size() >= 8) {
                takeProgram(static_cast<int>(sevenBits(&m[5], 2)), headerFrom(m, 7));
                return;
            }
            break;
        case kKdata:
            if (m.size() >= 9) {
                takeKeygroup(static_cast<int>(sevenBits(&m[5], 2)), m[7], headerFrom(m, 8));
                return;
            }
            break;
        case kRspack:
            if (m.size() >= 18) {
                const auto n = sevenBits(&m[5], 2);
                if (n >= m_samples.size()) {
                    reply(false);
                    return;
                }
                const std::size_t from = 2 * std::size_t(sevenBits(&m[7], 4));
                const std::size_t count = 2 * std::size_t(sevenBits(&m[11], 4));
                const auto& data = m_samples[n].data;
                const std::size_t end = std::min(data.size(), from + count);
                m_dataOut.insert(m_dataOut.end(), data.begin() + static_cast<long>(from),
                                 data.begin() + static_cast<long>(std::max(from, end)));
                return;
            }
            break;
        default:
            break;
        }
    }
    m_received.push_back(m);
}

void AkaiS2000Sampler::takeSampleHeader(int number, const Header& header) {
    const auto n = static_cast<std::size_t>(number);
    const std::uint32_t words = littleEndian(&header[kLengthAt], 4);
    if (n < m_samples.size()) {
        // An existing sample takes new parameters, but keeps its length.
        const bool sameLength = m_samples[n].lengthWords() == words;
        if (sameLength)
            m_samples[n].header = header;
        reply(sameLength);
        return;
    }
    if (m_refuseNewSamples || words > m_maxWords - usedWords()) {
        reply(false);
        return;
    }
    const std::string name = fromAkaiName(&header[kNameAt]);
    std::erase_if(m_samples, [&](const Sample& s) { return s.name() == name; });
    m_samples.push_back({header, {}});
    m_receiving = static_cast<int>(m_samples.size()) - 1;
    m_blocks.clear();
    // As after a sample dump header: the handshake's ACK for packet 0, after any WAITs.
    const std::uint8_t wait[] = {0xF0, 0x7E, m_channel, 0x7C, 0x00, 0xF7};
    for (int i = 0; i < m_waitsBeforeAck; ++i)
        m_out.insert(m_out.end(), std::begin(wait), std::end(wait));
    const std::uint8_t ack[] = {0xF0, 0x7E, m_channel, 0x7F, 0x00, 0xF7};
    m_out.insert(m_out.end(), std::begin(ack), std::end(ack));
}

void AkaiS2000Sampler::takeSampleData(const std::vector<std::uint8_t>& bytes, ScsiAnswer& answer) {
    const auto block = static_cast<int>(m_blocks.size());
    m_blocks.push_back(bytes.size());
    if (block == m_failBlock || m_receiving < 0) {
        checkCondition(answer);
        return;
    }
    Sample& sample = m_samples[static_cast<std::size_t>(m_receiving)];
    sample.data.insert(sample.data.end(), bytes.begin(), bytes.end());
    if (sample.data.size() >= 2 * std::size_t(sample.lengthWords()))
        m_receiving = -1;
}

void AkaiS2000Sampler::takeProgram(int number, const Header& header) {
    const std::string name = fromAkaiName(&header[kNameAt]);
    if (static_cast<std::size_t>(number) < m_programs.size()) {
        m_programs[static_cast<std::size_t>(number)].header = header;
        reply(true);
        return;
    }
    // A new program: one of the same name goes first; it starts with GROUPS dummy keygroups.
    std::erase_if(m_programs, [&](const Program& p) { return p.name() == name; });
    Program program{header, {}};
    program.keygroups.resize(std::max<std::size_t>(1, header[kGroupsAt]));
    program.header[kGroupsAt] = static_cast<std::uint8_t>(program.keygroups.size());
    m_programs.push_back(std::move(program));
    m_lastCreatedProgram = static_cast<int>(m_programs.size()) - 1;
    reply(true);
}

void AkaiS2000Sampler::takeKeygroup(int number, int keygroup, const Header& header) {
    const int index = number == 255 ? m_lastCreatedProgram : number;
    if (index < 0 || static_cast<std::size_t>(index) >= m_programs.size()) {
        reply(false);
        return;
    }
    Program& program = m_programs[static_cast<std::size_t>(index)];
    if (static_cast<std::size_t>(keygroup) < program.keygroups.size())
        program.keygroups[static_cast<std::size_t>(keygroup)] = header;
    else
        program.keygroups.push_back(header);
    program.header[kGroupsAt] = static_cast<std::uint8_t>(program.keygroups.size());
    reply(true);
}

void AkaiS2000Sampler::answer(std::uint8_t op, const std::vector<std::uint8_t>& data) {
    const std::vector<std::uint8_t> head = {0xF0, kAkai, m_channel, op, kModel};
    m_out.insert(m_out.end(), head.begin(), head.end());
    m_out.insert(m_out.end(), data.begin(), data.end());
    m_out.push_back(0xF7);
}

void AkaiS2000Sampler::reply(bool ok) {
    answer(kReply, {static_cast<std::uint8_t>(ok ? 0 : 1)});
}

std::vector<std::uint8_t> AkaiS2000Sampler::status() const {
    const auto groups = [](std::vector<std::uint8_t>& out, std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(static_cast<std::uint8_t>(value >> (7 * i) & 0x7F));
    };
    std::vector<std::uint8_t> data = {0x00, 0x02}; // software version 2.00
    groups(data, 1022, 2);                         // header blocks
    groups(data, static_cast<std::uint32_t>(1022 - m_samples.size() - m_programs.size()), 2);
    groups(data, m_maxWords, 4);
    groups(data, m_maxWords - usedWords(), 4);
    data.push_back(m_channel);
    return data;
}

template <typename T>
std::vector<std::uint8_t> AkaiS2000Sampler::nameList(const std::vector<T>& items) const {
    std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(items.size() & 0x7F),
                                      static_cast<std::uint8_t>(items.size() >> 7 & 0x7F)};
    for (const T& item : items) {
        const auto chars = akaiName(item.name());
        data.insert(data.end(), chars.begin(), chars.end());
    }
    return data;
}

std::uint32_t AkaiS2000Sampler::usedWords() const {
    std::uint32_t words = 0;
    for (const Sample& s : m_samples)
        words += s.lengthWords();
    return words;
}

} // namespace tolvane::test
