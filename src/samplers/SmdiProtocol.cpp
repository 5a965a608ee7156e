#include "samplers/SmdiProtocol.h"

#include <algorithm>
#include <cstdio>

namespace tolvane::smdi {
namespace {

void putBe(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t be(const std::uint8_t* p, std::size_t bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

std::string hex4(std::uint32_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(v & 0xFFFF));
    return text;
}

} // namespace

std::uint32_t Message::number(std::size_t at, std::size_t count) const {
    if (at + count > data.size())
        return 0;
    return be(data.data() + at, count);
}

std::vector<std::uint8_t> buildMessage(std::uint16_t id, std::uint16_t sub,
                                       const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> m = {'S', 'M', 'D', 'I'};
    m.reserve(kMessageHeaderSize + data.size());
    putBe(m, id, 2);
    putBe(m, sub, 2);
    putBe(m, static_cast<std::uint32_t>(data.size()), 3);
    m.insert(m.end(), data.begin(), data.end());
    return m;
}

std::vector<std::uint8_t> buildNumbered(std::uint16_t id, std::uint16_t sub, std::uint32_t n) {
    std::vector<std::uint8_t> data;
    putBe(data, n, 3);
    return buildMessage(id, sub, data);
}

std::vector<std::uint8_t> buildBeginTransfer(std::uint16_t sub, std::uint32_t number,
                                             std::uint32_t packetLength) {
    std::vector<std::uint8_t> data;
    putBe(data, number, 3);
    putBe(data, packetLength, 3);
    return buildMessage(kBeginTransfer, sub, data);
}

std::optional<Message> parseMessage(const std::uint8_t* bytes, std::size_t available,
                                    bool* truncated) {
    if (available < kMessageHeaderSize || !std::equal(bytes, bytes + 4, "SMDI"))
        return std::nullopt;
    Message m;
    m.id = static_cast<std::uint16_t>(be(bytes + 4, 2));
    m.sub = static_cast<std::uint16_t>(be(bytes + 6, 2));
    const std::size_t announced = be(bytes + 8, 3);
    const std::size_t present = std::min(announced, available - kMessageHeaderSize);
    m.data.assign(bytes + kMessageHeaderSize, bytes + kMessageHeaderSize + present);
    if (truncated)
        *truncated = present < announced;
    return m;
}

std::vector<std::uint8_t> buildHeaderData(const SampleHeader& h, bool extended) {
    std::vector<std::uint8_t> d;
    d.reserve(kExtendedHeaderDataSize);
    putBe(d, h.number, 3);
    d.push_back(h.bitsPerWord);
    d.push_back(h.channels);
    putBe(d, h.periodNs, 3);
    putBe(d, h.lengthWords, 4);
    putBe(d, h.loopStart, 4);
    putBe(d, h.loopEnd, 4);
    d.push_back(h.loopControl);
    d.push_back(h.pitchInteger);
    putBe(d, h.pitchFraction, 3);
    if (extended) {
        d.push_back(h.rootKey);
        d.push_back(h.lowKey);
        d.push_back(h.highKey);
    }
    const std::size_t nameLength = std::min(h.name.size(), kNameCapacity);
    d.push_back(static_cast<std::uint8_t>(nameLength));
    d.insert(d.end(), h.name.begin(), h.name.begin() + static_cast<long>(nameLength));
    d.resize(extended ? kExtendedHeaderDataSize : kHeaderDataSize, 0);
    return d;
}

std::optional<SampleHeader> parseHeaderData(const std::vector<std::uint8_t>& d) {
    if (d.size() < 26)
        return std::nullopt;
    SampleHeader h;
    h.number = be(d.data(), 3);
    h.bitsPerWord = d[3];
    h.channels = d[4];
    h.periodNs = be(d.data() + 5, 3);
    h.lengthWords = be(d.data() + 8, 4);
    h.loopStart = be(d.data() + 12, 4);
    h.loopEnd = be(d.data() + 16, 4);
    h.loopControl = d[20];
    h.pitchInteger = d[21];
    h.pitchFraction = be(d.data() + 22, 3);
    const std::size_t nameLength = std::min<std::size_t>(d[25], d.size() - 26);
    h.name.assign(reinterpret_cast<const char*>(d.data() + 26), nameLength);
    return h;
}

std::string rejectMeaning(const Message& reject) {
    const std::uint32_t code = reject.number(0, 2), sub = reject.number(2, 2);
    std::string meaning;
    switch (code) {
    case 0x0002:
        meaning = "the sampler did not understand the message";
        break;
    case 0x0005:
        meaning = "the sampler is busy";
        break;
    case 0x0011:
        meaning = "a packet number did not match";
        break;
    case 0x0020:
        meaning = sub == 0x0002 ? "there is no sample at that number" : "the sample was refused";
        break;
    case 0x0022:
        meaning = "the sampler could not begin the transfer";
        break;
    default:
        meaning = "the message was rejected";
    }
    return "The sampler rejected the message: " + meaning + " (code " + hex4(code) + "/" +
           hex4(sub) + ").";
}

void swapWords(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2)
        std::swap(bytes[i], bytes[i + 1]);
}

} // namespace tolvane::smdi
