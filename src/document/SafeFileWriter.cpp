#include "document/SafeFileWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {
namespace {

mode_t permissionsForNewFile(const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0)
        return existing.st_mode & 07777; // a replaced file keeps its permissions
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

SafeFileWriter::SafeFileWriter(std::string targetPath) : m_target(std::move(targetPath)) {
    std::filesystem::path folder = std::filesystem::path(m_target).parent_path();
    if (folder.empty())
        folder = ".";
    std::string hiddenName(".");
    hiddenName += std::filesystem::path(m_target).filename().string();
    hiddenName += ".XXXXXX";
    std::string pattern = (folder / hiddenName).string();
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0)
        fail("cannot create a file in " + folder.string());
    m_temporary = pattern;
    ::fchmod(m_fd, permissionsForNewFile(m_target));
}

SafeFileWriter::~SafeFileWriter() {
    if (!m_committed)
        discard();
}

void SafeFileWriter::write(const void* bytes, std::size_t count) {
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::write(m_fd, p, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write " + m_target);
        p += n;
        count -= static_cast<std::size_t>(n);
    }
}

void SafeFileWriter::commit() {
    if (::fsync(m_fd) != 0)
        fail("cannot write " + m_target);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        fail("cannot write " + m_target);
    }
    m_fd = -1;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        fail("cannot replace " + m_target);
    m_committed = true;
}

void SafeFileWriter::fail(const std::string& what) {
    const std::string reason = std::strerror(errno);
    discard();
    throw FileWriteError(what + ": " + reason);
}

void SafeFileWriter::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

} // namespace tolvane
