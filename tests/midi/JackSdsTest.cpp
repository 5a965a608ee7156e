// The simulated Sample Dump Standard sampler on its JACK port, driven through our own MIDI
// output and input: a sample sent with handshake is kept, a damaged packet is refused, and a
// dump request gives the sample back packet by packet as each is acknowledged.
#include "fakes/FakeMidi.h"
#include "fakes/SdsSampler.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace tolvane {
namespace {

using test::SdsSample;
using test::SdsSampler;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kChannel = 0;

class JackSds : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sampler.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
        backend = makeRtMidiBackend(MidiApi::Jack);
        out = std::make_unique<TMidiOutput>(*backend, nullptr);
        in = std::make_unique<TMidiInput>(*backend, nullptr);
        out->setProductName(sampler.inputPort());
        in->setProductName(sampler.outputPort());
        in->OpenPort();
        in->StartInput();
        out->OpenPort();
    }

    // The next SysEx from the sampler, whole.
    Bytes next(std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        Bytes message;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (auto event = in->TakeEvent()) {
                message.insert(message.end(), event->Sysex.begin(), event->Sysex.end());
                if (!message.empty() && message.back() == 0xF7)
                    return message;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return message;
    }

    SdsSampler sampler{"tolvane-sds", kChannel};
    std::unique_ptr<MidiBackend> backend;
    std::unique_ptr<TMidiOutput> out;
    std::unique_ptr<TMidiInput> in;
};

SdsSample rampSample(std::uint32_t words) {
    SdsSample s;
    s.lengthWords = words;
    for (std::uint32_t i = 0; i < words; ++i)
        s.words.push_back(static_cast<std::int16_t>(i * 331 - 20000));
    return s;
}

TEST_F(JackSds, ASampleSentWithHandshakeIsKeptAndADamagedPacketRefused) {
    const SdsSample sent = rampSample(100); // three packets of 40 words
    out->SendSysEx(SdsSampler::dumpHeader(kChannel, 3, sent));
    EXPECT_EQ(next(), (Bytes{0xF0, 0x7E, kChannel, 0x7F, 0, 0xF7})) << "ACK for the header";
    const Bytes data = SdsSampler::packedWords(sent.words);
    for (std::uint8_t packet = 0; packet < 3; ++packet) {
        Bytes message = SdsSampler::dataPacket(kChannel, packet, &data[packet * 120u]);
        if (packet == 1) {
            Bytes damaged = message;
            damaged[125] ^= 0x02;
            out->SendSysEx(damaged);
            EXPECT_EQ(next(), (Bytes{0xF0, 0x7E, kChannel, 0x7E, packet, 0xF7})) << "NAK";
        }
        out->SendSysEx(message);
        EXPECT_EQ(next(), (Bytes{0xF0, 0x7E, kChannel, 0x7F, packet, 0xF7})) << "ACK";
    }
    const auto kept = sampler.sample(3);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->words, sent.words);
    EXPECT_EQ(sampler.naksSent(), 1);
}

TEST_F(JackSds, ADumpRequestGivesTheSampleBackOnePacketPerAck) {
    const SdsSample stored = rampSample(90);
    sampler.store(7, stored);
    sampler.packetWait = std::chrono::milliseconds(2000); // every packet waits for our ACK
    out->SendSysEx(Bytes{0xF0, 0x7E, kChannel, 0x03, 7, 0, 0xF7});
    const Bytes header = next();
    ASSERT_EQ(header.size(), 21u);
    EXPECT_EQ(header[3], 0x01);
    EXPECT_EQ(header[10] | header[11] << 7 | header[12] << 14, 90);
    Bytes data;
    out->SendSysEx(Bytes{0xF0, 0x7E, kChannel, 0x7F, 0, 0xF7}); // the header's ACK
    for (std::uint8_t packet = 0; packet < 3; ++packet) {
        const Bytes m = next();
        ASSERT_EQ(m.size(), 127u) << int(packet);
        EXPECT_EQ(m[4], packet);
        data.insert(data.end(), m.begin() + 5, m.begin() + 125);
        out->SendSysEx(Bytes{0xF0, 0x7E, kChannel, 0x7F, packet, 0xF7});
    }
    EXPECT_EQ(data, SdsSampler::packedWords(stored.words));
    // Once the dump has ended the sampler has sent the header and the three packets, nothing
    // more.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sampler.busy() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(sampler.busy());
    EXPECT_EQ(sampler.messagesSent(), 4);
    EXPECT_TRUE(sampler.lastDumpHandshaken());
    EXPECT_TRUE(sampler.lastDumpFinished());
}

} // namespace
} // namespace tolvane
