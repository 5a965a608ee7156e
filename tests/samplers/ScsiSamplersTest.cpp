// The SCSI adaptor and target lists as the profile manager fills them, against simulated
// samplers on the socket adaptor; and the simulated samplers themselves, which the driver tests
// talk to.
#include "fakes/AkaiS2000Sampler.h"
#include "fakes/SmdiSampler.h"
#include "platform/ScsiBus.h"
#include "samplers/ScsiEnumeration.h"

#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane {
namespace {

using test::AkaiS2000Sampler;
using test::SmdiSample;
using test::SmdiSampler;
using Bytes = std::vector<std::uint8_t>;
using R = ScsiRequestBlock;

std::string socketPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("tolvane-samplers-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::unique_ptr<ScsiBus> busOf(std::vector<std::string> sockets) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor(std::move(sockets)));
    return std::make_unique<ScsiBus>(std::move(adaptors));
}

// One six-byte command, waited for; the data in or out is `data`.
std::uint8_t command(ScsiBus& bus, std::uint8_t target, std::uint8_t opcode, bool in, Bytes& data) {
    R request;
    prepareScsiCommand(request, 0, target, opcode, in, data.data(),
                       static_cast<std::uint32_t>(data.size()));
    std::promise<void> done;
    request.completion = [&](R&) { done.set_value(); };
    if (bus.send(request) != R::kPending)
        return request.status;
    done.get_future().wait();
    return request.status;
}

TEST(ScsiLists, TargetsOfTheSocketAdaptorWithTheSamplerMark) {
    SmdiSampler smdi(socketPath("smdi"));
    AkaiS2000Sampler akai(socketPath("akai"));
    test::SocketScsiTarget disk(socketPath("disk"),
                                [](const test::ScsiCommand& c, test::ScsiAnswer& a) {
                                    if (c.cdb[0] == 0x12)
                                        a.dataIn = test::inquiryData(0, "ACME", "DISK 42", "0001");
                                    return test::SocketScsiTarget::Reply::Answer;
                                });
    auto bus = busOf({smdi.path(), socketPath("nobody"), akai.path(), disk.path()});

    EXPECT_EQ(enumerateAdaptors(bus->entry()), (std::vector<std::string>{"ID:0 Socket targets"}));
    TargetEnumeration targets(bus->entry());
    const std::vector<std::string> expected = {"ID:0 TOLVANE SMDI SAMPLER 1.0 (*)",
                                               "ID:1 No Device Found",
                                               "ID:2 AKAI S2000 2.00 (*)",
                                               "ID:3 ACME DISK 42 0001 ",
                                               "ID:4 No Device Found",
                                               "ID:5 No Device Found",
                                               "ID:6 No Device Found",
                                               "ID:7 No Device Found"};
    EXPECT_EQ(targets.run(0), expected);

    // In the background, as the window asks: the items come through the callback, which holds
    // the enumeration open until the second start has been refused.
    std::promise<std::vector<std::string>> listed;
    std::promise<void> refused;
    ASSERT_TRUE(
        targets.start(0, [&, wait = refused.get_future().share()](std::vector<std::string> items) {
            listed.set_value(std::move(items));
            wait.wait();
        }));
    EXPECT_FALSE(targets.start(0, {})) << "one enumeration at a time";
    refused.set_value();
    EXPECT_EQ(listed.get_future().get(), expected);
    targets.wait();

    // An adaptor that is not there: every target is not found.
    EXPECT_EQ(targets.run(1).front(), "ID:0 No Device Found");
    EXPECT_TRUE(enumerateAdaptors(ScsiBus({}).entry()).empty());
}

TEST(SimulatedSmdiSampler, IdentifiesTakesASampleAndGivesItBack) {
    SmdiSampler sampler(socketPath("smdi-transfer"));
    auto bus = busOf({sampler.path()});
    auto exchange = [&](const Bytes& message) {
        Bytes out = message;
        EXPECT_EQ(command(*bus, 0, 0x0A, false, out), R::kCompleted);
        Bytes in(1024);
        EXPECT_EQ(command(*bus, 0, 0x08, true, in), R::kCompleted);
        return in;
    };
    auto idOf = [](const Bytes& m) { return std::make_pair(m[4] << 8 | m[5], m[6] << 8 | m[7]); };

    EXPECT_EQ(idOf(exchange(SmdiSampler::message(0x0001, 0))), std::make_pair(0x0001, 0x0001));
    Bytes nothing(11);
    EXPECT_EQ(command(*bus, 0, 0x08, true, nothing), R::kError) << "no reply pending";

    SmdiSample sent;
    sent.name = "KICK 01";
    sent.lengthWords = 300;
    for (int i = 0; i < 600; ++i)
        sent.data.push_back(static_cast<std::uint8_t>(i * 13));
    EXPECT_EQ(idOf(exchange(SmdiSampler::message(0x0121, 0, SmdiSampler::headerData(5, sent)))),
              std::make_pair(0x0122, 1))
        << "the header is answered with the begin-transfer acknowledge";
    EXPECT_EQ(idOf(exchange(SmdiSampler::message(0x0122, 0, {0, 0, 5, 0, 0, 0xFF}))),
              std::make_pair(0x0103, 0));
    for (int packet = 0; packet < 3; ++packet) {
        Bytes data = {0, 0, static_cast<std::uint8_t>(packet)};
        const auto from = sent.data.begin() + packet * 255;
        data.insert(data.end(), from, from + std::min(255, 600 - packet * 255));
        const auto reply = idOf(exchange(SmdiSampler::message(0x0110, 0, data)));
        EXPECT_EQ(reply.first, packet < 2 ? 0x0103 : 0x0104) << packet;
    }
    ASSERT_TRUE(sampler.sample(5));
    EXPECT_EQ(sampler.sample(5)->data, sent.data);
    EXPECT_EQ(sampler.sample(5)->name, "KICK 01");

    const Bytes header = exchange(SmdiSampler::message(0x0120, 0, {0, 0, 5}));
    EXPECT_EQ(idOf(header), std::make_pair(0x0121, 0));
    Bytes back;
    EXPECT_EQ(idOf(exchange(SmdiSampler::message(0x0122, 0, {0, 0, 5, 0, 1, 0}))),
              std::make_pair(0x0122, 1));
    Bytes reply = exchange(SmdiSampler::message(0x0103, 0, {0, 0, 0}));
    for (std::uint8_t packet = 1; idOf(reply).first == 0x0110; ++packet) {
        const std::size_t length = std::size_t(reply[8]) << 16 | reply[9] << 8 | reply[10];
        back.insert(back.end(), reply.begin() + 14, reply.begin() + 11 + static_cast<long>(length));
        reply = exchange(SmdiSampler::message(0x0103, 0, {0, 0, packet}));
    }
    EXPECT_EQ(idOf(reply).first, 0x0104);
    EXPECT_EQ(back, sent.data);
    EXPECT_EQ(idOf(exchange(SmdiSampler::message(0x0120, 0, {0, 0, 9}))).first, 0x0002);
}

TEST(SimulatedAkaiSampler, SysExOverScsiOnlyInExclusiveMode) {
    AkaiS2000Sampler sampler(socketPath("akai-sysex"));
    sampler.addSample("KICK", {1, 2}, 44100);
    sampler.addSample("SNARE 2", {3}, 44100);
    auto bus = busOf({sampler.path()});
    Bytes request = {0xF0, 0x47, 0x00, 0x04, 0x48, 0xF7};
    EXPECT_NE(command(*bus, 0, 0x0C, false, request), R::kCompleted) << "not in exclusive mode";

    R on;
    prepareScsiCommand(on, 0, 0, 0x09, false, nullptr, 0);
    on.cdb[2] = on.cdb[3] = 1; // 09 00 01 01 00 00: mode on
    on.flags = R::kDataOut;    // no posting: wait here
    EXPECT_EQ(bus->send(on), R::kCompleted);
    EXPECT_TRUE(sampler.exclusiveMode());
    EXPECT_EQ(command(*bus, 0, 0x0C, false, request), R::kCompleted);
    Bytes count(3);
    command(*bus, 0, 0x0D, true, count);
    const std::size_t waiting = std::size_t(count[0]) << 16 | count[1] << 8 | count[2];
    ASSERT_EQ(waiting, 6u + 2 + 24);
    Bytes list(waiting);
    EXPECT_EQ(command(*bus, 0, 0x0E, true, list), R::kCompleted);
    EXPECT_EQ(list[3], 0x05);
    EXPECT_EQ(list[5] | list[6] << 7, 2);
    EXPECT_EQ(AkaiS2000Sampler::fromAkaiName(&list[7]), "KICK");
    EXPECT_EQ(AkaiS2000Sampler::fromAkaiName(&list[19]), "SNARE 2");
    EXPECT_EQ(list.back(), 0xF7);
}

} // namespace
} // namespace tolvane
