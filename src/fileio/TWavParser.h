#pragma once

#include "fileio/FormatRecord.h"
#include "fileio/MmioFile.h"

#include <cstddef>
#include <string>

namespace tolvane {

enum class FileLayout { RiffWave = 0, Aiff = 1 };

// Chunk parser for RIFF/WAVE and AIFF files. Every failure is an EWavParserError (or its
// EChunkNotFound); nothing reads outside the file or the caller's buffer.
class TWavParser {
public:
    // Opens a file by name, closing any open one first.
    void open(const std::string& fileName);
    void close();
    const std::string& fileName() const { return m_fileName; }

    void rewind();
    void seek(std::uint64_t offset);

    // RIFF: from the current position, the RIFF chunk of the given form type.
    ChunkInfo findRiffChunk(FourCC formType);
    // RIFF: from the current position, the chunk with the given id (within parent if given).
    ChunkInfo findChunk(FourCC id, const ChunkInfo* parent = nullptr);
    // Copies up to maxBytes of a chunk's data into destination; returns the bytes copied,
    // fewer when the file ends before the chunk does.
    std::size_t readChunkData(const ChunkInfo& chunk, void* destination, std::size_t maxBytes);

    // AIFF: checks the 12-byte "FORM" ... "AIFF" header (EChunkNotFound otherwise).
    void checkAiffHeader();
    // AIFF: finds "COMM" after the header and turns it into a PCM format record.
    FormatRecord parseAiffComm();
    // AIFF: finds "SSND" (after "COMM", else anywhere in the form). The returned chunk's data
    // offset and size describe the sample bytes alone, past the offset and block-size fields.
    ChunkInfo findAiffSsnd();

    FileLayout layout = FileLayout::RiffWave;

private:
    MmioFile& file();
    bool walkAiffChunks(FourCC id, ChunkInfo& found);

    MmioFile m_file;
    std::string m_fileName;
};

} // namespace tolvane
