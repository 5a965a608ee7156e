// 1 MB of sample sent with handshake to the simulated Sample Dump Standard sampler over a JACK
// server, against the time the same SysEx bytes take on a DIN MIDI cable (31,250 baud, 10 bits
// a byte): the program must never be what holds a dump up (ratio at most 0.5). Then a short
// dump in an open loop, whose pacing is measured where the sampler receives it against the
// standard's waits (2 s after the header, 20 ms after each packet).
// Needs JACK_DEFAULT_SERVER (scripts/bench starts a dummy server).
#include "document/MemoryStream.h"
#include "fakes/QueuedPoster.h"
#include "fakes/SdsSampler.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "samplers/TSDSDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using namespace tolvane;
using Clock = std::chrono::steady_clock;
constexpr std::size_t kWords = 512 * 1024; // 1 MB of 16-bit sample
constexpr std::size_t kOpenLoopPackets = 50;

struct Rig {
    test::SdsSampler sampler{"tolvane-bench-sds", 0};
    test::QueuedPoster poster;
    std::unique_ptr<MidiBackend> backend = makeRtMidiBackend(MidiApi::Jack);
    TMidiInput input{*backend, poster.poster()};
    TMidiOutput output{*backend, poster.poster()};
    SamplerProfile profile;
    MemoryStream stream;

    Rig() {
        input.Capacity = 4096;
        const auto& ins = input.devices();
        const auto& outs = output.devices();
        profile.midiInput = static_cast<std::uint8_t>(
            std::find(ins.begin(), ins.end(), sampler.outputPort()) - ins.begin());
        profile.midiOutput = static_cast<std::uint8_t>(
            std::find(outs.begin(), outs.end(), sampler.inputPort()) - outs.begin());
    }
    SdsTransferReport send(std::size_t words, bool openLoop) {
        std::vector<std::uint8_t> bytes(words * 2);
        std::uint32_t state = 7;
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
        stream.assign(bytes);
        profile.openLoop = openLoop ? 1 : 0;
        SdsTimings timings; // the standard's
        timings.settle = std::chrono::milliseconds(0);
        TSDSDriver driver(input, output, poster.poster(), timings);
        driver.SetProfile(profile);
        driver.SetSampleStream(&stream);
        SampleSendArguments a;
        a.region = true;
        a.lengthBytes = static_cast<std::uint32_t>(bytes.size());
        driver.SendSample(a);
        while (driver.busy()) {
            poster.deliver();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        poster.deliver();
        return driver.lastReport();
    }
};

} // namespace

int main() {
    Rig rig;
    if (!rig.sampler.ok()) {
        std::fprintf(stderr, "bench_sds: no JACK server (set JACK_DEFAULT_SERVER)\n");
        return 1;
    }
    const auto started = Clock::now();
    const SdsTransferReport report = rig.send(kWords, false);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const std::size_t packets = (kWords + 39) / 40;
    const double sysexBytes = 21.0 + 127.0 * static_cast<double>(packets);
    const double wireSeconds = sysexBytes * sds::kDinSecondsPerByte;
    const double ratio = seconds / wireSeconds;
    const auto kept = rig.sampler.sample(0);
    const bool intact = report.ok && !report.openLoop && kept && kept->words.size() == kWords;
    std::printf("sds handshake 1 MB: %.1f s for %zu packets (%d sent again), DIN wire %.1f s, "
                "ratio %.3f (limit 0.5)%s\n",
                seconds, packets, report.resends, wireSeconds, ratio,
                intact ? "" : "  TRANSFER FAILED");

    const auto openStarted = Clock::now();
    const SdsTransferReport open = rig.send(kOpenLoopPackets * 40, true);
    const auto times = rig.sampler.packetTimes();
    bool paced = open.ok && times.size() == kOpenLoopPackets;
    if (paced) {
        const double headerMs =
            std::chrono::duration<double, std::milli>(times.front() - openStarted).count();
        std::vector<double> gaps;
        for (std::size_t i = 1; i < times.size(); ++i)
            gaps.push_back(
                std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
        std::sort(gaps.begin(), gaps.end());
        const double mean =
            std::chrono::duration<double, std::milli>(times.back() - times.front()).count() /
            static_cast<double>(gaps.size());
        std::printf("sds open loop: first packet %.1f ms after the header went (wait 2000 ms), "
                    "packet gaps mean %.2f ms, median %.2f ms, min %.2f ms, max %.2f ms "
                    "(wait 20 ms after each packet has gone, arrivals on 1.45 ms JACK cycles)\n",
                    headerMs, mean, gaps[gaps.size() / 2], gaps.front(), gaps.back());
        paced = headerMs >= 2000.0 && mean >= 20.0 && mean < 25.0;
    }
    if (!paced)
        std::printf("sds open loop: PACING NOT AS THE STANDARD'S WAITS\n");
    return intact && ratio <= 0.5 && paced ? 0 : 1;
}
