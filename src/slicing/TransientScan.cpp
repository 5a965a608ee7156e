#include "slicing/TransientScan.h"

#include "slicing/SampleAccess.h"
#include "slicing/StereoCandidates.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvane {
namespace {

constexpr double kInitialMixedLevel = 32768.0;
constexpr double kInitialHistory = 49152.0;
constexpr double kHoldOff = 65536.0; // history after a transient: no detection while it decays
constexpr int kSettleFrames = 4;
constexpr int kSwingLead = 200;    // pass 6 starts this many frames before the candidate
constexpr int kBeforeStart = 700;  // pass 7 reads frames 700 ..
constexpr int kBeforeLength = 500; // .. to 201 before the candidate

int roundHalfEven(double v) {
    return static_cast<int>(std::lrint(v));
}

PointRecord& candidate(SampleDocument& doc, int index) {
    return doc.CandidateTable[index];
}

// Copies one block of a channel's samples (frames `count`) starting at a byte offset.
void readBlock(const SampleDocument& doc, std::int64_t offset, int count, int* xs) {
    const int frameBytes = doc.frameBytes();
    const std::int64_t end = offset + std::int64_t(count) * frameBytes;
    if (offset >= 0 && end <= static_cast<std::int64_t>(doc.SampleData.size())) {
        const std::uint8_t* p = doc.SampleData.data() + offset;
        for (int n = 0; n < count; ++n, p += frameBytes)
            xs[n] = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
        return;
    }
    for (int n = 0; n < count; ++n)
        xs[n] = sampleAt(doc, offset + std::int64_t(n) * frameBytes);
}

int preEmphasisOne(int x, int previous, double coefficient) {
    // Stored back as a signed 16-bit value: out-of-range values wrap.
    return static_cast<std::int16_t>(
        roundHalfEven(static_cast<double>(x) - coefficient * static_cast<double>(previous)));
}

// y(n) = round(x(n) - coefficient * x(n - 1)) wrapped to 16 bits, where xs[0] is x(-1) and
// xs[1..count] the block. Two at a time where SSE2 is there: the products and differences are
// the same IEEE operations, and the conversion rounds half to even as lrint does.
void preEmphasise(const int* xs, int count, double coefficient, int* ys) {
    int n = 0;
#if defined(__SSE2__)
    const __m128d factor = _mm_set1_pd(coefficient);
    for (; n + 2 <= count; n += 2) {
        const __m128d previous =
            _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(xs + n)));
        const __m128d current =
            _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(xs + n + 1)));
        const __m128i rounded = _mm_cvtpd_epi32(_mm_sub_pd(current, _mm_mul_pd(factor, previous)));
        const __m128i wrapped = _mm_srai_epi32(_mm_slli_epi32(rounded, 16), 16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ys + n), wrapped);
    }
#endif
    for (; n < count; ++n)
        ys[n] = preEmphasisOne(xs[n + 1], xs[n], coefficient);
}

struct BlockEnvelope {
    double up = 0.0;
    double down = 0.0;
    int peak = 0;   // the sample that last raised the upper follower
    int trough = 0; // the sample that last lowered the lower one
};

BlockEnvelope followEnvelope(const int* ys, int count, const DetectorParameters& prm) {
    BlockEnvelope e;
    for (int n = 0; n < count; ++n) {
        const double y = ys[n];
        if (y > e.up) {
            e.peak = ys[n];
            e.up = y * prm.oprec + e.up * prm.nprec;
        }
        if (y < e.down) {
            e.trough = ys[n];
            e.down = y * prm.oprec + e.down * prm.nprec;
        }
    }
    return e;
}

// One channel pass of the block scan; p is 1 (right or mono) or 2 (left). Returns the frames it
// scanned when the table filled with blocks still to scan.
std::optional<std::int64_t> blockScanChannel(SampleDocument& doc, const DetectorParameters& prm,
                                             int p) {
    const int channels = doc.Channels;
    const int blockFrames = prm.FindSize;
    const std::int64_t blocks = (doc.DataLength / channels) / blockFrames;
    const std::int64_t blockCount =
        doc.DataLength / blockFrames >= 1 ? (blocks - 1) / 2 : blocks / 2;
    std::int64_t offset = (channels == 2 && p == 1) ? 2 : 0;

    std::vector<int> xs(static_cast<std::size_t>(blockFrames) + 1, 0); // xs[0]: previous raw sample
    std::vector<int> ys(static_cast<std::size_t>(blockFrames), 0);
    double h1 = kInitialMixedLevel;
    double h2 = kInitialHistory;
    // Once the table is full nothing more can be recorded, so the rest of the pass is moot.
    for (std::int64_t r = 1; r <= blockCount; ++r) {
        if (doc.CandidateCount >= kMaxCandidates)
            return (r - 1) * blockFrames;
        readBlock(doc, offset, blockFrames, xs.data() + 1);
        offset += std::int64_t(blockFrames) * doc.frameBytes();
        preEmphasise(xs.data(), blockFrames, doc.PreEmphasis, ys.data());
        xs[0] = xs[blockFrames];
        const BlockEnvelope e = followEnvelope(ys.data(), blockFrames, prm);

        const double d = e.up - e.down;
        double s = prm.sndl * d + prm.sndp * h1 + prm.sndp2 * h2;
        double m = prm.lfac * d + prm.pfac * s;
        if (m - s > 0 && doc.CandidateCount < kMaxCandidates) {
            ++doc.CandidateCount;
            std::uint32_t position =
                static_cast<std::uint32_t>((blockFrames * r * 2 + 10) * channels + (p - 1) * 2);
            if (channels == 2)
                position = (position & ~3u) + (p == 1 ? 2 : 0);
            candidate(doc, doc.CandidateCount) =
                PointRecord{position, e.peak - e.trough, 1, 0, static_cast<std::uint8_t>(p), 0};
            m = kHoldOff;
            s = kHoldOff;
        }
        h2 = s;
        h1 = m;
    }
    return std::nullopt;
}

struct Range {
    int largest = -100000;
    int smallest = 100000;
};

// Largest and smallest of every `Stride`-th 16-bit sample; a plain loop the compiler vectorises.
template <int Stride> Range stridedRange(const std::uint8_t* bytes, std::int64_t count) {
    Range range;
    for (std::int64_t n = 0; n < count; ++n) {
        std::int16_t v;
        std::memcpy(&v, bytes + n * Stride * 2, sizeof v);
        range.largest = std::max<int>(range.largest, v);
        range.smallest = std::min<int>(range.smallest, v);
    }
    return range;
}

// Largest and smallest sample of a channel over `count` frames from a byte offset.
Range channelRange(const SampleDocument& doc, std::int64_t offset, std::int64_t count) {
    const int frameBytes = doc.frameBytes();
    const bool inside = offset >= 0 && offset + count * frameBytes <=
                                           static_cast<std::int64_t>(doc.SampleData.size());
    if (inside && std::endian::native == std::endian::little) {
        const std::uint8_t* bytes = doc.SampleData.data() + offset;
        return frameBytes == 2 ? stridedRange<1>(bytes, count) : stridedRange<2>(bytes, count);
    }
    Range range;
    for (std::int64_t n = 0; n < count; ++n) {
        const int v = sampleAt(doc, offset + n * frameBytes);
        range.largest = std::max(range.largest, v);
        range.smallest = std::min(range.smallest, v);
    }
    return range;
}

// Peak of |x| over the settle window of 4 frames starting at a byte offset, as unsigned 16-bit.
int settlePeak(const SampleDocument& doc, std::int64_t start) {
    int peak = 0;
    for (int j = 0; j < kSettleFrames; ++j)
        peak = std::max(peak, std::abs(sampleAt(doc, start + std::int64_t(j) * doc.frameBytes())));
    return peak;
}

} // namespace

PassWindows passWindowsForRate(std::uint32_t sampleRate) {
    const double ratio = 44100.0 / static_cast<double>(sampleRate);
    PassWindows w;
    w.W2 = roundHalfEven(240.0 / ratio);
    w.W3 = roundHalfEven(192.0 / ratio);
    w.W5 = roundHalfEven(300.0 / ratio);
    w.S = roundHalfEven(20.0 / ratio);
    return w;
}

std::optional<TableFull> blockScan(SampleDocument& doc, const DetectorParameters& parameters) {
    doc.CandidateCount = 0;
    for (int p = 1; p <= doc.Channels; ++p) {
        if (doc.CandidateCount >= kMaxCandidates)
            return TableFull{0, p}; // this channel was not scanned at all
        if (const auto frames = blockScanChannel(doc, parameters, p))
            return TableFull{static_cast<std::uint32_t>(*frames * doc.frameBytes()), p};
    }
    return std::nullopt;
}

void findQuietStarts(SampleDocument& doc, const PassWindows& w) {
    const int fb = doc.frameBytes();
    for (int c = 1; c <= doc.CandidateCount; ++c) {
        PointRecord& rec = candidate(doc, c);
        const std::int64_t start = std::int64_t(rec.Position) - std::int64_t(w.W2) * fb;
        int best = 32767;
        int chosen = w.W2;
        const int steps = w.S > 0 ? w.W2 / w.S : 0;
        for (int k = steps; k >= 1; --k) {
            int level = -129;
            for (int i = 1; i <= w.S; ++i)
                level =
                    std::max(level, std::abs(sampleAt(doc, start + std::int64_t(k * i - 1) * fb)));
            if (level < best && best > 384) {
                best = level;
                chosen = w.S * (k - 1);
            }
        }
        rec.Position = placeWithinData(doc, start + std::int64_t(chosen) * fb);
    }
}

QuietPairTrace findQuietPair(SampleDocument& doc, int c, const PassWindows& w) {
    const int fb = doc.frameBytes();
    PointRecord& rec = candidate(doc, c);
    const std::int64_t start = std::int64_t(rec.Position) - std::int64_t(w.W3) * fb;
    int best = 256;
    int chosen = w.W3;
    QuietPairTrace trace;
    for (int k = w.W3 / 2; k >= 1; --k) {
        int largest = -129;
        int smallest = 129;
        for (int i = 1; i <= 2; ++i) {
            const int v = sampleAt(doc, start + std::int64_t(k * i - 1) * fb) / 256;
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
        }
        const int q = std::abs(smallest) + std::abs(largest);
        if (q < best && best > 3) {
            best = q;
            chosen = 2 * (k - 1);
        }
        trace.level = q;
    }
    trace.offset = chosen;
    rec.Position = placeWithinData(doc, start + std::int64_t(chosen) * fb);
    return trace;
}

void settleBackward(SampleDocument& doc, int c) {
    PointRecord& rec = candidate(doc, c);
    const std::int64_t base = rec.Position;
    int reference = 65535;
    for (std::int64_t t = 0;; ++t) {
        const std::int64_t start = base - t * doc.frameBytes();
        const int peak = settlePeak(doc, start);
        if (peak >= reference)
            return;
        rec.Position = placeWithinData(doc, start);
        reference = peak;
        if (start <= 0)
            return;
    }
}

void settleForward(SampleDocument& doc, int c) {
    PointRecord& rec = candidate(doc, c);
    const std::int64_t base = rec.Position;
    int reference = 65535;
    for (std::int64_t t = 0;; ++t) {
        const std::int64_t start = base + t * doc.frameBytes();
        const int peak = settlePeak(doc, start);
        if (peak >= reference)
            return;
        rec.Position = placeWithinData(doc, start);
        reference = peak;
        if (start >= doc.DataLength)
            return;
    }
}

// Passes 3 and 4 run as: for c = 1 while c < CandidateCount (at least once): pass 3 on
// candidate c, then 4a on every candidate, then 4b on every candidate. That is quadratic in
// the candidate count, and all but one candidate's share of it changes nothing:
//
// - 4a and 4b depend only on the candidate's own position and the samples, never on other
//   candidates; only pass 3 moves a candidate between rounds, and only candidate c.
// - 4a stops at the first window whose peak is not below the last accepted one (or after a
//   window at or before byte 0), so from its result the next 4a accepts the window at that
//   position and then meets the same failing window (or the same start of the data): 4a is
//   idempotent. Likewise 4b, including a walk that ran off the end: it leaves the candidate
//   on the last frame, whose window holds that frame's sample and silence, and from there
//   the next window is silence or fails in the same way.
// - After 4a then 4b, 4a changes nothing: if 4b moved the candidate, the window one frame
//   back was accepted by 4b with a strictly larger peak (or, on the last frame, contains
//   that frame); if 4b did not move it, the position is 4a's own result.
//
// So after the first round every candidate rests where 4a and 4b leave it alone, and each
// later round only needs 4a and 4b on the candidate that its pass 3 moved. The literal
// formulation is kept in the tests as the reference this is checked against.
QuietPairTrace refineAndSettle(SampleDocument& doc, const PassWindows& windows) {
    QuietPairTrace trace;
    if (doc.CandidateCount < 1)
        return trace;
    trace = findQuietPair(doc, 1, windows);
    for (int k = 1; k <= doc.CandidateCount; ++k)
        settleBackward(doc, k);
    for (int k = 1; k <= doc.CandidateCount; ++k)
        settleForward(doc, k);
    for (int c = 2; c < doc.CandidateCount; ++c) {
        trace = findQuietPair(doc, c, windows);
        settleBackward(doc, c);
        settleForward(doc, c);
    }
    return trace;
}

void snapToLowSamples(SampleDocument& doc, const PassWindows& w, QuietPairTrace trace) {
    const int fb = doc.frameBytes();
    const int h = w.W5 / 2;
    const int end = 2 * w.W5;
    int level = trace.level;
    int offset = trace.offset;
    for (int c = 1; c <= doc.CandidateCount; ++c) {
        PointRecord& rec = candidate(doc, c);
        const std::int64_t start = std::int64_t(rec.Position) - std::int64_t(h) * fb;
        const auto x = [&](int n) { return sampleAt(doc, start + std::int64_t(n) * fb); };
        level = std::abs(level - x(h - 1));
        const int direction = std::abs(level - x(h - 2)) < level ? -1 : 1;
        for (int j = h + direction;; j += direction) {
            const int v = std::abs(x(j - 1));
            if (v > level)
                break;
            level = v;
            offset = j - 1;
            if (j <= 0 || j >= end)
                break;
        }
        if (level < 500)
            rec.Position = placeWithinData(doc, start + std::int64_t(offset) * fb);
    }
}

void sortCandidates(SampleDocument& doc) {
    auto first = doc.CandidateTable.begin() + 1;
    std::stable_sort(
        first, first + doc.CandidateCount,
        [](const PointRecord& a, const PointRecord& b) { return a.Position < b.Position; });
}

void closeCandidateTable(SampleDocument& doc) {
    PointRecord& end = doc.candidateEndRecord();
    end.Position = static_cast<std::uint32_t>(doc.DataLength);
    end.Enabled = 0;
    doc.CandidateTable[0].Position = 0;
    doc.CandidateTable[0].Enabled = 0;
}

void measureSwingAfter(SampleDocument& doc) {
    const int fb = doc.frameBytes();
    const int count = doc.CandidateCount;
    // The next record of each channel, found walking back from the end record.
    std::array<int, 256> nextOfChannel;
    nextOfChannel.fill(count + 1);
    std::array<int, kPointTableSize> next{};
    for (int k = count; k >= 1; --k) {
        const std::uint8_t channel = candidate(doc, k).Channel;
        next[k] = nextOfChannel[channel];
        nextOfChannel[channel] = k;
    }
    for (int k = 1; k <= count; ++k) {
        PointRecord& rec = candidate(doc, k);
        const std::int64_t position = rec.Position;
        const std::int64_t frames =
            (std::int64_t(candidate(doc, next[k]).Position) - position) / (2 * doc.Channels);
        // Frames from 200 before the candidate: n of them, and at least one.
        const Range range = channelRange(doc, position - std::int64_t(kSwingLead) * fb,
                                         std::max<std::int64_t>(frames, 1));
        rec.Strength = range.largest - range.smallest;
    }
}

void measureStrengths(SampleDocument& doc) {
    const int fb = doc.frameBytes();
    for (int k = 1; k <= doc.CandidateCount; ++k) {
        PointRecord& rec = candidate(doc, k);
        const Range range = channelRange(
            doc, std::int64_t(rec.Position) - std::int64_t(kBeforeStart) * fb, kBeforeLength);
        const double before = range.largest - range.smallest;
        const double after = rec.Strength == 0 ? 1 : rec.Strength;
        rec.Strength = roundHalfEven((after - before) / (after + 1) * 65535.0);
    }
}

ScanReport scanTransients(SampleDocument& doc, const ScanOptions& options) {
    ScanReport report;
    if (doc.DetectPending && doc.Channels >= 1) {
        const DetectorParameters parameters; // every scan starts from the defaults
        if (!doc.KeepCandidates)
            report.tableFull = blockScan(doc, parameters);
        doc.KeepCandidates = false;
        const PassWindows windows = passWindowsForRate(doc.SampleRate);
        findQuietStarts(doc, windows);
        const QuietPairTrace trace = refineAndSettle(doc, windows);
        snapToLowSamples(doc, windows, trace);
        sortCandidates(doc);
        closeCandidateTable(doc);
        measureSwingAfter(doc);
        measureStrengths(doc);
        doc.DetectPending = false;
        report.scanned = true;
        report.found = doc.CandidateCount;
        if (doc.MergeChannels && doc.Channels == 2) {
            mergeStereoCandidates(doc, options.viewWidth);
            report.merged = true;
        }
    }
    doc.KeepCandidates = false;
    return report;
}

namespace {

std::string minutesAndSeconds(std::int64_t bytes, const SampleDocument& doc) {
    const std::int64_t bytesPerSecond =
        std::max<std::int64_t>(std::int64_t{doc.SampleRate} * doc.frameBytes(), 1);
    const std::int64_t seconds = bytes / bytesPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

std::string scanLimitText(const SampleDocument& doc, const ScanReport& report) {
    if (!report.tableFull)
        return {};
    const TableFull& full = *report.tableFull;
    std::string text = "the table is full at " + minutesAndSeconds(full.reachedBytes, doc) +
                       " of " + minutesAndSeconds(doc.DataLength, doc);
    if (doc.Channels != 2)
        return text + "; later hits were not scanned";
    // The right channel is scanned first, then the left.
    if (full.channelPass == 1)
        return text + " of the right channel; its later hits and the left channel were not "
                      "scanned";
    return text + " of the left channel; its later hits were not scanned";
}

} // namespace tolvane
