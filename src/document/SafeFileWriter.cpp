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

// The new name of a replaced file reaches the disk with its folder. A folder that cannot be
// opened or synced (some file systems refuse) leaves the name to the system's own flush: the
// data itself is already on the disk.
void syncFolderOf(const std::string& path) {
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Writes of at most this many bytes are gathered before they go to the file.
constexpr std::size_t kWriteBufferSize = 64 * 1024;

} // namespace

SafeFileWriter::SafeFileWriter(std::string targetPath, Durability durability)
    : m_target(std::move(targetPath)), m_destination(followLinks(m_target)),
      m_durability(durability) {
    m_buffer.reserve(kWriteBufferSize);
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
    if (m_buffer.size() + count <= kWriteBufferSize) {
        m_buffer.insert(m_buffer.end(), p, p + count);
        return;
    }
    flush();
    if (count < kWriteBufferSize)
        m_buffer.insert(m_buffer.end(), p, p + count);
    else
        writeThrough(p, count);
}

void SafeFileWriter::flush() {
    writeThrough(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void SafeFileWriter::writeThrough(const char* p, std::size_t count) {
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
    flush();
    if (m_durability == Durability::Synced && ::fsync(m_fd) != 0)
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
    if (m_durability == Durability::Synced)
        syncFolderOf(m_destination);
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

SeriesSync::~SeriesSync() {
    syncAll();
}

void SeriesSync::add(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return; // nothing there to flush
    for (const dev_t device : m_devices)
        if (device == st.st_dev)
            return;
    m_devices.push_back(st.st_dev);
    m_onePathPerDevice.push_back(path);
}

void SeriesSync::sync() {
    if (!syncAll())
        throw FileWriteError(m_failure);
}

// syncfs flushes the whole file system of a file, the folders' entries included: one call for
// every file of the series that lies on it.
bool SeriesSync::syncAll() {
    bool ok = true;
    for (const std::string& path : m_onePathPerDevice) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            m_failure = "cannot write " + path + ": " + errorText(errno);
            ok = false;
        }
        if (fd >= 0)
            ::close(fd);
    }
    m_onePathPerDevice.clear();
    m_devices.clear();
    return ok;
}

} // namespace tolvane
