#pragma once

#include "platform/ScsiBus.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr const char* kNoHostAdaptorFound = "No host adaptor found";
inline constexpr const char* kNoDevicesFound = "No devices found";
inline constexpr std::uint8_t kInquiryOpcode = 0x12;
inline constexpr std::uint32_t kInquiryLength = 96;
inline constexpr int kScsiTargets = 8;

// "ID:n name" for every adaptor that answers the host-adaptor inquiry, asking adaptor 0, 1, …
// until the entry returns 8 or more.
std::vector<std::string> enumerateAdaptors(const ScsiEntry& send);

// The device-list item of target `target` after its INQUIRY completed: "ID:t vendor product
// revision mark" (mark "(*)" for a processor device, the type samplers report) or
// "ID:t No Device Found".
std::string targetItem(int target, std::uint8_t status, const std::uint8_t* inquiry,
                       std::size_t length);

// An execute-command request for a six-byte command to adaptor and target, LUN 0, with the
// fields the drivers fill: flags posting + data in or out, sense length 14, the transfer
// length as 24-bit big-endian in CDB bytes 2 to 4.
void prepareScsiCommand(ScsiRequestBlock& request, std::uint8_t adaptor, std::uint8_t target,
                        std::uint8_t opcode, bool dataIn, std::uint8_t* data, std::uint32_t length);

// The INQUIRY of targets 0 to 7 of one adaptor, one after the other, each started from the
// previous one's completion. The object must outlive the enumeration; its destructor waits.
class TargetEnumeration {
public:
    using Done = std::function<void(std::vector<std::string> items)>;
    explicit TargetEnumeration(ScsiEntry send) : m_send(std::move(send)) {}
    ~TargetEnumeration() { wait(); }
    TargetEnumeration(const TargetEnumeration&) = delete;
    TargetEnumeration& operator=(const TargetEnumeration&) = delete;

    // `done` runs on the bus's completion thread (or at once when nothing could be sent).
    // False when an enumeration is still running.
    bool start(std::uint8_t adaptor, Done done);
    void wait();
    // Start and wait: the items in target order.
    std::vector<std::string> run(std::uint8_t adaptor);

private:
    void inquire(int target);
    void completed();

    ScsiEntry m_send;
    std::uint8_t m_adaptor = 0;
    int m_target = 0;
    Done m_done;
    ScsiRequestBlock m_request;
    std::array<std::uint8_t, kInquiryLength> m_inquiry{};
    std::vector<std::string> m_items;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_running = false;
};

} // namespace tolvane
