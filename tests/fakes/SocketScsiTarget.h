#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::test {

// One SCSI command as a socket target receives it.
struct ScsiCommand {
    std::uint8_t direction = 0; // 0 none, 1 data to the target, 2 data from the target
    std::vector<std::uint8_t> cdb;
    std::vector<std::uint8_t> dataOut;
    std::uint32_t maxDataIn = 0;
};

// The target's answer.
struct ScsiAnswer {
    std::uint8_t status = 0; // SCSI status: 0 good, 2 check condition, 8 busy
    std::vector<std::uint8_t> sense;
    std::vector<std::uint8_t> dataIn;
};

// A SCSI target on a Unix stream socket, speaking the adaptor's frame protocol: a server
// thread that accepts connections one after the other and answers each command frame with
// what the handler returns. A handler may also ask for no answer (`hang`) or for the
// connection to be closed.
class SocketScsiTarget {
public:
    enum class Reply { Answer, Hang, Close };
    using Handler = std::function<Reply(const ScsiCommand&, ScsiAnswer&)>;

    SocketScsiTarget(std::string path, Handler handler);
    ~SocketScsiTarget();
    SocketScsiTarget(const SocketScsiTarget&) = delete;
    SocketScsiTarget& operator=(const SocketScsiTarget&) = delete;

    const std::string& path() const { return m_path; }
    int commandsSeen() const { return m_commands; }

private:
    void serve();
    bool serveConnection(int fd);

    std::string m_path;
    Handler m_handler;
    int m_listener = -1;
    int m_wakeup[2] = {-1, -1};
    std::atomic<int> m_commands = 0;
    std::thread m_thread;
};

// The standard INQUIRY data (96 bytes) of a device: peripheral type, vendor (8), product (16),
// revision (4), blank-padded.
std::vector<std::uint8_t> inquiryData(std::uint8_t deviceType, const std::string& vendor,
                                      const std::string& product, const std::string& revision);

} // namespace tolvane::test
