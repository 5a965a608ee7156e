// The Yamaha keymaps: the keys of each sample, the names, the message framing, and sending
// them through the profile's MIDI output.
#include "samplers/YamahaKeymaps.h"

#include "fakes/FakeMidi.h"
#include "fakes/SmdiSampler.h"
#include "midi/MidiOut.h"
#include "samplers/TSMIDIDriver.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <future>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

int fromNibbles(const Bytes& m, std::size_t at) {
    return m[at] << 4 | m[at + 1];
}

// The root, low and high key of each sample from the A3000 parameter messages.
std::vector<KeyRange> a3000Keys(const std::vector<Bytes>& messages) {
    std::vector<KeyRange> keys;
    for (std::size_t i = 0; i + 4 < messages.size(); i += 4)
        keys.push_back({fromNibbles(messages[i + 1], 11), fromNibbles(messages[i + 3], 11),
                        fromNibbles(messages[i + 2], 11)});
    return keys;
}

TEST(YamahaKeymaps, KeysComeFromTheOneKeyAssignment) {
    const std::vector<std::string> names(8, "S");
    auto keys = a3000Keys(buildA3000Keymap("PROG", names, keymapForMapping(36, 0, true), 1));
    std::vector<int> roots;
    for (const KeyRange& k : keys) {
        roots.push_back(k.key);
        EXPECT_EQ(k.low, k.key);
        EXPECT_EQ(k.high, k.key);
    }
    EXPECT_EQ(roots, (std::vector<int>{36, 38, 40, 41, 43, 45, 47, 48}));

    keys = a3000Keys(buildA3000Keymap("PROG", {"A", "B", "C"}, keymapForMapping(60, 2, false), 1));
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[1].key, 63);
    EXPECT_EQ(keys[1].low, 62);
    EXPECT_EQ(keys[1].high, 64);
    EXPECT_EQ(keys[2].key, 66);
}

TEST(YamahaKeymaps, A3000NamesAndBulkFraming) {
    // A name the sampler changed is found by what it contains, from its last name down to the
    // second (the first is never taken).
    const auto names = a3000SampleNames("LOOP", 3, {}, {"LOOP001", "x", "LOOP002 st", "LOOP001"});
    EXPECT_EQ(names, (std::vector<std::string>{"LOOP001         ", "LOOP002 st      ",
                                               "LOOP003         "}));
    EXPECT_EQ(a3000SampleNames("B", 2, {"KICK", "A VERY LONG SAMPLE NAME"}, {})[1],
              "A VERY LONG SAMP");

    const auto messages = buildA3000Keymap("MY PROGRAM", names, keymapForMapping(48, 0, false), 2);
    ASSERT_EQ(messages.size(), 3u * 4 + 1);
    EXPECT_EQ(messages[0], (Bytes{0xF0, 0x43, 0x12, 0x58, 0x00, 'L', 'O', 'O', 'P', '0',  '0', '1',
                                  ' ',  ' ',  ' ',  ' ',  ' ',  ' ', ' ', ' ', ' ', 0x10, 0xF7}));
    const Bytes& bulk = messages.back();
    EXPECT_EQ((Bytes(bulk.begin(), bulk.begin() + 4)), (Bytes{0xF0, 0x43, 0x02, 0x7A}));
    EXPECT_EQ(bulk.back(), 0xF7);
    const std::size_t counted = bulk.size() - 8; // after the count bytes, before check and F7
    EXPECT_EQ(std::size_t(bulk[4]) << 7 | bulk[5], counted);
    std::uint8_t check = 0;
    for (std::size_t i = 6; i + 1 < bulk.size(); ++i)
        check ^= bulk[i];
    EXPECT_EQ(check, 0) << "the check byte makes the exclusive-or of the data zero";
    for (std::size_t i = 1; i + 1 < bulk.size(); ++i)
        EXPECT_LT(bulk[i], 0x80) << i;
    // Eight entries at least: three samples and five blank ones of 40 bytes.
    const Bytes withEight =
        buildA3000Keymap("P", std::vector<std::string>(8, "S"), keymapForMapping(48, 0, false), 2)
            .back();
    EXPECT_EQ(withEight.size(), bulk.size());
}

// Nothing of 0x80 or more is ever inside a System Exclusive message: every character of a name
// becomes one character of the sampler's set, and names are cut by characters, not bytes.
TEST(YamahaKeymaps, NamesGoAsOneSevenBitCharacterEach) {
    const auto sevenBit = [](const Bytes& m) {
        return std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; });
    };
    const std::string kitchen = "K\xC3\xBC"
                                "che"; // Küche
    const std::string station = "Stra\xC3\x9F"
                                "enbahnh\xC3\xB6"
                                "fe"; // Straßenbahnhöfe
    for (const Bytes& m :
         buildA3000Keymap(station, {kitchen + "001", station}, keymapForMapping(36, 0, false), 1))
        EXPECT_TRUE(sevenBit(m)) << m.size();
    const auto select =
        buildA3000Keymap(kitchen, {kitchen + "001"}, keymapForMapping(36, 0, false), 1);
    EXPECT_EQ(std::string(select[0].begin() + 5, select[0].begin() + 21), "Kuche001        ");

    const Bytes ex = buildExKeymap(station, 0, 1, keymapForMapping(36, 0, false));
    EXPECT_TRUE(sevenBit(ex));
    EXPECT_EQ((Bytes(ex.begin() + 9, ex.begin() + 22)),
              (Bytes{'S', 't', 'r', 'a', 's', 'e', 'n', 0, 'b', 'a', 'h', 'n', 'h'}))
        << "twelve characters, the seventh followed by 0";
    EXPECT_EQ(a3000SampleNames(kitchen, 1, {}, {})[0], "Kuche001        ");
}

TEST(YamahaKeymaps, ExKeymapPacksItsElementsIntoSevenBits) {
    const Bytes m = buildExKeymap("DRUM LOOPS 01", 300, 2, keymapForMapping(36, 0, true));
    EXPECT_EQ((Bytes(m.begin(), m.begin() + 9)),
              (Bytes{0xF0, 0x43, 0x00, 0x5B, 0x02, 0x10, 0x40, 0x00, 0x00}));
    EXPECT_EQ((Bytes(m.begin() + 9, m.begin() + 22)),
              (Bytes{'D', 'R', 'U', 'M', ' ', 'L', 'O', 0, 'O', 'P', 'S', ' ', '0'}));
    EXPECT_EQ(m[25], 2) << "the count";
    EXPECT_EQ(m.back(), 0xF7);
    unsigned sum = 0;
    for (std::size_t i = 4; i + 1 < m.size(); ++i)
        sum += m[i];
    EXPECT_EQ(sum % 128, 0u) << "the checksum completes the sum to a multiple of 128";

    // Unpacking restores the sample elements: number and key of each.
    const std::size_t packFrom = 26 + 252 - 5;
    Bytes plain(m.begin() + static_cast<long>(packFrom), m.end() - 2);
    Bytes unpacked;
    std::size_t at = 0;
    for (; at + 8 <= plain.size(); at += 8)
        for (int i = 0; i < 7; ++i)
            unpacked.push_back(plain[at + i] | ((plain[at + 7] >> i & 1) << 7));
    unpacked.insert(unpacked.end(), plain.begin() + static_cast<long>(at), plain.end());
    ASSERT_GE(unpacked.size(), 5u + 2 * 132);
    for (int k = 0; k < 2; ++k) {
        const std::size_t e = 5 + 132 * std::size_t(k);
        EXPECT_EQ(unpacked[e], 0x23);
        EXPECT_EQ(unpacked[e + 2] << 8 | unpacked[e + 3], 300 + k);
        EXPECT_EQ(unpacked[e + 9], k == 0 ? 36 : 38);
    }
}

struct Resumes : WaitingThread {
    std::promise<void> resumed;
    void Resume() override { resumed.set_value(); }
};

TEST(YamahaKeymaps, TheDriverSendsThemThroughTheProfilesOutput) {
    test::TempDir dir;
    test::SmdiSampler sampler(dir.file("a3000.sock"));
    test::SmdiSample renamed;
    renamed.name = "BEAT001 L";
    sampler.store(0, renamed);
    sampler.store(1, renamed);
    ScsiBus bus([&] {
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({sampler.path()}));
        return adaptors;
    }());
    test::FakeMidiBackend midi;
    TMidiOutput output(midi, {});
    TSMIDIDriver driver(bus, &output);
    SamplerProfile profile;
    profile.protocol = 2;
    profile.midiOutput = 1;
    profile.sysexId = 0;
    driver.SetProfile(profile);
    std::vector<std::string> reports;
    driver.setReportSink([&](const std::string& text, bool) { reports.push_back(text); });

    Resumes thread;
    driver.SetWaitingThread(&thread);
    driver.MapSamples("PROG", "BEAT", {}, 0, 2, false, 0, 60);
    thread.resumed.get_future().wait();
    driver.Wait();
    const auto sent = midi.sentTo(1);
    ASSERT_EQ(sent.size(), 2u * 4 + 1);
    EXPECT_EQ(std::string(sent[0].begin() + 5, sent[0].begin() + 21), "BEAT001 L       ");
    EXPECT_EQ(std::string(sent[4].begin() + 5, sent[4].begin() + 21), "BEAT002         ");
    EXPECT_TRUE(reports.empty());

    // The EX keymap is one message (its run does not wait for it); a port that cannot open is
    // reported, and the A3000's thread still resumes.
    profile.protocol = 3;
    driver.SetProfile(profile);
    driver.SetWaitingThread(nullptr);
    driver.MapSamples("PROG", "BEAT", {}, 0, 2, false, 0, 60);
    driver.Wait();
    EXPECT_EQ(midi.sentTo(1).size(), 2u * 4 + 2);
    profile.protocol = 2;
    driver.SetProfile(profile);
    midi.refuseOpen = true;
    Resumes failing;
    driver.SetWaitingThread(&failing);
    driver.MapSamples("PROG", "BEAT", {}, 0, 2, false, 0, 60);
    failing.resumed.get_future().wait();
    driver.Wait();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], kMsgKeymapFailed);
}

} // namespace
} // namespace tolvane
