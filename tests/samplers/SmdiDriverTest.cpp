// The SMDI exchange and the SMDI driver against the simulated sampler on the socket adaptor:
// round trips, the handshake's edge cases, and every fault the sampler can be told to show.
#include "document/MemoryStream.h"
#include "fakes/SmdiSampler.h"
#include "processing/TWaveSmoother.h"
#include "samplers/SmdiProtocol.h"
#include "samplers/SmdiSession.h"
#include "samplers/TSMIDIDriver.h"
#include "support/TestFiles.h"

#include <future>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::SmdiSample;
using test::SmdiSampler;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

Bytes ramp(std::size_t bytes, int seed = 1) {
    Bytes b(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 256);
    return b;
}

SmdiSample held(std::string name, std::uint32_t lengthWords, Bytes data = {}) {
    SmdiSample s;
    s.name = std::move(name);
    s.lengthWords = lengthWords;
    s.data = std::move(data);
    return s;
}

Bytes swapped(Bytes b) {
    smdi::swapWords(b.data(), b.size());
    return b;
}

TEST(SmdiProtocol, HeaderLayoutRatesAndRejects) {
    smdi::SampleHeader h;
    h.number = 0x010203;
    h.channels = 2;
    h.periodNs = smdi::periodForRate(44100);
    h.lengthWords = 0x11223344;
    h.name = "LOOP";
    const Bytes data = smdi::buildHeaderData(h, false);
    ASSERT_EQ(data.size(), 281u);
    EXPECT_EQ(h.periodNs, 22676u);
    EXPECT_EQ(data[21], 0x41) << "pitch integer: one byte";
    EXPECT_EQ((Bytes{data[22], data[23], data[24]}), (Bytes{0, 0, 0})) << "fraction: 3 bytes";
    EXPECT_EQ(data[25], 4);
    const auto back = smdi::parseHeaderData(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->number, h.number);
    EXPECT_EQ(back->lengthWords, h.lengthWords);
    EXPECT_EQ(back->name, "LOOP");
    h.rootKey = 60;
    const Bytes extended = smdi::buildHeaderData(h, true);
    EXPECT_EQ(extended.size(), 284u);
    EXPECT_EQ(extended[25], 60);
    EXPECT_EQ(extended[28], 4);

    // A name that announces more than arrived is cut to what arrived.
    Bytes shortName(data.begin(), data.begin() + 28);
    shortName[25] = 200;
    EXPECT_EQ(smdi::parseHeaderData(shortName)->name, "LO");
    EXPECT_FALSE(smdi::parseHeaderData(Bytes(25)));

    // Rates: to the nearest rate, not cut down to a hundred.
    EXPECT_EQ(smdi::rateForPeriod(22676), 44100u);
    EXPECT_EQ(smdi::rateForPeriod(20833), 48000u);
    EXPECT_EQ(smdi::rateForPeriod(0), 0u);
    EXPECT_EQ(roundSampleRate(44110), 44100u);
    EXPECT_EQ(roundSampleRate(22050), 22000u);
    EXPECT_EQ(roundSampleRate(22150), 22200u);

    bool truncated = false;
    const Bytes m = smdi::buildMessage(0x0110, 0, Bytes(10, 1));
    EXPECT_EQ(smdi::parseMessage(m.data(), 15, &truncated)->data.size(), 4u);
    EXPECT_TRUE(truncated);
    EXPECT_FALSE(smdi::parseMessage(m.data(), 10));
    const auto reject =
        smdi::parseMessage(SmdiSampler::message(0x0002, 0, {0x00, 0x20, 0x00, 0x02}).data(), 15);
    EXPECT_NE(smdi::rejectMeaning(*reject).find("no sample at that number"), std::string::npos);
}

class SmdiExchange : public ::testing::Test {
protected:
    test::TempDir dir;
    SmdiSampler sampler{dir.file("smdi.sock")};
    ScsiBus bus{[&] {
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({sampler.path()}));
        return adaptors;
    }()};
    std::vector<std::chrono::milliseconds> sleeps;
    std::vector<std::string> texts;
    std::unique_ptr<SmdiSession> session = makeSession(1);

    std::unique_ptr<SmdiSession> makeSession(int protocol) {
        auto s = std::make_unique<SmdiSession>(bus.entry(), 0, 0, protocol);
        s->setSleeper([this](std::chrono::milliseconds d) { sleeps.push_back(d); });
        s->setStatusSink([this](const std::string& t) { texts.push_back(t); });
        s->setTimings({500ms, 30000ms, 10000});
        return s;
    }

    // Sends little-endian words as sample `number` (mono, region only).
    SmdiOutcome send(const Bytes& littleEndian, std::uint32_t number = 5) {
        MemoryStream stream;
        stream.assign(littleEndian);
        TWaveSmoother source;
        source.source = stream.data();
        source.sourceSize = stream.size();
        source.length = static_cast<std::uint32_t>(stream.size());
        source.swapOutput = true;
        SmdiSendJob job;
        job.number = number;
        job.name = "KICK";
        job.regionOnly = true;
        return session->sendSample(job, source);
    }

    SmdiOutcome receive(Bytes& into, ReceivedFormat& format, std::uint32_t number = 5) {
        MemoryStream stream;
        std::string name;
        const SmdiOutcome outcome = session->receiveSample(number, stream, format, name);
        into.assign(stream.data(), stream.data() + stream.size());
        return outcome;
    }

    void expectSamplerUsable() {
        EXPECT_FALSE(sampler.busy()) << "the procedure was ended with the sampler";
        session->clearCancel();
        const Bytes data = ramp(300, 9);
        ASSERT_TRUE(send(data, 77).done()) << "the next command works";
        EXPECT_EQ(sampler.sample(77)->data, swapped(data));
    }
};

TEST_F(SmdiExchange, SendThenReceiveIsByteExactWithAShortLastPacket) {
    sampler.setPacketLength(4096);
    ASSERT_TRUE(session->connect().done());
    const Bytes original = ramp(10000);
    ASSERT_TRUE(send(original).done());
    const auto stored = sampler.sample(5);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data, swapped(original)) << "big-endian words on the wire";
    EXPECT_EQ(stored->channels, 1);
    EXPECT_EQ(stored->lengthWords, 5000u);
    EXPECT_EQ(stored->periodNs, 22676u);
    EXPECT_EQ(stored->name, "KICK");
    EXPECT_EQ(texts.back(), "Sending: 100%") << "the short last packet";
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Sending: 40.96%"), texts.end());
    EXPECT_EQ(send({}, 6).kind, SmdiOutcome::Kind::Failed) << "nothing to send";
    EXPECT_FALSE(sampler.sample(6));

    Bytes back;
    ReceivedFormat format;
    ASSERT_TRUE(receive(back, format).done());
    EXPECT_EQ(back, original);
    EXPECT_EQ(format.rate, 44100u) << "22 676 ns is 44.1 kHz, not 44 000 Hz";
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.lengthBytes, 10000u);
}

// Every command follows the exchange: a RECEIVE only when a reply is pending, never a SEND
// while one is; and packets are as long as the sampler acknowledged.
TEST_F(SmdiExchange, OnlyWhatIsPendingIsAskedForAndTheAcknowledgedLengthIsUsed) {
    sampler.setPacketLength(1001);
    ASSERT_TRUE(session->connect().done());
    const Bytes original = ramp(3000);
    ASSERT_TRUE(send(original, 0).done());
    Bytes back;
    ReceivedFormat format;
    ASSERT_TRUE(receive(back, format, 0).done());
    EXPECT_EQ(back, original) << "packets of an odd length end inside a word";
    std::vector<std::uint32_t> listed;
    ASSERT_TRUE(
        session->listSamples([&](const smdi::SampleHeader& h) { listed.push_back(h.number); }, 10)
            .done());
    EXPECT_EQ(sampler.violations(), 0) << "a RECEIVE with nothing pending";

    // A sampler that takes one byte at a time cannot be sent 16-bit words: refused, clearly,
    // and the procedure ended with it.
    sampler.setPacketLength(1);
    const SmdiOutcome outcome = send(ramp(100), 6);
    EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("packets of 1 byte"), std::string::npos) << outcome.message;
    EXPECT_FALSE(sampler.busy());
    EXPECT_EQ(sampler.violations(), 0);
}

TEST_F(SmdiExchange, ReceiveEndsAtAnExactMultipleAndAtTheSamplersEnd) {
    sampler.setPacketLength(0x8000);
    SmdiSample exact;
    exact.lengthWords = 0x8000; // two full packets
    exact.data = ramp(0x10000);
    sampler.store(3, exact);
    Bytes back;
    ReceivedFormat format;
    ASSERT_TRUE(receive(back, format, 3).done());
    EXPECT_EQ(back, swapped(exact.data));
    const auto log = sampler.received();
    EXPECT_EQ(
        std::count(log.begin(), log.end(), std::make_pair(std::uint16_t(0x0103), std::uint16_t(0))),
        2)
        << "no request for a packet past the end";

    // A sampler that holds less than its header said ends with End of Procedure.
    SmdiSample shorter = exact;
    shorter.data.resize(0x9000);
    sampler.store(4, shorter);
    ASSERT_TRUE(receive(back, format, 4).done());
    EXPECT_EQ(back, swapped(shorter.data));
    EXPECT_EQ(format.lengthBytes, 0x9000u);
}

TEST_F(SmdiExchange, WaitIsPolledEvery500msAndTheWholeReplyIsReadAfterIt) {
    sampler.setPacketLength(1024);
    const Bytes original = ramp(4000);
    sampler.waitAt(SmdiSampler::kDataPacket, 1, 3);
    ASSERT_TRUE(send(original).done());
    EXPECT_EQ(sleeps, (std::vector<std::chrono::milliseconds>{500ms, 500ms, 500ms}));
    EXPECT_EQ(sampler.testUnitReadyCount(), 4);
    EXPECT_EQ(sampler.sample(5)->data, swapped(original));

    // Receiving: the data packet that was waited for comes whole.
    sampler.waitAt(SmdiSampler::kSendNextPacket, 1, 1);
    Bytes back;
    ReceivedFormat format;
    ASSERT_TRUE(receive(back, format).done());
    EXPECT_EQ(back, original);
}

TEST_F(SmdiExchange, WaitStormsEndAfterThirtySecondsOfWaiting) {
    sampler.waitAt(SmdiSampler::kSampleHeader, 0, -1); // busy for ever
    SmdiOutcome outcome = send(ramp(100));
    EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("stayed busy for 30 seconds"), std::string::npos)
        << outcome.message;
    EXPECT_EQ(sleeps.size(), 60u);

    // "Wait" over and over with the target ready in between: bounded as well, and said as it
    // happened (the sampler was never busy).
    sleeps.clear();
    sampler.waitAt(SmdiSampler::kHeaderRequest, 0, 0, 100000);
    Bytes back;
    ReceivedFormat format;
    outcome = receive(back, format);
    EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed);
    EXPECT_LT(sampler.commands(), 400);
    EXPECT_NE(outcome.message.find("answered \"wait\" 61 times in "), std::string::npos)
        << outcome.message;
    EXPECT_EQ(outcome.message.find("stayed busy"), std::string::npos) << outcome.message;
}

TEST_F(SmdiExchange, RejectsAtEachStageEndWithTheirMeaning) {
    sampler.setPacketLength(512);
    const std::pair<std::uint16_t, int> stages[] = {{SmdiSampler::kSampleHeader, 0},
                                                    {SmdiSampler::kBeginTransfer, 0},
                                                    {SmdiSampler::kDataPacket, 1}};
    int round = 0;
    for (const auto& [id, occurrence] : stages) {
        SCOPED_TRACE(id);
        sampler.rejectAt(id, occurrence + round, 0x0005, 0);
        const SmdiOutcome outcome = send(ramp(2000));
        EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed);
        EXPECT_NE(outcome.message.find("Error communicating with sampler"), std::string::npos);
        EXPECT_NE(outcome.message.find("the sampler is busy (code 0005/0000)"), std::string::npos)
            << outcome.message;
        expectSamplerUsable();
        ++round; // every stage's message came once more in the usable check
    }
    Bytes back;
    ReceivedFormat format;
    const SmdiOutcome outOfRange = receive(back, format, 999);
    EXPECT_EQ(outOfRange.message.rfind(kMsgSampleOutOfRange, 0), 0u);
}

TEST_F(SmdiExchange, ALostPacketIsSentAgainByItsNumber) {
    sampler.setPacketLength(256);
    sampler.dropPacket(2);
    const Bytes original = ramp(1500);
    ASSERT_TRUE(send(original).done());
    EXPECT_EQ(sampler.sample(5)->data, swapped(original));
}

TEST_F(SmdiExchange, TheSamplersAbortAndSilenceEndTheTransfer) {
    sampler.setPacketLength(256);
    sampler.abortAt(SmdiSampler::kDataPacket, 2);
    SmdiOutcome outcome = send(ramp(2000));
    EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Aborted);
    EXPECT_EQ(outcome.message, kMsgOperationAborted);
    EXPECT_FALSE(sampler.sample(5));
    expectSamplerUsable();

    sampler.store(6, held("S", 1000, ramp(2000)));
    sampler.abortAt(SmdiSampler::kSendNextPacket, 3);
    Bytes back;
    ReceivedFormat format;
    EXPECT_EQ(receive(back, format, 6).kind, SmdiOutcome::Kind::Aborted);

    sampler.setSilent(true);
    session->setTimings({500ms, 30000ms, 300}); // a short command timeout for the silence
    outcome = send(ramp(100));
    EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("stopped answering"), std::string::npos);
    sampler.setSilent(false);
    session->setTimings({500ms, 30000ms, 10000});
    expectSamplerUsable();
}

TEST_F(SmdiExchange, CancelDuringAWaitEndsTheProcedureWithTheSampler) {
    sampler.setPacketLength(256);
    sampler.waitAt(SmdiSampler::kDataPacket, 1, 5);
    session->setSleeper([this](std::chrono::milliseconds) { session->cancel(); });
    EXPECT_EQ(send(ramp(2000)).kind, SmdiOutcome::Kind::Cancelled);
    const auto log = sampler.received();
    EXPECT_EQ(log.back().first, SmdiSampler::kAbort);
    expectSamplerUsable();
}

TEST_F(SmdiExchange, UnsafeHeadersAreRefusedOrCut) {
    Bytes back;
    ReceivedFormat format;
    SmdiSample noChannels = held("A", 10, ramp(20)), noPeriod = noChannels;
    noChannels.channels = 0;
    noPeriod.periodNs = 0;
    sampler.store(1, noChannels);
    sampler.store(2, noPeriod);
    sampler.store(3, held("C", 0xFFFFFFFF, ramp(20)));
    for (std::uint32_t n : {1, 2, 3}) {
        const SmdiOutcome outcome = receive(back, format, n);
        EXPECT_EQ(outcome.kind, SmdiOutcome::Kind::Failed) << n;
        EXPECT_NE(outcome.message.find("cannot be used"), std::string::npos) << n;
        EXPECT_EQ(format.lengthBytes, 0u);
    }
    SmdiSample named = held("AB", 10, ramp(20));
    named.nameLengthOverride = 255;
    sampler.store(4, named);
    MemoryStream stream;
    std::string name;
    ASSERT_TRUE(session->receiveSample(4, stream, format, name).done());
    EXPECT_EQ(name, "AB");
}

TEST_F(SmdiExchange, ListingStartsAtOneOnlyOnProtocolFour) {
    std::vector<std::uint32_t> listed;
    auto collect = [&](const smdi::SampleHeader& h) { listed.push_back(h.number); };
    EXPECT_EQ(session->listSamples(collect, 100).message, kMsgNoSamplesAvailable);
    for (int n : {0, 1, 2})
        sampler.store(n, held("S" + std::to_string(n), 1, ramp(2)));
    ASSERT_TRUE(session->listSamples(collect, 100).done());
    EXPECT_EQ(listed, (std::vector<std::uint32_t>{0, 1, 2}));
    listed.clear();
    session = makeSession(4);
    ASSERT_TRUE(session->listSamples(collect, 100).done());
    EXPECT_EQ(listed, (std::vector<std::uint32_t>{1, 2}));
}

// The driver through the interface the transfer windows use.
struct Resumes : WaitingThread {
    std::promise<void> resumed;
    void Resume() override { resumed.set_value(); }
};

TEST_F(SmdiExchange, TheDriverSendsStereoAsTwoMonoSamplesAndReceives) {
    TSMIDIDriver driver(bus);
    SamplerProfile profile;
    profile.protocol = 1;
    driver.SetProfile(profile);
    std::vector<std::string> reports;
    driver.setReportSink([&](const std::string& text, bool) { reports.push_back(text); });
    std::promise<void> connected;
    driver.Connect([&] { connected.set_value(); });
    connected.get_future().wait();

    // Stereo frames L0 R0 L1 R1 …: each channel goes as a mono sample of half the words.
    MemoryStream stream;
    const Bytes frames = ramp(4000);
    stream.assign(frames);
    driver.SetSampleStream(&stream);
    for (int channel = 0; channel < 2; ++channel) {
        Resumes thread;
        driver.SetWaitingThread(&thread);
        SampleSendArguments arguments;
        arguments.name = channel == 0 ? "LOOP-L" : "LOOP-R";
        arguments.sampleNumber = 10 + channel;
        arguments.sourceChannels = 2;
        arguments.lengthBytes = 4000;
        arguments.startOffset = static_cast<std::uint32_t>(2 * channel);
        arguments.region = true;
        driver.SendSample(arguments);
        thread.resumed.get_future().wait();
        driver.Wait();
        const auto stored = sampler.sample(10 + channel);
        ASSERT_TRUE(stored) << channel;
        EXPECT_EQ(stored->channels, 1);
        EXPECT_EQ(stored->lengthWords, 1000u);
        Bytes expected;
        for (std::size_t i = 2 * std::size_t(channel); i < frames.size(); i += 4)
            expected.insert(expected.end(), {frames[i + 1], frames[i]});
        EXPECT_EQ(stored->data, expected);
    }

    // In batch mode the end comes through the callbacks, where the next sample starts; a
    // reject ends through onError.
    std::promise<bool> batchEnd;
    SampleSendArguments batch, next;
    batch.sampleNumber = 12;
    batch.lengthBytes = 200;
    batch.batch = true;
    next = batch;
    next.sampleNumber = 13;
    next.onDone = [&] { batchEnd.set_value(true); };
    next.onError = [&] { batchEnd.set_value(false); };
    batch.onDone = [&] { driver.SendSample(next); };
    sampler.rejectAt(SmdiSampler::kSampleHeader, 3, 0x0020, 0x0000);
    driver.SendSample(batch);
    EXPECT_FALSE(batchEnd.get_future().get());
    driver.Wait();
    EXPECT_TRUE(sampler.sample(12));
    EXPECT_FALSE(sampler.sample(13));
    EXPECT_NE(driver.lastReport().find("the sample was refused"), std::string::npos);

    std::promise<ReceivedFormat> received;
    driver.ReceiveSample(10, [&](const ReceivedFormat& f) { received.set_value(f); });
    const ReceivedFormat format = received.get_future().get();
    driver.Wait();
    EXPECT_EQ(format.lengthBytes, 2000u);
    EXPECT_EQ(stream.size(), 2000u);
    EXPECT_EQ(driver.GetReceivedName(), "LOOP-L");

    // A target that is no SMDI device: the continuation is not called.
    profile.target = 5;
    driver.SetProfile(profile);
    bool continued = false;
    driver.Connect([&] { continued = true; });
    driver.Wait();
    EXPECT_FALSE(continued);
    EXPECT_EQ(driver.lastReport(), kMsgNotSmdiCompliant);
}

} // namespace
} // namespace tolvane
