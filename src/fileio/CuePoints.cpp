#include "fileio/CuePoints.h"

#include "fileio/TWavParser.h"
#include "fileio/WavParserErrors.h"

#include <algorithm>
#include <string>

namespace tolvane {
namespace {

constexpr std::size_t kCuePointBytes = 24;
// Bytes of a cue chunk read at most: its count and kMaxCuePoints records, with room for the
// records a damaged or foreign file puts outside the data, which are read and left out.
constexpr std::size_t kMaxCueChunkBytes = 4 + 4 * kMaxCuePoints * kCuePointBytes;

std::uint32_t le32(const std::uint8_t* p) {
    return fourCCAt(p);
}

// The body of the file's "cue " chunk, as much of it as the file holds (capped); empty when
// there is none. Throws EWavParserError when the chunks cannot be walked.
std::vector<std::uint8_t> cueChunkBody(TWavParser& parser) {
    try {
        const ChunkInfo riff = parser.findRiffChunk(makeFourCC("WAVE"));
        parser.seek(std::uint64_t{riff.dwDataOffset} + 4);
        // Searched to the end of the file, not of the RIFF chunk: writers that append chunks
        // after the data do not always correct the RIFF size.
        const ChunkInfo cue = parser.findChunk(makeFourCC("cue "));
        std::vector<std::uint8_t> body(std::min<std::size_t>(cue.cksize, kMaxCueChunkBytes));
        body.resize(parser.readChunkData(cue, body.data(), body.size()));
        return body;
    } catch (const EChunkNotFound&) {
        return {};
    }
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

CuePointReading readCuePoints(const std::string& fileName, std::uint64_t frameCount) {
    CuePointReading reading;
    TWavParser parser;
    parser.open(fileName);
    std::vector<std::uint8_t> body;
    try {
        body = cueChunkBody(parser);
    } catch (const EWavParserError& e) {
        reading.problems.push_back(std::string("The file's chunks could not be read (") + e.what() +
                                   "), so its cue points were not found.");
        return reading;
    }
    if (body.empty())
        return reading;
    if (body.size() < 4) {
        reading.problems.push_back("The cue chunk is damaged: it is too short to hold its count.");
        return reading;
    }
    const std::uint64_t declared = le32(body.data());
    const std::uint64_t held = (body.size() - 4) / kCuePointBytes;
    if (held < declared)
        reading.problems.push_back("The cue chunk is damaged: it declares " +
                                   plural(declared, "cue point", "cue points") + " but holds " +
                                   std::to_string(held) + " whole.");
    const std::uint64_t count = std::min(declared, held);

    std::size_t outside = 0;
    std::size_t notInData = 0;
    std::vector<std::uint32_t> frames;
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint8_t* record = body.data() + 4 + k * kCuePointBytes;
        if (fourCCAt(record + 8) != makeFourCC("data")) {
            ++notInData;
            continue;
        }
        const std::uint32_t frame = le32(record + 20); // dwSampleOffset
        if (frame >= frameCount) {
            ++outside;
            continue;
        }
        if (frame > 0)
            frames.push_back(frame);
    }
    std::sort(frames.begin(), frames.end());
    const auto firstRepeat = std::unique(frames.begin(), frames.end());
    const auto duplicates = static_cast<std::size_t>(frames.end() - firstRepeat);
    frames.erase(firstRepeat, frames.end());

    if (outside > 0)
        reading.problems.push_back(plural(outside, "cue point lies", "cue points lie") +
                                   " outside the sample data and " +
                                   (outside == 1 ? "was" : "were") + " left out.");
    if (notInData > 0)
        reading.problems.push_back(plural(notInData, "cue point lies", "cue points lie") +
                                   " in a chunk other than the sample data and " +
                                   (notInData == 1 ? "was" : "were") + " left out.");
    if (duplicates > 0)
        reading.problems.push_back(plural(duplicates, "cue point repeats", "cue points repeat") +
                                   " another and " + (duplicates == 1 ? "was" : "were") +
                                   " left out.");
    if (frames.size() > kMaxCuePoints) {
        reading.problems.push_back("Only the first " + std::to_string(kMaxCuePoints) + " of " +
                                   std::to_string(frames.size()) + " cue points were taken.");
        frames.resize(kMaxCuePoints);
    }
    reading.frames = std::move(frames);
    return reading;
}

std::vector<RiffChunk> cuePointChunks(const std::vector<std::uint32_t>& frames) {
    LittleEndianBytes cue;
    cue.u32(static_cast<std::uint32_t>(frames.size()));
    RiffChunk labels = RiffChunk::list(makeFourCC("adtl"));
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto id = static_cast<std::uint32_t>(k + 1);
        // Without a playlist the play order is the data's order: the position is the frame too.
        cue.u32(id).u32(frames[k]).id(makeFourCC("data")).u32(0).u32(0).u32(frames[k]);
        LittleEndianBytes label;
        label.u32(id).terminatedText("Slice " + std::to_string(id));
        labels.add(RiffChunk::leaf(makeFourCC("labl"), std::move(label)));
    }
    std::vector<RiffChunk> chunks;
    chunks.push_back(RiffChunk::leaf(makeFourCC("cue "), std::move(cue)));
    chunks.push_back(std::move(labels));
    return chunks;
}

} // namespace tolvane
