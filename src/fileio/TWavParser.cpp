#include "fileio/TWavParser.h"

#include "fileio/WavParserErrors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tolvane {
namespace {

constexpr std::uint64_t kAiffHeaderSize = 12;
constexpr std::uint32_t kCommMinimumSize = 18;
constexpr std::uint32_t kSsndFieldsSize = 8; // offset and block size before the samples

std::uint16_t be16(const std::uint8_t* p) {
    return std::uint16_t(p[0] << 8 | p[1]);
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

// The 80-bit big-endian IEEE extended value of an AIFF "COMM" chunk.
double extendedToDouble(const std::uint8_t* p) {
    const int sign = (p[0] & 0x80) ? -1 : 1;
    const int exponent = ((p[0] & 0x7F) << 8) | p[1];
    std::uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i)
        mantissa = (mantissa << 8) | p[2 + i];
    if (exponent == 0x7FFF)
        return std::numeric_limits<double>::quiet_NaN();
    if (exponent == 0 && mantissa == 0)
        return 0.0;
    return sign * std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
}

std::uint32_t sampleRateFromExtended(const std::uint8_t* p) {
    const double rate = std::nearbyint(extendedToDouble(p));
    if (!(rate >= 0.0 && rate <= std::numeric_limits<std::uint32_t>::max()))
        throw EWavParserError("Invalid sample rate");
    return static_cast<std::uint32_t>(rate);
}

} // namespace

MmioFile& TWavParser::file() {
    if (!m_file.isOpen())
        throw EWavParserError(kMsgNoFileToProcess);
    return m_file;
}

void TWavParser::open(const std::string& fileName) {
    close();
    if (!m_file.open(fileName))
        throw EWavParserError(kMsgCannotChangePosition);
    m_fileName = fileName;
}

void TWavParser::close() {
    m_file.close();
    m_fileName.clear();
}

void TWavParser::rewind() {
    seek(0);
}

void TWavParser::seek(std::uint64_t offset) {
    if (!file().seek(offset))
        throw EWavParserError(kMsgCannotChangePosition);
}

ChunkInfo TWavParser::findRiffChunk(FourCC formType) {
    ChunkInfo info;
    info.fccType = formType;
    if (!file().descend(info, nullptr, MmioFile::FindRiff))
        throw EChunkNotFound();
    layout = FileLayout::RiffWave;
    return info;
}

ChunkInfo TWavParser::findChunk(FourCC id, const ChunkInfo* parent) {
    ChunkInfo info;
    info.ckid = id;
    if (!file().descend(info, parent, MmioFile::FindChunk))
        throw EChunkNotFound();
    return info;
}

std::size_t TWavParser::readChunkData(const ChunkInfo& chunk, void* destination,
                                      std::size_t maxBytes) {
    if (chunk.dwDataOffset >= file().size())
        return 0; // the file ends before the chunk's data begins
    seek(chunk.dwDataOffset);
    const std::size_t wanted = std::min<std::size_t>(maxBytes, chunk.cksize);
    return file().read(destination, wanted);
}

void TWavParser::checkAiffHeader() {
    rewind();
    std::array<std::uint8_t, kAiffHeaderSize> header{};
    if (file().read(header.data(), header.size()) != header.size())
        throw EChunkNotFound();
    const auto tag = [&](int offset, const char* text) {
        return std::equal(text, text + 4, header.begin() + offset);
    };
    if (!tag(0, "FORM") || !tag(8, "AIFF"))
        throw EChunkNotFound();
    layout = FileLayout::Aiff;
}

// Walks AIFF chunks from the current position: id, big-endian size, data, and a pad byte
// after odd-sized chunks (standard AIFF files align every chunk to an even offset).
bool TWavParser::walkAiffChunks(FourCC id, ChunkInfo& found) {
    MmioFile& f = file();
    std::uint64_t position = f.tell();
    const std::uint64_t limit = std::min(f.size(), kLastChunkDataOffset);
    while (position + 8 <= limit) {
        std::array<std::uint8_t, 8> header{};
        if (!f.seek(position) || f.read(header.data(), 8) != 8)
            return false;
        const FourCC chunkId = fourCCAt(header.data());
        const std::uint32_t size = be32(header.data() + 4);
        if (chunkId == id) {
            found.ckid = chunkId;
            found.cksize = size;
            found.dwDataOffset = static_cast<std::uint32_t>(position + 8);
            return true;
        }
        position += 8 + std::uint64_t{size} + (size & 1);
    }
    return false;
}

FormatRecord TWavParser::parseAiffComm() {
    seek(kAiffHeaderSize);
    ChunkInfo comm;
    if (!walkAiffChunks(makeFourCC("COMM"), comm) || comm.cksize < kCommMinimumSize)
        throw EChunkNotFound();
    std::array<std::uint8_t, kCommMinimumSize> data{};
    if (readChunkData(comm, data.data(), data.size()) != data.size())
        throw EChunkNotFound();

    FormatRecord format;
    format.formatTag = kFormatTagPcm;
    format.channels = be16(data.data());
    format.bitsPerSample = be16(data.data() + 6);
    format.samplesPerSec = sampleRateFromExtended(data.data() + 8);
    const std::uint32_t bytesPerSample = format.bitsPerSample / 8;
    format.avgBytesPerSec = static_cast<std::uint32_t>(std::uint64_t{format.channels} *
                                                       format.samplesPerSec * bytesPerSample);
    format.blockAlign = static_cast<std::uint16_t>(format.channels * bytesPerSample);
    // Leave the position after "COMM" so that "SSND" is looked for from there.
    seek(std::uint64_t{comm.dwDataOffset} + comm.cksize + (comm.cksize & 1));
    return format;
}

ChunkInfo TWavParser::findAiffSsnd() {
    ChunkInfo ssnd;
    bool found = walkAiffChunks(makeFourCC("SSND"), ssnd);
    if (!found) {
        // The standard allows "SSND" before "COMM"; look again from the start of the form.
        seek(kAiffHeaderSize);
        found = walkAiffChunks(makeFourCC("SSND"), ssnd);
    }
    if (!found || ssnd.cksize < kSsndFieldsSize)
        throw EChunkNotFound();
    std::array<std::uint8_t, kSsndFieldsSize> fields{};
    if (readChunkData(ssnd, fields.data(), fields.size()) != fields.size())
        throw EChunkNotFound();
    // The samples begin `offset` bytes after the two fields (other readers skip it too; an
    // offset of 2 in a stereo file would otherwise swap the channels).
    const std::uint64_t skipped =
        std::min<std::uint64_t>(std::uint64_t{kSsndFieldsSize} + be32(fields.data()), ssnd.cksize);
    ssnd.dwDataOffset += static_cast<std::uint32_t>(skipped);
    ssnd.cksize -= static_cast<std::uint32_t>(skipped);
    return ssnd;
}

} // namespace tolvane
