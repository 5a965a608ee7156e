#include "export/BankDocuments.h"
#include "support/RiffTree.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::RiffNode;
using test::TempDir;

RiffNode readBank(const std::string& path) {
    return test::readRiffTree(test::readBytes(path));
}

// Every wave pool entry points at its wave's "LIST", counted from the first byte after "wvpl".
void expectPoolTableMatches(const RiffNode& bank, std::size_t waves) {
    const RiffNode& ptbl = bank.child("ptbl");
    const RiffNode& pool = bank.child("wvpl");
    ASSERT_EQ(ptbl.u32(0), 8u);
    ASSERT_EQ(ptbl.u32(4), waves);
    ASSERT_EQ(pool.children.size(), waves);
    for (std::size_t i = 0; i < waves; ++i)
        EXPECT_EQ(pool.offset + 12 + ptbl.u32(8 + 4 * i), pool.children[i].offset) << i;
}

TEST(Dls, AMonoBankFollowsTheLayoutChunkByChunk) {
    TempDir dir;
    const SampleDocument doc = test::bankLoop(1, false, 8000, {2000, 5000});
    BankSettings settings = test::fixedBankSettings();
    settings.keymap.interval = 2;
    const auto results = writeSoundBank(doc, dir.file("bank.dls"), settings);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].written) << results[0].error;
    const RiffNode bank = readBank(dir.file("bank.dls"));
    EXPECT_EQ(bank.type, "DLS ");
    EXPECT_EQ(bank.childNames(),
              (std::vector<std::string>{"INFO", "vers", "colh", "msyn", "lins", "ptbl", "wvpl"}));
    const RiffNode& info = bank.child("INFO");
    EXPECT_EQ(info.childNames(),
              (std::vector<std::string>{"IARL", "IART", "ICMS", "ICMT", "ICOP", "ICRD", "IENG",
                                        "IGNR", "IKEY", "IMED", "INAM", "IPRD", "ISBJ", "ISFT",
                                        "ISRC", "ISRF", "ITCH"}));
    EXPECT_EQ(info.child("IARL").size, 1u) << "an empty text is its zero";
    EXPECT_EQ(info.child("IENG").text(), "WaveTolvane");
    EXPECT_EQ(info.child("INAM").text(), "WaveTolvane Collection");
    EXPECT_EQ(info.child("INAM").size, 23u);
    EXPECT_EQ(info.child("ISBJ").text(), "Created by WaveTolvane");
    EXPECT_EQ(info.child("ISFT").text(), "WaveTolvane sample editor");
    EXPECT_NE(info.child("ICMT").text().find("https://"), std::string::npos);
    EXPECT_EQ(bank.child("vers").body, (std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(bank.child("colh").u32(0), 1u);
    EXPECT_EQ(bank.child("msyn").u32(0), 1u);

    const RiffNode& ins = bank.child("lins").child("ins ");
    EXPECT_EQ(ins.childNames(), (std::vector<std::string>{"insh", "lrgn", "lart", "INFO"}));
    EXPECT_EQ(ins.child("insh").body,
              (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ins.child("lart").child("art1").body,
              (std::vector<std::uint8_t>{8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(ins.child("INFO").children.empty());
    const RiffNode& regions = ins.child("lrgn");
    ASSERT_EQ(regions.children.size(), 3u);
    for (int k = 1; k <= 3; ++k) {
        const RiffNode& rgn = regions.child("rgn ", k - 1);
        EXPECT_EQ(rgn.childNames(), (std::vector<std::string>{"rgnh", "wsmp", "wlnk"}));
        const int root = 48 + (k - 1) * 3;
        const RiffNode& rgnh = rgn.child("rgnh");
        EXPECT_EQ(rgnh.u16(0), root - 1);
        EXPECT_EQ(rgnh.u16(2), root + 1);
        EXPECT_EQ(rgnh.u16(4), 0u);
        EXPECT_EQ(rgnh.u16(6), 127u);
        EXPECT_EQ(rgnh.u16(8), 1u);
        const RiffNode& wsmp = rgn.child("wsmp");
        EXPECT_EQ(wsmp.size, 20u);
        EXPECT_EQ(wsmp.u32(0), 20u);
        EXPECT_EQ(wsmp.u16(4), root);
        EXPECT_EQ(rgn.child("wlnk").u32(4), 1u) << "channel";
        EXPECT_EQ(rgn.child("wlnk").u32(8), static_cast<std::uint32_t>(k - 1));
    }

    expectPoolTableMatches(bank, 3);
    const std::vector<LoopSegment> segments = loopSegments(doc, 1);
    for (int k = 1; k <= 3; ++k) {
        const RiffNode& wave = bank.child("wvpl").child("wave", k - 1);
        EXPECT_EQ(wave.childNames(), (std::vector<std::string>{"fmt ", "wsmp", "data", "INFO"}));
        const RiffNode& fmt = wave.child("fmt ");
        ASSERT_EQ(fmt.size, 18u);
        EXPECT_EQ(fmt.u16(0), 1u);
        EXPECT_EQ(fmt.u16(2), 1u);
        EXPECT_EQ(fmt.u32(4), 44100u);
        EXPECT_EQ(fmt.u32(8), 88200u);
        EXPECT_EQ(fmt.u16(12), 2u);
        EXPECT_EQ(fmt.u16(14), 16u);
        EXPECT_EQ(fmt.u16(16), 18u);
        EXPECT_EQ(wave.child("wsmp").u16(4), 60u);
        EXPECT_EQ(wave.child("wsmp").u32(12), 1u);
        EXPECT_EQ(wave.child("data").body, test::segmentBytes(doc, segments[k - 1]));
        EXPECT_EQ(wave.child("INFO").child("INAM").text(), "KQ" + std::to_string(k));
    }
}

TEST(Dls, MergedStereoIsRefusedBeforeAnythingIsWrittenWhateverTheCase) {
    TempDir dir;
    const SampleDocument doc = test::bankLoop(2, true, 8000, {4000});
    for (const char* name : {"bank.dls", "bank.DLS", "bank.Dls"}) {
        try {
            writeSoundBank(doc, dir.file(name), test::fixedBankSettings());
            ADD_FAILURE() << name << " was not refused";
        } catch (const BankRefused& e) {
            EXPECT_STREQ(e.what(), kMsgDlsStereo);
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Dls, SplitStereoKeepsTheBanksOwnExtension) {
    TempDir dir;
    const SampleDocument doc = test::bankLoop(2, false, 8000, {4000});
    const auto results = writeSoundBank(doc, dir.file("bank.dls"), test::fixedBankSettings());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].fileName, dir.file("bankL.dls"));
    EXPECT_EQ(results[1].fileName, dir.file("bankR.dls"));
    for (const auto& result : results) {
        ASSERT_TRUE(result.written) << result.error;
        EXPECT_EQ(readBank(result.fileName).type, "DLS ");
    }
    EXPECT_FALSE(fs::exists(dir.file("bankL.sf2")));
}

TEST(GigaSampler, AMonoBankHasEveryFixedPartWithItsSize) {
    TempDir dir;
    const SampleDocument doc = test::bankLoop(1, false, 8000, {2000, 5000});
    BankSettings settings = test::fixedBankSettings();
    settings.keymap.bankName = std::string(63, 'n') + "\xC3\xA9\xC3\xA9"; // 67 bytes
    ASSERT_TRUE(writeSoundBank(doc, dir.file("bank.gig"), settings)[0].written);
    const RiffNode bank = readBank(dir.file("bank.gig"));
    EXPECT_EQ(bank.childNames(), (std::vector<std::string>{"INFO", "vers", "colh", "dlid", "lins",
                                                           "3gri", "ptbl", "wvpl"}));
    const RiffNode& info = bank.child("INFO");
    EXPECT_EQ(info.child("IARL").body, std::vector<std::uint8_t>(256, ' '));
    EXPECT_EQ(info.child("ICMT").size, 1024u);
    EXPECT_EQ(info.child("INAM").size, 128u);
    EXPECT_EQ(info.child("INAM").text(), "WaveTolvane Collection");
    EXPECT_EQ(bank.child("vers").u16(4), 57684u);
    EXPECT_EQ(bank.child("vers").u16(6), 304u);
    EXPECT_EQ(bank.child("dlid").body, std::vector<std::uint8_t>(16, 1)) << "the first new id";

    const RiffNode& ins = bank.child("lins").child("ins ");
    EXPECT_EQ(ins.childNames(), (std::vector<std::string>{"INFO", "dlid", "insh", "lrgn", "lart"}));
    EXPECT_EQ(ins.child("INFO").size, 96u);
    EXPECT_EQ(ins.child("INFO").child("INAM").text(), std::string(63, 'n'))
        << "cut before the character that would not fit whole";
    EXPECT_EQ(ins.child("INFO").child("ISFT").size, 12u);
    EXPECT_EQ(ins.child("dlid").body, std::vector<std::uint8_t>(16, 2));
    const RiffNode& group = ins.child("lart").child("3ewg");
    EXPECT_EQ(group.u32(0), 65530u);
    EXPECT_EQ(group.u32(4), 0xFFFFu);
    EXPECT_EQ(group.text(8, 4), "8#LI");

    for (std::uint32_t k = 1; k <= 3; ++k) {
        const RiffNode& rgn = ins.child("lrgn").child("rgn ", static_cast<int>(k) - 1);
        EXPECT_EQ(rgn.childNames(), (std::vector<std::string>{"rgnh", "wsmp", "wlnk", "3lnk",
                                                              "3prg", "3dnl", "3ddp"}));
        EXPECT_EQ(rgn.child("wsmp").size, 36u);
        EXPECT_EQ(rgn.child("wlnk").u32(4), 0u) << "channel";
        const RiffNode& links = rgn.child("3lnk");
        ASSERT_EQ(links.size, 172u);
        EXPECT_EQ(links.u32(0), 1u);
        EXPECT_EQ(links.u32(40), 0u);
        EXPECT_EQ(links.u32(44), k - 1);
        EXPECT_EQ(links.u32(48), 0xFFFFFFFFu);
        EXPECT_EQ(links.u32(168), k - 1);
        EXPECT_EQ(rgn.child("3prg").size, 208u);
        const RiffNode& envelope = rgn.child("3prg").child("3ewl");
        EXPECT_EQ(envelope.size, 196u);
        EXPECT_EQ(envelope.child("wsmp").u16(4), 48 + k - 1);
        EXPECT_EQ(envelope.child("3ewa").size, 140u);
        EXPECT_EQ(envelope.child("3ewa").u32(136), 212096u);
        EXPECT_EQ(rgn.child("3dnl").size, 4u);
        EXPECT_EQ(rgn.child("3ddp").body, std::vector<std::uint8_t>(10, 0xFF));
    }
    const RiffNode& groups = bank.child("3gri");
    EXPECT_EQ(groups.size, 88u);
    EXPECT_EQ(groups.child("3gnl").child("3gnm").text(0, 20), "Default Sample Group");

    expectPoolTableMatches(bank, 3);
    const std::vector<LoopSegment> segments = loopSegments(doc, 1);
    for (int k = 1; k <= 3; ++k) {
        const RiffNode& wave = bank.child("wvpl").child("wave", k - 1);
        EXPECT_EQ(wave.childNames(),
                  (std::vector<std::string>{"fmt ", "INFO", "data", "smpl", "3gix"}));
        EXPECT_EQ(wave.child("fmt ").size, 16u);
        EXPECT_EQ(wave.child("INFO").size, 76u);
        EXPECT_EQ(wave.child("INFO").child("INAM").text(), "KQ" + std::to_string(k));
        EXPECT_EQ(wave.child("data").body, test::segmentBytes(doc, segments[k - 1]));
        const RiffNode& sampler = wave.child("smpl");
        ASSERT_EQ(sampler.size, 60u);
        EXPECT_EQ(sampler.u32(8), 22676u) << "1e9 / 44100 ns";
        EXPECT_EQ(sampler.u32(12), 60u);
        EXPECT_EQ(wave.child("3gix").body, std::vector<std::uint8_t>(4, 0));
    }
}

TEST(GigaSampler, MergedStereoWavesHoldBothChannelsOfWholeFrames) {
    TempDir dir;
    SampleDocument doc = test::bankLoop(2, true, 12000, {4000});
    doc.LocatorR = 11006;
    ASSERT_TRUE(writeSoundBank(doc, dir.file("bank.gig"), test::fixedBankSettings())[0].written);
    const RiffNode bank = readBank(dir.file("bank.gig"));
    const RiffNode& rgn = bank.child("lins").child("ins ").child("lrgn").child("rgn ", 1);
    const RiffNode& links = rgn.child("3lnk");
    EXPECT_EQ(links.u32(0), 2u);
    EXPECT_EQ(links.u32(4), 16777600u);
    EXPECT_EQ(links.u32(44), 1u);
    EXPECT_EQ(links.u32(48), 1u);
    EXPECT_EQ(rgn.child("3prg").size, 412u);
    EXPECT_EQ(rgn.child("3dnl").size, 16u);
    EXPECT_EQ(rgn.child("3dnl").child("nam0").size, 3u);
    const RiffNode& wave = bank.child("wvpl").child("wave", 1);
    EXPECT_EQ(wave.child("fmt ").u16(2), 2u);
    const auto& data = wave.child("data").body;
    EXPECT_EQ(data.size(), 7000u) << "up to the frame before the one LocatorR lies in";
    EXPECT_EQ(data.size() % 4, 0u);
    EXPECT_EQ(data, test::segmentBytes(doc, loopSegments(doc, 1)[1]));
}

} // namespace
} // namespace tolvane
