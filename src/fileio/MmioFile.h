#pragma once

#include "fileio/FourCC.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tolvane {

// Chunk data offsets are 32-bit: a chunk whose data would begin beyond this offset (in a file
// larger than 4 GiB) cannot be described, so chunk searches stop before it.
inline constexpr std::uint64_t kLastChunkDataOffset = 0xFFFFFFFF;

// What a chunk search reports, as the multimedia-file descend operation does.
struct ChunkInfo {
    FourCC ckid = 0;
    std::uint32_t cksize = 0;
    FourCC fccType = 0;             // form type of "RIFF" and "LIST" chunks
    std::uint32_t dwDataOffset = 0; // file offset of the chunk's data (the form type for RIFF)
    std::uint32_t dwFlags = 0;
};

// Read-only buffered file access with RIFF chunk descent: the small layer the parser needs
// in place of the system's multimedia-file functions. Chunks are word-aligned: the pad byte
// after an odd-sized chunk is skipped.
class MmioFile {
public:
    enum DescendFlags : std::uint32_t { FindChunk = 0x10, FindRiff = 0x20, FindList = 0x40 };

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    std::uint64_t size() const { return m_size; }

    // Absolute seek; fails for offsets beyond the end of the file.
    bool seek(std::uint64_t offset);
    std::uint64_t tell() const;
    // Reads up to count bytes; returns how many were read.
    std::size_t read(void* destination, std::size_t count);

    // From the current position, finds the chunk described by flags and info (ckid for
    // FindChunk, fccType for FindRiff/FindList), within parent when given. On success the
    // position is at the chunk's data (past the form type for RIFF and LIST).
    bool descend(ChunkInfo& info, const ChunkInfo* parent, std::uint32_t flags);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::uint64_t m_size = 0;
};

} // namespace tolvane
