// The Sample Dump Standard driver against the simulated sampler on a JACK server: samples go
// there and come back unchanged, with and without handshake, and every fault the sampler can
// be told to make ends as it should.
#include "document/MemoryStream.h"
#include "fakes/QueuedPoster.h"
#include "fakes/SdsSampler.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "samplers/TSDSDriver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::SdsFaults;
using test::SdsSample;
using test::SdsSampler;
constexpr std::uint8_t kChannel = 5; // the profile's MIDI channel 6

std::vector<std::int16_t> ramp(std::size_t n, int step) {
    std::vector<std::int16_t> w(n);
    for (std::size_t i = 0; i < n; ++i)
        w[i] = static_cast<std::int16_t>(static_cast<int>(i) * step - 30000);
    return w;
}

class JackSdsDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sampler.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
        backend = makeRtMidiBackend(MidiApi::Jack);
        input = std::make_unique<TMidiInput>(*backend, poster.poster());
        output = std::make_unique<TMidiOutput>(*backend, poster.poster());
        input->Capacity = 4096;
        const auto& ins = input->devices();
        const auto& outs = output->devices();
        const auto in = std::find(ins.begin(), ins.end(), sampler.outputPort());
        const auto out = std::find(outs.begin(), outs.end(), sampler.inputPort());
        ASSERT_NE(in, ins.end());
        ASSERT_NE(out, outs.end());
        profile.midiInput = static_cast<std::uint8_t>(in - ins.begin());
        profile.midiOutput = static_cast<std::uint8_t>(out - outs.begin());
        profile.channel = kChannel + 1;
        timings.packetReply = 20ms;      // the standard's, for a sampler that never answered
        timings.handshakeReply = 2000ms; // an answer through JACK cycles on a busy machine
        timings.headerReply = 1000ms;
        timings.silence = 2000ms; // the standard's: a loaded machine may stall that long
        timings.settle = 0ms;
        timings.resendLimit = 4;
        sampler.headerWait = 200ms;
        sampler.answeredPacketWait = timings.handshakeReply; // as the driver waits once answered
        makeDriver();
    }
    void makeDriver() {
        driver.reset();
        driver = std::make_unique<TSDSDriver>(*input, *output, poster.poster(), timings);
        driver->SetProfile(profile);
        driver->SetSampleStream(&stream);
    }
    // A driver for an open loop at the standard's waits, and a sampler that never answers.
    void makeOpenLoopDriver() {
        profile.openLoop = 1;
        timings.headerReply = 200ms;
        timings.packetReply = 20ms;
        makeDriver();
        sampler.handshake = false;
    }
    void finish(std::chrono::milliseconds limit = 30000ms) {
        const auto end = Clock::now() + limit;
        do {
            poster.deliver();
            std::this_thread::sleep_for(1ms);
        } while (driver->busy() && Clock::now() < end);
        poster.deliver();
        ASSERT_FALSE(driver->busy());
    }
    // Whether `done` came true within the limit (polled: the sampler answers on JACK's thread).
    template <typename Done> bool waitFor(Done done, std::chrono::milliseconds limit = 10000ms) {
        const auto end = Clock::now() + limit;
        while (!done() && Clock::now() < end)
            std::this_thread::sleep_for(1ms);
        return done();
    }
    // Sends words (frames of `channels` values, the value at `channel` of each) as sample n.
    SdsTransferReport send(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                           int number) {
        std::vector<std::uint8_t> bytes(interleaved.size() * 2);
        std::memcpy(bytes.data(), interleaved.data(), bytes.size());
        stream.assign(bytes);
        SampleSendArguments a;
        a.sampleNumber = number;
        a.sampleRate = 44100;
        a.sourceChannels = channels;
        a.startOffset = static_cast<std::uint32_t>(2 * channel);
        a.lengthBytes = static_cast<std::uint32_t>(interleaved.size() * 2); // whole frames
        driver->ClearAbort();
        driver->SendSample(a);
        finish();
        return driver->lastReport();
    }
    std::optional<std::vector<std::int16_t>> receive(int number) {
        std::optional<ReceivedFormat> got;
        driver->ClearAbort();
        driver->ReceiveSample(number, [&](const ReceivedFormat& f) { got = f; });
        finish();
        if (!got || got->lengthBytes == 0)
            return std::nullopt;
        std::vector<std::int16_t> words(stream.size() / 2);
        std::memcpy(words.data(), stream.data(), words.size() * 2);
        return words;
    }
    void store(int number, const std::vector<std::int16_t>& words) {
        SdsSample s;
        s.lengthWords = static_cast<std::uint32_t>(words.size());
        s.words = words;
        sampler.store(number, s);
    }

    SdsSampler sampler{"tolvane-sds-driver", kChannel};
    test::QueuedPoster poster;
    std::unique_ptr<MidiBackend> backend;
    std::unique_ptr<TMidiInput> input;
    std::unique_ptr<TMidiOutput> output;
    SamplerProfile profile;
    SdsTimings timings;
    MemoryStream stream;
    std::unique_ptr<TSDSDriver> driver;
};

TEST_F(JackSdsDriver, MonoGoesAndComesBackByteExactWithHandshake) {
    const auto words = ramp(1001, 61); // 25 full packets and one of one word
    const auto sent = send(words, 1, 0, 300);
    ASSERT_TRUE(sent.ok) << sent.message;
    EXPECT_FALSE(sent.openLoop);
    EXPECT_EQ(sent.packets, 26);
    ASSERT_TRUE(sampler.sample(300));
    EXPECT_EQ(sampler.sample(300)->words, words);
    EXPECT_EQ(sampler.sample(300)->periodNs, 22676u);

    const auto back = receive(300);
    ASSERT_TRUE(back) << driver->lastReport().message;
    EXPECT_EQ(*back, words);
    EXPECT_TRUE(sampler.lastDumpHandshaken());
}

TEST_F(JackSdsDriver, EachChannelOfStereoGoesAndComesBackByteExact) {
    const auto left = ramp(333, 97), right = ramp(333, -113);
    std::vector<std::int16_t> frames;
    for (std::size_t i = 0; i < left.size(); ++i)
        frames.insert(frames.end(), {left[i], right[i]});
    ASSERT_TRUE(send(frames, 2, 0, 1).ok);
    ASSERT_TRUE(send(frames, 2, 1, 2).ok);
    EXPECT_EQ(sampler.sample(1)->words, left);
    EXPECT_EQ(sampler.sample(2)->words, right);
    EXPECT_EQ(receive(1), left);
    EXPECT_EQ(receive(2), right);
}

TEST_F(JackSdsDriver, OpenLoopIsPacedByTheStandardsWaitsAndComesBackWithoutAnswers) {
    makeOpenLoopDriver();
    const auto words = ramp(400, 150); // 10 packets
    const auto started = Clock::now();
    ASSERT_TRUE(send(words, 1, 0, 8).ok);
    // Nothing answers in an open loop: the last packet may still be on its way when the send
    // ends.
    ASSERT_TRUE(waitFor([&] { return sampler.sample(8).has_value(); }));
    EXPECT_EQ(sampler.sample(8)->words, words);
    const auto times = sampler.packetTimes();
    ASSERT_EQ(times.size(), 10u);
    EXPECT_GE(times.front() - started, 190ms) << "the header's wait";
    // Arrivals fall on JACK cycles (5.8 ms), so the nine gaps of 20 ms are checked together.
    EXPECT_GE(times.back() - times.front(), 9 * 20ms - 6ms);

    const auto back = receive(8); // the sampler waits for an answer to its header, then streams
    ASSERT_TRUE(back) << driver->lastReport().message;
    EXPECT_EQ(*back, words);
    EXPECT_FALSE(sampler.lastDumpHandshaken());
}

// A JACK cycle that comes 80 ms late holds the packets the open loop gave it meanwhile: the
// standard's 20 ms between packets count from when each has gone, so that they do not reach
// the sampler together after the late cycle.
TEST_F(JackSdsDriver, AnOpenLoopKeepsItsPaceThroughALateCycle) {
    makeOpenLoopDriver();
    SdsFaults faults;
    faults.lateCycleAtPacket = 2;
    faults.lateCycleBy = 80ms;
    sampler.setFaults(faults);
    const auto words = ramp(400, 150); // 10 packets
    ASSERT_TRUE(send(words, 1, 0, 9).ok);
    ASSERT_TRUE(waitFor([&] { return sampler.sample(9).has_value(); }));
    EXPECT_EQ(sampler.sample(9)->words, words);
    const auto times = sampler.packetTimes();
    ASSERT_EQ(times.size(), 10u);
    // Each packet is timed when the sampler's part of its cycle runs, which may come up to a
    // period (5.8 ms) after the cycle began on a busy machine; packets that came together
    // would be less than 1 ms apart.
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 20ms - 6ms) << "packets " << i - 1 << " and " << i;
}

TEST_F(JackSdsDriver, NaksAreAnsweredByResendingUntilTheLimit) {
    const auto words = ramp(400, 150);
    SdsFaults faults;
    faults.nakPacket = 3;
    faults.nakTimes = 2;
    sampler.setFaults(faults);
    const auto ok = send(words, 1, 0, 20);
    ASSERT_TRUE(ok.ok) << ok.message;
    EXPECT_EQ(ok.resends, 2);
    EXPECT_EQ(sampler.sample(20)->words, words);

    faults.nakPacket = 9; // the short last packet too
    faults.nakTimes = 1000;
    sampler.setFaults(faults);
    const auto storm = send(words, 1, 0, 21);
    EXPECT_FALSE(storm.ok);
    EXPECT_NE(storm.message.find("refused packet 9"), std::string::npos) << storm.message;
    EXPECT_FALSE(sampler.sample(21));
    EXPECT_TRUE(waitFor([&] { return sampler.cancelsReceived() > 0; }));
    EXPECT_EQ(sampler.cancelPackets(), std::vector<std::uint8_t>{9});
}

TEST_F(JackSdsDriver, WaitHoldsTheSenderAndCancelStopsIt) {
    const auto words = ramp(400, 150);
    SdsFaults faults;
    faults.waitAtPacket = 2;
    faults.waitFor = 700ms; // longer than the packet time-out: a WAIT suspends it
    sampler.setFaults(faults);
    const auto started = Clock::now();
    const auto held = send(words, 1, 0, 30);
    ASSERT_TRUE(held.ok) << held.message;
    EXPECT_GE(Clock::now() - started, 700ms);
    EXPECT_EQ(sampler.sample(30)->words, words);
    EXPECT_EQ(sampler.duplicatesReceived(), 0);

    faults = {};
    faults.cancelAtPacket = 4;
    sampler.setFaults(faults);
    const auto cancelled = send(words, 1, 0, 31);
    EXPECT_FALSE(cancelled.ok);
    EXPECT_TRUE(cancelled.cancelledBySampler);
    EXPECT_EQ(cancelled.packets, 4);
}

// A sampler that answered and then falls silent is given the handshake's longer time for each
// packet; the packets it never answered make the transfer unconfirmed.
TEST_F(JackSdsDriver, PacketsASilentReceiverNeverAnsweredLeaveTheSendUnconfirmed) {
    timings.handshakeReply = 100ms;
    makeDriver();
    const auto words = ramp(400, 150);
    SdsFaults faults;
    faults.silentFrom = 3;
    sampler.setFaults(faults);
    const auto started = Clock::now();
    const auto sent = send(words, 1, 0, 40);
    EXPECT_FALSE(sent.ok);
    EXPECT_EQ(sent.unconfirmed, 7);
    EXPECT_NE(sent.message.find("7 of 10 packets"), std::string::npos) << sent.message;
    EXPECT_EQ(driver->runner().lastOutcome().kind, TransferOutcome::Kind::Failed);
    EXPECT_GE(Clock::now() - started, 7 * 100ms);
    // The last packet went unanswered: it may still be on its way.
    ASSERT_TRUE(waitFor([&] { return sampler.sample(40).has_value(); }));
    EXPECT_EQ(sampler.sample(40)->words, words) << "the packets went all the same";
}

// Over a slow link each answer comes long after the standard's 20 ms: once the sampler has
// answered, the sender waits for it, and nothing is lost.
TEST_F(JackSdsDriver, ASlowLinkIsWaitedForOnceTheSamplerAnswers) {
    const auto words = ramp(1200, 50); // 30 packets
    SdsFaults faults;
    faults.ackDelay = 60ms;
    sampler.setFaults(faults);
    const auto sent = send(words, 1, 0, 45);
    ASSERT_TRUE(sent.ok) << sent.message;
    EXPECT_EQ(sent.unconfirmed, 0);
    EXPECT_EQ(sampler.packetsLost(), 0);
    ASSERT_TRUE(sampler.sample(45));
    EXPECT_EQ(sampler.sample(45)->words, words);
}

TEST_F(JackSdsDriver, UnrelatedTrafficIsNeverTakenForAnAnswer) {
    const auto words = ramp(800, 77);
    SdsFaults faults;
    faults.interleave = true;
    sampler.setFaults(faults);
    const auto sent = send(words, 1, 0, 50);
    ASSERT_TRUE(sent.ok) << sent.message;
    EXPECT_EQ(sent.resends, 0) << "a NAK for another device or packet was obeyed";
    EXPECT_EQ(sampler.duplicatesReceived(), 0);
    EXPECT_EQ(sampler.sample(50)->words, words);
    EXPECT_EQ(receive(50), words) << driver->lastReport().message;
}

TEST_F(JackSdsDriver, DamagedAndRepeatedPacketsWhileReceiving) {
    const auto words = ramp(600, 101);
    store(60, words);
    SdsFaults faults;
    faults.corruptPacket = 2;
    faults.repeatPacket = 5;
    sampler.setFaults(faults);
    EXPECT_EQ(receive(60), words) << "NAKed and sent again; the repeat dropped; "
                                  << driver->lastReport().message;
    EXPECT_EQ(driver->lastReport().duplicates, 1);

    profile.openLoop = 1;
    makeDriver();
    faults = {};
    faults.corruptPacket = 4;
    sampler.setFaults(faults);
    const auto kept = receive(60);
    ASSERT_TRUE(kept) << driver->lastReport().message
                      << "; the sampler handshook: " << sampler.lastDumpHandshaken()
                      << ", finished: " << sampler.lastDumpFinished();
    EXPECT_EQ(kept->size(), words.size());
    EXPECT_EQ(driver->lastReport().badChecksums, 1);
    EXPECT_NE(driver->lastReport().message.find("checksum"), std::string::npos);
}

TEST_F(JackSdsDriver, AReceiveEndsWhenTheSamplerCancelsOrFallsSilent) {
    store(70, ramp(600, 101));
    SdsFaults faults;
    faults.cancelAtPacket = 3;
    sampler.setFaults(faults);
    EXPECT_FALSE(receive(70));
    EXPECT_TRUE(driver->lastReport().cancelledBySampler);

    faults = {};
    faults.silentFrom = 3;
    sampler.setFaults(faults);
    const auto started = Clock::now();
    EXPECT_FALSE(receive(70));
    EXPECT_GE(Clock::now() - started, timings.silence);
    EXPECT_NE(driver->lastReport().message.find("nothing came"), std::string::npos);

    EXPECT_FALSE(receive(71)) << "a sample the sampler does not hold";
    EXPECT_NE(driver->lastReport().message.find("did not answer"), std::string::npos);
}

TEST_F(JackSdsDriver, AbortSendsCancelAndEndsTheTransfer) {
    timings.handshakeReply = 20ms;
    makeDriver();
    SdsFaults faults;
    faults.silentFrom = 0; // the sender goes on by time-outs: slow enough to abort
    sampler.setFaults(faults);
    constexpr std::size_t kPackets = 500;
    std::vector<std::uint8_t> bytes(40 * kPackets * 2, 0);
    stream.assign(bytes);
    SampleSendArguments a;
    a.lengthBytes = static_cast<std::uint32_t>(bytes.size());
    driver->SendSample(a);
    // Aborted once the dump is under way: the sampler has taken a packet.
    EXPECT_TRUE(waitFor([&] { return !sampler.packetTimes().empty(); }));
    driver->Abort();
    finish(3000ms);
    EXPECT_FALSE(driver->lastReport().ok);
    // The driver closed its output when it ended, and that passes on what was queued: its one
    // CANCEL is on the way, naming the packet the sampler took last.
    EXPECT_TRUE(waitFor([&] { return sampler.cancelsReceived() > 0; }));
    const std::size_t taken = sampler.packetTimes().size();
    ASSERT_GT(taken, 0u);
    EXPECT_LT(taken, kPackets);
    EXPECT_EQ(sampler.cancelPackets(), std::vector<std::uint8_t>{std::uint8_t((taken - 1) & 0x7F)});
}

} // namespace
} // namespace tolvane
