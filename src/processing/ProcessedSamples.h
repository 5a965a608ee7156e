#pragma once

#include "document/SampleDocument.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace tolvane {

// An operation that cannot do what it was asked on this sample (a silent sample to normalise,
// a mono sample to make mono, ...). It is raised before anything is recorded or changed.
class ProcessingRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The window's message for a whole-sample operation that failed (its working copy, that is the
// undo file, could not be written, or normalising found no peak).
inline constexpr const char* kMsgProcessingError =
    "A processing error has occured!\r\n\r\nPlease check that there is sufficient disk space "
    "available for temporary \r\nfiles.";

// The 16-bit little-endian sample at p.
inline int loadSample(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

inline void storeSample(std::uint8_t* p, int value) {
    p[0] = static_cast<std::uint8_t>(value & 0xFF);
    p[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// The samples a whole-sample operation works on: every sample of a mono sample or of both
// channels, or, when the channel choice names one channel of a stereo sample, that channel's
// samples only (the other channel is left as it is).
struct ProcessedSamples {
    std::size_t first = 0; // byte offset of the first processed sample
    std::size_t step = 2;  // bytes from one processed sample to the next
    bool everySample() const { return step == 2; }
};

inline ProcessedSamples processedSamples(const SampleDocument& doc) {
    if (doc.Channels != 2 || doc.FirstChannel != doc.LastChannel)
        return {};
    return {doc.FirstChannel == 2 ? std::size_t{2} : std::size_t{0}, 4};
}

// Calls f(pointer to the sample) for every processed sample of the data.
template <typename F> void forEachProcessedSample(SampleDocument& doc, F&& f) {
    const ProcessedSamples samples = processedSamples(doc);
    std::uint8_t* data = doc.SampleData.data();
    const auto length = static_cast<std::size_t>(doc.DataLength);
    for (std::size_t at = samples.first; at + 1 < length; at += samples.step)
        f(data + at);
}

} // namespace tolvane
