#include "export/BankParts.h"

#include "document/SafeFileWriter.h"
#include "processing/WriteSampleFile.h"

#include <algorithm>

namespace tolvane::bank {
namespace {

constexpr std::size_t kWriteBufferSize = 1 << 16;

} // namespace

Wave waveOf(const LoopSegment& segment, int smoothAmount) {
    return {segment, sampleFileDataLength(segment.byteCount, smoothAmount)};
}

void produceWave(const SampleDocument& doc, const Wave& wave, int smoothAmount,
                 std::size_t zerosAfter, const ByteSink& out) {
    TWaveSmoother smoother = segmentSmoother(doc, wave.segment, smoothAmount);
    produceSamples(smoother, out);
    static constexpr std::uint8_t kZeros[256] = {};
    while (zerosAfter > 0) {
        const std::size_t n = std::min(zerosAfter, sizeof kZeros);
        out(kZeros, n);
        zerosAfter -= n;
    }
}

KeyRange segmentKeys(const BankSettings& settings, int k) {
    return keyForSample(settings.keymap, k - 1);
}

std::uint8_t keyByte(int key) {
    return static_cast<std::uint8_t>(std::clamp(key, 0, 127));
}

void writeRiffFile(const std::string& fileName, const RiffChunk& root) {
    SafeFileWriter out(fileName);
    // Headers are a few bytes each: gathered into large writes.
    std::vector<std::uint8_t> buffer;
    buffer.reserve(kWriteBufferSize);
    root.writeTo([&](const void* bytes, std::size_t count) {
        if (buffer.size() + count > kWriteBufferSize) {
            out.write(buffer.data(), buffer.size());
            buffer.clear();
        }
        if (count >= kWriteBufferSize) {
            out.write(bytes, count);
            return;
        }
        const auto* p = static_cast<const std::uint8_t*>(bytes);
        buffer.insert(buffer.end(), p, p + count);
    });
    out.write(buffer.data(), buffer.size());
    out.commit();
}

} // namespace tolvane::bank
