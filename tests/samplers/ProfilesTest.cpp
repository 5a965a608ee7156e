// Sampler profiles: the 16-byte record, the store (order, overwrite, delete, damage), the
// sampler types and the driver each profile chooses.
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace tolvane {
namespace {

using Bytes = std::array<std::uint8_t, 16>;

TEST(SamplerProfile, SixteenBytesInTheirOrderWithNothingSelectedAs255AndASignedOffset) {
    SamplerProfile p;
    p.midiInput = profileIndexByte(-1);
    p.midiOutput = profileIndexByte(2);
    p.adaptor = 1;
    p.target = 5;
    p.sysexId = 3;
    p.channel = 16;
    p.openLoop = 1;
    p.scsiInUse = 1;
    p.midiOutputInUse = 0;
    p.protocol = 5;
    p.offset = -1;
    EXPECT_EQ(p.toBytes(), (Bytes{255, 2, 1, 5, 3, 16, 1, 1, 0, 5, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(SamplerProfile::fromBytes(p.toBytes()), p);
    p.offset = 1024;
    EXPECT_EQ(p.toBytes()[12], 0x00);
    EXPECT_EQ(p.toBytes()[13], 0x04);
    p.offset = -1024;
    EXPECT_EQ(SamplerProfile::fromBytes(p.toBytes())->offset, -1024);
    const std::array<std::uint8_t, 15> shorter{};
    EXPECT_FALSE(SamplerProfile::fromBytes(shorter));
    EXPECT_EQ(profileIndexByte(300), 255);
}

// A record whose fields lie outside their ranges (damaged, or made by hand) is no profile: an
// offset of 2147483647 would turn sample 32767 into sample 0.
TEST(SamplerProfile, FieldsOutsideTheirRangesMakeTheRecordDamaged) {
    const SamplerProfile good;
    const auto damaged = [&](std::size_t at, std::uint8_t value) {
        auto bytes = good.toBytes();
        bytes[at] = value;
        return !SamplerProfile::fromBytes(bytes).has_value();
    };
    EXPECT_FALSE(damaged(0, 255)) << "nothing selected";
    EXPECT_TRUE(damaged(3, 8)) << "target";
    EXPECT_FALSE(damaged(3, 255));
    EXPECT_TRUE(damaged(4, 0)) << "SysEx ID";
    EXPECT_TRUE(damaged(4, 17));
    EXPECT_TRUE(damaged(5, 0)) << "channel";
    EXPECT_TRUE(damaged(5, 17));
    EXPECT_TRUE(damaged(6, 2)) << "open loop";
    EXPECT_TRUE(damaged(7, 2));
    EXPECT_TRUE(damaged(8, 2));
    EXPECT_TRUE(damaged(9, 6)) << "protocol";
    SamplerProfile far = good;
    far.offset = 2147483647;
    EXPECT_FALSE(SamplerProfile::fromBytes(far.toBytes()));
    far.offset = -1025;
    EXPECT_FALSE(SamplerProfile::fromBytes(far.toBytes()));
    far.offset = -1024;
    EXPECT_TRUE(SamplerProfile::fromBytes(far.toBytes()));
}

class ProfileStoreTest : public ::testing::Test {
protected:
    test::TempDir dir;
    SamplerProfileStore store{dir.file("config/WaveTolvane.samplers")};

    static SamplerProfile withProtocol(int protocol, int offset = 0) {
        SamplerProfile p;
        p.protocol = static_cast<std::uint8_t>(protocol);
        p.offset = offset;
        return p;
    }
};

TEST_F(ProfileStoreTest, AFarOffsetIsADamagedRecordAndIsNotStored) {
    ASSERT_TRUE(store.write("good", withProtocol(0)));
    std::ofstream(store.file(), std::ios::app) << "00000000010100000000000000FFFFFF7F far\n";
    EXPECT_THROW(store.read("far"), EProfileReadError);
    EXPECT_FALSE(store.write("farther", withProtocol(0, 5000)));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"good", "far"}));
}

// The profiles file is a regular file that can be read, or its problem is reported: a FIFO in
// its place must not hang the reader, a folder is no store.
TEST_F(ProfileStoreTest, AFileThatIsNoRegularFileIsReportedAndNeverWaitedOn) {
    std::filesystem::create_directories(std::filesystem::path(store.file()).parent_path());
    ASSERT_EQ(::mkfifo(store.file().c_str(), 0600), 0);
    std::promise<std::string> listed;
    std::thread reader([&] {
        try {
            store.names();
            listed.set_value("listed");
        } catch (const EProfileReadError& e) {
            listed.set_value(e.what());
        }
    });
    auto outcome = listed.get_future();
    if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "reading the FIFO waited for a writer";
        std::ofstream(store.file()) << ""; // a writer lets the reader go
    }
    reader.join();
    EXPECT_NE(outcome.get().find("not a regular file"), std::string::npos);
    EXPECT_THROW(store.read("any"), EProfileReadError);
    EXPECT_FALSE(store.write("new", withProtocol(0)));
    std::filesystem::remove(store.file());

    std::filesystem::create_directory(store.file());
    EXPECT_THROW(store.names(), EProfileReadError);
}

// Names are stored without control characters and printed with them escaped; deleting a name
// that a hand-made file holds twice removes one of them.
TEST_F(ProfileStoreTest, NamesHoldNoControlCharactersAndDeleteRemovesOne) {
    EXPECT_FALSE(store.write("Evil\x1b[2J", withProtocol(0)));
    EXPECT_FALSE(store.write("Tab\tName", withProtocol(0)));
    EXPECT_FALSE(store.write("Bell\x07", withProtocol(0)));
    ASSERT_TRUE(store.write("K\xC3\xBC"
                            "che",
                            withProtocol(0)))
        << "UTF-8 is a name's own";
    EXPECT_EQ(printableProfileName("Evil\x1b[2J\x7f"), "Evil\\x1B[2J\\x7F");
    EXPECT_EQ(printableProfileName("K\xC3\xBC"
                                   "che"),
              "K\xC3\xBC"
              "che");

    ASSERT_TRUE(store.write("dup", withProtocol(1)));
    std::ofstream(store.file(), std::ios::app) << "00000000010100000000000000000000 dup\n";
    ASSERT_EQ(store.names().size(), 3u);
    EXPECT_TRUE(store.remove("dup"));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"K\xC3\xBC"
                                                       "che",
                                                       "dup"}));
    EXPECT_EQ(store.read("dup")->protocol, 0) << "the second one is left";
}

TEST_F(ProfileStoreTest, StoresListsInOrderOverwritesInPlaceAndDeletes) {
    EXPECT_FALSE(store.exists());
    EXPECT_TRUE(store.names().empty());
    EXPECT_FALSE(store.read("A3000")) << "no store: nothing to read, no error";

    ASSERT_TRUE(store.write("S2000 rack", withProtocol(5)));
    ASSERT_TRUE(store.write("A3000", withProtocol(2)));
    ASSERT_TRUE(store.write("SDS #1 kit", withProtocol(0, -12)));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"S2000 rack", "A3000", "SDS #1 kit"}));
    ASSERT_TRUE(store.write("A3000", withProtocol(3, 7)));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"S2000 rack", "A3000", "SDS #1 kit"}));
    EXPECT_EQ(store.read("A3000"), withProtocol(3, 7));
    EXPECT_EQ(store.read("SDS #1 kit")->offset, -12);

    // Another store on the same file sees the same (the editor and the command line).
    SamplerProfileStore again(store.file());
    EXPECT_TRUE(again.remove("S2000 rack"));
    EXPECT_FALSE(again.remove("S2000 rack"));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"A3000", "SDS #1 kit"}));
    EXPECT_FALSE(store.write("", withProtocol(0)));
    EXPECT_FALSE(store.write("two\nlines", withProtocol(0)));
    EXPECT_EQ(store.names().size(), 2u);
}

TEST_F(ProfileStoreTest, ADamagedOrMissingRecordReadsAsCorrupted) {
    ASSERT_TRUE(store.write("good", withProtocol(1)));
    {
        std::ofstream out(store.file(), std::ios::app);
        out << "00112233 short\n";
        out << "ZZ00000000000000000000000000000000 bad digits\n";
        out << "no-record-at-all\n";
    }
    EXPECT_EQ(store.names(),
              (std::vector<std::string>{"good", "short", "bad digits", "no-record-at-all"}));
    EXPECT_EQ(store.read("good"), withProtocol(1));
    for (const char* name : {"short", "bad digits", "no-record-at-all", "never stored"}) {
        try {
            store.read(name);
            ADD_FAILURE() << name << " read without an error";
        } catch (const EProfileReadError& e) {
            EXPECT_STREQ(e.what(), "Error reading preset - may be corrupted!");
        }
    }
}

TEST_F(ProfileStoreTest, AWriteThatFailsLeavesTheProfilesAsTheyWere) {
    ASSERT_TRUE(store.write("kept", withProtocol(4)));
    std::filesystem::permissions(store.file(), std::filesystem::perms::owner_read);
    EXPECT_FALSE(store.write("new", withProtocol(0)));
    EXPECT_FALSE(store.remove("kept"));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"kept"}));
    EXPECT_EQ(store.read("kept"), withProtocol(4));
}

TEST(ProfileStoreLocation, BesideTheSettingsFile) {
    EXPECT_EQ(profileStoreBeside("/home/u/.config/Quorvex/WaveTolvane (Advanced).conf"),
              "/home/u/.config/Quorvex/WaveTolvane (Advanced).samplers");
    EXPECT_EQ(profileStoreBeside("/tmp/t.ini"), "/tmp/t.samplers");
}

TEST(SamplerTypes, TheControlsEachTypeUses) {
    ASSERT_EQ(kSamplerTypes.size(), 6u);
    const ProtocolControls sds = controlsForSamplerType(kSamplerTypes[0].text);
    EXPECT_TRUE(sds.midiInput && sds.midiOutput && sds.openLoopShown);
    EXPECT_FALSE(sds.scsi);
    for (int yamaha : {2, 3}) {
        const ProtocolControls c = controlsForSamplerType(kSamplerTypes[yamaha].text);
        EXPECT_TRUE(c.midiOutput && c.scsi) << yamaha;
        EXPECT_FALSE(c.midiInput || c.openLoopShown) << yamaha;
    }
    for (int scsiOnly : {1, 4, 5}) {
        const ProtocolControls c = controlsForSamplerType(kSamplerTypes[scsiOnly].text);
        EXPECT_TRUE(c.scsi) << scsiOnly;
        EXPECT_FALSE(c.midiInput || c.midiOutput || c.openLoopShown) << scsiOnly;
    }
}

// Records the calls a transfer window makes while choosing a driver.
class RecordingDriver : public TSamplerClass {
public:
    explicit RecordingDriver(std::string name) : m_name(std::move(name)) {}
    std::vector<std::string> calls;
    SamplerProfile profile;
    void SetProfile(const SamplerProfile& p) override {
        profile = p;
        calls.push_back(m_name + ".SetProfile");
    }
    void SetStatusPanel(StatusPanel*) override { calls.push_back(m_name + ".SetStatusPanel"); }
    void SetSampleStream(MemoryStream*) override { calls.push_back(m_name + ".SetSampleStream"); }
    void SetMidiPorts(TMidiInput*, TMidiOutput*) override {
        calls.push_back(m_name + ".SetMidiPorts");
    }

private:
    std::string m_name;
};

TEST(DriverTable, EachProtocolReachesItsDriverSetUpInTheDocumentedOrder) {
    RecordingDriver sds("sds"), smdi("smdi"), akai("akai");
    const SamplerDriverTable table(sds, smdi, akai);
    const TSamplerClass* expected[] = {&sds, &smdi, &smdi, &smdi, &smdi, &akai};
    for (int protocol = 0; protocol < 6; ++protocol)
        EXPECT_EQ(table.driverFor(protocol), expected[protocol]) << protocol;
    EXPECT_EQ(table.driverFor(6), nullptr);
    EXPECT_EQ(table.driverFor(-1), nullptr);

    SamplerProfile profile;
    profile.protocol = 3;
    profile.target = 4;
    EXPECT_EQ(chooseDriver(table, profile, {}), &smdi);
    EXPECT_EQ(smdi.calls, (std::vector<std::string>{"smdi.SetProfile", "smdi.SetStatusPanel",
                                                    "smdi.SetSampleStream", "smdi.SetMidiPorts"}));
    EXPECT_EQ(smdi.profile.target, 4);
    profile.protocol = 9;
    EXPECT_EQ(chooseDriver(table, profile, {}), nullptr);
    EXPECT_TRUE(sds.calls.empty() && akai.calls.empty());

    // The base class does nothing and answers no.
    TSamplerClass base;
    EXPECT_FALSE(base.Aborted());
    EXPECT_EQ(base.GetReceivedName(), "");
}

} // namespace
} // namespace tolvane
