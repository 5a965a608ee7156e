#include "slicing/ReferenceScan.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace tolvane::test {
namespace {

// The 16-bit sample at a byte offset; silence outside the buffer (data plus spare bytes).
int readSample(const SampleDocument& doc, long long at) {
    if (at < 0 || at + 2 > static_cast<long long>(doc.SampleData.size()))
        return 0;
    const auto* p = doc.SampleData.data() + at;
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

// Reads `frames` samples of the channel addressed by `start` into a buffer: x(n).
std::vector<int> readWindow(const SampleDocument& doc, long long start, int frames) {
    std::vector<int> x(frames);
    for (int n = 0; n < frames; ++n)
        x[n] = readSample(doc, start + static_cast<long long>(n) * 2 * doc.Channels);
    return x;
}

void moveTo(SampleDocument& doc, PointRecord& rec, long long position) {
    if (position < 0)
        position = 0;
    if (position >= doc.DataLength) {
        position = doc.Channels == 1 ? doc.DataLength - 2
                                     : doc.DataLength - 4 + (position % 4 == 2 ? 2 : 0);
        if (position < 0)
            position = 0;
    }
    rec.Position = static_cast<std::uint32_t>(position);
}

int rnd(double v) {
    return static_cast<int>(std::nearbyint(v));
}

struct Windows {
    int w2, w3, w5, s;
};

Windows windowsFor(std::uint32_t rate) {
    return {rnd(240 / (44100.0 / rate)), rnd(192 / (44100.0 / rate)), rnd(300 / (44100.0 / rate)),
            rnd(20 / (44100.0 / rate))};
}

void pass1(SampleDocument& doc) {
    doc.CandidateCount = 0;
    const int ch = doc.Channels;
    for (int p = 1; p <= ch; ++p) {
        long long readPos = (ch == 1 || p == 2) ? 0 : 2;
        int previous = 0;
        double h1 = 32768.0, h2 = 49152.0;
        const int B = (doc.DataLength / ch) / 205;
        const int N = (doc.DataLength / 205 >= 1) ? (B - 1) / 2 : B / 2;
        for (int r = 1; r <= N; ++r) {
            const std::vector<int> block = readWindow(doc, readPos, 205);
            readPos += 205LL * 2 * ch;
            double up = 0.0, down = 0.0;
            int peakSample = 0, troughSample = 0;
            for (int n = 0; n < 205; ++n) {
                const int x = block[n];
                const int y = static_cast<std::int16_t>(
                    static_cast<int>(std::nearbyint(x - 0.63 * previous)) & 0xFFFF);
                previous = x;
                if (y > up) {
                    peakSample = y;
                    up = y * 0.495 + up * 0.5;
                }
                if (y < down) {
                    troughSample = y;
                    down = y * 0.495 + down * 0.5;
                }
            }
            const double D = up - down;
            double S = 0.459 * D + 0.4 * h1 + 0.3 * h2;
            double M = 0.5 * D + 0.495 * S;
            if (M - S > 0 && doc.CandidateCount < 8192) {
                doc.CandidateCount += 1;
                PointRecord& rec = doc.CandidateTable[doc.CandidateCount];
                unsigned position = (205 * r * 2 + 10) * ch + (p - 1) * 2;
                if (ch == 2)
                    position = p == 2 ? (position & ~3u) : (position & ~3u) + 2;
                rec.Position = position;
                rec.Channel = static_cast<std::uint8_t>(p);
                rec.Enabled = 1;
                rec.Locked = 0;
                rec.Strength = rnd(peakSample - troughSample);
                M = 65536.0;
                S = 65536.0;
            }
            h2 = S;
            h1 = M;
        }
    }
}

void pass2(SampleDocument& doc, const Windows& w) {
    const int fb = 2 * doc.Channels;
    for (int c = 1; c <= doc.CandidateCount; ++c) {
        PointRecord& rec = doc.CandidateTable[c];
        const long long start =
            static_cast<long long>(rec.Position) - static_cast<long long>(w.w2) * fb;
        const std::vector<int> x = readWindow(doc, start, w.w2);
        int best = 32767, chosen = w.w2;
        const int K = w.s == 0 ? 0 : w.w2 / w.s;
        for (int k = K; k >= 1; --k) {
            int level = -129;
            for (int i = 1; i <= w.s; ++i)
                if (std::abs(x[k * i - 1]) > level)
                    level = std::abs(x[k * i - 1]);
            if (level < best && best > 384) {
                best = level;
                chosen = w.s * (k - 1);
            }
        }
        moveTo(doc, rec, start + static_cast<long long>(chosen) * fb);
    }
}

void pass3(SampleDocument& doc, int c, const Windows& w, int& lastLevel, int& lastOffset) {
    const int fb = 2 * doc.Channels;
    PointRecord& rec = doc.CandidateTable[c];
    const long long start =
        static_cast<long long>(rec.Position) - static_cast<long long>(w.w3) * fb;
    const std::vector<int> x = readWindow(doc, start, w.w3);
    int best = 256, chosen = w.w3;
    for (int k = w.w3 / 2; k >= 1; --k) {
        int largest = -129, smallest = 129;
        for (int i = 1; i <= 2; ++i) {
            const int v = x[k * i - 1] / 256;
            if (v > largest)
                largest = v;
            if (v < smallest)
                smallest = v;
        }
        const int q = std::abs(smallest) + std::abs(largest);
        if (q < best && best > 3) {
            best = q;
            chosen = 2 * (k - 1);
        }
        lastLevel = q;
    }
    lastOffset = chosen;
    moveTo(doc, rec, start + static_cast<long long>(chosen) * fb);
}

void pass4(SampleDocument& doc, int direction) {
    const int fb = 2 * doc.Channels;
    for (int c = 1; c <= doc.CandidateCount; ++c) {
        PointRecord& rec = doc.CandidateTable[c];
        const long long P = rec.Position;
        unsigned reference = 65535;
        for (long long t = 0;; ++t) {
            const long long windowStart = P + direction * t * fb;
            const std::vector<int> x = readWindow(doc, windowStart, 4);
            unsigned peak = 0;
            for (int v : x)
                if (static_cast<unsigned>(std::abs(v)) > peak)
                    peak = static_cast<unsigned>(std::abs(v));
            if (!(static_cast<std::uint16_t>(peak) < static_cast<std::uint16_t>(reference)))
                break;
            moveTo(doc, rec, windowStart);
            reference = peak;
            if (direction < 0 && windowStart <= 0)
                break;
            if (direction > 0 && windowStart >= doc.DataLength)
                break;
        }
    }
}

void passes3And4(SampleDocument& doc, const Windows& w, int& lastLevel, int& lastOffset) {
    if (doc.CandidateCount < 1)
        return;
    int c = 1;
    do {
        pass3(doc, c, w, lastLevel, lastOffset);
        pass4(doc, -1);
        pass4(doc, +1);
        ++c;
    } while (c < doc.CandidateCount);
}

void pass5(SampleDocument& doc, const Windows& w, int L, int O) {
    const int fb = 2 * doc.Channels;
    const int h = w.w5 / 2;
    for (int c = 1; c <= doc.CandidateCount; ++c) {
        PointRecord& rec = doc.CandidateTable[c];
        const long long start =
            static_cast<long long>(rec.Position) - static_cast<long long>(h) * fb;
        // x(-1), the frame before the window, is read too: keep it at index 0.
        const std::vector<int> buffer = readWindow(doc, start - fb, 2 * w.w5 + 1);
        auto x = [&](int n) { return buffer[n + 1]; };
        L = std::abs(L - x(h - 1));
        const int d = std::abs(L - x(h - 2)) < L ? -1 : 1;
        int j = h;
        do {
            j += d;
            if (std::abs(x(j - 1)) > L)
                break;
            L = std::abs(x(j - 1));
            O = j - 1;
        } while (j != 2 * w.w5 && j != 0);
        if (L < 500)
            moveTo(doc, rec, start + static_cast<long long>(O) * fb);
    }
}

// Ascending positions. Equal positions may come in any order; both this and the real scan
// keep them in table order (an insertion sort is stable), so tables compare record by record.
void sortByPosition(SampleDocument& doc) {
    for (int i = 2; i <= doc.CandidateCount; ++i) {
        const PointRecord rec = doc.CandidateTable[i];
        int j = i - 1;
        while (j >= 1 && doc.CandidateTable[j].Position > rec.Position) {
            doc.CandidateTable[j + 1] = doc.CandidateTable[j];
            --j;
        }
        doc.CandidateTable[j + 1] = rec;
    }
}

void pass6(SampleDocument& doc) {
    const int fb = 2 * doc.Channels;
    for (int k = 1; k <= doc.CandidateCount; ++k) {
        PointRecord& rec = doc.CandidateTable[k];
        int j = k + 1;
        while (j <= doc.CandidateCount && doc.CandidateTable[j].Channel != rec.Channel)
            ++j;
        const long long n =
            (static_cast<long long>(doc.CandidateTable[j].Position) - rec.Position) / fb;
        int largest = -100000, smallest = 100000;
        long long i = 0;
        while (true) {
            const int v =
                readSample(doc, static_cast<long long>(rec.Position) - 200LL * fb + i * fb);
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
            i += 1;
            if (i > n)
                i = n;
            if (i == n)
                break;
        }
        rec.Strength = largest - smallest;
    }
}

void pass7(SampleDocument& doc) {
    const int fb = 2 * doc.Channels;
    for (int k = 1; k <= doc.CandidateCount; ++k) {
        PointRecord& rec = doc.CandidateTable[k];
        const std::vector<int> x =
            readWindow(doc, static_cast<long long>(rec.Position) - 700LL * fb, 500);
        int largest = -100000, smallest = 100000;
        for (int v : x) {
            largest = std::max(largest, v);
            smallest = std::min(smallest, v);
        }
        const int P = largest - smallest;
        const int A = rec.Strength == 0 ? 1 : rec.Strength;
        rec.Strength = rnd(static_cast<double>(A - P) / (A + 1) * 65535);
    }
}

void merge(SampleDocument& doc, int viewWidth) {
    std::vector<PointRecord> kept;
    unsigned lastKept = 0;
    for (int i = 1; i <= doc.CandidateCount + 1; ++i) {
        PointRecord rec = doc.CandidateTable[i];
        if (static_cast<double>(static_cast<long long>(rec.Position) - lastKept) >
            static_cast<double>(doc.DataLength) / viewWidth * doc.Channels) {
            rec.Channel = 1;
            rec.Position = rec.Position & ~3u;
            kept.push_back(rec);
            lastKept = doc.CandidateTable[i].Position;
        }
    }
    doc.CandidateCount = kept.empty() ? 0 : static_cast<int>(kept.size()) - 1;
    for (int i = 0; i < doc.CandidateCount; ++i)
        doc.CandidateTable[i + 1] = kept[i];
    sortByPosition(doc);
    doc.CandidateTable[0].Position = 0;
    doc.CandidateTable[0].Channel = 1;
    doc.CandidateTable[doc.CandidateCount + 1].Position =
        static_cast<std::uint32_t>(doc.DataLength);
    doc.CandidateTable[doc.CandidateCount + 1].Channel = 1;
}

} // namespace

void referencePasses2To4(SampleDocument& doc, int& lastLevel, int& lastOffset) {
    const Windows w = windowsFor(doc.SampleRate);
    pass2(doc, w);
    passes3And4(doc, w, lastLevel, lastOffset);
}

void referenceScan(SampleDocument& doc, int viewWidth) {
    if (!doc.DetectPending)
        return;
    const Windows w = windowsFor(doc.SampleRate);
    if (!doc.KeepCandidates)
        pass1(doc);
    doc.KeepCandidates = false;
    int lastLevel = 0, lastOffset = 0;
    pass2(doc, w);
    passes3And4(doc, w, lastLevel, lastOffset);
    pass5(doc, w, lastLevel, lastOffset);
    sortByPosition(doc);
    doc.CandidateTable[doc.CandidateCount + 1].Position =
        static_cast<std::uint32_t>(doc.DataLength);
    doc.CandidateTable[doc.CandidateCount + 1].Enabled = 0;
    doc.CandidateTable[0].Position = 0;
    doc.CandidateTable[0].Enabled = 0;
    pass6(doc);
    pass7(doc);
    doc.DetectPending = false;
    if (doc.MergeChannels)
        merge(doc, viewWidth);
}

} // namespace tolvane::test
