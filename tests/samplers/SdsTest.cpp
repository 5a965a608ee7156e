// The Sample Dump Standard messages, the two sides of the handshake, and the driver on MIDI
// ports in memory: what goes out, what is taken from what comes in, and when it stops.
#include "document/MemoryStream.h"
#include "fakes/FakeMidi.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "samplers/SdsCodec.h"
#include "samplers/SdsHandshake.h"
#include "samplers/TSDSDriver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

using sds::Bytes;
using sds::Op;
using Step = SdsSendHandshake::Step;
using namespace std::chrono_literals;

TEST(SdsCodec, WordsPackLeftJustifiedAsOffsetBinaryAndComeBackExactly) {
    EXPECT_EQ(sds::packWord(-32768), (std::array<std::uint8_t, 3>{0x00, 0x00, 0x00}));
    EXPECT_EQ(sds::packWord(32767), (std::array<std::uint8_t, 3>{0x7F, 0x7F, 0x60}));
    EXPECT_EQ(sds::packWord(0), (std::array<std::uint8_t, 3>{0x40, 0x00, 0x00}));
    for (int v = -32768; v <= 32767; ++v) {
        const auto three = sds::packWord(static_cast<std::int16_t>(v));
        ASSERT_EQ(sds::unpackWord(three.data()), v);
        ASSERT_EQ(three[2] & 0x1F, 0) << v;
    }
}

TEST(SdsCodec, HeaderAndPacketFieldsAndChecksum) {
    sds::DumpHeader h;
    h.sampleNumber = 200;
    h.periodNs = sds::periodForRate(44100);
    h.lengthWords = 100;
    h.loopEnd = 100;
    const Bytes header = sds::encodeHeader(3, h);
    EXPECT_EQ(header, (Bytes{0xF0, 0x7E, 3, 0x01, 200 & 0x7F, 1,   0x10, 0x14, 0x31, 0x01, 100,
                             0,    0,    0, 0,    0,          100, 0,    0,    0x7F, 0xF7}))
        << "22676 ns = 14 31 01, 7-bit groups lowest first";
    EXPECT_EQ(sds::rateForPeriod(h.periodNs), 44100u) << "not 44099";
    EXPECT_EQ(sds::rateForPeriod(sds::periodForRate(44000)), 44001u) << "the nearest whole hertz";
    ASSERT_TRUE(sds::decodeHeader(header));
    EXPECT_EQ(sds::decodeHeader(header)->lengthWords, 100u);

    const std::vector<std::int16_t> words(20, 0);
    const Bytes packet = sds::encodePacket(3, 5, words);
    ASSERT_EQ(packet.size(), 127u);
    std::uint8_t x = 0x7E ^ 3 ^ 0x02 ^ 5;
    for (int i = 0; i < 20; ++i)
        x ^= 0x40; // each zero word is 40 00 00; the rest is filled with zero bytes
    EXPECT_EQ(packet[125], x);
    EXPECT_TRUE(
        std::all_of(packet.begin() + 65, packet.begin() + 125, [](auto b) { return b == 0; }));
    Bytes damaged = packet;
    damaged[40] ^= 0x01;
    EXPECT_TRUE(sds::decodePacket(packet)->checksumOk);
    EXPECT_FALSE(sds::decodePacket(damaged)->checksumOk);
}

TEST(SdsCodec, OnlyWholeSampleDumpMessagesAreClassified) {
    EXPECT_FALSE(sds::classify(Bytes{0xF8}));
    EXPECT_FALSE(sds::classify(Bytes{0xF0, 0x43, 0x10, 0x7F, 0x00, 0xF7})) << "another maker";
    EXPECT_FALSE(sds::classify(Bytes{0xF0, 0x7E, 0, 0x7F, 0x00})) << "no end";
    EXPECT_FALSE(sds::classify(Bytes{0xF0, 0x7E, 0, 0x06, 0x01, 0xF7})) << "identity request";
    const auto nak = sds::classify(sds::encodeReply(Op::Nak, 9, 77));
    ASSERT_TRUE(nak);
    EXPECT_EQ(nak->op, Op::Nak);
    EXPECT_EQ(nak->channel, 9);
    EXPECT_EQ(nak->packet, 77);
}

TEST(SdsSendHandshake, ActsOnlyOnRepliesForUsAboutTheOutstandingPacket) {
    SdsTimings t;
    SdsSendHandshake hs(2, t);
    hs.headerSent();
    EXPECT_EQ(hs.replyTimeout(), t.headerReply);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 3, 0)), Step::Keep) << "another device";
    EXPECT_EQ(hs.onMessage(Bytes{0xF0, 0x41, 0x10, 0x7F, 0x00, 0xF7}), Step::Keep);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 2, 0)), Step::Next);
    hs.packetSent(0);
    EXPECT_EQ(hs.replyTimeout(), t.handshakeReply) << "the sampler answered: it handshakes";
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Nak, 2, 127)), Step::Keep) << "stale NAK";
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Cancel, 3, 0)), Step::Keep) << "not for us";
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, sds::kAllCall, 0)), Step::Next);
    hs.packetSent(1);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Wait, 2, 1)), Step::Keep);
    EXPECT_TRUE(hs.holding());
    EXPECT_EQ(hs.replyTimeout(), t.waitLimit);
    EXPECT_EQ(hs.onTimeout(), Step::Failed) << "a WAIT that never ends";
    EXPECT_FALSE(hs.failure().empty());
    hs.packetSent(2);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Cancel, 2, 2)), Step::Cancelled);
}

// A CANCEL for us ends the dump whichever packet it names: the sampler has stopped taking it.
TEST(SdsSendHandshake, AnyCancelForUsEndsTheDump) {
    SdsSendHandshake hs(2, SdsTimings{});
    hs.packetSent(7);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Cancel, 2, 5)), Step::Cancelled) << "stale";
    hs.packetSent(8);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Cancel, sds::kAllCall, 0)), Step::Cancelled);
    hs.headerSent();
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Cancel, 2, 9)), Step::Cancelled) << "the header";
}

TEST(SdsSendHandshake, SilenceMeansOpenLoopAfterTheHeaderAndGoOnAfterAPacket) {
    SdsTimings t;
    SdsSendHandshake hs(0, t);
    hs.headerSent();
    EXPECT_EQ(hs.onTimeout(), Step::Next);
    EXPECT_TRUE(hs.openLoop());
    hs.packetSent(0);
    EXPECT_EQ(hs.replyTimeout(), t.packetReply) << "the standard's pacing";
    EXPECT_EQ(hs.onTimeout(), Step::Next);
    EXPECT_EQ(hs.unconfirmed(), 0) << "nothing to confirm in an open loop";
    // A sampler that answers and then falls silent leaves its packets unconfirmed.
    SdsSendHandshake answered(0, t);
    answered.headerSent();
    answered.onMessage(sds::encodeReply(Op::Ack, 0, 0));
    answered.packetSent(0);
    EXPECT_EQ(answered.onTimeout(), Step::Next);
    EXPECT_EQ(answered.unconfirmed(), 1);
}

// An ACK slower than the wait for it still confirms its packet; one for a packet that was
// answered in time, or for another device, confirms nothing.
TEST(SdsSendHandshake, ALateAckConfirmsItsPacketAfterAll) {
    SdsSendHandshake hs(0, SdsTimings{});
    hs.headerSent();
    hs.onMessage(sds::encodeReply(Op::Ack, 0, 0));
    for (std::uint8_t n = 0; n < 3; ++n) {
        hs.packetSent(n);
        ASSERT_EQ(hs.onTimeout(), Step::Next);
    }
    EXPECT_EQ(hs.unconfirmed(), 3);
    hs.packetSent(3);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 0, 1)), Step::Keep) << "late, not an answer";
    EXPECT_EQ(hs.unconfirmed(), 2);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 0, 1)), Step::Keep);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 5, 0)), Step::Keep);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Nak, 0, 0)), Step::Keep);
    EXPECT_EQ(hs.unconfirmed(), 2) << "a repeated ACK, another device's, a NAK";
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, sds::kAllCall, 2)), Step::Keep);
    EXPECT_EQ(hs.unconfirmed(), 1);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Ack, 0, 3)), Step::Next) << "the outstanding one";
    // Packet numbers repeat every 128: an ACK can no longer tell the oldest ones apart.
    for (int n = 4; n < 4 + 200; ++n) {
        hs.packetSent(static_cast<std::uint8_t>(n % 128));
        hs.onTimeout();
    }
    EXPECT_EQ(hs.unconfirmed(), 201);
    hs.packetSent(76);
    hs.onMessage(sds::encodeReply(Op::Ack, 0, 75));
    EXPECT_EQ(hs.unconfirmed(), 200);
}

TEST(SdsSendHandshake, ANakStormEndsAtTheResendLimit) {
    SdsTimings t;
    t.resendLimit = 3;
    SdsSendHandshake hs(0, t);
    hs.packetSent(9);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(hs.onMessage(sds::encodeReply(Op::Nak, 0, 9)), Step::Resend);
        hs.resent();
    }
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Nak, 0, 9)), Step::Failed);
    EXPECT_EQ(hs.resends(), 3);
    hs.packetSent(10);
    EXPECT_EQ(hs.onMessage(sds::encodeReply(Op::Nak, 0, 10)), Step::Resend) << "count per packet";
}

std::vector<std::int16_t> ramp(std::size_t n, int step = 331) {
    std::vector<std::int16_t> w(n);
    for (std::size_t i = 0; i < n; ++i)
        w[i] = static_cast<std::int16_t>(static_cast<int>(i) * step - 20000);
    return w;
}

Bytes headerFor(std::uint8_t channel, std::uint32_t words, std::uint8_t bits = 16) {
    sds::DumpHeader h;
    h.bits = bits;
    h.periodNs = sds::periodForRate(22050);
    h.lengthWords = words;
    return sds::encodeHeader(channel, h);
}

TEST(SdsReceiveSession, DuplicatesAreAcknowledgedAndDroppedAndTheLastPacketTrimmed) {
    SdsReceiveSession r(0, false);
    EXPECT_EQ(*r.onMessage(headerFor(0, 50)).reply, sds::encodeReply(Op::Ack, 0, 0));
    const auto words = ramp(80);
    const Bytes p0 = sds::encodePacket(0, 0, std::span(words).first(40));
    EXPECT_EQ(*r.onMessage(p0).reply, sds::encodeReply(Op::Ack, 0, 0));
    EXPECT_EQ(*r.onMessage(p0).reply, sds::encodeReply(Op::Ack, 0, 0)) << "duplicate";
    EXPECT_EQ(r.words().size(), 40u);
    EXPECT_EQ(r.duplicates(), 1);
    Bytes p1 = sds::encodePacket(0, 1, std::span(words).subspan(40));
    p1[20] ^= 0x01;
    const auto refused = r.onMessage(p1);
    EXPECT_EQ(*refused.reply, sds::encodeReply(Op::Nak, 0, 1));
    EXPECT_EQ(refused.badPacket, 1);
    EXPECT_EQ(r.words().size(), 40u);
    r.onMessage(sds::encodePacket(0, 1, std::span(words).subspan(40)));
    ASSERT_TRUE(r.complete());
    EXPECT_EQ(r.words(), std::vector<std::int16_t>(words.begin(), words.begin() + 50));
}

TEST(SdsReceiveSession, APacketThatSkipsANumberEndsTheDumpInsteadOfTakingItsPlace) {
    const auto words = ramp(120);
    for (const bool openLoop : {false, true}) {
        SdsReceiveSession r(0, openLoop);
        r.onMessage(headerFor(0, 120));
        r.onMessage(sds::encodePacket(0, 0, std::span(words).first(40)));
        // Packet 1 was NAKed and the sender went on without sending it again.
        const auto outcome = r.onMessage(sds::encodePacket(0, 2, std::span(words).subspan(80)));
        EXPECT_FALSE(outcome.packetTaken);
        EXPECT_FALSE(outcome.reply);
        EXPECT_EQ(r.words().size(), 40u);
        EXPECT_EQ(r.failure(), "Packet 1 never arrived (packet 2 came in its place)");
    }
}

TEST(SdsReceiveSession, OpenLoopKeepsAndCountsBadPacketsAndNeverAnswers) {
    SdsReceiveSession r(4, true);
    EXPECT_FALSE(r.onMessage(headerFor(4, 40)).reply);
    Bytes p0 = sds::encodePacket(4, 0, ramp(40));
    p0[125] ^= 0x01;
    const auto outcome = r.onMessage(p0);
    EXPECT_FALSE(outcome.reply);
    EXPECT_TRUE(r.complete());
    EXPECT_EQ(r.badChecksums(), 1);
}

TEST(SdsReceiveSession, OtherDevicesAndOtherFormatsAreNotTaken) {
    SdsReceiveSession r(1, false);
    EXPECT_FALSE(r.onMessage(headerFor(2, 40)).reply) << "another device's header";
    EXPECT_FALSE(r.headerSeen());
    r.onMessage(headerFor(1, 40, 12));
    EXPECT_EQ(r.failure(), kMsgIncorrectFormat);
    SdsReceiveSession c(1, false);
    c.onMessage(headerFor(1, 40));
    c.onMessage(sds::encodeReply(Op::Cancel, 1, 0));
    EXPECT_TRUE(c.cancelled());
}

// The driver on MIDI ports in memory; the test's thread is the window's thread.
class SdsDriver : public ::testing::Test {
protected:
    static SdsTimings shortTimings() {
        SdsTimings t;
        t.headerReply = 5ms;
        t.packetReply = 1ms;
        t.silence = 100ms;
        t.requestReply = 200ms;
        t.startLimit = 300ms;
        t.settle = 0ms;
        return t;
    }
    SdsDriver() {
        profile.channel = 1;
        driver.SetProfile(profile);
        driver.SetSampleStream(&stream);
        driver.SetStatusPanel(&panel);
    }
    // The status texts the driver shows, on whichever thread it shows them.
    struct Panel : StatusPanel {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::string> texts;
        void setText(const std::string& text) override {
            {
                std::lock_guard lock(mutex);
                texts.push_back(text);
            }
            changed.notify_all();
        }
        // Waits until the driver has shown `text` (its ports are open and, when it asks for a
        // dump, the request has gone).
        bool waitFor(const std::string& text) {
            std::unique_lock lock(mutex);
            return changed.wait_for(lock, 5s, [&] {
                return std::find(texts.begin(), texts.end(), text) != texts.end();
            });
        }
    };
    void setOpenLoop(bool open) {
        profile.openLoop = open ? 1 : 0;
        driver.SetProfile(profile);
    }
    // Runs the window's jobs until the driver is idle.
    void finish(std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            poster.deliver();
            std::this_thread::sleep_for(1ms);
        } while (driver.busy() && std::chrono::steady_clock::now() < end);
        poster.deliver();
        ASSERT_FALSE(driver.busy());
    }
    SampleSendArguments wordsToSend(const std::vector<std::int16_t>& words) {
        Bytes bytes;
        for (std::int16_t w : words) {
            bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(w) >> 8));
        }
        stream.assign(bytes);
        SampleSendArguments a;
        a.sampleNumber = 12;
        a.sampleRate = 32000;
        a.lengthBytes = static_cast<std::uint32_t>(bytes.size());
        return a;
    }

    test::FakeMidiBackend backend;
    test::QueuedPoster poster;
    TMidiInput input{backend, poster.poster()};
    TMidiOutput output{backend, poster.poster()};
    SdsTimings timings = shortTimings();
    SamplerProfile profile;
    MemoryStream stream;
    Panel panel;
    TSDSDriver driver{input, output, poster.poster(), timings};
};

TEST_F(SdsDriver, OpenLoopSendsHeaderTwoFullPacketsAndAPaddedOneAndReadsNothing) {
    setOpenLoop(true);
    const auto words = ramp(100);
    driver.SendSample(wordsToSend(words));
    EXPECT_FALSE(backend.deliver(0, sds::encodeReply(Op::Cancel, 0, 0))) << "input not open";
    finish();
    const auto sent = backend.sentTo(0);
    ASSERT_EQ(sent.size(), 4u);
    const auto header = sds::decodeHeader(sent[0]);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->sampleNumber, 12);
    EXPECT_EQ(header->lengthWords, 100u);
    EXPECT_EQ(header->loopEnd, 100u);
    EXPECT_EQ(header->loopType, 0x7F);
    EXPECT_EQ(header->periodNs, 31250u);
    std::vector<std::int16_t> back;
    for (std::size_t i = 1; i < 4; ++i) {
        const auto p = sds::decodePacket(sent[i]);
        ASSERT_TRUE(p && p->checksumOk);
        EXPECT_EQ(p->number, i - 1);
        back.insert(back.end(), p->words.begin(), p->words.end());
    }
    EXPECT_TRUE(
        std::all_of(sent[3].begin() + 65, sent[3].begin() + 125, [](auto b) { return b == 0; }));
    back.resize(100);
    EXPECT_EQ(back, words);
    EXPECT_TRUE(driver.lastReport().ok);
}

// The sampler's side of a closed loop, played by the test: each message `driver` sends is
// answered with what `answer` returns, until the driver is idle.
// `first` is how many messages were sent before the transfer started.
template <typename Answer>
void playSampler(TSDSDriver& driver, test::FakeMidiBackend& backend, test::QueuedPoster& poster,
                 std::size_t first, Answer answer) {
    std::size_t seen = first;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (driver.busy() && std::chrono::steady_clock::now() < end) {
        poster.deliver();
        const auto sent = backend.sentTo(0);
        for (; seen < sent.size(); ++seen)
            for (const Bytes& reply : answer(sent[seen], seen - first))
                backend.deliver(0, reply);
        std::this_thread::yield();
    }
    poster.deliver();
    ASSERT_FALSE(driver.busy());
}

// A CANCEL for us ends the send as cancelled by the sampler, whichever packet it names and
// however late it comes.
TEST_F(SdsDriver, AnyCancelFromTheSamplerEndsTheSend) {
    timings.packetReply = 2000ms;
    timings.settle = 2000ms;
    TSDSDriver sender(input, output, poster.poster(), timings);
    sender.SetProfile(profile);
    sender.SetSampleStream(&stream);
    // The header and packets 0 and 1 are acknowledged; packet 2 is cancelled naming packet 0.
    sender.SendSample(wordsToSend(ramp(400)));
    playSampler(sender, backend, poster, 0, [](const Bytes& message, std::size_t index) {
        const std::uint8_t packet = index == 0 ? 0 : message[4];
        return std::vector<Bytes>{index <= 2 ? sds::encodeReply(Op::Ack, 0, packet)
                                             : sds::encodeReply(Op::Cancel, 0, 0)};
    });
    const SdsTransferReport report = sender.lastReport();
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.cancelledBySampler);
    EXPECT_EQ(report.packets, 2);
    EXPECT_EQ(sender.runner().lastOutcome().kind, TransferOutcome::Kind::StoppedBySampler);

    // The last packet acknowledged, then cancelled while the sampler files the sample away.
    const std::size_t before = backend.sentTo(0).size();
    sender.SendSample(wordsToSend(ramp(80)));
    playSampler(sender, backend, poster, before, [](const Bytes& message, std::size_t index) {
        if (index == 0)
            return std::vector<Bytes>{sds::encodeReply(Op::Ack, 0, 0)};
        if (index == 2)
            return std::vector<Bytes>{sds::encodeReply(Op::Ack, 0, message[4]),
                                      sds::encodeReply(Op::Cancel, 0, message[4])};
        return std::vector<Bytes>{sds::encodeReply(Op::Ack, 0, message[4])};
    });
    EXPECT_FALSE(sender.lastReport().ok);
    EXPECT_TRUE(sender.lastReport().cancelledBySampler);
}

TEST_F(SdsDriver, PacketNumbersStartAgainAtZeroAfter127) {
    setOpenLoop(true);
    driver.SendSample(wordsToSend(ramp(130 * 40, 7)));
    finish(20000ms);
    const auto sent = backend.sentTo(0);
    ASSERT_EQ(sent.size(), 131u);
    EXPECT_EQ(sent[128][4], 127);
    EXPECT_EQ(sent[129][4], 0);
    EXPECT_EQ(sent[130][4], 1);
}

TEST_F(SdsDriver, WaitForSendSendsNoRequestAndTakesTheDumpTheSamplerStarts) {
    ReceivedFormat got{};
    bool called = false;
    driver.ReceiveSample(kWaitForSendBase + 3, [&](const ReceivedFormat& f) {
        got = f;
        called = true;
    });
    ASSERT_TRUE(panel.waitFor(kMsgWaiting));
    EXPECT_TRUE(backend.sentTo(0).empty()) << "no dump request";
    const auto words = ramp(45);
    backend.deliver(0, headerFor(0, 45));
    backend.deliver(0, Bytes{0xF0, 0x7E, 5, 0x02, 0, 0xF7}); // not a packet: too short
    backend.deliver(0, sds::encodePacket(0, 0, std::span(words).first(40)));
    backend.deliver(0, sds::encodePacket(0, 1, std::span(words).subspan(40)));
    finish();
    ASSERT_TRUE(called);
    EXPECT_EQ(got.rate, 22050u);
    EXPECT_EQ(got.lengthBytes, 90u);
    ASSERT_EQ(stream.size(), 90u);
    EXPECT_EQ(std::memcmp(stream.data(), words.data(), 90), 0);
    const auto sent = backend.sentTo(0);
    ASSERT_EQ(sent.size(), 3u) << "ACK for the header and each packet";
    EXPECT_EQ(sent[2], sds::encodeReply(Op::Ack, 0, 1));
}

TEST_F(SdsDriver, AReceiveThatStopsMidDumpEndsWithAMessageAndCancel) {
    bool failed = false;
    driver.ReceiveSample(4, [&](const ReceivedFormat& f) { failed = f.rate == 0; });
    ASSERT_TRUE(panel.waitFor(kMsgWaiting));
    backend.deliver(0, headerFor(0, 400));
    backend.deliver(0, sds::encodePacket(0, 0, ramp(40)));
    finish();
    EXPECT_TRUE(failed);
    const auto report = driver.lastReport();
    EXPECT_NE(report.message.find("nothing came from the sampler"), std::string::npos);
    const auto sent = backend.sentTo(0);
    EXPECT_EQ(sent.front(), sds::encodeRequest(0, 4));
    EXPECT_EQ(sent.back(), sds::encodeReply(Op::Cancel, 0, 1));
}

TEST_F(SdsDriver, AnInputThatDropsMessagesEndsTheReceiveInsteadOfLeavingAGap) {
    driver.ReceiveSample(4, nullptr);
    ASSERT_TRUE(panel.waitFor(kMsgWaiting));
    backend.deliver(0, headerFor(0, 400));
    // The window's thread takes nothing meanwhile: a burst of SysEx beyond what the input
    // holds for it (another maker's messages, as on a busy cable).
    const Bytes other{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    for (int i = 0; i < 600; ++i)
        backend.deliver(0, other);
    finish();
    const auto report = driver.lastReport();
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.message, "MIDI messages from the sampler were lost (the input overflowed)");
}

TEST_F(SdsDriver, OpenLoopRequestOpensTheOutputForTheRequestOnly) {
    setOpenLoop(true);
    driver.ReceiveSample(9, nullptr);
    finish();
    const auto sent = backend.sentTo(0);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], sds::encodeRequest(0, 9));
    EXPECT_NE(driver.lastReport().message.find("did not answer"), std::string::npos);
}

TEST_F(SdsDriver, PortsThatDoNotOpenAreReported) {
    backend.refuseOpen = true;
    bool failed = false;
    driver.ReceiveSample(1, [&](const ReceivedFormat& f) { failed = f.lengthBytes == 0; });
    finish();
    EXPECT_TRUE(failed);
    EXPECT_EQ(panel.texts.back(), kMsgErrorOpeningMidi);
    const TransferOutcome outcome = driver.runner().lastOutcome();
    EXPECT_EQ(outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("device refused"), std::string::npos) << outcome.message;
}

} // namespace
} // namespace tolvane
