#include "fileio/MmioFile.h"

#include "document/OutputFiles.h"

#include <algorithm>
#include <array>
#include <unistd.h>

namespace tolvane {
namespace {

constexpr FourCC kRiff = makeFourCC("RIFF");
constexpr FourCC kList = makeFourCC("LIST");

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

} // namespace

bool MmioFile::open(const std::string& path) {
    close();
    const int fd = openRegularFileForReading(path);
    if (fd < 0)
        return false;
    m_file.reset(::fdopen(fd, "rb"));
    if (!m_file) {
        ::close(fd);
        return false;
    }
    if (std::fseek(m_file.get(), 0, SEEK_END) != 0) {
        close();
        return false;
    }
    const long end = std::ftell(m_file.get());
    if (end < 0 || std::fseek(m_file.get(), 0, SEEK_SET) != 0) {
        close();
        return false;
    }
    m_size = static_cast<std::uint64_t>(end);
    return true;
}

void MmioFile::close() {
    m_file.reset();
    m_size = 0;
}

bool MmioFile::seek(std::uint64_t offset) {
    if (!m_file || offset > m_size)
        return false;
    return std::fseek(m_file.get(), static_cast<long>(offset), SEEK_SET) == 0;
}

std::uint64_t MmioFile::tell() const {
    if (!m_file)
        return 0;
    const long position = std::ftell(m_file.get());
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::size_t MmioFile::read(void* destination, std::size_t count) {
    if (!m_file || count == 0)
        return 0;
    return std::fread(destination, 1, count, m_file.get());
}

bool MmioFile::descend(ChunkInfo& info, const ChunkInfo* parent, std::uint32_t flags) {
    if (!m_file)
        return false;
    std::uint64_t limit = std::min(m_size, kLastChunkDataOffset);
    if (parent)
        limit =
            std::min<std::uint64_t>(limit, std::uint64_t{parent->dwDataOffset} + parent->cksize);

    std::uint64_t position = tell();
    while (position + 8 <= limit) {
        if (!seek(position))
            return false;
        std::array<std::uint8_t, 12> header{};
        if (read(header.data(), 8) != 8)
            return false;
        ChunkInfo found;
        found.ckid = le32(header.data());
        found.cksize = le32(header.data() + 4);
        found.dwDataOffset = static_cast<std::uint32_t>(position + 8);
        const bool isForm = found.ckid == kRiff || found.ckid == kList;
        if (isForm) {
            if (read(header.data() + 8, 4) != 4)
                return false;
            found.fccType = le32(header.data() + 8);
        }

        bool match = false;
        if (flags & FindRiff)
            match = found.ckid == kRiff && found.fccType == info.fccType;
        else if (flags & FindList)
            match = found.ckid == kList && found.fccType == info.fccType;
        else if (flags & FindChunk)
            match = found.ckid == info.ckid;
        else
            match = true;

        if (match) {
            info = found;
            return true;
        }
        position += 8 + std::uint64_t{found.cksize} + (found.cksize & 1);
    }
    return false;
}

} // namespace tolvane
