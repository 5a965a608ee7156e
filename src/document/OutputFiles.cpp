#include "document/OutputFiles.h"

#include "document/SafeFileWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

int openRegularFileForReading(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return -1;
    if (!S_ISREG(status.st_mode)) {
        errno = ENODEV;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    return fd;
}

void refuseNonRegularOutput(const std::string& output) {
    struct stat status {};
    if (::stat(output.c_str(), &status) != 0 || S_ISREG(status.st_mode))
        return; // nothing there yet (or a link to nothing yet), or a file it may replace
    throw FileWriteError(
        "cannot write " + output +
        (S_ISDIR(status.st_mode) ? ": it is a folder" : ": it is not a regular file"));
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void refuseInputAsOutput(const std::string& output, const std::string& input) {
    if (isSameFile(output, input))
        throw FileWriteError("cannot write " + output + ": it is the input file " + input);
}

void checkOutputBeforeWriting(const std::string& output, const std::string* input) {
    refuseNonRegularOutput(output);
    if (input)
        refuseInputAsOutput(output, *input);
    std::filesystem::path folder = std::filesystem::path(output).parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        throw FileWriteError("cannot write " + output + ": " +
                             std::strerror(std::filesystem::exists(folder, ec) ? ENOTDIR : ENOENT) +
                             " (the folder " + folder.string() + ")");
}

} // namespace tolvane
