#include "document/PointFile.h"

#include "document/OutputFiles.h"
#include "document/SafeFileWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace tolvane {
namespace {

void putLe32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getLe32(const std::uint8_t* in) {
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

std::array<std::uint8_t, sizeof(PointRecord)> encodeRecord(const PointRecord& r) {
    std::array<std::uint8_t, sizeof(PointRecord)> out{};
    putLe32(out.data(), r.Position);
    putLe32(out.data() + 4, static_cast<std::uint32_t>(r.Strength));
    out[8] = r.Enabled;
    out[9] = r.Locked;
    out[10] = r.Channel;
    out[11] = r.Reserved;
    return out;
}

// Overlays the bytes a file holds for one record onto the record; missing bytes keep their
// previous content, as reading raw bytes over the table would.
void overlayRecord(PointRecord& r, const std::uint8_t* bytes, std::size_t available) {
    auto raw = encodeRecord(r);
    std::copy_n(bytes, std::min(available, raw.size()), raw.begin());
    r.Position = getLe32(raw.data());
    r.Strength = static_cast<std::int32_t>(getLe32(raw.data() + 4));
    r.Enabled = raw[8];
    r.Locked = raw[9];
    r.Channel = raw[10];
    r.Reserved = raw[11];
}

} // namespace

void savePointFile(const SampleDocument& doc, const std::string& path) {
    std::vector<std::uint8_t> bytes(kPointFileSize);
    putLe32(bytes.data(), static_cast<std::uint32_t>(doc.CandidateCount));
    for (std::size_t i = 0; i < kPointFileRecords; ++i) {
        const auto record = encodeRecord(doc.CandidateTable[i]);
        std::copy(record.begin(), record.end(), bytes.begin() + 4 + i * sizeof(PointRecord));
    }
    SafeFileWriter out(path);
    out.write(bytes.data(), bytes.size());
    out.commit();
}

void openPointFile(SampleDocument& doc, const std::string& path) {
    // A FIFO or a device is never opened: reading one could wait for ever.
    const int fd = openRegularFileForReading(path);
    if (fd < 0)
        throw PointFileError("Cannot open point file " + path +
                             (errno == ENODEV ? ": it is not a regular file" : ""));
    std::vector<std::uint8_t> bytes(kPointFileSize);
    std::size_t got = 0;
    bool failed = false;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed || got < 4)
        throw PointFileError("Not a point file: " + path);

    // A count outside the table's range cannot come from a save; keep the walk inside it.
    const auto count = static_cast<std::int32_t>(getLe32(bytes.data()));
    doc.CandidateCount = std::clamp(count, 0, kMaxCandidates);
    const std::size_t recordBytes = got - 4;
    for (std::size_t i = 0; i * sizeof(PointRecord) < recordBytes; ++i) {
        const std::size_t offset = i * sizeof(PointRecord);
        overlayRecord(doc.CandidateTable[i], bytes.data() + 4 + offset, recordBytes - offset);
    }
    // Every later use of the table (segments, the merge, the view) walks it in order; a file
    // may hold its records in any order. Sorted, the records beyond the data are the last
    // ones, and the cut drops them all.
    const auto first = doc.CandidateTable.begin() + 1;
    std::stable_sort(
        first, first + doc.CandidateCount,
        [](const PointRecord& a, const PointRecord& b) { return a.Position < b.Position; });
    cutCandidatesToData(doc);
}

} // namespace tolvane
