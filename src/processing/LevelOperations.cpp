#include "processing/LevelOperations.h"

#include "processing/ProcessedSamples.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace tolvane {
namespace {

// GCC and Clang's 128-bit integer: (s * n - sum) * 32767 * percent needs up to 93 bits.
__extension__ using Int128 = __int128;

struct LevelStatistics {
    std::int64_t count = 0;
    std::int64_t sum = 0;
    int minimum = 32767;
    int maximum = -32768;
};

LevelStatistics measure(SampleDocument& doc) {
    LevelStatistics stats;
    forEachProcessedSample(doc, [&stats](const std::uint8_t* p) {
        const int s = loadSample(p);
        ++stats.count;
        stats.sum += s;
        stats.minimum = std::min(stats.minimum, s);
        stats.maximum = std::max(stats.maximum, s);
    });
    return stats;
}

// With the mean m = sum / n, s - m = (s * n - sum) / n, so every ratio of distances from the
// centre is a ratio of integers: the scaling is computed exactly, and the samples whose
// distance is the peak land exactly on percent of 32767 (a floating-point gain misses by one for
// about one peak value in seven). Only the values between the smallest and the largest sample
// occur: when the sample holds more samples than that, each result is computed once, into a
// table.
class NormaliseScale {
public:
    NormaliseScale(const LevelStatistics& stats, bool dcCenter, int percent)
        : m_n(dcCenter ? stats.count : 1), m_sum(dcCenter ? stats.sum : 0), m_percent(percent),
          m_minimum(stats.minimum) {
        const std::int64_t peak =
            std::max(std::abs(stats.minimum * m_n - m_sum), std::abs(stats.maximum * m_n - m_sum));
        if (peak == 0)
            throw ProcessingRefused("the sample is silent: it has no peak to normalise to");
        m_denominator = Int128{100} * peak;
        const int values = stats.maximum - stats.minimum + 1;
        if (stats.count <= values)
            return;
        m_table.reserve(static_cast<std::size_t>(values));
        for (int s = stats.minimum; s <= stats.maximum; ++s)
            m_table.push_back(static_cast<std::int16_t>(exact(s)));
    }

    int operator()(int sample) const {
        return m_table.empty() ? exact(sample)
                               : m_table[static_cast<std::size_t>(sample - m_minimum)];
    }

private:
    // trunc((s - m) * percent / 100 * 32767 / P), clipped to 16 bits. Integer division
    // truncates toward zero, as trunc() does.
    int exact(int s) const {
        const Int128 scaled = Int128{s * m_n - m_sum} * 32767 * m_percent / m_denominator;
        return static_cast<int>(std::clamp<Int128>(scaled, -32768, 32767));
    }

    std::int64_t m_n;
    std::int64_t m_sum;
    int m_percent;
    int m_minimum;
    Int128 m_denominator = 1;
    std::vector<std::int16_t> m_table;
};

} // namespace

void normaliseSample(SampleDocument& doc, UndoRecord& undo, const NormaliseOptions& options) {
    const LevelStatistics stats = measure(doc);
    if (stats.count == 0)
        throw ProcessingRefused("the sample holds no samples to normalise");
    const NormaliseScale scale(stats, options.dcCenter, options.percent);
    recordWholeSample(undo, doc, kUndoWholeSample);
    forEachProcessedSample(doc,
                           [&scale](std::uint8_t* p) { storeSample(p, scale(loadSample(p))); });
}

void invertSample(SampleDocument& doc, UndoRecord& undo) {
    recordWholeSample(undo, doc, kUndoWholeSample);
    // -s - 1 is the complement of every bit of the sample, so of both its bytes.
    std::uint8_t* data = doc.SampleData.data();
    const auto length = static_cast<std::size_t>(doc.DataLength);
    if (processedSamples(doc).everySample()) {
        for (std::size_t i = 0; i < (length & ~std::size_t{1}); ++i)
            data[i] = static_cast<std::uint8_t>(~data[i]);
    } else {
        forEachProcessedSample(doc, [](std::uint8_t* p) {
            p[0] = static_cast<std::uint8_t>(~p[0]);
            p[1] = static_cast<std::uint8_t>(~p[1]);
        });
    }
}

void quantiseSample(SampleDocument& doc, UndoRecord& undo, int bits) {
    if (bits < 0 || bits > 16)
        throw std::invalid_argument("quantise keeps 0 to 16 bits");
    if (bits == 16)
        throw ProcessingRefused("the sample already has 16 bits: quantising to 16 changes nothing");
    recordWholeSample(undo, doc, kUndoWholeSample);
    // Truncating toward zero by a power of two: clear the low bits of the magnitude.
    const int mask = ~((1 << (16 - bits)) - 1);
    forEachProcessedSample(doc, [mask](std::uint8_t* p) {
        const int s = loadSample(p);
        const int kept = (s < 0 ? -s : s) & mask;
        storeSample(p, s < 0 ? -kept : kept);
    });
}

} // namespace tolvane
