#include "samplers/AkaiS2000Protocol.h"

#include "samplers/SamplerNames.h"

#include <algorithm>
#include <cctype>

namespace tolvane::akai {
namespace {

constexpr std::string_view kCharacters = "0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ#+-.";
constexpr std::uint8_t kBlank = 10;
using Header = std::array<std::uint8_t, kHeaderSize>;

void putName(Header& header, std::size_t at, std::string_view name) {
    const NameCodes codes = encodeName(name);
    std::copy(codes.begin(), codes.end(), header.begin() + static_cast<long>(at));
}

void putLittle(Header& header, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        header[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t little(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void fill(Header& header, std::size_t from, std::size_t to, std::uint8_t value) {
    std::fill(header.begin() + static_cast<long>(from), header.begin() + static_cast<long>(to),
              value);
}

Bytes opening(Op op) {
    return {0xF0, kManufacturer, 0x00, op, kModel};
}

Bytes headerMessage(Bytes message, const Header& header) {
    appendNibbles(message, header.data(), header.size());
    message.push_back(0xF7);
    return message;
}

bool isAkai(const Bytes& reply, Op op) {
    return reply.size() >= 6 && reply[0] == 0xF0 && reply[1] == kManufacturer && reply[3] == op &&
           reply[4] == kModel;
}

// Bytes before the nibbles of a header message.
std::size_t headerPrefix(const Bytes& message) {
    return message.size() > 3 && message[3] == kKeygroupHeader ? 8 : 7;
}

} // namespace

NameCodes encodeName(std::string_view utf8) {
    NameCodes codes;
    codes.fill(kBlank);
    const std::string name = samplerText(utf8, kNameLength);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
        const std::size_t at = kCharacters.find(c);
        codes[i] = at == std::string_view::npos ? kBlank : static_cast<std::uint8_t>(at);
    }
    return codes;
}

std::string decodeName(const std::uint8_t* codes) {
    std::string name;
    for (std::size_t i = 0; i < kNameLength; ++i)
        name += codes[i] < kCharacters.size() ? kCharacters[codes[i]] : ' ';
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

std::string runSampleName(std::string_view fileName, int position) {
    if (const std::size_t slash = fileName.find_last_of("/\\"); slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    if (const std::size_t dot = fileName.rfind('.'); dot != std::string_view::npos)
        fileName = fileName.substr(0, dot);
    std::string digits = std::to_string(position % 1000);
    digits.insert(0, 3 - digits.size(), '0');
    return std::string(fileName.substr(0, 9)) + digits;
}

void appendNibbles(Bytes& out, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(bytes[i] & 0x0F);
        out.push_back(bytes[i] >> 4);
    }
}

Bytes fromNibbles(const std::uint8_t* nibbles, std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>((nibbles[2 * i] & 0x0F) | (nibbles[2 * i + 1] << 4));
    return bytes;
}

void appendSevenBit(Bytes& out, std::uint32_t value, int groups) {
    for (int i = 0; i < groups; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (7 * i) & 0x7F));
}

std::uint32_t sevenBit(const std::uint8_t* groups, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 7 | (groups[i] & 0x7F);
    return value;
}

Header sampleHeader(const SampleHeaderFields& f) {
    Header h{};
    h[0] = 3; // sample header block
    h[1] = 1; // 20 kHz bandwidth
    h[offset::kPitch] = f.pitch;
    putName(h, offset::kName, f.name);
    h[offset::kRateValid] = 0x80;
    h[19] = 3; // playback: play to sample end
    putLittle(h, offset::kSampleLength, f.lengthWords, 4);
    putLittle(h, 34, f.lengthWords > 0 ? f.lengthWords - 1 : 0, 4); // play end
    putLittle(h, offset::kSampleRate, std::min<std::uint32_t>(f.rate, 0xFFFF), 2);
    return h;
}

SampleInfo readSampleHeader(const std::uint8_t* h) {
    SampleInfo info;
    info.name = decodeName(h + offset::kName);
    info.pitch = h[offset::kPitch];
    info.lengthWords = little(h + offset::kSampleLength, 4);
    info.rateValid = h[offset::kRateValid] == 0x80;
    info.rate = little(h + offset::kSampleRate, 2);
    return info;
}

Header programHeader(const ProgramFields& f) {
    Header h{};
    h[0] = 1; // program header block
    putName(h, offset::kName, f.name);
    h[17] = 31; // polyphony 32
    h[18] = 1;  // normal priority
    h[offset::kPlayLow] = f.lowKey;
    h[offset::kPlayHigh] = f.highKey;
    h[22] = 255;            // no individual output
    h[23] = 99;             // stereo level
    h[25] = 80;             // loudness
    h[26] = 20;             // velocity to loudness
    h[29] = 1;              // LFO2 rate
    h[30] = 99;             // LFO2 depth
    h[33] = 50;             // LFO1 rate
    h[36] = 30;             // modwheel to LFO1 depth
    h[39] = 2;              // bend up range
    h[offset::kGroups] = 1; // the sampler adds a keygroup for each one sent past the last
    fill(h, 62, 65, 16);    // soft pedal loudness, attack and filter
    h[70] = 50;             // level to the individual outputs
    h[73] = 2;              // bend down range
    // Sources of the assignable modulations of pan, loudness, LFO1, filter and pitch.
    constexpr std::array<std::uint8_t, 13> sources = {8, 6, 12, 6, 3, 6, 6, 6, 5, 8, 10, 10, 5};
    std::copy(sources.begin(), sources.end(), h.begin() + 76);
    h[98] = 5;
    h[99] = 8;
    h[100] = 14;
    return h;
}

Header keygroupHeader(const KeygroupFields& f) {
    Header h{};
    h[0] = 2; // keygroup block
    h[offset::kLowNote] = f.lowKey;
    h[offset::kHighNote] = f.highKey;
    h[7] = 99;           // filter open
    fill(h, 13, 16, 99); // envelope 1 decay, sustain, release
    fill(h, 21, 24, 99); // envelope 2 decay, sustain, release
    h[28] = 19;
    h[30] = 1;
    // Velocity zone 1 plays the sample over the whole velocity range; zones 2 to 4 are empty.
    putName(h, offset::kZone1Sample, f.sampleName);
    h[47] = 127;
    h[54] = 127;
    h[55] = 127;
    for (std::size_t zone = 1; zone < 4; ++zone) {
        const std::size_t at = 34 + 24 * zone;
        fill(h, at, at + kNameLength, kBlank);
        fill(h, at + 20, at + 24, 255);
    }
    h[150] = 50;
    h[156] = 9;
    h[157] = 50;
    h[158] = 99;
    h[160] = 255; // no mute group
    h[168] = 1;
    h[169] = 1;
    h[177] = 99;
    fill(h, 180, 183, 99);
    h[184] = 99;
    h[185] = 45;
    h[191] = 25;
    return h;
}

Bytes request(Op op) {
    Bytes message = opening(op);
    message.push_back(0xF7);
    return message;
}

Bytes requestSampleHeader(int sample) {
    Bytes message = opening(kRequestSampleHeader);
    appendSevenBit(message, static_cast<std::uint32_t>(sample), 2);
    message.push_back(0xF7);
    return message;
}

Bytes requestSampleData(int sample, std::uint32_t lengthWords) {
    Bytes message = opening(kRequestSampleData);
    appendSevenBit(message, static_cast<std::uint32_t>(sample), 2);
    appendSevenBit(message, 0, 4); // from the start
    appendSevenBit(message, lengthWords, 4);
    message.push_back(1); // every sample
    message.push_back(0); // single samples, not averaged
    message.push_back(0xF7);
    return message;
}

Bytes sampleHeaderMessage(int sample, const Header& header) {
    Bytes message = opening(kSampleHeader);
    appendSevenBit(message, static_cast<std::uint32_t>(sample), 2);
    return headerMessage(std::move(message), header);
}

Bytes programHeaderMessage(int program, const Header& header) {
    Bytes message = opening(kProgramHeader);
    appendSevenBit(message, static_cast<std::uint32_t>(program), 2);
    return headerMessage(std::move(message), header);
}

Bytes keygroupMessage(int program, int keygroup, const Header& header) {
    Bytes message = opening(kKeygroupHeader);
    appendSevenBit(message, static_cast<std::uint32_t>(program), 2);
    message.push_back(static_cast<std::uint8_t>(keygroup & 0x7F));
    return headerMessage(std::move(message), header);
}

std::pair<Bytes, Bytes> inTwoTransfers(const Bytes& message) {
    const std::size_t cut = std::min(message.size(), headerPrefix(message) + kHeaderSize);
    return {Bytes(message.begin(), message.begin() + static_cast<long>(cut)),
            Bytes(message.begin() + static_cast<long>(cut), message.end())};
}

std::optional<int> listCount(const Bytes& reply, Op listOp) {
    if (!isAkai(reply, listOp) || reply.size() < 8)
        return std::nullopt;
    return static_cast<int>(sevenBit(&reply[5], 2));
}

std::optional<std::uint32_t> freeWords(const Bytes& reply) {
    if (!isAkai(reply, kStatus) || reply.size() < 20)
        return std::nullopt;
    return sevenBit(&reply[15], 4);
}

std::optional<std::uint32_t> maxWords(const Bytes& reply) {
    if (!isAkai(reply, kStatus) || reply.size() < 20)
        return std::nullopt;
    return sevenBit(&reply[11], 4);
}

std::optional<SampleInfo> sampleHeaderReply(const Bytes& reply) {
    if (!isAkai(reply, kSampleHeader) || reply.size() < 7 + 2 * kHeaderSize)
        return std::nullopt;
    const Bytes header = fromNibbles(&reply[7], kHeaderSize);
    return readSampleHeader(header.data());
}

Answer answerOf(const Bytes& reply) {
    if (reply.size() >= 6 && reply[0] == 0xF0 && reply[1] == 0x7E && reply[5] == 0xF7) {
        if (reply[3] == 0x7F)
            return Answer::Acknowledge;
        if (reply[3] == 0x7C)
            return Answer::Wait;
        return Answer::None;
    }
    if (isAkai(reply, kReply))
        return reply[5] == 0 ? Answer::Ok : Answer::Refused;
    return Answer::None;
}

void swapBytePairs(std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2)
        std::swap(data[i], data[i + 1]);
}

} // namespace tolvane::akai
