// SCSI adaptors over the Linux generic SCSI driver: each /dev/sgN is one host:channel:target:lun
// (sysfs names it), the devices of one host make one adaptor, and each request is one SG_IO.
#include "platform/ScsiBus.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <mutex>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

struct SgDevice {
    std::string node; // /dev/sgN
    int target = 0;
};

// "2:0:3:0" into its four numbers.
bool parseAddress(const std::string& text, std::array<int, 4>& address) {
    const char* p = text.data();
    const char* end = p + text.size();
    for (int i = 0; i < 4; ++i) {
        auto [next, ec] = std::from_chars(p, end, address[static_cast<std::size_t>(i)]);
        if (ec != std::errc() || (i < 3 && (next == end || *next != ':')))
            return false;
        p = next + (i < 3 ? 1 : 0);
    }
    return p == end;
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class SgAdaptor : public ScsiAdaptor {
public:
    SgAdaptor(std::string name, std::map<int, SgDevice> targets)
        : m_name(std::move(name)), m_targets(std::move(targets)) {}

    std::string identifier() const override { return m_name.substr(0, 16); }

    void execute(ScsiRequestBlock& request) override {
        using R = ScsiRequestBlock;
        const auto found = m_targets.find(request.target);
        if (found == m_targets.end() || request.lun != 0) {
            request.status = R::kNoDevice;
            return;
        }
        FileDescriptor fd(::open(found->second.node.c_str(), O_RDWR | O_CLOEXEC));
        if (fd.get() < 0) {
            noteOpenFailure(found->second.node, errno);
            request.status = R::kError;
            return;
        }
        sg_io_hdr_t io{};
        io.interface_id = 'S';
        io.cmd_len = request.cdbLength;
        io.cmdp = request.cdb.data();
        io.mx_sb_len = static_cast<unsigned char>(
            std::min<std::size_t>(request.senseLength, request.sense.size()));
        io.sbp = request.sense.data();
        io.dxfer_len = request.dataLength;
        io.dxferp = request.data;
        io.dxfer_direction = request.dataLength == 0         ? SG_DXFER_NONE
                             : (request.flags & R::kDataOut) ? SG_DXFER_TO_DEV
                                                             : SG_DXFER_FROM_DEV;
        io.timeout = request.timeoutMs;
        if (::ioctl(fd.get(), SG_IO, &io) < 0) {
            request.status = R::kError;
            return;
        }
        request.targetStatus = io.status;
        request.adaptorStatus = static_cast<std::uint8_t>(io.host_status);
        const bool driverError = (io.driver_status & 0x0F) != 0 && io.status == 0;
        request.status =
            (io.status == 0 && io.host_status == 0 && !driverError) ? R::kCompleted : R::kError;
    }

    std::string accessHint() const override {
        std::lock_guard lock(m_hintMutex);
        return m_hint;
    }

private:
    void noteOpenFailure(const std::string& node, int error) {
        std::string hint;
        if (error == EACCES || error == EPERM) {
            struct stat info {};
            std::string group = "the group that owns it";
            if (::stat(node.c_str(), &info) == 0)
                if (const struct group* g = ::getgrgid(info.st_gid))
                    group = std::string("the group \"") + g->gr_name + "\"";
            hint = "No permission to open " + node + ": the user needs to be in " + group +
                   " (then log in again), or access to the device some other way.";
        } else {
            hint = "Cannot open " + node + ": " + std::strerror(error);
        }
        std::lock_guard lock(m_hintMutex);
        m_hint = hint;
    }

    std::string m_name;
    std::map<int, SgDevice> m_targets;
    mutable std::mutex m_hintMutex;
    std::string m_hint;
};

} // namespace

std::vector<std::unique_ptr<ScsiAdaptor>> linuxScsiAdaptors(const std::string& sysfsRoot,
                                                            const std::string& devRoot) {
    std::map<int, std::map<int, SgDevice>> hosts; // host → target → device
    std::error_code ec;
    const fs::path generic = fs::path(sysfsRoot) / "class" / "scsi_generic";
    for (const auto& entry : fs::directory_iterator(generic, ec)) {
        const fs::path device = fs::read_symlink(entry.path() / "device", ec);
        std::array<int, 4> address{};
        if (ec || !parseAddress(device.filename().string(), address) || address[3] != 0 ||
            address[2] < 0 || address[2] > 7)
            continue;
        hosts[address[0]][address[2]] = {(fs::path(devRoot) / entry.path().filename()).string(),
                                         address[2]};
    }
    std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
    for (auto& [host, targets] : hosts) {
        const fs::path hostDir =
            fs::path(sysfsRoot) / "class" / "scsi_host" / ("host" + std::to_string(host));
        std::string name = firstLine(hostDir / "proc_name");
        if (name.empty() || name == "(null)")
            name = "host" + std::to_string(host);
        adaptors.push_back(std::make_unique<SgAdaptor>(std::move(name), std::move(targets)));
    }
    return adaptors;
}

} // namespace tolvane
