#include "fakes/SocketScsiTarget.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvane::test {
namespace {

bool readAll(int fd, void* buffer, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
        const ssize_t done = ::recv(fd, p, n, 0);
        if (done <= 0)
            return false;
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t done = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (done <= 0)
            return false;
        sent += static_cast<std::size_t>(done);
    }
    return true;
}

std::uint32_t u32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

} // namespace

SocketScsiTarget::SocketScsiTarget(std::string path, Handler handler)
    : m_path(std::move(path)), m_handler(std::move(handler)) {
    ::unlink(m_path.c_str());
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0 || ::pipe(m_wakeup) != 0)
        throw std::runtime_error("cannot listen on " + m_path);
    m_thread = std::thread([this] { serve(); });
}

SocketScsiTarget::~SocketScsiTarget() {
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeup[1], &stop, 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wakeup[0]);
    ::close(m_wakeup[1]);
    ::unlink(m_path.c_str());
}

void SocketScsiTarget::serve() {
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_wakeup[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const bool stopped = serveConnection(fd);
        ::close(fd);
        if (stopped)
            return;
    }
}

// True when the target is being stopped.
bool SocketScsiTarget::serveConnection(int fd) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeup[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return true;
        std::uint8_t header[4];
        if (!readAll(fd, header, 4))
            return false;
        std::vector<std::uint8_t> frame(u32(header));
        if (!readAll(fd, frame.data(), frame.size()) || frame.size() < 2)
            return false;
        ScsiCommand command;
        command.direction = frame[0];
        const std::size_t cdbLength = frame[1];
        std::size_t at = 2;
        if (frame.size() < at + cdbLength + 8)
            return false;
        command.cdb.assign(frame.begin() + 2, frame.begin() + 2 + static_cast<long>(cdbLength));
        at += cdbLength;
        const std::uint32_t outLength = u32(&frame[at]);
        at += 4;
        if (frame.size() != at + outLength + 4)
            return false;
        command.dataOut.assign(frame.begin() + static_cast<long>(at),
                               frame.begin() + static_cast<long>(at + outLength));
        at += outLength;
        command.maxDataIn = u32(&frame[at]);
        ++m_commands;

        ScsiAnswer answer;
        const Reply reply = m_handler(command, answer);
        if (reply == Reply::Close)
            return false;
        if (reply == Reply::Hang) {
            // Keeps the connection and answers nothing until the program gives up on it.
            pollfd wait[2] = {{fd, POLLRDHUP, 0}, {m_wakeup[0], POLLIN, 0}};
            ::poll(wait, 2, -1);
            return wait[1].revents != 0;
        }
        if (answer.dataIn.size() > command.maxDataIn)
            answer.dataIn.resize(command.maxDataIn);
        std::vector<std::uint8_t> body;
        body.reserve(6 + answer.sense.size() + answer.dataIn.size());
        body.push_back(answer.status);
        body.push_back(static_cast<std::uint8_t>(answer.sense.size()));
        body.insert(body.end(), answer.sense.begin(), answer.sense.end());
        putU32(body, static_cast<std::uint32_t>(answer.dataIn.size()));
        body.insert(body.end(), answer.dataIn.begin(), answer.dataIn.end());
        std::vector<std::uint8_t> out;
        out.reserve(4 + body.size());
        putU32(out, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
        if (!writeAll(fd, out))
            return false;
    }
}

std::vector<std::uint8_t> inquiryData(std::uint8_t deviceType, const std::string& vendor,
                                      const std::string& product, const std::string& revision) {
    std::vector<std::uint8_t> data(96, 0);
    data[0] = deviceType;
    data[2] = 2;  // SCSI-2
    data[4] = 91; // additional length: 96 bytes in all
    auto put = [&](std::size_t at, std::size_t width, const std::string& text) {
        for (std::size_t i = 0; i < width; ++i)
            data[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    };
    put(8, 8, vendor);
    put(16, 16, product);
    put(32, 4, revision);
    return data;
}

} // namespace tolvane::test
