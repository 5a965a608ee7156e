// The SCSI bus: the socket adaptor against targets on real Unix sockets (answers, a target that
// hangs or closes, requests queued on one target), and the SG_IO adaptors found in a sysfs tree.
#include "platform/ScsiBus.h"

#include "fakes/SocketScsiTarget.h"
#include "support/TestFiles.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::ScsiAnswer;
using test::ScsiCommand;
using test::SocketScsiTarget;
using R = ScsiRequestBlock;
using Clock = std::chrono::steady_clock;

std::string socketPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("tolvane-scsi-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

// An execute request with a completion that fulfils a promise.
struct Pending {
    R request;
    std::vector<std::uint8_t> buffer;
    std::promise<void> done;
    std::shared_future<void> finished = done.get_future().share();

    Pending(std::uint8_t target, std::uint8_t opcode, std::uint8_t flags, std::size_t length) {
        buffer.resize(length);
        request.adaptor = 0;
        request.target = target;
        request.flags = R::kPosting | flags;
        request.cdb[0] = opcode;
        request.cdb[4] = static_cast<std::uint8_t>(length);
        request.dataLength = static_cast<std::uint32_t>(length);
        request.data = length ? buffer.data() : nullptr;
        request.completion = [this](R&) { done.set_value(); };
    }
    bool waitMs(int ms) {
        return finished.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
    }
};

TEST(SocketScsiAdaptor, CarriesCdbDataAndAnswersEachWay) {
    std::vector<ScsiCommand> seen;
    SocketScsiTarget target(socketPath("echo"), [&](const ScsiCommand& c, ScsiAnswer& a) {
        seen.push_back(c);
        if (c.cdb[0] == 0x08) // RECEIVE: give back what was sent, reversed
            a.dataIn.assign(seen.front().dataOut.rbegin(), seen.front().dataOut.rend());
        if (c.cdb[0] == 0x03) { // REQUEST SENSE-like failure: check condition with sense
            a.status = 0x02;
            a.sense = {0x70, 0, 0x05};
        }
        return SocketScsiTarget::Reply::Answer;
    });
    ScsiBus bus([&] {
        std::vector<std::unique_ptr<ScsiAdaptor>> a;
        a.push_back(makeSocketScsiAdaptor({target.path()}));
        return a;
    }());
    EXPECT_EQ(bus.supportInfo(), (1u << 8) | 1u);

    Pending send(0, 0x0A, R::kDataOut, 5);
    send.buffer = {1, 2, 3, 4, 5};
    send.request.data = send.buffer.data();
    ASSERT_EQ(bus.send(send.request), R::kPending);
    ASSERT_TRUE(send.waitMs(5000));
    EXPECT_EQ(send.request.status, R::kCompleted);

    Pending receive(0, 0x08, R::kDataIn, 5);
    bus.send(receive.request);
    ASSERT_TRUE(receive.waitMs(5000));
    EXPECT_EQ(receive.request.status, R::kCompleted);
    EXPECT_EQ(receive.buffer, (std::vector<std::uint8_t>{5, 4, 3, 2, 1}));

    Pending failing(0, 0x03, 0, 0);
    bus.send(failing.request);
    ASSERT_TRUE(failing.waitMs(5000));
    EXPECT_NE(failing.request.status, R::kCompleted);
    EXPECT_EQ(failing.request.targetStatus, 0x02);
    EXPECT_EQ(failing.request.sense[0], 0x70);
    EXPECT_EQ(failing.request.sense[2], 0x05);

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].direction, 1);
    EXPECT_EQ(seen[0].cdb.size(), 6u);
    EXPECT_EQ(seen[0].dataOut, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(seen[1].direction, 2);
    EXPECT_EQ(seen[1].maxDataIn, 5u);
    EXPECT_EQ(seen[2].direction, 0);
}

TEST(SocketScsiAdaptor, ATargetThatHangsOrClosesCompletesWithAnErrorAndTheNextCommandWorks) {
    bool hang = true;
    SocketScsiTarget target(socketPath("hang"), [&](const ScsiCommand&, ScsiAnswer& a) {
        a.dataIn = {42};
        return std::exchange(hang, false) ? SocketScsiTarget::Reply::Hang
                                          : SocketScsiTarget::Reply::Answer;
    });
    bool close = true;
    SocketScsiTarget closing(socketPath("close"), [&](const ScsiCommand&, ScsiAnswer&) {
        return std::exchange(close, false) ? SocketScsiTarget::Reply::Close
                                           : SocketScsiTarget::Reply::Answer;
    });
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor({target.path(), closing.path()}));
    ScsiBus bus(std::move(adaptors));

    Pending hung(0, 0x08, R::kDataIn, 1);
    hung.request.timeoutMs = 300;
    const auto start = Clock::now();
    bus.send(hung.request);
    ASSERT_TRUE(hung.waitMs(3000)) << "the request must end by itself";
    const auto took = Clock::now() - start;
    EXPECT_EQ(hung.request.status, R::kError);
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::milliseconds(2000));

    Pending after(0, 0x08, R::kDataIn, 1);
    bus.send(after.request);
    ASSERT_TRUE(after.waitMs(5000));
    EXPECT_EQ(after.request.status, R::kCompleted);
    EXPECT_EQ(after.buffer[0], 42);

    Pending closed(1, 0x00, 0, 0);
    bus.send(closed.request);
    ASSERT_TRUE(closed.waitMs(5000));
    EXPECT_EQ(closed.request.status, R::kError);
    Pending reconnected(1, 0x00, 0, 0);
    bus.send(reconnected.request);
    ASSERT_TRUE(reconnected.waitMs(5000));
    EXPECT_EQ(reconnected.request.status, R::kCompleted);
}

TEST(SocketScsiAdaptor, ARequestWhileAnotherIsPendingOnTheSameTargetWaitsItsTurn) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::uint8_t> order;
    SocketScsiTarget target(socketPath("queue"), [&](const ScsiCommand& c, ScsiAnswer& a) {
        if (c.cdb[1] == 1)
            released.wait(); // the first command is slow
        order.push_back(c.cdb[1]);
        a.dataIn = {c.cdb[1]};
        return SocketScsiTarget::Reply::Answer;
    });
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor({target.path()}));
    ScsiBus bus(std::move(adaptors));

    Pending first(0, 0x08, R::kDataIn, 1);
    first.request.cdb[1] = 1;
    Pending second(0, 0x08, R::kDataIn, 1);
    second.request.cdb[1] = 2;
    EXPECT_EQ(bus.send(first.request), R::kPending);
    EXPECT_EQ(bus.send(second.request), R::kPending);
    EXPECT_FALSE(second.waitMs(200)) << "the second waits for the first";
    release.set_value();
    ASSERT_TRUE(second.waitMs(5000));
    EXPECT_EQ(first.request.status, R::kCompleted);
    EXPECT_EQ(second.request.status, R::kCompleted);
    EXPECT_EQ(first.buffer[0], 1);
    EXPECT_EQ(second.buffer[0], 2);
    EXPECT_EQ(order, (std::vector<std::uint8_t>{1, 2}));
}

TEST(ScsiBus, RefusesWhatCannotBeSentAndAnswersTheAdaptorInquiry) {
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    adaptors.push_back(makeSocketScsiAdaptor({socketPath("nobody-listens")}));
    ScsiBus bus(std::move(adaptors));
    R inquiry;
    inquiry.command = R::kHostAdaptorInquiry;
    EXPECT_EQ(bus.send(inquiry), R::kCompleted);
    EXPECT_EQ(inquiry.adaptorCount, 1);
    EXPECT_EQ(std::string(inquiry.adaptorIdentifier.data(), 16), "Socket targets  ");
    inquiry.adaptor = 1;
    EXPECT_GE(bus.send(inquiry), 8) << "past the last adaptor";

    R noTarget;
    noTarget.target = 8;
    EXPECT_EQ(bus.send(noTarget), R::kInvalidCommand);
    R unanswered; // without posting: completes before send returns
    unanswered.target = 0;
    unanswered.timeoutMs = 500;
    EXPECT_EQ(bus.send(unanswered), R::kError);
    R absent;
    absent.target = 3; // no socket for it
    EXPECT_EQ(bus.send(absent), R::kNoDevice);

    ScsiBus empty({});
    EXPECT_EQ(empty.supportInfo(), 0xE8u << 8);
    EXPECT_EQ(splitSocketList("a.sock::b.sock:"), (std::vector<std::string>{"a.sock", "b.sock"}));
}

TEST(LinuxScsiAdaptors, OneAdaptorPerHostFromSysfsAndDevicesThatCannotBeUsedFailCleanly) {
    test::TempDir dir;
    const std::filesystem::path sys = dir.path() / "sys";
    const std::filesystem::path dev = dir.path() / "dev";
    std::filesystem::create_directories(dev);
    auto addDevice = [&](const std::string& sg, const std::string& address) {
        const auto devices = sys / "devices" / address;
        std::filesystem::create_directories(devices);
        const auto generic = sys / "class" / "scsi_generic" / sg;
        std::filesystem::create_directories(generic);
        std::filesystem::create_directory_symlink(devices, generic / "device");
    };
    auto addHost = [&](int host, const std::string& name) {
        const auto hostDir = sys / "class" / "scsi_host" / ("host" + std::to_string(host));
        std::filesystem::create_directories(hostDir);
        std::ofstream(hostDir / "proc_name") << name << "\n";
    };
    addDevice("sg0", "0:0:0:0");
    addDevice("sg1", "3:0:5:0");
    addDevice("sg2", "3:0:6:1"); // LUN 1: not one of ours
    addHost(0, "ahci");
    addHost(3, "aic7xxx");
    std::filesystem::create_directory(dev / "sg1"); // opens, but is no SCSI device

    auto adaptors = linuxScsiAdaptors(sys.string(), dev.string());
    ASSERT_EQ(adaptors.size(), 2u);
    EXPECT_EQ(adaptors[0]->identifier(), "ahci");
    EXPECT_EQ(adaptors[1]->identifier(), "aic7xxx");
    ScsiBus bus(std::move(adaptors));

    R inquiry;
    inquiry.cdb[0] = 0x12;
    std::vector<std::uint8_t> data(96);
    inquiry.data = data.data();
    inquiry.dataLength = 96;
    inquiry.flags = R::kDataIn;
    inquiry.adaptor = 1;
    inquiry.target = 5;
    EXPECT_EQ(bus.send(inquiry), R::kError);
    inquiry.target = 6;
    EXPECT_EQ(bus.send(inquiry), R::kNoDevice);
    inquiry.adaptor = 0;
    inquiry.target = 0; // /dev/sg0 does not exist
    EXPECT_EQ(bus.send(inquiry), R::kError);
    EXPECT_NE(bus.accessHints().find("sg"), std::string::npos) << bus.accessHints();

    EXPECT_TRUE(linuxScsiAdaptors((dir.path() / "none").string(), dev.string()).empty());
}

} // namespace
} // namespace tolvane
