// TMidiOutput and TMidiInput over ports in memory: device choice, the errors of changing a
// device while open, the order of what is sent, the input ring, SysEx buffers and overflow.
#include "fakes/FakeMidi.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::FakeMidiBackend;
using test::QueuedPoster;
using Bytes = std::vector<std::uint8_t>;

template <typename F> std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(MidiOutput, ChoosesDevicesByIndexAndNameAndRefusesChangesWhileOpen) {
    FakeMidiBackend backend;
    QueuedPoster poster;
    TMidiOutput out(backend, poster.poster());
    EXPECT_EQ(out.NumDevs(), 3);
    out.setDeviceID(2);
    EXPECT_EQ(out.ProductName(), "Fake Out C");
    out.setProductName("Fake Out B");
    EXPECT_EQ(out.DeviceID(), 1);
    EXPECT_EQ(errorOf([&] { out.setDeviceID(3); }), "Invalid device ID");
    EXPECT_EQ(errorOf([&] { out.setDeviceID(-1); }), "Invalid device ID");
    EXPECT_EQ(errorOf([&] { out.setProductName("Nowhere"); }),
              "MIDI output Device Nowhere not installed");
    EXPECT_EQ(out.DeviceID(), 1);

    ASSERT_TRUE(out.OpenPort());
    EXPECT_EQ(errorOf([&] { out.setDeviceID(0); }), "Change to DeviceID while device was open");
    EXPECT_EQ(errorOf([&] { out.setProductName("Fake Out A"); }),
              "Change to ProductName while device was open");
    EXPECT_EQ(out.DeviceID(), 1);
    EXPECT_TRUE(out.ClosePort());
    EXPECT_FALSE(out.ClosePort());
    EXPECT_EQ(errorOf([&] { out.SendShort(0x90, 60, 100); }), "MIDI Output device not open");
    EXPECT_EQ(errorOf([&] { out.SendEvent(TMyMidiEvent{}); }), "MIDI Output device not open");
}

TEST(MidiOutput, SendsShortMessagesAndSysExInOrderAndReportsEachSysEx) {
    FakeMidiBackend backend;
    QueuedPoster poster;
    TMidiOutput out(backend, poster.poster());
    int sysexDone = 0;
    out.Onmidioutput = [&] { ++sysexDone; };
    out.setDeviceID(1);
    out.OpenPort();
    out.SendShort(0x90, 60, 100);
    out.SendShort(0xC0, 5, 0); // program change: two bytes
    const Bytes dump = {0xF0, 0x7E, 0x00, 0x01, 0xF7};
    out.SendSysEx(dump);
    TMyMidiEvent event;
    event.Sysex = {0xF0, 0x43, 0xF7};
    out.SendEvent(event);
    event = {};
    event.MidiMessage = 0xF8; // one byte
    out.SendEvent(event);
    out.ClosePort(); // sends what waits first
    const auto sent = backend.sentTo(1);
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], (Bytes{0x90, 60, 100}));
    EXPECT_EQ(sent[1], (Bytes{0xC0, 5}));
    EXPECT_EQ(sent[2], dump);
    EXPECT_EQ(sent[3], (Bytes{0xF0, 0x43, 0xF7}));
    EXPECT_EQ(sent[4], (Bytes{0xF8}));
    EXPECT_EQ(sysexDone, 0) << "the notice comes on the window's thread";
    poster.deliver();
    EXPECT_EQ(sysexDone, 2);
}

TEST(MidiOutput, AnOpenThatFailsRaisesTheSystemsText) {
    FakeMidiBackend backend;
    backend.refuseOpen = true;
    TMidiOutput out(backend, {});
    EXPECT_EQ(errorOf([&] { out.OpenPort(); }), "device refused");
    EXPECT_FALSE(out.isOpen());
}

TEST(MidiInput, PropertiesThatMayNotChangeWhileOpen) {
    FakeMidiBackend backend;
    TMidiInput in(backend, {});
    EXPECT_EQ(in.Capacity, 1024);
    EXPECT_EQ(in.SysexBufferSize(), 4096u);
    EXPECT_EQ(in.SysexBufferCount(), 16u);
    EXPECT_FALSE(in.SysexOnly);
    EXPECT_EQ(errorOf([&] { in.setProductName("Gone"); }), "MIDI Input Device Gone not installed ");
    in.setProductName("Fake In B");
    in.OpenPort();
    EXPECT_EQ(errorOf([&] { in.setDeviceID(0); }), "Change to DeviceID while device was open");
    EXPECT_EQ(errorOf([&] { in.setProductName("Fake In A"); }),
              "Change to ProductName while device was open");
    EXPECT_EQ(errorOf([&] { in.setSysexBufferSize(8); }),
              "Change to SysexBufferSize while device was open");
    EXPECT_EQ(errorOf([&] { in.setSysexBufferCount(8); }),
              "Change to SysexBuffercount while device was open");
    EXPECT_EQ(in.DeviceID(), 1);
    EXPECT_EQ(in.SysexBufferSize(), 4096u);
}

TEST(MidiInput, QueuesFromStartDropsSensingAndClockAndRaisesInputOnTheWindowsThread) {
    FakeMidiBackend backend;
    QueuedPoster poster;
    TMidiInput in(backend, poster.poster());
    int raised = 0;
    in.OnMidiInput = [&] { ++raised; };
    in.OpenPort();
    backend.deliver(0, {0x90, 1, 2}); // before StartInput: not taken
    EXPECT_EQ(in.PendingCount(), 0u);
    in.StartInput();
    backend.deliver(0, {0xFE});
    backend.deliver(0, {0xF8});
    backend.deliver(0, {0x90, 60, 100});
    backend.deliver(0, {0xB0, 7, 99});
    EXPECT_EQ(in.PendingCount(), 2u);
    poster.deliver();
    EXPECT_GE(raised, 1);
    auto first = in.TakeEvent();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->MidiMessage, 0x90);
    EXPECT_EQ(first->Data1, 60);
    EXPECT_EQ(first->Data2, 100);
    EXPECT_EQ(in.TakeEvent()->MidiMessage, 0xB0);
    EXPECT_FALSE(in.TakeEvent());

    in.SysexOnly = true;
    backend.deliver(0, {0x80, 60, 0});
    backend.deliver(0, {0xF0, 1, 2, 0xF7});
    ASSERT_EQ(in.PendingCount(), 1u);
    EXPECT_EQ(in.TakeEvent()->Sysex, (Bytes{0xF0, 1, 2, 0xF7}));

    in.ClosePort();
    EXPECT_EQ(in.PendingCount(), 0u);
    EXPECT_FALSE(in.TakeEvent());
    EXPECT_FALSE(backend.deliver(0, {0x90, 1, 1})) << "a closed port receives nothing";
}

TEST(MidiInput, ALongSysExFillsSeveralBuffersThatReturnWhenTaken) {
    FakeMidiBackend backend;
    QueuedPoster poster;
    TMidiInput in(backend, poster.poster());
    int overflows = 0;
    in.OnOverflow = [&] { ++overflows; };
    in.setSysexBufferSize(4);
    in.setSysexBufferCount(3);
    in.OpenPort();
    in.StartInput();
    const Bytes ten = {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7};
    backend.deliver(0, ten); // three buffers of 4, 4, 2
    ASSERT_EQ(in.PendingCount(), 3u);
    Bytes joined;
    while (auto event = in.TakeEvent()) {
        EXPECT_EQ(event->MidiMessage, 0xF0);
        joined.insert(joined.end(), event->Sysex.begin(), event->Sysex.end());
    }
    EXPECT_EQ(joined, ten);
    // The buffers are back: the same again fits; once more does not.
    backend.deliver(0, ten);
    backend.deliver(0, ten);
    EXPECT_EQ(in.PendingCount(), 3u);
    poster.deliver();
    EXPECT_EQ(overflows, 1);
}

TEST(MidiInput, AFullRingRaisesOverflowInsteadOfInput) {
    FakeMidiBackend backend;
    QueuedPoster poster;
    TMidiInput in(backend, poster.poster());
    in.Capacity = 4;
    int inputs = 0, overflows = 0;
    in.OnMidiInput = [&] { ++inputs; };
    in.OnOverflow = [&] { ++overflows; };
    in.OpenPort();
    in.StartInput();
    for (std::uint8_t n = 0; n < 4; ++n)
        backend.deliver(0, {0x90, n, 1});
    poster.deliver();
    EXPECT_EQ(overflows, 0);
    const int inputsBefore = inputs;
    backend.deliver(0, {0x90, 99, 1});
    poster.deliver();
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(inputs, inputsBefore) << "the lost message raises no input";
    EXPECT_EQ(in.PendingCount(), 4u);
    for (std::uint8_t n = 0; n < 4; ++n)
        EXPECT_EQ(in.TakeEvent()->Data1, n) << "the oldest four stay, in order";
}

} // namespace
} // namespace tolvane
