#include "fileio/TRiffChunkDataExtractor.h"

namespace tolvane {

TRiffChunkDataExtractor::TRiffChunkDataExtractor(const std::string& fileName, FourCC chunkId,
                                                 FourCC formType) {
    m_parser.open(fileName);
    m_parser.rewind();
    const ChunkInfo riff = m_parser.findRiffChunk(formType);
    m_parser.seek(std::uint64_t{riff.dwDataOffset} + 4);
    m_chunk = m_parser.findChunk(chunkId);
}

std::size_t TRiffChunkDataExtractor::copyData(void* destination, std::size_t maxBytes) {
    return m_parser.readChunkData(m_chunk, destination, maxBytes);
}

TWaveDataExtractor::TWaveDataExtractor(const std::string& fileName)
    : TRiffChunkDataExtractor(fileName, makeFourCC("data"), makeFourCC("WAVE")) {}

} // namespace tolvane
