#include "samplers/TransferPlan.h"

#include "samplers/SamplerNames.h"
#include "slicing/LoopSegments.h"

#include <algorithm>
#include <filesystem>

namespace tolvane {
namespace {

// What a sample name keeps on samplers that take ten characters, and on the Akai (nine).
constexpr std::size_t kBaseNameLength = 10;
constexpr std::size_t kAkaiBaseNameLength = 9;
constexpr std::size_t kYamahaBatchNameLength = 12;
constexpr std::size_t kSmdiNameLength = 16;

std::string fileStem(const std::string& fileName) {
    return std::filesystem::path(fileName).stem().string();
}

std::string threeDigits(int number) {
    std::string text = std::to_string(number);
    if (text.size() < 3)
        text.insert(0, 3 - text.size(), '0');
    return text;
}

} // namespace

SendSource sendSourceOf(const SampleDocument& doc, int chosenChannel) {
    if (doc.Channels != 2)
        return {false, 1};
    if (doc.MergeChannels)
        return {true, 1};
    return {false, chosenChannel == 2 ? 2 : 1};
}

std::vector<OutgoingSample> loopSamplesToSend(const SampleDocument& doc, const SendSource& source) {
    std::vector<OutgoingSample> samples;
    for (const LoopSegment& segment : loopSegments(doc, source.channel, LoopEnd::RightLocator)) {
        // One channel of stereo: the segment's bytes are that channel's; what the driver reads
        // is the interleaved stretch that holds them.
        const std::uint32_t span =
            segment.sourceLayout == 2 ? segment.byteCount * 2 : segment.byteCount;
        samples.push_back({segment.start, span});
    }
    return samples;
}

OutgoingSample regionSampleToSend(const SampleDocument& doc, const SendSource& source) {
    const std::uint32_t frame = doc.Channels == 2 ? 4 : 2;
    const std::uint32_t end = std::min<std::uint32_t>(
        doc.LocatorR, static_cast<std::uint32_t>(std::max(doc.DataLength, 0)));
    const std::uint32_t start = std::min(doc.LocatorL, end) / frame * frame;
    const std::uint32_t length = (end - start) / frame * frame;
    const std::uint32_t channelByte = doc.Channels == 2 && source.channel == 2 ? 2 : 0;
    return {start + channelByte, length};
}

std::string transferBaseName(const std::string& fileName) {
    return samplerText(fileStem(fileName), kBaseNameLength);
}

std::string transferSampleName(int protocol, const std::string& givenBase, int position,
                               int count) {
    const std::string baseName = samplerText(givenBase);
    if (protocol == kProtocolSmdi) {
        // The name and its number fit the sampler's sixteen characters.
        const std::size_t digits = std::to_string(std::max(count, 0)).size();
        std::string base = baseName;
        if (base.size() + digits + 2 > kSmdiNameLength)
            base = base.substr(0, 14 - digits);
        return base + std::to_string(position);
    }
    const std::size_t keep = protocol == kProtocolAkai ? kAkaiBaseNameLength : kBaseNameLength;
    return baseName.substr(0, keep) + threeDigits(position);
}

std::string batchSampleName(int protocol, const std::string& fileName) {
    const std::string stem = samplerText(fileStem(fileName));
    if (protocol == kProtocolYamahaA3000)
        return stem.substr(0, kYamahaBatchNameLength);
    if (protocol == kProtocolAkai)
        return stem.substr(0, kAkaiBaseNameLength);
    return stem;
}

SampleNumberRange sampleNumberRange(int protocol) {
    if (protocol == kProtocolSds || protocol == kProtocolAkai)
        return {0, 0x3FFF};
    return {protocol == kProtocolEmu ? 1 : 0, 0xFFFFFF};
}

std::optional<std::string> sampleNumberProblem(int protocol, int first, int count) {
    const SampleNumberRange range = sampleNumberRange(protocol);
    const long long last = static_cast<long long>(first) + std::max(count, 1) - 1;
    const long long outside = first < range.first ? first : last > range.last ? last : -1;
    if (first >= range.first && last <= range.last)
        return std::nullopt;
    return "Sample number " + std::to_string(outside) + " is outside the sampler's numbers, " +
           std::to_string(range.first) + " to " + std::to_string(range.last) +
           " - nothing was sent.\r\nCheck the position and the profile's offset.";
}

KeyRange sendKeys(int protocol, bool autoMap, const KeymapSettings& keymap, int k) {
    if (!autoMap)
        return {};
    const KeyRange keys = keyForSample(keymap, k);
    if (protocol == kProtocolAkai)
        return {keys.key, keys.key, keys.key};
    if (protocol == kProtocolEmu)
        return keys;
    return {};
}

ReceivedCheck checkReceivedSample(const ReceivedFormat& format, std::size_t bytesArrived,
                                  bool roundRate) {
    if (format.channels != 1 && format.channels != 2)
        return {std::nullopt, "The received sample has " + std::to_string(format.channels) +
                                  " channels; only mono and stereo can be edited."};
    if (format.bitsPerSample != 16)
        return {std::nullopt, "The received sample has " + std::to_string(format.bitsPerSample) +
                                  " bits per sample; only 16-bit samples can be edited."};
    const std::uint32_t rate = roundRate ? roundSampleRate(format.rate) : format.rate;
    if (rate == 0 || rate > kMaxSampleRate)
        return {std::nullopt, "The received sample rate of " + std::to_string(format.rate) +
                                  " Hz cannot be edited."};
    const std::uint32_t frame = 2u * format.channels;
    const std::size_t available = std::min<std::size_t>(format.lengthBytes, bytesArrived);
    const auto length = static_cast<std::uint32_t>(available / frame * frame);
    if (length == 0)
        return {std::nullopt, "The sampler sent no sample data."};
    return {ReceivedSample{format.channels, rate, length}, {}};
}

std::string receivedDocumentName(const std::string& receivedName) {
    std::string name = receivedName;
    // Sampler names end in padding blanks or zeros.
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
        name.pop_back();
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = kUntitledName;
    return name + ".wav";
}

SampleDocument receivedDocument(const MemoryStream& stream, const ReceivedSample& sample) {
    SampleDocument doc;
    ByteBuffer bytes(sample.lengthBytes + kSpareBytes);
    std::copy_n(stream.data(), sample.lengthBytes, bytes.begin());
    std::fill(bytes.begin() + sample.lengthBytes, bytes.end(), std::uint8_t{0});
    doc.SampleData.adopt(std::move(bytes));
    doc.DataLength = static_cast<std::int32_t>(sample.lengthBytes);
    doc.SampleRate = sample.rate;
    doc.Channels = sample.channels;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = sample.rate * 2u * sample.channels;
    return doc;
}

} // namespace tolvane
