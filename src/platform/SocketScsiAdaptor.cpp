// A SCSI adaptor whose targets are servers on Unix stream sockets (emulators, the tests'
// simulated samplers). Each command is one frame each way; ARCHITECTURE.md gives the layout.
#include "platform/ScsiBus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxTargets = 8;
constexpr std::uint32_t kMaxAnswer = 64u << 20; // no command of ours reads more

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t getU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// One target: a connection made when first needed and dropped after any failure, so that a
// late answer to a command that timed out (or was aborted) can never be taken for the next
// one's.
class SocketTarget {
public:
    explicit SocketTarget(std::string path) : m_path(std::move(path)) {}
    ~SocketTarget() { disconnect(); }

    // The frame exchange of `request`; false (and the connection dropped) when it failed, timed
    // out or was aborted.
    bool exchange(const ScsiRequestBlock& request, const std::vector<std::uint8_t>& frame,
                  std::vector<std::uint8_t>& answer, Clock::time_point deadline) {
        std::lock_guard lock(m_mutex);
        if (m_fd < 0 && !connect())
            return false;
        const UnderWay underWay(*this, request);
        std::uint8_t header[4];
        if (!writeAll(frame.data(), frame.size(), deadline) ||
            !readAll(header, sizeof header, deadline)) {
            disconnect();
            return false;
        }
        const std::uint32_t length = getU32(header);
        if (length > kMaxAnswer) {
            disconnect();
            return false;
        }
        answer.resize(length);
        if (!readAll(answer.data(), length, deadline)) {
            disconnect();
            return false;
        }
        return true;
    }

    void disconnect() {
        std::lock_guard lock(m_fdMutex);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // From another thread: the exchange of `request`, if under way, fails at once (the
    // connection is shut down, and dropped by the exchange).
    void abort(const ScsiRequestBlock& request) {
        std::lock_guard lock(m_fdMutex);
        if (m_underWay == &request && m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
    }

private:
    // Marks the request whose exchange runs, for abort.
    class UnderWay {
    public:
        UnderWay(SocketTarget& target, const ScsiRequestBlock& request) : m_target(target) {
            std::lock_guard lock(m_target.m_fdMutex);
            m_target.m_underWay = &request;
        }
        ~UnderWay() {
            std::lock_guard lock(m_target.m_fdMutex);
            m_target.m_underWay = nullptr;
        }
        UnderWay(const UnderWay&) = delete;
        UnderWay& operator=(const UnderWay&) = delete;

    private:
        SocketTarget& m_target;
    };

    bool connect() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        {
            std::lock_guard lock(m_fdMutex);
            m_fd = fd;
        }
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            disconnect();
            return false;
        }
        return true;
    }

    bool waitFor(short events, Clock::time_point deadline) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{m_fd, events, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    bool writeAll(const std::uint8_t* p, std::size_t n, Clock::time_point deadline) {
        while (n > 0) {
            if (!waitFor(POLLOUT, deadline))
                return false;
            const ssize_t done = ::send(m_fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (done < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (done <= 0)
                return false;
            p += done;
            n -= static_cast<std::size_t>(done);
        }
        return true;
    }

    bool readAll(std::uint8_t* p, std::size_t n, Clock::time_point deadline) {
        while (n > 0) {
            if (!waitFor(POLLIN, deadline))
                return false;
            const ssize_t done = ::recv(m_fd, p, n, MSG_DONTWAIT);
            if (done < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (done <= 0)
                return false; // closed by the target
            p += done;
            n -= static_cast<std::size_t>(done);
        }
        return true;
    }

    std::string m_path;
    std::mutex m_mutex;   // one exchange at a time
    std::mutex m_fdMutex; // the descriptor and the request under way, for abort
    int m_fd = -1;
    const ScsiRequestBlock* m_underWay = nullptr;
};

class SocketAdaptor : public ScsiAdaptor {
public:
    explicit SocketAdaptor(std::vector<std::string> paths) {
        for (std::size_t i = 0; i < std::min(paths.size(), kMaxTargets); ++i)
            m_targets.push_back(std::make_unique<SocketTarget>(paths[i]));
    }

    std::string identifier() const override { return "Socket targets"; }

    void execute(ScsiRequestBlock& request) override {
        using R = ScsiRequestBlock;
        if (request.target >= m_targets.size() || request.lun != 0) {
            request.status = R::kNoDevice;
            return;
        }
        const bool out = request.dataLength > 0 && (request.flags & R::kDataOut);
        const bool in = request.dataLength > 0 && !out;
        std::vector<std::uint8_t> body;
        body.reserve(14 + request.cdbLength + (out ? request.dataLength : 0));
        body.push_back(out ? 1 : in ? 2 : 0);
        body.push_back(request.cdbLength);
        body.insert(body.end(), request.cdb.begin(), request.cdb.begin() + request.cdbLength);
        putU32(body, out ? request.dataLength : 0);
        if (out)
            body.insert(body.end(), request.data, request.data + request.dataLength);
        putU32(body, in ? request.dataLength : 0);
        std::vector<std::uint8_t> frame;
        frame.reserve(4 + body.size());
        putU32(frame, static_cast<std::uint32_t>(body.size()));
        frame.insert(frame.end(), body.begin(), body.end());

        std::vector<std::uint8_t> answer;
        SocketTarget& target = *m_targets[request.target];
        const auto deadline = Clock::now() + std::chrono::milliseconds(request.timeoutMs);
        if (!target.exchange(request, frame, answer, deadline) ||
            !takeAnswer(answer, request, in ? request.dataLength : 0)) {
            target.disconnect();
            request.status = R::kError;
        }
    }

    void abort(ScsiRequestBlock& request) override {
        if (request.target < m_targets.size())
            m_targets[request.target]->abort(request);
    }

private:
    // Status, sense and data-in from an answer; false when the answer does not add up.
    static bool takeAnswer(const std::vector<std::uint8_t>& answer, ScsiRequestBlock& request,
                           std::uint32_t maxIn) {
        if (answer.size() < 2)
            return false;
        const std::uint8_t scsiStatus = answer[0];
        const std::size_t senseLength = answer[1];
        if (answer.size() < 2 + senseLength + 4)
            return false;
        const std::uint8_t* sense = answer.data() + 2;
        const std::uint32_t inLength = getU32(sense + senseLength);
        if (inLength > maxIn || answer.size() != 2 + senseLength + 4 + inLength)
            return false;
        request.sense.fill(0);
        std::copy_n(sense,
                    std::min({senseLength, request.sense.size(), std::size_t(request.senseLength)}),
                    request.sense.begin());
        std::copy_n(sense + senseLength + 4, inLength, request.data);
        request.targetStatus = scsiStatus;
        request.adaptorStatus = 0;
        request.status = scsiStatus == 0 ? ScsiRequestBlock::kCompleted : ScsiRequestBlock::kError;
        return true;
    }

    std::vector<std::unique_ptr<SocketTarget>> m_targets;
};

} // namespace

std::unique_ptr<ScsiAdaptor> makeSocketScsiAdaptor(std::vector<std::string> socketPaths) {
    return std::make_unique<SocketAdaptor>(std::move(socketPaths));
}

} // namespace tolvane
