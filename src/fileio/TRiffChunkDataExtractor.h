#pragma once

#include "fileio/TWavParser.h"

#include <cstddef>
#include <string>

namespace tolvane {

// Locates one chunk of a RIFF form when constructed and copies its data on request.
class TRiffChunkDataExtractor {
public:
    TRiffChunkDataExtractor(const std::string& fileName, FourCC chunkId, FourCC formType);

    const ChunkInfo& chunk() const { return m_chunk; }
    // Copies up to maxBytes of the chunk's data; returns the bytes the file delivered.
    std::size_t copyData(void* destination, std::size_t maxBytes);

private:
    TWavParser m_parser;
    ChunkInfo m_chunk;
};

// The "data" chunk of a "WAVE" form.
class TWaveDataExtractor : public TRiffChunkDataExtractor {
public:
    explicit TWaveDataExtractor(const std::string& fileName);
};

} // namespace tolvane
