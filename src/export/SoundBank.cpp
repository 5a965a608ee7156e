#include "export/SoundBank.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <random>

namespace tolvane {
namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Where the extension of the file's name starts (its last dot), or the end of the name.
std::size_t extensionStart(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name.size();
    return dot;
}

std::string channelFileName(const std::string& chosen, char suffix) {
    const std::size_t dot = extensionStart(chosen);
    return chosen.substr(0, dot) + suffix + chosen.substr(dot);
}

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

// Merged stereo with one channel chosen: its points stand for that channel alone.
std::vector<LoopSegment> oneChannelOfMerged(const SampleDocument& doc, int c) {
    std::vector<LoopSegment> segments;
    for (const LoopSegment& stereo : loopSegments(doc, 1))
        segments.push_back(channelOfStereoSegment(stereo, c));
    return segments;
}

bool holdsControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// The wave files of one bank file's segments, one layer per channel of merged stereo.
std::vector<std::vector<LoopSegment>> waveLayers(const BankFile& file, BankFormat format) {
    if (format == BankFormat::Pinnacle && file.stereo) {
        std::vector<std::vector<LoopSegment>> layers(2);
        for (const LoopSegment& segment : file.segments)
            for (int c = 1; c <= 2; ++c)
                layers[c - 1].push_back(channelOfStereoSegment(segment, c));
        return layers;
    }
    return {file.segments};
}

bool writesWaveSeries(BankFormat format) {
    return format == BankFormat::Pinnacle || format == BankFormat::Sfz;
}

} // namespace

BankFormat bankFormatOf(const std::string& fileName) {
    const std::string extension = lowerCase(fileName.substr(extensionStart(fileName)));
    if (extension == ".dls")
        return BankFormat::Dls;
    if (extension == ".gig")
        return BankFormat::GigaSampler;
    if (extension == ".pbf")
        return BankFormat::Pinnacle;
    if (extension == ".sfz")
        return BankFormat::Sfz;
    return BankFormat::SoundFont;
}

Guid randomGuid() {
    std::random_device device;
    std::mt19937_64 generator((std::uint64_t{device()} << 32) ^ device());
    Guid guid{};
    for (std::size_t i = 0; i < guid.size(); i += 8) {
        const std::uint64_t bits = generator();
        for (std::size_t j = 0; j < 8; ++j)
            guid[i + j] = static_cast<std::uint8_t>(bits >> (8 * j));
    }
    // Stored as a GUID structure: Data3 (bytes 6, 7) little-endian, so the version nibble is
    // the high nibble of byte 7; the variant is in byte 8.
    guid[7] = static_cast<std::uint8_t>((guid[7] & 0x0F) | 0x40);
    guid[8] = static_cast<std::uint8_t>((guid[8] & 0x3F) | 0x80);
    return guid;
}

std::string soundFontDate(int year, int month, int day) {
    static constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    const char* name = kMonths[std::clamp(month, 1, 12) - 1];
    return std::string(name) + " " + std::to_string(day) + " ," + std::to_string(year);
}

std::string soundFontDateToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local); // the user's own calendar day
    return soundFontDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::vector<BankFile> planBankFiles(const SampleDocument& doc, const std::string& chosen,
                                    BankFormat format) {
    const bool merged = doc.Channels == 2 && doc.MergeChannels;
    if (format == BankFormat::Dls && merged)
        throw BankRefused(kMsgDlsStereo);
    std::vector<BankFile> files;
    if (isSplitStereo(doc)) {
        for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
            files.push_back(
                {channelFileName(chosen, c == 2 ? 'R' : 'L'), loopSegments(doc, c), false, {}});
    } else if (merged && doc.FirstChannel == doc.LastChannel) {
        const int c = doc.FirstChannel;
        files.push_back(
            {channelFileName(chosen, c == 2 ? 'R' : 'L'), oneChannelOfMerged(doc, c), false, {}});
    } else {
        files.push_back({chosen, loopSegments(doc, 1), merged, {}});
    }
    for (BankFile& file : files) {
        file.seriesBase = chosen.substr(0, extensionStart(chosen));
        if (file.segments.empty())
            throw BankRefused("No segment lies between the locators: there is nothing to save.");
    }
    return files;
}

std::string keysExceededText(const KeymapSettings& keymap, int segments) {
    return std::to_string(segments) + " segments exceed the available notes (the last key " +
           std::to_string(lastKeyUsed(keymap, segments)) + " lies above 127)";
}

void checkBankLimits(const std::vector<BankFile>& files, const KeymapSettings& keymap,
                     BankFormat format) {
    for (const BankFile& file : files) {
        const int count = static_cast<int>(file.segments.size());
        if (samplesExceedKeys(keymap, count))
            throw BankRefused(keysExceededText(keymap, count));
        const int samples = count * (file.stereo ? 2 : 1);
        if (format == BankFormat::SoundFont && samples > kMaxSoundFontSamples)
            throw BankRefused("A SoundFont bank holds at most " +
                              std::to_string(kMaxSoundFontSamples) +
                              " samples; this one would hold " + std::to_string(samples) + ".");
        // Each wave file is named on a line of its own: a line break in the name would end it.
        if (format == BankFormat::Sfz && holdsControlCharacter(file.seriesBase))
            throw BankRefused("An SFZ instrument cannot name wave files whose names hold control "
                              "characters.");
    }
}

std::vector<std::string> bankOutputFiles(const std::vector<BankFile>& files, BankFormat format) {
    std::vector<std::string> names;
    for (const BankFile& file : files) {
        if (writesWaveSeries(format))
            for (const auto& layer : waveLayers(file, format))
                for (const LoopSegment& segment : layer)
                    names.push_back(seriesFileName({file.seriesBase, ".wav"}, segment));
        names.push_back(file.fileName);
    }
    return names;
}

std::string bankSampleName(int n, int digits) {
    std::string number = std::to_string(n);
    if (number.size() < static_cast<std::size_t>(digits))
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    return "KQ" + number;
}

std::vector<BankFileResult> writeSoundBank(const SampleDocument& doc, const std::string& chosen,
                                           const BankSettings& settings) {
    const BankFormat format = bankFormatOf(chosen);
    const std::vector<BankFile> files = planBankFiles(doc, chosen, format);
    checkBankLimits(files, settings.keymap, format);
    std::vector<BankFileResult> results;
    for (const BankFile& file : files) {
        BankFileResult result{file.fileName, false, {}, {}};
        try {
            switch (format) {
            case BankFormat::SoundFont:
                writeSoundFont(doc, file, settings);
                break;
            case BankFormat::Dls:
                writeDls(doc, file, settings);
                break;
            case BankFormat::GigaSampler:
                writeGigaSampler(doc, file, settings);
                break;
            case BankFormat::Pinnacle:
                result.sampleFiles = writePinnacleBankWithSeries(doc, file, settings);
                break;
            case BankFormat::Sfz:
                result.sampleFiles = writeSfzWithSeries(doc, file, settings);
                break;
            }
            result.written = true;
        } catch (const std::exception& e) {
            result.error = e.what();
        }
        results.push_back(std::move(result));
    }
    return results;
}

} // namespace tolvane
