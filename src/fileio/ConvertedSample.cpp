#include "fileio/ConvertedSample.h"

#include "document/OutputFiles.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WavParserErrors.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <sndfile.h>
#include <unistd.h>
#include <vector>

namespace tolvane {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// An open libsndfile reader of a regular file, or libsndfile's reason why not.
struct OpenedSample {
    SndfileHandle file;
    SF_INFO info{};
    std::string error;
};

OpenedSample openSample(const std::string& fileName) {
    OpenedSample opened;
    const int fd = openRegularFileForReading(fileName);
    if (fd < 0) {
        opened.error = "the file cannot be opened";
        return opened;
    }
    // libsndfile closes the descriptor with the handle, and on failure.
    opened.file.reset(sf_open_fd(fd, SFM_READ, &opened.info, SF_TRUE));
    if (!opened.file)
        opened.error = sf_strerror(nullptr);
    return opened;
}

std::string bitsOf(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return "8-bit";
    case SF_FORMAT_PCM_16:
        return "16-bit";
    case SF_FORMAT_PCM_24:
        return "24-bit";
    case SF_FORMAT_PCM_32:
        return "32-bit";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    default:
        return {};
    }
}

// The name of the source format, empty for one the conversion does not take.
std::string describe(const SF_INFO& info) {
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const std::string bits = bitsOf(info.format & SF_FORMAT_SUBMASK);
    if (bits.empty())
        return {};
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_AIFF:
        return bits;
    case SF_FORMAT_FLAC:
        return "FLAC " + bits;
    default:
        return {};
    }
}

bool needsDither(int format) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype != SF_FORMAT_PCM_S8 && subtype != SF_FORMAT_PCM_U8 &&
           subtype != SF_FORMAT_PCM_16;
}

ConvertibleReport examine(const OpenedSample& opened) {
    ConvertibleReport report;
    if (!opened.file) {
        report.refusal = opened.error;
        return report;
    }
    const SF_INFO& info = opened.info;
    const std::string description = describe(info);
    if (description.empty())
        report.refusal = "the format is not one the program converts";
    else if (info.channels < 1 || info.channels > 2)
        report.refusal = "the file has " + std::to_string(info.channels) +
                         " channels; the program edits mono and stereo samples";
    else if (info.samplerate <= 0 || static_cast<std::uint32_t>(info.samplerate) > kMaxSampleRate)
        report.refusal =
            "the sample rate " + std::to_string(info.samplerate) + " Hz is out of range";
    else
        report.format =
            ConvertibleFormat{description, static_cast<std::uint16_t>(info.channels),
                              static_cast<std::uint32_t>(info.samplerate),
                              static_cast<std::uint64_t>(std::max<sf_count_t>(info.frames, 0))};
    return report;
}

// Triangular noise of one 16-bit step either way: the difference of two uniform numbers.
class TpdfDither {
public:
    explicit TpdfDither(std::uint32_t seed) : m_generator(seed) {}
    double next() { return m_uniform(m_generator) - m_uniform(m_generator); }

private:
    std::mt19937 m_generator;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
};

std::int16_t clampTo16(double value) {
    if (std::isnan(value))
        return 0;
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

// Reads every frame as 32-bit integers (libsndfile puts an integer source's bits at the top) or,
// for float sources, as doubles, and writes 16-bit little-endian samples to `out`.
std::size_t convertFrames(SNDFILE* file, const SF_INFO& info, std::uint8_t* out,
                          std::size_t wantedSamples, std::uint32_t ditherSeed) {
    const bool isFloat = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ||
                         (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
    const bool dither = needsDither(info.format);
    TpdfDither noise(ditherSeed);
    constexpr sf_count_t kBlockFrames = 16384;
    std::vector<int> integers(static_cast<std::size_t>(kBlockFrames * info.channels));
    std::vector<double> reals(isFloat ? integers.size() : 0);
    std::size_t done = 0;
    while (done < wantedSamples) {
        const sf_count_t frames = std::min<sf_count_t>(
            kBlockFrames, static_cast<sf_count_t>((wantedSamples - done) / info.channels));
        const sf_count_t got = isFloat ? sf_readf_double(file, reals.data(), frames)
                                       : sf_readf_int(file, integers.data(), frames);
        if (got <= 0)
            break;
        const auto samples = static_cast<std::size_t>(got * info.channels);
        for (std::size_t i = 0; i < samples; ++i) {
            // 16-bit steps: a float of 1.0 is full scale, an integer's top 16 bits are a step.
            const double value = isFloat ? reals[i] * 32768.0 : integers[i] / 65536.0;
            const std::int16_t sample = clampTo16(dither ? value + noise.next() : value);
            out[2 * (done + i)] = static_cast<std::uint8_t>(sample & 0xFF);
            out[2 * (done + i) + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
        }
        done += samples;
    }
    return done;
}

} // namespace

ConvertibleReport convertibleFormat(const std::string& fileName) {
    return examine(openSample(fileName));
}

std::string conversionQuestion(const ConvertibleFormat& format) {
    return "This file is " + format.description + "; WaveTolvane edits 16-bit samples. Convert it?";
}

void loadConvertedSample(SampleDocument& doc, const std::string& fileName,
                         std::uint32_t ditherSeed) {
    OpenedSample opened = openSample(fileName);
    const ConvertibleReport report = examine(opened);
    if (!report.format)
        throw EWavParserError(fileName + ": " + report.refusal);
    const ConvertibleFormat& format = *report.format;
    const std::uint64_t samples = format.frames * format.channels;
    if (samples * 2 > std::uint64_t(std::numeric_limits<std::int32_t>::max()) - kSpareBytes)
        throw EWavParserError(fileName + ": the sample is too long to edit in 16 bits");
    const auto wanted = static_cast<std::size_t>(samples);
    ByteBuffer bytes(wanted * 2 + kSpareBytes, 0);
    const std::size_t got =
        convertFrames(opened.file.get(), opened.info, bytes.data(), wanted, ditherSeed);
    if (got < wanted || sf_error(opened.file.get()) != SF_ERR_NO_ERROR) {
        const std::string reason = sf_error(opened.file.get()) != SF_ERR_NO_ERROR
                                       ? sf_strerror(opened.file.get())
                                       : "the data ends before the length the file declares";
        throw EWavParserError(fileName + ": the " + format.description + " data is damaged (" +
                              reason + ")");
    }
    doc.SampleRate = format.rate;
    doc.Channels = format.channels;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = format.rate * format.channels * 2;
    doc.DataLength = static_cast<std::int32_t>(wanted * 2);
    doc.SampleData.adopt(std::move(bytes));
}

void adoptConvertedSample(SampleDocument& doc, SampleDocument&& converted,
                          const std::string& fileName) {
    adoptLoadedSample(doc, std::move(converted), fileName);
    detachFromSourceFile(doc);
}

void detachFromSourceFile(SampleDocument& doc) {
    doc.FileName = std::filesystem::path(doc.FileName).filename().string();
    doc.FileDate = 0;
    doc.ReadOnlyFile = false;
}

} // namespace tolvane
