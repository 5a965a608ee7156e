#include "support/TestFiles.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvane::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    m_path =
        base / ("tolvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

Bytes clickTrainWave(int clicks, int gapFrames) {
    constexpr int kLead = 1000;
    constexpr int kBurst = 400;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kLead + clicks * gapFrames), 0);
    for (int c = 0; c < clicks; ++c)
        for (int i = 0; i < kBurst && i < gapFrames; ++i) {
            const int level = 20000 * (kBurst - i) / kBurst;
            samples[static_cast<std::size_t>(kLead + c * gapFrames + i)] =
                static_cast<std::int16_t>(i % 2 ? -level : level);
        }
    return waveImage(1, 44100, pcm16(samples));
}

bool makeNode(const std::string& path, NodeKind kind) {
    switch (kind) {
    case NodeKind::Fifo:
        return ::mkfifo(path.c_str(), 0666) == 0;
    case NodeKind::Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound =
            fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd); // the socket's node stays in the folder
        return bound;
    }
    case NodeKind::CharDevice: // the numbers of a null device, under a name of our own
        return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case NodeKind::Folder:
        return ::mkdir(path.c_str(), 0777) == 0;
    }
    return false;
}

bool isNode(const std::string& path, NodeKind kind) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    switch (kind) {
    case NodeKind::Fifo:
        return S_ISFIFO(status.st_mode);
    case NodeKind::Socket:
        return S_ISSOCK(status.st_mode);
    case NodeKind::CharDevice:
        return S_ISCHR(status.st_mode);
    case NodeKind::Folder:
        return S_ISDIR(status.st_mode);
    }
    return false;
}

OpenWatch::OpenWatch(const std::string& path)
    : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      m_watch(m_fd >= 0 ? ::inotify_add_watch(m_fd, path.c_str(), IN_OPEN) : -1) {}

OpenWatch::~OpenWatch() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OpenWatch::opened() const {
    // The event is queued by the open itself: once the opener has returned it is there.
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, 0) <= 0)
        return false;
    alignas(inotify_event) char buffer[4096];
    while (::read(m_fd, buffer, sizeof buffer) > 0) {
    }
    return true;
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t entriesIn(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_savedCurrent = limit.rlim_cur;
    m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_savedCurrent;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_savedHandler);
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void runOrFail(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    ASSERT_EQ(status, 0) << "command failed: " << command;
}

bool haveProgram(const std::string& name) {
    return std::system(("command -v " + shellQuote(name) + " > /dev/null 2>&1").c_str()) == 0;
}

std::string commandOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

void soxSynth(const std::string& path, const std::string& formatOptions, double seconds,
              const std::string& synth) {
    runOrFail("sox -D -n " + formatOptions + " " + shellQuote(path) + " synth " +
              std::to_string(seconds) + " " + synth);
}

Bytes soxDecodeToRaw16(const std::string& path) {
    const std::string raw = path + ".decoded.raw";
    runOrFail("sox -D " + shellQuote(path) + " -t raw -e signed-integer -b 16 -L " +
              shellQuote(raw));
    Bytes bytes = readBytes(raw);
    std::filesystem::remove(raw);
    return bytes;
}

void putLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

void putBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * (3 - i)));
}

std::uint32_t getLe32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::uint32_t getBe32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | std::uint32_t{b[at + 3]};
}

void insertChunk(Bytes& file, std::size_t offset, const std::string& id, const Bytes& data,
                 bool bigEndian) {
    Bytes chunk(8);
    std::copy(id.begin(), id.begin() + 4, chunk.begin());
    const auto size = static_cast<std::uint32_t>(data.size());
    bigEndian ? putBe32(chunk, 4, size) : putLe32(chunk, 4, size);
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (data.size() % 2)
        chunk.push_back(0);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(offset), chunk.begin(), chunk.end());
    const auto formSize = static_cast<std::uint32_t>(file.size() - 8);
    bigEndian ? putBe32(file, 4, formSize) : putLe32(file, 4, formSize);
}

std::size_t findChunkOffset(const Bytes& file, const std::string& id, bool bigEndian) {
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        if (std::equal(id.begin(), id.begin() + 4, file.begin() + static_cast<std::ptrdiff_t>(at)))
            return at;
        const std::uint32_t size = bigEndian ? getBe32(file, at + 4) : getLe32(file, at + 4);
        at += 8 + size + (size & 1);
    }
    return std::string::npos;
}

Bytes waveImage(std::uint16_t channels, std::uint32_t rate, const Bytes& data,
                std::uint16_t formatTag, std::uint16_t bits) {
    // The whole image is sized at once: growing it with insert() makes GCC 12 at -O3 warn of
    // an out-of-bounds copy that cannot happen.
    const std::size_t padded = data.size() + (data.size() & 1);
    Bytes b(44 + padded, 0);
    std::copy_n("RIFF", 4, b.begin());
    putLe32(b, 4, static_cast<std::uint32_t>(36 + data.size() + (data.size() & 1)));
    std::copy_n("WAVEfmt ", 8, b.begin() + 8);
    putLe32(b, 16, 16);
    b[20] = std::uint8_t(formatTag);
    b[21] = std::uint8_t(formatTag >> 8);
    b[22] = std::uint8_t(channels);
    const std::uint32_t blockAlign = channels * (bits / 8);
    putLe32(b, 24, rate);
    putLe32(b, 28, rate * blockAlign);
    b[32] = std::uint8_t(blockAlign);
    b[34] = std::uint8_t(bits);
    std::copy_n("data", 4, b.begin() + 36);
    putLe32(b, 40, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + 44);
    return b;
}

Bytes pcm16(const std::vector<std::int16_t>& samples) {
    Bytes b;
    for (std::int16_t s : samples) {
        b.push_back(std::uint8_t(s & 0xFF));
        b.push_back(std::uint8_t((s >> 8) & 0xFF));
    }
    return b;
}

std::vector<std::int16_t> samples16(const Bytes& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

} // namespace tolvane::test
