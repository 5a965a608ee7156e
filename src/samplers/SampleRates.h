#pragma once

#include <cstdint>

namespace tolvane {

// Samplers give a sample's rate as its period in whole nanoseconds.
// 1e9 / rate, to the nearest nanosecond (0 for a rate of 0).
std::uint32_t periodForRate(std::uint32_t rate);
// The rate of a period: a common rate whose own period this is comes back as itself (44,100 Hz
// goes as 22,676 ns, which is 44,099 Hz to the nearest hertz); any other period to the nearest
// hertz. 0 for a period of 0.
std::uint32_t rateForPeriod(std::uint32_t periodNs);
// "Round sample rate": the nearest multiple of 100, halves to the even hundred (44110 -> 44100,
// 22050 -> 22000, 22150 -> 22200).
std::uint32_t roundSampleRate(std::uint32_t rate);

} // namespace tolvane
