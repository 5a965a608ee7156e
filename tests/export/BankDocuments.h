#pragma once

#include "document/SampleDocument.h"
#include "export/SoundBank.h"
#include "slicing/LoopSegments.h"
#include "slicing/SliceTables.h"

#include <cstdint>
#include <vector>

namespace tolvane::test {

// A loop whose every sample differs from its neighbours, so that a misplaced byte shows: the
// given slice points (byte positions; in split stereo each point is set on both channels).
inline SampleDocument bankLoop(std::uint16_t channels, bool merged, std::int32_t length,
                               const std::vector<std::uint32_t>& points) {
    std::vector<PointRecord> records;
    const bool split = channels == 2 && !merged;
    for (const std::uint32_t p : points) {
        if (split) {
            records.push_back({p & ~3u, 100, 1, 0, kChannelLeftSplit, 0});
            records.push_back({(p & ~3u) + 2, 100, 1, 0, kChannelMonoOrRight, 0});
        } else {
            records.push_back({p, 100, 1, 0, kChannelMonoOrRight, 0});
        }
    }
    SampleDocument doc = documentWithSlices(channels, merged, length, records);
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.BytesPerSecond = 44100u * 2 * channels;
    doc.FileName = "/samples/loop.wav";
    for (std::int32_t i = 0; i + 1 < length; i += 2) {
        const auto v = static_cast<std::uint16_t>(i * 37 + 11);
        doc.SampleData.data()[i] = static_cast<std::uint8_t>(v);
        doc.SampleData.data()[i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return doc;
}

// The bytes a segment stands for without smoothing: its span, or every second sample from its
// start for one channel of stereo.
inline std::vector<std::uint8_t> segmentBytes(const SampleDocument& doc, const LoopSegment& s) {
    std::vector<std::uint8_t> bytes;
    const std::uint32_t stride = 2 * static_cast<std::uint32_t>(s.sourceLayout);
    for (std::uint32_t b = 0; b < s.byteCount; b += 2) {
        const std::uint32_t at = s.start + (b / 2) * stride;
        bytes.push_back(doc.SampleData.data()[at]);
        bytes.push_back(doc.SampleData.data()[at + 1]);
    }
    return bytes;
}

inline BankSettings fixedBankSettings() {
    BankSettings settings;
    settings.presetName = "loop";
    settings.creationDate = soundFontDate(1997, 5, 2);
    std::uint8_t next = 0;
    settings.newGuid = [next]() mutable {
        Guid guid{};
        guid.fill(++next);
        return guid;
    };
    return settings;
}

} // namespace tolvane::test
