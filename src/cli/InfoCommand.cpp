#include "cli/Tolvane.h"
#include "document/SampleDocument.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iomanip>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::cli {
namespace {

void printAccepted(const std::string& file, const AcceptanceReport& report, std::ostream& out) {
    const FormatRecord& f = report.info.format;
    std::error_code ec;
    const auto fileSize = std::filesystem::file_size(file, ec);
    // What a load gives, so that the length shown is the editor's.
    const std::int32_t length = ec ? loadableDataLength(report.info.dataLength, f.channels)
                                   : loadedDataLength(report.info, fileSize);
    const std::int64_t frames = length / (2 * f.channels);
    const double seconds = static_cast<double>(frames) / f.samplesPerSec;
    out << file << ": accepted (0)\n";
    out << "  format: " << formatStatusText(f.bitsPerSample, f.samplesPerSec, f.channels) << "\n";
    out << "  data: " << length << " bytes, " << frames << " frames, " << std::fixed
        << std::setprecision(3) << seconds << " s\n";

    const std::uint64_t end = std::uint64_t{report.info.dataOffset} + report.info.dataLength;
    if (!ec && fileSize < end) {
        const std::uint64_t held =
            fileSize > report.info.dataOffset ? fileSize - report.info.dataOffset : 0;
        out << "  truncated: the file holds " << held << " of " << report.info.dataLength
            << " data bytes declared; the rest, up to the length above, loads as silence\n";
    }
    if (report.readOnly)
        out << "  read-only\n";
}

// Why a refused file could not be read: the system's reason when it cannot even be opened (no
// such file, permission denied), that it is no regular file (a FIFO or a device, which is never
// opened: that could wait forever), else what the reader found wrong with it.
std::string unreadableReason(const std::string& file, const std::string& readerError) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return std::strerror(errno);
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return readerError;
}

} // namespace

int reportRefusal(const std::string& file, const AcceptanceReport& report, std::ostream& out,
                  std::ostream& err) {
    switch (report.result) {
    case Acceptance::Accepted:
        return kExitOk;
    case Acceptance::WrongFormat:
        out << file << ": wrong format (1)\n" << terminalText(kMsgTypeUnrecognised) << "\n";
        return kExitWrongFormat;
    case Acceptance::Unreadable:
        break;
    }
    out << file << ": unreadable (2)\n" << terminalText(kMsgUnableToLoad) << "\n";
    err << "tolvane: " << file << ": " << unreadableReason(file, report.error) << "\n";
    return kExitUnreadable;
}

int runInfo(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    int status = kExitOk;
    for (const std::string& file : files) {
        const AcceptanceReport report = testSampleFile(file);
        if (report.result == Acceptance::Accepted)
            printAccepted(file, report, out);
        else
            status = std::max(status, reportRefusal(file, report, out, err));
    }
    return status;
}

} // namespace tolvane::cli
