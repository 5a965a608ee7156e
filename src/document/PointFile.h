#pragma once

#include "document/SampleDocument.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tolvane {

// Count (4 bytes) and candidate-table records 0 to 8192.
inline constexpr std::size_t kPointFileRecords = kMaxCandidates + 1;
inline constexpr std::size_t kPointFileSize = 4 + kPointFileRecords * sizeof(PointRecord);
static_assert(kPointFileSize == 98320);

class PointFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes CandidateCount and records 0 to 8192 of the candidate table, whatever they hold.
// Throws FileWriteError; an existing file is left intact on failure.
void savePointFile(const SampleDocument& doc, const std::string& path);

// Reads a point file into the candidate table. A short file fills only the records it
// holds. The candidates are then sorted by position (stable) and those beyond DataLength
// dropped: the first of them becomes the end record. The caller re-applies the sensitivity
// to rebuild the slice table.
// Throws PointFileError when the file cannot be read; the document is then unchanged.
void openPointFile(SampleDocument& doc, const std::string& path);

} // namespace tolvane
