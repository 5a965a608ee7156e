// Latency of "Play from MIDI keyboard": notes from a simulated MIDI thread into the voice
// mixer, whose blocks a simulated audio thread renders at the pace of a real device (256
// frames at 44.1 kHz). A block is heard one buffer after it is rendered (the device plays the
// block before it meanwhile), so a note's latency is from its arrival to the moment the block
// holding its first sample starts to sound. The note is taken into the next block rendered, so
// it reaches the output within one buffer; the device then holds that block one buffer more.
// Target: the median wait for the block is at most one buffer (half a buffer on average).
#include "audition/VoiceMixer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace tolvane;
using Clock = std::chrono::steady_clock;

int main() {
    constexpr std::size_t kBlock = 256;
    constexpr std::uint32_t kRate = 44100;
    constexpr int kNotes = 200;
    const auto period = std::chrono::duration<double>(double(kBlock) / kRate);

    auto program = std::make_unique<AuditionProgram>();
    program->channels = 2;
    program->samples.assign(2 * 4096, 1000);
    for (int note = 0; note < kAuditionKeys; ++note) {
        program->keys[static_cast<std::size_t>(note)].parts[0] = {0, 4096, 3};
        program->keys[static_cast<std::size_t>(note)].partCount = 1;
    }
    VoiceMixer mixer(kRate);
    mixer.setProgram(std::move(program));

    std::atomic<bool> running{true};
    std::vector<double> latencies;
    latencies.reserve(kNotes);
    std::atomic<std::int64_t> pushedAt{-1}; // nanoseconds since start
    const auto start = Clock::now();
    auto since = [&](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t - start).count();
    };

    // The audio thread: block k is rendered at k periods and sounds from k + 1 periods on.
    std::thread audio([&] {
        std::vector<std::int16_t> block(kBlock * 2);
        for (std::uint64_t k = 0; running; ++k) {
            std::this_thread::sleep_until(
                start + std::chrono::duration_cast<Clock::duration>(period * double(k)));
            std::fill(block.begin(), block.end(), 0);
            const std::int64_t pushed = pushedAt.load();
            mixer.mixInto(block.data(), kBlock, 2);
            const auto first =
                std::find_if(block.begin(), block.end(), [](std::int16_t s) { return s != 0; });
            if (pushed >= 0 && first != block.end()) {
                const double heard =
                    (double(k + 1) * period.count() + double((first - block.begin()) / 2) / kRate) *
                    1e9;
                latencies.push_back((heard - double(pushed)) / 1e6);
                pushedAt = -1;
                mixer.silence();
            }
        }
    });
    // The MIDI thread: a note at an odd moment, once the one before was heard.
    for (int n = 0; n < kNotes; ++n) {
        std::this_thread::sleep_for(std::chrono::microseconds(7919 + 1237 * (n % 7)));
        while (pushedAt.load() >= 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        pushedAt = since(Clock::now());
        mixer.noteOn(60, 100);
    }
    while (pushedAt.load() >= 0)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    running = false;
    audio.join();

    std::sort(latencies.begin(), latencies.end());
    const double buffer = period.count() * 1e3;
    const double median = latencies[latencies.size() / 2];
    const double worst = latencies.back();
    std::printf("audition: note-on to sound, %zu notes, blocks of %zu frames (%.2f ms)\n",
                latencies.size(), kBlock, buffer);
    std::printf("  heard after  median %8.2f ms (%.2f buffers), worst %8.2f ms (%.2f buffers)\n",
                median, median / buffer, worst, worst / buffer);
    // Less the buffer the device holds: the wait until the note is in a block on its way out.
    const double toBlock = median - buffer;
    std::printf("  in a block after median %8.2f ms (%.2f buffers)\n", toBlock, toBlock / buffer);
    std::printf("  ratio median wait for its block / one buffer: %.2f (target <= 1: %s)\n",
                toBlock / buffer, toBlock / buffer <= 1 ? "met" : "MISSED");
    return toBlock / buffer <= 1 ? 0 : 1;
}
