#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolvane {

// Channel codes stored in a point record.
inline constexpr std::uint8_t kChannelMonoOrRight = 1; // mono, merged stereo, right of split stereo
inline constexpr std::uint8_t kChannelLeftSplit = 2;   // left channel while stereo is split

// One slice point or candidate. Stored byte-exactly (little-endian) in point files.
struct PointRecord {
    std::uint32_t Position = 0; // byte offset into SampleData
    std::int32_t Strength = 0;  // compared with Threshold; negative when the swing before is larger
    std::uint8_t Enabled = 0;   // takes part in the sensitivity selection
    std::uint8_t Locked = 0;    // non-zero: always a slice point
    std::uint8_t Channel = 0;   // channel code (see above)
    std::uint8_t Reserved = 0;

    friend bool operator==(const PointRecord&, const PointRecord&) = default;
};
static_assert(sizeof(PointRecord) == 12, "PointRecord is a 12-byte file record");
static_assert(offsetof(PointRecord, Strength) == 4 && offsetof(PointRecord, Enabled) == 8 &&
              offsetof(PointRecord, Locked) == 9 && offsetof(PointRecord, Channel) == 10);

inline constexpr int kMaxCandidates = 8192;
// Start record, up to kMaxCandidates candidates, and the end record after the last of them.
inline constexpr int kPointTableSize = kMaxCandidates + 2;

using PointTable = std::array<PointRecord, kPointTableSize>;

} // namespace tolvane
