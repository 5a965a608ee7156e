// The S2000-family driver against the simulated sampler behind the socket adaptor: listing,
// sending and receiving samples, writing a program, and the faults a transfer meets.
#include "document/MemoryStream.h"
#include "fakes/AkaiS2000Sampler.h"
#include "platform/ScsiBus.h"
#include "processing/TWaveSmoother.h"
#include "samplers/AkaiS2000Protocol.h"
#include "samplers/TAkaiS2000Driver.h"
#include "slicing/Keymap.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane {
namespace {

using test::AkaiS2000Sampler;
using Clock = std::chrono::steady_clock;

class Recorder : public TAkaiS2000Driver::Messages, public StatusPanel, public SampleListView {
public:
    void error(const std::string& text) override { add(errors, text); }
    void warning(const std::string& text) override { add(warnings, text); }
    void setText(const std::string& text) override {
        add(texts, text);
        if (onText)
            onText(text);
    }
    void clear() override {}
    void addSample(int number, const std::string& name) override {
        add(rows, std::to_string(number) + " " + name);
    }
    std::function<void(const std::string&)> onText;
    std::vector<std::string> errors, warnings, texts, rows;

private:
    void add(std::vector<std::string>& list, const std::string& text) {
        std::lock_guard lock(m_mutex);
        list.push_back(text);
    }
    std::mutex m_mutex;
};

std::string socketPath() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return (std::filesystem::temp_directory_path() /
            ("tolvane-akai-" + std::to_string(::getpid()) + "-" + info->name()))
        .string();
}

std::unique_ptr<ScsiBus> busOf(const std::string& socket) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor({socket}));
    return std::make_unique<ScsiBus>(std::move(adaptors));
}

TAkaiS2000Driver::Timing fastTiming() {
    using std::chrono::milliseconds;
    return {milliseconds(400), milliseconds(300), milliseconds(5)};
}

// Little-endian 16-bit samples as the document holds them.
std::vector<std::uint8_t> ramp(std::size_t bytes) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return data;
}

class AkaiDriver : public ::testing::Test {
protected:
    AkaiDriver() {
        driver.SetStatusPanel(&recorder);
        driver.SetSmoother(&smoother);
        driver.SetSampleStream(&stream);
    }

    // Sends `data` as one mono sample and waits for the end.
    bool send(const std::vector<std::uint8_t>& data, const std::string& name,
              std::uint32_t rate = 44100) {
        stream.assign(data);
        SampleSendArguments a;
        a.name = name;
        a.rootKey = 60;
        a.sampleRate = rate;
        a.lengthBytes = static_cast<std::uint32_t>(data.size());
        bool done = false;
        a.onDone = [&] { done = true; };
        driver.SendSample(a);
        driver.waitIdle();
        return done;
    }

    ReceivedFormat receive(int number, MemoryStream& into) {
        driver.SetSampleStream(&into);
        ReceivedFormat format{1, 1, 1, 1};
        driver.ReceiveSample(number, [&](const ReceivedFormat& f) { format = f; });
        driver.waitIdle();
        driver.SetSampleStream(&stream);
        return format;
    }

    AkaiS2000Sampler sampler{socketPath()};
    std::unique_ptr<ScsiBus> bus = busOf(sampler.path());
    Recorder recorder;
    TWaveSmoother smoother;
    MemoryStream stream;
    TAkaiS2000Driver driver{bus->entry(), &recorder, fastTiming()};
};

TEST_F(AkaiDriver, ConnectFindsTheSamplerAndListsItsSamples) {
    bool connected = false;
    driver.Connect([&] { connected = true; });
    driver.waitIdle();
    EXPECT_TRUE(connected);

    sampler.addSample("Kick", std::vector<std::int16_t>(600), 44100);
    sampler.addSample("Snare 2", std::vector<std::int16_t>(10), 22050);
    bool listed = false;
    driver.ListSamples([&] { listed = true; }, &recorder);
    driver.waitIdle();
    EXPECT_TRUE(listed);
    EXPECT_EQ(recorder.rows, (std::vector<std::string>{"0 KICK", "1 SNARE 2"}));
    SampleDirectory directory;
    driver.GetSampleList(directory);
    EXPECT_EQ(directory[0].lengthWords, 600u);
    EXPECT_EQ(directory[1].rate, 22050u);
    EXPECT_FALSE(sampler.exclusiveMode());
    EXPECT_TRUE(recorder.errors.empty());
}

TEST_F(AkaiDriver, EmptySamplerEndsTheListingAndAMissingTargetIsReported) {
    bool listed = false;
    driver.ListSamples([&] { listed = true; }, &recorder);
    driver.waitIdle();
    EXPECT_TRUE(listed) << "an empty list still ends the listing";
    EXPECT_TRUE(recorder.rows.empty());

    SamplerProfile elsewhere;
    elsewhere.target = 5;
    driver.SetProfile(elsewhere);
    bool connected = false;
    driver.Connect([&] { connected = true; });
    driver.waitIdle();
    EXPECT_FALSE(connected);
    EXPECT_EQ(recorder.errors, (std::vector<std::string>{kMsgAkaiCommunication}));
    EXPECT_TRUE(driver.Aborted());
}

TEST_F(AkaiDriver, SendThenReceiveIsByteExactWithTheRateFromTheHeader) {
    sampler.addSample("Already", {1, 2, 3}, 44100);
    const auto data = ramp(1500);
    ASSERT_TRUE(send(data, "Kick 1001", 32000));
    EXPECT_EQ(sampler.dataBlocks(), (std::vector<std::size_t>{1024, 476}));
    const auto stored = sampler.samples();
    ASSERT_EQ(stored.size(), 2u) << "the next free slot";
    EXPECT_EQ(stored[1].name(), "KICK 1001");
    EXPECT_EQ(stored[1].lengthWords(), 750u);
    EXPECT_EQ(stored[1].rate(), 32000u) << "the rate field is filled";
    EXPECT_EQ(stored[1].header[2], 60) << "the key is the sample's pitch";
    EXPECT_EQ(stored[1].data[0], data[1]) << "big-endian words on the wire";
    EXPECT_FALSE(sampler.exclusiveMode());
    EXPECT_EQ(recorder.texts.back(), "Inactive");
    EXPECT_NE(std::find(recorder.texts.begin(), recorder.texts.end(), "Sending # 1: 100.00%"),
              recorder.texts.end());

    MemoryStream received;
    const ReceivedFormat format = receive(1, received);
    EXPECT_EQ(format.rate, 32000u);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.lengthBytes, 1500u);
    EXPECT_EQ(std::vector<std::uint8_t>(received.data(), received.data() + received.size()), data);
    EXPECT_EQ(driver.GetReceivedName(), "KICK 1001");
    EXPECT_FALSE(sampler.exclusiveMode());
    EXPECT_TRUE(recorder.errors.empty());
}

// A sampler making room answers WAIT before its ACK, all three waiting together: the driver
// takes each message of the reply in order and goes on at the ACK.
TEST_F(AkaiDriver, WaitsBeforeTheAckAreTakenInOrder) {
    sampler.waitBeforeAck(2);
    const auto data = ramp(3000);
    ASSERT_TRUE(send(data, "Kick"));
    EXPECT_TRUE(recorder.errors.empty()) << recorder.errors.front();
    ASSERT_EQ(sampler.samples().size(), 1u);
    EXPECT_EQ(sampler.samples()[0].data.size(), data.size());
    EXPECT_TRUE(driver.runner().lastOutcome().completed());
}

TEST_F(AkaiDriver, OneChannelOfAStereoPairGoesAsAMonoSample) {
    // Frames of left 0x0100 + i, right 0x2000 + i.
    std::vector<std::uint8_t> frames;
    for (std::uint16_t i = 0; i < 300; ++i)
        for (std::uint16_t v : {std::uint16_t(0x0100 + i), std::uint16_t(0x2000 + i)})
            frames.insert(frames.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    stream.assign(frames);
    SampleSendArguments a;
    a.name = "Right";
    a.sourceChannels = 2;
    a.channelsSent = 1;
    a.startOffset = 2; // the right channel
    a.lengthBytes = static_cast<std::uint32_t>(frames.size() - 2);
    driver.SendSample(a);
    driver.waitIdle();
    ASSERT_TRUE(recorder.errors.empty()) << recorder.errors.front();
    const auto stored = sampler.samples().at(0);
    ASSERT_EQ(stored.lengthWords(), 299u);
    EXPECT_EQ(stored.data[0], 0x20);
    EXPECT_EQ(stored.data[1], 0x00);
    EXPECT_EQ(stored.data[2 * 298], 0x21);
    EXPECT_EQ(stored.data[2 * 298 + 1], 298 - 256);
}

TEST_F(AkaiDriver, ReceivingASampleWithoutRateSaysSoAndDeliversNothing) {
    sampler.addSample("Old", {5, 6}, 0, false);
    MemoryStream received;
    const ReceivedFormat format = receive(0, received);
    EXPECT_EQ(format.lengthBytes, 0u);
    EXPECT_EQ(format.rate, 0u);
    EXPECT_EQ(received.size(), 0u);
    EXPECT_EQ(recorder.errors, (std::vector<std::string>{kMsgAkaiNoRate}));
    EXPECT_FALSE(sampler.exclusiveMode());
}

// The length in a sample's header is the sampler's word, not the truth: it is checked against
// what the sampler holds before anything is allocated, and every block of data must arrive.
TEST_F(AkaiDriver, ALengthTheSamplerCannotHoldOrDoesNotSendIsRefused) {
    sampler.addLyingSample("Twice", std::vector<std::int16_t>(1, 7), 0x80000001u);
    sampler.addLyingSample("Short", std::vector<std::int16_t>(10, 7), 1000);
    sampler.addLyingSample("Huge", std::vector<std::int16_t>(10, 7), 0xFFFFFFFFu);
    sampler.addLyingSample("Half", std::vector<std::int16_t>(10, 7), 0x40000000u);
    MemoryStream received;
    ReceivedFormat format = receive(0, received);
    ASSERT_EQ(format.lengthBytes, 0u) << "0x80000001 words are not two bytes";
    EXPECT_EQ(driver.runner().lastOutcome().kind, TransferOutcome::Kind::Failed);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_NE(recorder.errors[0].find("2147483649 words"), std::string::npos) << recorder.errors[0];

    format = receive(1, received);
    ASSERT_EQ(format.lengthBytes, 0u) << "20 of 2000 bytes arrived";
    EXPECT_EQ(received.size(), 0u);
    ASSERT_EQ(recorder.errors.size(), 2u);
    EXPECT_NE(recorder.errors[1].find("20 of 2000 bytes"), std::string::npos) << recorder.errors[1];

    for (int number : {2, 3}) {
        format = receive(number, received);
        EXPECT_EQ(format.lengthBytes, 0u) << number;
        EXPECT_EQ(received.size(), 0u) << number;
    }
    EXPECT_EQ(recorder.errors.size(), 4u);
    EXPECT_FALSE(sampler.exclusiveMode());
}

// A request that fails while a sample is received ends it as the abort check does: a warning,
// "Operation aborted!".
TEST_F(AkaiDriver, AFailedRequestWhileReceivingIsOperationAborted) {
    sampler.addSample("Kick", std::vector<std::int16_t>(600, 5), 44100);
    sampler.failDataReads(true);
    MemoryStream received;
    const ReceivedFormat format = receive(0, received);
    EXPECT_EQ(format.lengthBytes, 0u);
    EXPECT_TRUE(recorder.errors.empty()) << recorder.errors.front();
    EXPECT_EQ(recorder.warnings, std::vector<std::string>{kMsgAkaiAborted});
    EXPECT_FALSE(sampler.exclusiveMode());
}

TEST_F(AkaiDriver, ProgramGoesToTheNextFreeNumberAndMapsEachSampleToItsKey) {
    sampler.addProgram("PIANO");
    constexpr int kBase = 36, kCount = 8;
    bool mapped = false;
    driver.MapSamples(
        "Loop", "Kick 1.wav", [&] { mapped = true; }, 1, kCount, true, 0, kBase);
    driver.waitIdle();
    EXPECT_TRUE(mapped);
    ASSERT_TRUE(recorder.errors.empty()) << recorder.errors.front();
    const auto programs = sampler.programs();
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].keygroups.size(), 1u) << "the old program is left alone";
    const auto& program = programs[1];
    EXPECT_EQ(program.name(), "LOOP");
    EXPECT_EQ(program.header[akai::offset::kPlayLow], kBase);
    EXPECT_EQ(program.header[akai::offset::kPlayHigh], kBase + 12) << "8 white keys: C to C";
    EXPECT_EQ(std::vector<int>(program.header.begin() + 96, program.header.begin() + 101),
              (std::vector<int>{0, 0, 5, 8, 14}))
        << "header bytes arrive where the layout puts them";
    ASSERT_EQ(program.keygroups.size(), std::size_t(kCount));
    KeymapSettings keymap;
    keymap.octave = kBase / 12;
    keymap.whiteKeysOnly = true;
    for (int k = 0; k < kCount; ++k) {
        const auto& group = program.keygroups[static_cast<std::size_t>(k)];
        const int key = keyForSample(keymap, k).key;
        EXPECT_EQ(group[akai::offset::kLowNote], key) << k;
        EXPECT_EQ(group[akai::offset::kHighNote], key) << k;
        EXPECT_EQ(AkaiS2000Sampler::fromAkaiName(&group[akai::offset::kZone1Sample]),
                  akai::decodeName(akai::encodeName(akai::runSampleName("Kick 1", k + 1)).data()));
    }
    EXPECT_FALSE(sampler.exclusiveMode());

    // Spread keys around each sample's key, in a batch: the names come from the list.
    driver.SetNameList({"A", "B"});
    driver.MapSamples("Spread", "", {}, 1, 0, false, 2, 60);
    driver.waitIdle();
    const auto spread = sampler.programs().at(2);
    EXPECT_EQ(spread.keygroups.size(), 2u);
    EXPECT_EQ(spread.keygroups[1][akai::offset::kLowNote], 62);
    EXPECT_EQ(spread.keygroups[1][akai::offset::kHighNote], 64);
    EXPECT_EQ(AkaiS2000Sampler::fromAkaiName(&spread.keygroups[1][akai::offset::kZone1Sample]),
              "B");

    // The list served that one mapping: the next one names its samples after the file again.
    driver.MapSamples("Next", "Hat.wav", {}, 1, 1, false, 0, 60);
    driver.waitIdle();
    const auto next = sampler.programs().at(3);
    ASSERT_EQ(next.keygroups.size(), 1u);
    EXPECT_EQ(AkaiS2000Sampler::fromAkaiName(&next.keygroups[0][akai::offset::kZone1Sample]),
              "HAT001");
}

TEST_F(AkaiDriver, FailedBlockNoFreeSlotAndTooLittleMemoryEndTheSend) {
    sampler.failDataBlock(1);
    EXPECT_TRUE(send(ramp(4000), "Fail"));
    EXPECT_EQ(sampler.dataBlocks().size(), 2u) << "nothing after the failed block";
    EXPECT_TRUE(driver.Aborted());
    EXPECT_FALSE(sampler.exclusiveMode());
    EXPECT_EQ(recorder.errors, (std::vector<std::string>{kMsgAkaiUnexpectedReply}));

    sampler.failDataBlock(-1);
    sampler.refuseNewSamples(true);
    const auto before = sampler.samples().size();
    EXPECT_TRUE(send(ramp(100), "Full"));
    EXPECT_EQ(sampler.samples().size(), before);
    EXPECT_TRUE(sampler.dataBlocks().size() == 2u) << "no data sent for a refused header";
    EXPECT_EQ(recorder.errors.back(), kMsgAkaiUnexpectedReply);
    EXPECT_FALSE(sampler.exclusiveMode());

    sampler.refuseNewSamples(false);
    sampler.setFreeWords(100);
    EXPECT_TRUE(send(ramp(200), "Big"));
    EXPECT_EQ(recorder.errors.back(), kMsgAkaiMemory);
    EXPECT_FALSE(sampler.exclusiveMode());

    SampleSendArguments stereo;
    stereo.stereoAsStereo = true;
    stereo.channelsSent = 2;
    stereo.batch = true;
    driver.SendSample(stereo);
    driver.waitIdle();
    EXPECT_EQ(recorder.errors.back(), kMsgAkaiStereo);
}

TEST_F(AkaiDriver, CancelMidSendStopsAndLeavesTheExclusiveMode) {
    recorder.onText = [this](const std::string& text) {
        if (text.rfind("Sending # 1: ", 0) == 0)
            driver.Abort();
    };
    EXPECT_TRUE(send(ramp(8192), "Long"));
    EXPECT_EQ(sampler.dataBlocks().size(), 1u);
    EXPECT_TRUE(driver.Aborted());
    EXPECT_FALSE(sampler.exclusiveMode());
    EXPECT_TRUE(recorder.errors.empty()) << "the user's own cancel needs no box";
}

TEST_F(AkaiDriver, ASilentOrHangingSamplerEndsWithinTheTimeLimits) {
    sampler.addSample("Kick", {1}, 44100);
    sampler.setSilent(true);
    auto start = Clock::now();
    bool listed = false;
    driver.ListSamples([&] { listed = true; }, &recorder);
    driver.waitIdle();
    EXPECT_TRUE(listed);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(recorder.errors, (std::vector<std::string>{kMsgAkaiNoAnswer}));
    EXPECT_FALSE(sampler.exclusiveMode());

    // No SCSI answer at all: each request gives up after its time, the mode is still left.
    sampler.setSilent(false);
    sampler.setHanging(true);
    start = Clock::now();
    MemoryStream received;
    EXPECT_EQ(receive(0, received).lengthBytes, 0u);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(recorder.errors.back(), kMsgAkaiNoAnswer);
    EXPECT_FALSE(sampler.exclusiveMode()) << "the leave command arrived";
}

} // namespace
} // namespace tolvane
