// The S2000-family messages as the driver builds and reads them, against the family's published
// header layouts.
#include "samplers/AkaiS2000Protocol.h"

#include <gtest/gtest.h>

namespace tolvane::akai {
namespace {

std::vector<std::uint8_t> codesOf(const NameCodes& codes) {
    return {codes.begin(), codes.end()};
}

TEST(AkaiNames, CodesUpperCaseBlanksAndLength) {
    // K=21 I=19 C=13 K=21 blank 1, then the run's three digits.
    const std::string name = runSampleName("/loops/Kick 1.wav", 2);
    EXPECT_EQ(name, "Kick 1002");
    EXPECT_EQ(codesOf(encodeName(name)),
              (std::vector<std::uint8_t>{21, 19, 13, 21, 10, 1, 0, 0, 2, 10, 10, 10}));
    // The extension goes before the cut to 9 characters.
    EXPECT_EQ(runSampleName("Breakbeat long.wav", 12), "Breakbeat012");
    EXPECT_EQ(runSampleName("a.b.wav", 100), "a.b100");

    // Every character is one code: a lower-case umlaut (two UTF-8 bytes) is its letter, a
    // character the table lacks ("_") a blank.
    EXPECT_EQ(codesOf(encodeName("A_\xC3\xA4#+-.")),
              (std::vector<std::uint8_t>{11, 10, 11, 37, 38, 39, 40, 10, 10, 10, 10, 10}));
    EXPECT_EQ(decodeName(encodeName("K\xC3\xBC"
                                    "che")
                             .data()),
              "KUCHE");
    EXPECT_EQ(decodeName(encodeName("\xE2\x82\xAC 5 Stra\xC3\x9F"
                                    "e")
                             .data()),
              "  5 STRASE")
        << "a euro sign has no form here: a blank";
    EXPECT_EQ(encodeName("ABCDEFGHIJKLMNOP")[11], 22) << "cut to 12: the L";
    const NameCodes codes = encodeName("snare 2");
    EXPECT_EQ(decodeName(codes.data()), "SNARE 2");
}

TEST(AkaiHeaders, SampleHeaderHoldsLengthPitchAndRate) {
    const auto h = sampleHeader({"Kick 1001", 62, 750, 32000});
    EXPECT_EQ(h[0], 3);
    EXPECT_EQ(h[offset::kPitch], 62);
    EXPECT_EQ(h[offset::kRateValid], 0x80);
    EXPECT_EQ(h[offset::kSampleLength], 750 & 0xFF);
    EXPECT_EQ(h[offset::kSampleLength + 1], 750 >> 8);
    EXPECT_EQ(h[34], 749 & 0xFF) << "play end: the last word";
    EXPECT_EQ(h[offset::kSampleRate], 32000 & 0xFF) << "the rate field is filled";
    EXPECT_EQ(h[offset::kSampleRate + 1], 32000 >> 8);
    const SampleInfo info = readSampleHeader(h.data());
    EXPECT_EQ(info.name, "KICK 1001");
    EXPECT_EQ(info.lengthWords, 750u);
    EXPECT_TRUE(info.rateValid);
    EXPECT_EQ(info.rate, 32000u);
}

TEST(AkaiMessages, HeadersGoInTwoTransfersCutBetweenNibblePairs) {
    const auto header = programHeader({"LOOP", 36, 48});
    const Bytes message = programHeaderMessage(3, header);
    ASSERT_EQ(message.size(), 7 + 2 * kHeaderSize + 1);
    EXPECT_EQ((Bytes{message.begin(), message.begin() + 7}),
              (Bytes{0xF0, 0x47, 0x00, 0x07, 0x48, 3, 0}));
    const auto [first, second] = inTwoTransfers(message);
    EXPECT_EQ(first.size() + second.size(), message.size());
    EXPECT_EQ((first.size() - 7) % 2, 0u) << "the first transfer ends on a whole byte";
    // The second transfer starts with byte 96 of the header: 00 00 05 08 0E arrive unshifted.
    EXPECT_EQ((Bytes{second.begin(), second.begin() + 10}), (Bytes{0, 0, 0, 0, 5, 0, 8, 0, 14, 0}));
    EXPECT_EQ(second.back(), 0xF7);
    EXPECT_EQ(fromNibbles(&message[7], kHeaderSize), Bytes(header.begin(), header.end()));

    const Bytes keygroup = keygroupMessage(3, 5, keygroupHeader({40, 42, "SNARE"}));
    EXPECT_EQ((Bytes{keygroup.begin(), keygroup.begin() + 8}),
              (Bytes{0xF0, 0x47, 0x00, 0x09, 0x48, 3, 0, 5}))
        << "the keygroup addresses its own program";
    EXPECT_EQ(inTwoTransfers(keygroup).first.size(), 8 + kHeaderSize);
}

TEST(AkaiHeaders, ProgramAndKeygroupFieldsWherePublished) {
    const auto p = programHeader({"Loop", 36, 48});
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(decodeName(&p[offset::kName]), "LOOP");
    EXPECT_EQ(p[offset::kPlayLow], 36);
    EXPECT_EQ(p[offset::kPlayHigh], 48);
    EXPECT_EQ(p[offset::kGroups], 1);
    EXPECT_EQ(p[22], 255) << "output off";

    const auto k = keygroupHeader({40, 42, "Snare 1001"});
    EXPECT_EQ(k[0], 2);
    EXPECT_EQ(k[offset::kLowNote], 40);
    EXPECT_EQ(k[offset::kHighNote], 42);
    EXPECT_EQ(decodeName(&k[offset::kZone1Sample]), "SNARE 1001");
    EXPECT_EQ(k[47], 127) << "zone 1 answers every velocity";
    EXPECT_EQ(decodeName(&k[58]), "") << "zone 2 is empty";
    EXPECT_EQ(k[160], 255) << "no mute group";
}

TEST(AkaiMessages, RequestsAndReplies) {
    EXPECT_EQ(requestSampleHeader(130), (Bytes{0xF0, 0x47, 0x00, 0x0A, 0x48, 2, 1, 0xF7}));
    const Bytes data = requestSampleData(1, 750);
    ASSERT_EQ(data.size(), 18u);
    EXPECT_EQ(sevenBit(&data[11], 4), 750u);
    EXPECT_EQ((Bytes{data.end() - 3, data.end()}), (Bytes{1, 0, 0xF7}));

    EXPECT_EQ(listCount({0xF0, 0x47, 0, 0x05, 0x48, 0x05, 0x01, 0xF7}, kSampleList), 133);
    EXPECT_FALSE(listCount({0xF0, 0x47, 0, 0x03, 0x48, 0, 0, 0xF7}, kSampleList));
    Bytes status = {0xF0, 0x47, 0, 0x01, 0x48, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
    appendSevenBit(status, 300000, 4);
    status.insert(status.end(), {0, 0xF7});
    EXPECT_EQ(freeWords(status), 300000u);

    EXPECT_EQ(answerOf({0xF0, 0x7E, 0, 0x7F, 0, 0xF7}), Answer::Acknowledge);
    EXPECT_EQ(answerOf({0xF0, 0x7E, 0, 0x7C, 0, 0xF7}), Answer::Wait);
    EXPECT_EQ(answerOf({0xF0, 0x7E, 0, 0x7F, 0, 0, 0xF7}), Answer::None) << "byte 5 must be F7";
    EXPECT_EQ(answerOf({0xF0, 0x47, 0, 0x16, 0x48, 0, 0xF7}), Answer::Ok);
    EXPECT_EQ(answerOf({0xF0, 0x47, 0, 0x16, 0x48, 1, 0xF7}), Answer::Refused);
}

} // namespace
} // namespace tolvane::akai
