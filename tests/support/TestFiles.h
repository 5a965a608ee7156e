#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder for one test, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// File-system nodes that are not regular files, for outputs that must be refused. Each test
// makes its own in its scratch folder; none is ever the system's.
enum class NodeKind { Fifo, Socket, CharDevice, Folder };
// Makes one at `path`; false when this process may not (a device node needs root).
bool makeNode(const std::string& path, NodeKind kind);
// Whether `path` (links followed) is still a node of that kind.
bool isNode(const std::string& path, NodeKind kind);
// Every kind with a readable name, for loops over them.
inline constexpr std::pair<NodeKind, const char*> kNodeKinds[] = {{NodeKind::Fifo, "FIFO"},
                                                                  {NodeKind::Socket, "socket"},
                                                                  {NodeKind::CharDevice, "device"},
                                                                  {NodeKind::Folder, "folder"}};

// Notes, from its making on, whether anything opens the file at `path` (a node's open counts
// too, even one that does not wait), so that a test can tell that an input was never opened.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path);
    ~OpenWatch();
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool watching() const { return m_fd >= 0 && m_watch >= 0; }
    // Whether it was opened since the watch began (or since the last call that said so).
    bool opened() const;

private:
    int m_fd;
    int m_watch;
};

Bytes readBytes(const std::string& path);
void writeBytes(const std::string& path, const Bytes& bytes);

// The names in a folder, sorted; and how many there are.
std::vector<std::string> filesIn(const std::filesystem::path& folder);
std::size_t entriesIn(const std::filesystem::path& folder);

// While it lives, files this process writes cannot grow past `bytes` (writes fail with EFBIG
// instead of raising SIGXFSZ): a full disk, even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t m_savedCurrent = 0;
    void (*m_savedHandler)(int) = nullptr;
};

// Runs a shell command; fails the test (with the command line) when it exits non-zero.
void runOrFail(const std::string& command);
std::string shellQuote(const std::string& text);
// What a shell command printed on its standard output (its errors are dropped).
std::string commandOutput(const std::string& command);

// Whether a program is on the PATH (checks against independent tools skip without them).
bool haveProgram(const std::string& name);

// Makes an audio file with sox: `sox -n <format options> PATH synth <seconds> <synth>`.
void soxSynth(const std::string& path, const std::string& formatOptions, double seconds,
              const std::string& synth = "sine 440");
// The samples of a file decoded by sox as 16-bit signed little-endian raw data.
Bytes soxDecodeToRaw16(const std::string& path);

// Inserts a chunk (id, size, data, pad byte when odd) into a RIFF or AIFF file image at the
// given offset and fixes the outer form size.
void insertChunk(Bytes& file, std::size_t offset, const std::string& id, const Bytes& data,
                 bool bigEndian);
// Offset of the first chunk with the given id after the 12-byte form header (or npos).
std::size_t findChunkOffset(const Bytes& file, const std::string& id, bool bigEndian);

void putLe32(Bytes& b, std::size_t at, std::uint32_t v);
void putBe32(Bytes& b, std::size_t at, std::uint32_t v);
std::uint32_t getLe32(const Bytes& b, std::size_t at);
std::uint32_t getBe32(const Bytes& b, std::size_t at);

// A 16-bit PCM RIFF/WAVE image; the data chunk holds `data`.
Bytes waveImage(std::uint16_t channels, std::uint32_t rate, const Bytes& data,
                std::uint16_t formatTag = 1, std::uint16_t bits = 16);
// A mono 44100 Hz RIFF/WAVE image of `clicks` short loud bursts, one every `gapFrames` frames
// after 1000 frames of silence: a recording with as many hits as asked for.
Bytes clickTrainWave(int clicks, int gapFrames);
// Sixteen-bit little-endian bytes of the given samples.
Bytes pcm16(const std::vector<std::int16_t>& samples);
// The 16-bit samples of little-endian bytes.
std::vector<std::int16_t> samples16(const Bytes& bytes);

} // namespace tolvane::test
