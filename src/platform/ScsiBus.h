#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

// A SCSI request block as the drivers fill it: a host-adaptor inquiry or an execute-command
// request. The caller owns the block and keeps it alive until it has completed.
struct ScsiRequestBlock {
    // Command codes.
    static constexpr std::uint8_t kHostAdaptorInquiry = 0;
    static constexpr std::uint8_t kExecuteCommand = 2;
    // Ends `requestToAbort`, an execute request under way on another thread, as soon as the
    // adaptor can (a target that stopped answering need not be waited on to its time limit).
    static constexpr std::uint8_t kAbortRequest = 3;
    // Flags.
    static constexpr std::uint8_t kPosting = 0x01; // complete through `completion`
    static constexpr std::uint8_t kDataIn = 0x08;  // data from the target
    static constexpr std::uint8_t kDataOut = 0x10; // data to the target
    // Status values.
    static constexpr std::uint8_t kPending = 0x00;
    static constexpr std::uint8_t kCompleted = 0x01; // completed without error
    static constexpr std::uint8_t kAborted = 0x02;
    static constexpr std::uint8_t kError = 0x04;
    static constexpr std::uint8_t kInvalidCommand = 0x80;
    static constexpr std::uint8_t kInvalidAdaptor = 0x81;
    static constexpr std::uint8_t kNoDevice = 0x82;
    static constexpr std::size_t kSenseAreaSize = 16;

    std::uint8_t command = kExecuteCommand;
    std::uint8_t status = kPending;
    std::uint8_t adaptor = 0;
    std::uint8_t flags = 0;
    std::uint32_t headerReserved = 0;

    // Host-adaptor inquiry answers: how many adaptors there are and the adaptor's name,
    // blank-padded to 16 characters.
    std::uint8_t adaptorCount = 0;
    std::array<char, 16> adaptorIdentifier{};

    // Execute-command fields.
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::uint32_t dataLength = 0;
    std::uint8_t* data = nullptr; // dataLength bytes, read or filled as `flags` say
    std::uint8_t senseLength = 14;
    std::uint8_t cdbLength = 6;
    std::uint8_t adaptorStatus = 0;
    std::uint8_t targetStatus = 0; // the SCSI status byte: 0x02 check condition, 0x08 busy, …
    // Runs on the adaptor's completion thread once status is set, when kPosting is set.
    std::function<void(ScsiRequestBlock&)> completion;
    std::array<std::uint8_t, 20> reserved{};
    std::array<std::uint8_t, 16> cdb{};
    std::array<std::uint8_t, kSenseAreaSize> sense{};
    // How long the target may take before the request completes with an error.
    std::uint32_t timeoutMs = 30000;
    // The request an abort request ends.
    ScsiRequestBlock* requestToAbort = nullptr;
};

// The entry every SCSI request goes through (the drivers get it from the profile manager).
// A host-adaptor inquiry and an execute request without kPosting complete before it returns;
// it returns the status. An execute request with kPosting returns kPending at once (or an
// error status without calling the completion when the request cannot be queued); it then
// completes on the adaptor's own thread, requests to one target one after the other.
using ScsiEntry = std::function<std::uint8_t(ScsiRequestBlock&)>;

// One host adaptor: targets 0 to 7, LUN 0.
class ScsiAdaptor {
public:
    virtual ~ScsiAdaptor() = default;
    // The adaptor's name as the inquiry reports it (at most 16 characters).
    virtual std::string identifier() const = 0;
    // Runs one execute request to its end (sets status, target status, sense and data) on
    // the calling thread.
    virtual void execute(ScsiRequestBlock& request) = 0;
    // Ends `request`, under way in execute on another thread, with an error as soon as it can;
    // an adaptor that cannot leaves it to its time limit.
    virtual void abort(ScsiRequestBlock& /*request*/) {}
    // What the user could do about targets that could not be reached (empty when nothing):
    // say, join the group that may open the device.
    virtual std::string accessHint() const { return {}; }
};

// The SCSI bus of the program: adaptors numbered from 0, requests completing on threads of
// their own. Thread: `send` from any thread.
class ScsiBus {
public:
    explicit ScsiBus(std::vector<std::unique_ptr<ScsiAdaptor>> adaptors);
    ~ScsiBus();
    ScsiBus(const ScsiBus&) = delete;
    ScsiBus& operator=(const ScsiBus&) = delete;

    // The adaptor count in the low byte, the status (kCompleted, or 0xE8 when there is no
    // adaptor) in the next.
    std::uint32_t supportInfo() const;
    std::uint8_t send(ScsiRequestBlock& request);
    ScsiEntry entry() {
        return [this](ScsiRequestBlock& request) { return send(request); };
    }
    // Every adaptor's hint about targets it could not reach, one per line.
    std::string accessHints() const;
    std::size_t adaptorCount() const { return m_adaptors.size(); }

private:
    class TargetQueue;
    std::vector<std::unique_ptr<ScsiAdaptor>> m_adaptors;
    std::vector<std::unique_ptr<TargetQueue>> m_queues; // adaptor × 8 targets
};

// The machine's SCSI adaptors over Linux SG_IO: one adaptor per SCSI host that has generic
// devices, found under `sysfsRoot` (normally /sys) and opened under `devRoot` (/dev).
std::vector<std::unique_ptr<ScsiAdaptor>> linuxScsiAdaptors(const std::string& sysfsRoot = "/sys",
                                                            const std::string& devRoot = "/dev");

// One adaptor whose targets are Unix stream sockets, target n the n-th path (at most 8).
std::unique_ptr<ScsiAdaptor> makeSocketScsiAdaptor(std::vector<std::string> socketPaths);

// The socket paths a list such as "a.sock:b.sock" names (empty entries skipped).
std::vector<std::string> splitSocketList(const std::string& list);

// The bus of the shipped program: the SG_IO adaptors, then the socket adaptor when any socket
// is named (by `socketList`, or by the environment variable TOLVANE_SCSI_SOCKETS when it is
// set).
std::unique_ptr<ScsiBus> makeSystemScsiBus(const std::string& socketList);

} // namespace tolvane
