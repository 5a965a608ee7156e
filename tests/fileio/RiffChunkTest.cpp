#include "fileio/RiffChunk.h"

#include "fileio/WaveFileWriter.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace tolvane {
namespace {

std::vector<std::uint8_t> bytesOf(const RiffChunk& chunk) {
    std::vector<std::uint8_t> out;
    chunk.writeTo([&out](const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    });
    return out;
}

TEST(RiffChunk, SizesComeFromTheTreeAndOddBodiesArePadded) {
    RiffChunk file = RiffChunk::riff(makeFourCC("TEST"));
    file.add(RiffChunk::leaf(makeFourCC("odd "), std::vector<std::uint8_t>{1, 2, 3}));
    RiffChunk& list = file.add(RiffChunk::list(makeFourCC("kids")));
    list.add(RiffChunk::streamed(makeFourCC("strm"), 2, [](const ByteSink& out) {
        const std::uint8_t two[] = {7, 8};
        out(two, 2);
    }));
    EXPECT_EQ(file.childOffset(1), 12u) << "8 header bytes, 3 body bytes and the pad byte";
    EXPECT_EQ(list.bodySize(), 4u + 10);
    EXPECT_EQ(bytesOf(file),
              (std::vector<std::uint8_t>{'R', 'I', 'F', 'F', 38, 0, 0, 0, 'T', 'E', 'S', 'T',
                                         'o', 'd', 'd', ' ', 3,  0, 0, 0, 1,   2,   3,   0,
                                         'L', 'I', 'S', 'T', 14, 0, 0, 0, 'k', 'i', 'd', 's',
                                         's', 't', 'r', 'm', 2,  0, 0, 0, 7,   8}));
}

TEST(RiffChunk, AStreamThatEndsEarlyIsAnErrorNotAShortFile) {
    const RiffChunk chunk =
        RiffChunk::streamed(makeFourCC("data"), 4, [](const ByteSink& out) { out("ab", 2); });
    EXPECT_THROW(bytesOf(chunk), std::length_error);
}

// The WAV header is the chunk writer's output up to the sample data.
TEST(RiffChunk, TheWaveHeaderIsTheChunkWritersOwn) {
    const auto header = makeWaveHeader(2, 44100, 1000);
    const std::vector<std::uint8_t> bytes(header.begin(), header.end());
    EXPECT_EQ(bytes, waveFile(2, 44100, 1000, {}).headerBytes());
    EXPECT_EQ(bytes[4], 1036 & 0xFF);
    EXPECT_EQ(bytes[40], 1000 & 0xFF);
}

TEST(LittleEndianBytes, FixedTextIsCutAtACharacterAndPadded) {
    LittleEndianBytes text;
    text.fixedText("ab\xC3\xA9", 3).fixedText("x", 3, ' ');
    EXPECT_EQ(text.data(), (std::vector<std::uint8_t>{'a', 'b', 0, 'x', ' ', ' '}));
}

} // namespace
} // namespace tolvane
