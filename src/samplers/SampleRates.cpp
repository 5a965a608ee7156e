#include "samplers/SampleRates.h"

namespace tolvane {

std::uint32_t periodForRate(std::uint32_t rate) {
    if (rate == 0)
        return 0;
    return static_cast<std::uint32_t>((1'000'000'000ull + rate / 2) / rate);
}

std::uint32_t rateForPeriod(std::uint32_t periodNs) {
    if (periodNs == 0)
        return 0;
    static constexpr std::uint32_t kCommonRates[] = {8000,  11025, 16000, 22050, 24000,  32000,
                                                     44100, 48000, 88200, 96000, 176400, 192000};
    for (std::uint32_t rate : kCommonRates)
        if (periodForRate(rate) == periodNs)
            return rate;
    return static_cast<std::uint32_t>((1'000'000'000ull + periodNs / 2) / periodNs);
}

std::uint32_t roundSampleRate(std::uint32_t rate) {
    const std::uint32_t hundreds = rate / 100;
    const std::uint32_t rest = rate % 100;
    const bool up = rest > 50 || (rest == 50 && hundreds % 2 == 1);
    return (hundreds + (up ? 1 : 0)) * 100;
}

} // namespace tolvane
