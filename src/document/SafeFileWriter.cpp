#include "document/SafeFileWriter.h"

#include "document/OutputFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinkHops = 40; // as many as the kernel follows before ELOOP

mode_t permissionsForNewFile(const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0)
        return existing.st_mode & 07777; // a replaced file keeps its permissions
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// An existing file without its owner's write permission (or one this process may not write):
// the rename would replace it even so, as the folder's permissions are what it needs.
bool isReadOnly(const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0)
        return false; // nothing there yet
    return (existing.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

std::string errorText(int error) {
    return std::strerror(error);
}

// The file a name stands for once its symbolic links are followed, also when the last link
// points to a file that is not there yet: renaming over the link would replace the link.
std::string followLinks(const std::string& target) {
    fs::path path = target;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec)))
            return path.string();
        const fs::path next = fs::read_symlink(path, ec);
        if (ec)
            throw FileWriteError("cannot write " + target + ": " + ec.message());
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    throw FileWriteError("cannot write " + target + ": " + errorText(ELOOP));
}

} // namespace

SafeFileWriter::SafeFileWriter(std::string targetPath)
    : m_target(std::move(targetPath)), m_destination(followLinks(m_target)) {
    refuseNonRegularOutput(m_target);
    refuseReadOnlyDestination();
    fs::path folder = fs::path(m_destination).parent_path();
    if (folder.empty())
        folder = ".";
    std::string hiddenName(".");
    hiddenName += fs::path(m_destination).filename().string();
    hiddenName += ".XXXXXX";
    std::string pattern = (folder / hiddenName).string();
    m_fd = makeRegisteredTemporaryFile(pattern, m_registration);
    if (m_fd < 0)
        fail("cannot create a file in " + folder.string());
    m_temporary = pattern;
    ::fchmod(m_fd, permissionsForNewFile(m_destination));
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
    refuseReadOnlyDestination(); // it may have changed while the data was written
    refuseNonRegularDestination();
    if (::rename(m_temporary.c_str(), m_destination.c_str()) != 0)
        fail("cannot replace " + m_target);
    m_registration.release();
    m_committed = true;
}

void SafeFileWriter::refuseReadOnlyDestination() {
    if (!isReadOnly(m_destination))
        return;
    discard();
    throw FileWriteError("cannot write " + m_target + ": the file is read-only");
}

void SafeFileWriter::refuseNonRegularDestination() {
    try {
        refuseNonRegularOutput(m_target);
    } catch (const FileWriteError&) {
        discard();
        throw;
    }
}

void SafeFileWriter::fail(const std::string& what) {
    const std::string reason = errorText(errno);
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
        m_registration.release();
        m_temporary.clear();
    }
}

} // namespace tolvane
