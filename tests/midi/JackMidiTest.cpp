// TMidiOutput and TMidiInput on real ports of a JACK server (the fixture starts one with the
// dummy driver), joined by a loopback client: what we send arrives at our own input.
#include "fakes/FakeMidi.h"
#include "fakes/JackMidiLoopback.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class JackMidi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(loop.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
        backend = makeRtMidiBackend(MidiApi::Jack);
        out = std::make_unique<TMidiOutput>(*backend, poster.poster());
        in = std::make_unique<TMidiInput>(*backend, poster.poster());
        out->setProductName(loop.inputPort());
        in->setProductName(loop.outputPort());
        in->Capacity = 4096; // as the editor's input
        in->OnOverflow = [this] { ++overflows; };
        in->OpenPort();
        in->StartInput();
        out->OpenPort();
    }

    // Takes events until `done` says enough or the time is up.
    std::vector<TMyMidiEvent> receive(std::function<bool(const std::vector<TMyMidiEvent>&)> done,
                                      std::chrono::seconds limit = std::chrono::seconds(20)) {
        std::vector<TMyMidiEvent> events;
        const auto end = Clock::now() + limit;
        while (!done(events) && Clock::now() < end) {
            while (auto event = in->TakeEvent())
                events.push_back(std::move(*event));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return events;
    }

    test::JackMidiLoopback loop{"tolvane-loop"};
    test::QueuedPoster poster;
    int overflows = 0;
    std::unique_ptr<MidiBackend> backend;
    std::unique_ptr<TMidiOutput> out;
    std::unique_ptr<TMidiInput> in;
};

TEST_F(JackMidi, TheDeviceListsAreTheServersPortNamesWithoutOurOwn) {
    const auto outputs = out->devices();
    const auto inputs = in->devices();
    EXPECT_NE(std::find(outputs.begin(), outputs.end(), loop.inputPort()), outputs.end());
    EXPECT_NE(std::find(inputs.begin(), inputs.end(), loop.outputPort()), inputs.end());
    for (const auto& name : backend->outputs())
        EXPECT_EQ(name.rfind("WaveTolvane", 0), std::string::npos) << name;
    EXPECT_EQ(backend->apiName(), "JACK");
}

TEST_F(JackMidi, A32KilobyteSysExArrivesIntact) {
    Bytes sysex(32 * 1024);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    for (std::size_t i = 1; i + 1 < sysex.size(); ++i)
        sysex[i] = static_cast<std::uint8_t>((i * 7 + i / 128) & 0x7F);
    int sent = 0;
    out->Onmidioutput = [&] { ++sent; };
    out->SendSysEx(sysex);

    const auto events = receive([&](const std::vector<TMyMidiEvent>& got) {
        std::size_t total = 0;
        for (const auto& e : got)
            total += e.Sysex.size();
        return total >= sysex.size();
    });
    Bytes joined;
    for (const auto& e : events) {
        EXPECT_EQ(e.MidiMessage, 0xF0);
        EXPECT_LE(e.Sysex.size(), in->SysexBufferSize());
        joined.insert(joined.end(), e.Sysex.begin(), e.Sysex.end());
    }
    ASSERT_EQ(joined.size(), sysex.size());
    EXPECT_TRUE(joined == sysex) << "the bytes differ";
    out->flush();
    poster.deliver();
    EXPECT_EQ(sent, 1);
}

TEST_F(JackMidi, ShortMessagesKeepTheirOrderUnderABurst) {
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i)
        out->SendShort(static_cast<std::uint8_t>(0x90 | (i % 16)),
                       static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128 + 1));
    const auto events =
        receive([&](const std::vector<TMyMidiEvent>& got) { return got.size() >= kCount; });
    poster.deliver();
    EXPECT_EQ(overflows, 0);
    ASSERT_EQ(events.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const TMyMidiEvent& e = events[static_cast<std::size_t>(i)];
        ASSERT_EQ(e.MidiMessage, 0x90 | (i % 16)) << i;
        ASSERT_EQ(e.Data1, i % 128) << i;
        ASSERT_EQ(e.Data2, i / 128 + 1) << i;
    }
}

TEST_F(JackMidi, MessagesNobodyTakesOverflowTheQueue) {
    in->ClosePort();
    in->Capacity = 8;
    in->OpenPort();
    in->StartInput();
    int inputs = 0;
    in->OnMidiInput = [&] { ++inputs; };
    for (std::uint8_t n = 0; n < 20; ++n)
        out->SendShort(0xB0, 7, n);
    out->flush();
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (overflows == 0 && Clock::now() < end) {
        poster.deliver();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(overflows, 1);
    EXPECT_GE(inputs, 1);
    EXPECT_EQ(in->PendingCount(), 8u);
    EXPECT_EQ(in->TakeEvent()->Data2, 0) << "the first messages stay";
}

} // namespace
} // namespace tolvane
