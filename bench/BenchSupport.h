#pragma once

#include "document/SampleDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <sys/resource.h>
#include <vector>

namespace tolvane::bench {

// The median wall time of `runs` runs of `work`.
template <typename Work> double medianMilliseconds(int runs, Work work) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// CPU time (user + system) so far of this process (RUSAGE_SELF) or of its ended children
// (RUSAGE_CHILDREN), in milliseconds.
inline double cpuMilliseconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The median CPU time of `runs` runs of `work`, counted for `who` (see cpuMilliseconds); -1 when
// a run fails.
template <typename Work> double medianCpuMilliseconds(int runs, int who, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = cpuMilliseconds(who);
        if (!work())
            return -1;
        times.push_back(cpuMilliseconds(who) - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Keeps the compiler from dropping the computation of a value nobody reads.
template <typename T> void keepValue(const T& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

inline constexpr int kBenchRate = 44100;
inline constexpr std::size_t kTenMinutesOfFrames = std::size_t(kBenchRate) * 600;

// An open document of ten minutes of 44.1 kHz merged stereo noise, the same on every run.
inline void makeTenMinutesOfStereo(SampleDocument& doc) {
    doc.DocumentOpen = true;
    doc.Channels = 2;
    doc.BitsPerSample = 16;
    doc.SampleRate = kBenchRate;
    doc.MergeChannels = true;
    doc.DataLength = static_cast<std::int32_t>(kTenMinutesOfFrames * 4);
    doc.SampleData.setSize(kTenMinutesOfFrames * 4 + kSpareBytes);
    std::uint32_t state = 1;
    for (std::size_t i = 0; i < kTenMinutesOfFrames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        const auto sample = static_cast<std::int16_t>(state >> 16);
        doc.SampleData.data()[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
        doc.SampleData.data()[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
}

// Slice points that cut the whole document into `segments` equal segments (the last one takes
// the remainder), each with a strength that every sensitivity shows.
inline void sliceEvenly(SampleDocument& doc, int segments) {
    const std::size_t frames = static_cast<std::size_t>(doc.DataLength) / 4;
    doc.SliceCount = segments - 1;
    for (int i = 1; i < segments; ++i)
        doc.SliceTable[i] = {static_cast<std::uint32_t>(frames / segments * i * 4),
                             100,
                             1,
                             0,
                             kChannelMonoOrRight,
                             0};
    doc.SliceTable[segments] = {
        static_cast<std::uint32_t>(doc.DataLength), 0, 1, 0, kChannelMonoOrRight, 0};
}

} // namespace tolvane::bench
