#pragma once

// Float samples (full scale 1.0) to 16-bit PCM, for every sample a plug-in makes.

#include <algorithm>
#include <cstdint>

namespace tolvane {

// Scaled by 32768, rounded half to even, clipped to the 16-bit range (a loud plug-in clips, never
// wraps); NaN is silence. Bit for bit what lrint of the clipped value gives in the default
// rounding mode, without a library call per sample.
inline std::int16_t pcm16FromFloat(float value) {
    float scaled = value * 32768.0F;
    if (scaled != scaled) // NaN
        scaled = 0.0F;
    scaled = std::min(std::max(scaled, -32768.0F), 32767.0F);
    // 1.5 x 2^23 leaves no bits for a fraction: the sum is rounded to a whole number, ties to
    // even, and subtracting it again is exact.
    constexpr float kRounder = 12582912.0F;
    const float rounded = (scaled + kRounder) - kRounder;
    return static_cast<std::int16_t>(static_cast<int>(rounded));
}

} // namespace tolvane
