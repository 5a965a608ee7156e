#include "fileio/SampleFileReader.h"

#include "document/OutputFiles.h"
#include "fileio/WavParserErrors.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tolvane {
namespace {

constexpr std::uint16_t kFormatTagExtensible = 0xFFFE;
constexpr std::size_t kFmtSize = 16;
constexpr std::size_t kExtensibleFmtSize = 40;
// The KSDATAFORMAT_SUBTYPE_PCM GUID after its leading format code.
constexpr std::array<std::uint8_t, 14> kPcmSubFormatTail = {
    0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
std::uint32_t le32(const std::uint8_t* p) {
    return fourCCAt(p);
}

FormatRecord decodeFormat(const std::uint8_t* p) {
    FormatRecord f;
    f.formatTag = le16(p);
    f.channels = le16(p + 2);
    f.samplesPerSec = le32(p + 4);
    f.avgBytesPerSec = le32(p + 8);
    f.blockAlign = le16(p + 12);
    f.bitsPerSample = le16(p + 14);
    return f;
}

// A WAVE_FORMAT_EXTENSIBLE record whose sub-format is integer PCM is plain PCM.
bool isExtensiblePcm(TWavParser& parser, const ChunkInfo& fmt) {
    if (fmt.cksize < kExtensibleFmtSize)
        return false;
    std::array<std::uint8_t, kExtensibleFmtSize> bytes{};
    if (parser.readChunkData(fmt, bytes.data(), bytes.size()) != bytes.size())
        return false;
    return le16(bytes.data() + 24) == kFormatTagPcm &&
           std::equal(kPcmSubFormatTail.begin(), kPcmSubFormatTail.end(), bytes.begin() + 26);
}

SampleFileInfo readWaveInfo(TWavParser& parser) {
    parser.rewind();
    ChunkInfo riff;
    try {
        riff = parser.findRiffChunk(makeFourCC("WAVE"));
    } catch (const EChunkNotFound&) {
        throw std::runtime_error(kMsgInvalidWav);
    }
    SampleFileInfo info;
    info.layout = FileLayout::RiffWave;

    parser.seek(std::uint64_t{riff.dwDataOffset} + 4);
    const ChunkInfo fmt = parser.findChunk(makeFourCC("fmt "));
    std::array<std::uint8_t, kFmtSize> fmtBytes{};
    if (parser.readChunkData(fmt, fmtBytes.data(), fmtBytes.size()) != fmtBytes.size())
        throw EChunkNotFound();
    info.format = decodeFormat(fmtBytes.data());
    if (info.format.formatTag == kFormatTagExtensible && isExtensiblePcm(parser, fmt))
        info.format.formatTag = kFormatTagPcm;

    parser.seek(std::uint64_t{riff.dwDataOffset} + 4);
    const ChunkInfo data = parser.findChunk(makeFourCC("data"));
    info.dataOffset = data.dwDataOffset;
    info.dataLength = data.cksize;
    return info;
}

SampleFileInfo readAiffInfo(TWavParser& parser) {
    try {
        parser.checkAiffHeader();
    } catch (const EChunkNotFound&) {
        throw std::runtime_error(kMsgInvalidWav);
    }
    SampleFileInfo info;
    info.layout = FileLayout::Aiff;
    info.format = parser.parseAiffComm();
    const ChunkInfo ssnd = parser.findAiffSsnd();
    info.dataOffset = ssnd.dwDataOffset;
    info.dataLength = ssnd.cksize;
    return info;
}

bool isLoadableFormat(const FormatRecord& f) {
    return f.formatTag == kFormatTagPcm && f.bitsPerSample == 16 &&
           (f.channels == 1 || f.channels == 2) && f.samplesPerSec > 0 &&
           f.samplesPerSec <= kMaxSampleRate;
}

void swapSampleBytes(std::uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i + 1 < length; i += 2)
        std::swap(data[i], data[i + 1]);
}

} // namespace

bool isWaveFileName(const std::string& fileName) {
    std::string lower = fileName;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.ends_with(".wav");
}

SampleFileInfo readSampleFileInfo(const std::string& fileName) {
    TWavParser parser;
    parser.open(fileName);
    SampleFileInfo info = isWaveFileName(fileName) ? readWaveInfo(parser) : readAiffInfo(parser);
    // DataLength is a signed 32-bit field followed by the spare bytes.
    if (info.dataLength > std::uint32_t(std::numeric_limits<std::int32_t>::max()) - kSpareBytes)
        throw EWavParserError("Data chunk too large");
    return info;
}

AcceptanceReport testSampleFile(const std::string& fileName) {
    AcceptanceReport report;
    try {
        report.info = readSampleFileInfo(fileName);
        report.result =
            isLoadableFormat(report.info.format) ? Acceptance::Accepted : Acceptance::WrongFormat;
        report.readOnly = isReadOnlyFile(fileName);
    } catch (const std::exception& e) {
        report.result = Acceptance::Unreadable;
        report.error = e.what();
    }
    return report;
}

std::int32_t loadableDataLength(std::uint32_t chunkSize, std::uint16_t channels) {
    const std::uint32_t frameBytes = channels == 2 ? 4 : 2;
    return static_cast<std::int32_t>(chunkSize - chunkSize % frameBytes);
}

std::int32_t loadedDataLength(const SampleFileInfo& info, std::uint64_t fileSize) {
    const std::uint64_t held =
        fileSize > info.dataOffset
            ? std::min<std::uint64_t>(info.dataLength, fileSize - info.dataOffset)
            : 0;
    const std::uint64_t kept = std::min<std::uint64_t>(info.dataLength, held + fileSize);
    return loadableDataLength(static_cast<std::uint32_t>(kept), info.format.channels);
}

namespace {

struct LoadedSample {
    FormatRecord format;
    std::int32_t length = 0;
    ByteBuffer bytes; // length bytes of little-endian samples, then spare bytes
};

// A regular file opened for reading, closed with the object.
class SampleFile {
public:
    explicit SampleFile(const std::string& fileName) : m_fd(openRegularFileForReading(fileName)) {
        struct stat status {};
        if (m_fd >= 0 && ::fstat(m_fd, &status) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_fd < 0)
            throw EWavParserError(kMsgCannotChangePosition);
        m_size = static_cast<std::uint64_t>(status.st_size);
    }
    ~SampleFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SampleFile(const SampleFile&) = delete;
    SampleFile& operator=(const SampleFile&) = delete;

    std::uint64_t size() const { return m_size; }

    // Reads count bytes from offset straight into destination, in large blocks; returns how
    // many the file held.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) const {
        constexpr std::size_t kBlock = std::size_t{8} << 20;
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(m_fd, destination + done, std::min(kBlock, count - done),
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw EWavParserError(kMsgCannotChangePosition);
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

private:
    int m_fd;
    std::uint64_t m_size = 0;
};

LoadedSample readSample(const std::string& fileName) {
    const SampleFileInfo info = readSampleFileInfo(fileName);
    if (!isLoadableFormat(info.format))
        throw EWavParserError("Not a 16-bit PCM mono or stereo file");
    const SampleFile file(fileName);

    LoadedSample sample;
    sample.format = info.format;
    sample.length = loadedDataLength(info, file.size());
    const auto length = static_cast<std::size_t>(sample.length);
    sample.bytes.resize(length + kSpareBytes);
    const std::size_t delivered = file.readAt(info.dataOffset, sample.bytes.data(), length);
    // What the file does not hold of the chunk, and the spare bytes, are silence.
    std::fill(sample.bytes.begin() + static_cast<std::ptrdiff_t>(delivered), sample.bytes.end(),
              std::uint8_t{0});
    if (info.layout == FileLayout::Aiff)
        swapSampleBytes(sample.bytes.data(), delivered);
    return sample;
}

void takeSample(SampleDocument& doc, LoadedSample&& sample) {
    doc.SampleRate = sample.format.samplesPerSec;
    doc.BytesPerSecond = sample.format.avgBytesPerSec;
    doc.BitsPerSample = sample.format.bitsPerSample;
    doc.Channels = sample.format.channels;
    doc.DataLength = sample.length;
    doc.SampleData.adopt(std::move(sample.bytes));
}

} // namespace

void loadSampleFile(SampleDocument& doc, const std::string& fileName) {
    takeSample(doc, readSample(fileName));
}

void adoptLoadedSample(SampleDocument& doc, SampleDocument&& loaded, const std::string& fileName) {
    closeDocument(doc);
    doc.SampleData = std::move(loaded.SampleData);
    doc.SampleRate = loaded.SampleRate;
    doc.BytesPerSecond = loaded.BytesPerSecond;
    doc.BitsPerSample = loaded.BitsPerSample;
    doc.Channels = loaded.Channels;
    doc.DataLength = loaded.DataLength;
    doc.FileName = fileName;
    doc.FileDate = fileModificationDate(fileName);
    doc.ReadOnlyFile = isReadOnlyFile(fileName);
    doc.SelectedSegment = 1;
    doc.Threshold = kThresholdAfterLoad;
    doc.FirstChannel = 1;
    doc.LastChannel = 2;
    doc.MergeChannels = doc.Channels == 2;
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
    doc.KeepCandidates = false;
    doc.DetectPending = true;
    doc.DocumentOpen = true;
}

void openSampleDocument(SampleDocument& doc, const std::string& fileName) {
    SampleDocument loaded;
    loadSampleFile(loaded, fileName);
    adoptLoadedSample(doc, std::move(loaded), fileName);
}

bool isReadOnlyFile(const std::string& fileName) {
    std::error_code ec;
    const auto permissions = std::filesystem::status(fileName, ec).permissions();
    if (ec)
        return false;
    const bool ownerMayWrite =
        (permissions & std::filesystem::perms::owner_write) != std::filesystem::perms::none;
    return !ownerMayWrite || ::access(fileName.c_str(), W_OK) != 0;
}

std::int64_t fileModificationDate(const std::string& fileName) {
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(fileName, ec);
    if (ec)
        return 0;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

} // namespace tolvane
