#pragma once

#include "document/SampleDocument.h"
#include "fileio/FormatRecord.h"
#include "fileio/TWavParser.h"

#include <cstdint>
#include <string>

namespace tolvane {

// Whether a file is read as RIFF/WAVE (its name ends in ".wav", in any case) or as AIFF.
bool isWaveFileName(const std::string& fileName);

// What the header of a sample file says: format, where the samples begin and how many
// bytes the data chunk declares.
struct SampleFileInfo {
    FormatRecord format;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;
    FileLayout layout = FileLayout::RiffWave;
};

// Parses the header of a RIFF/WAVE or AIFF file (the layout chosen by name). Throws
// EWavParserError, EChunkNotFound or a plain std::runtime_error("Invalid WAV").
SampleFileInfo readSampleFileInfo(const std::string& fileName);

enum class Acceptance { Accepted = 0, WrongFormat = 1, Unreadable = 2 };

struct AcceptanceReport {
    Acceptance result = Acceptance::Unreadable;
    SampleFileInfo info;   // valid unless Unreadable
    bool readOnly = false; // the file cannot be written (the read-only attribute)
    std::string error;     // the parser's message when Unreadable
};

// The test run before every load: 16-bit PCM mono or stereo is accepted; other formats are
// the wrong format; any failure to parse the header makes the file unreadable.
AcceptanceReport testSampleFile(const std::string& fileName);

// The data length a document holds for a data chunk of the given size: whole frames only.
std::int32_t loadableDataLength(std::uint32_t chunkSize, std::uint16_t channels);

// The data length a load gives for a file of `fileSize` bytes: what the file holds of the data
// chunk, and of what it cuts short at most as much again as the whole file as silence (a header
// that declares far more than the file could hold never makes a load allocate it); whole frames.
std::int32_t loadedDataLength(const SampleFileInfo& info, std::uint64_t fileSize);

// Loads the format and the sample data of an accepted file into the document: DataLength
// bytes of little-endian samples followed by the spare bytes. A data chunk that the file
// cuts short fills only what the file holds; the rest stays silent. Throws like
// readSampleFileInfo, and leaves the document untouched when it throws.
void loadSampleFile(SampleDocument& doc, const std::string& fileName);

// Takes a sample that loadSampleFile read into `loaded` (on a worker, say) into the document
// as a fresh load: closes the current document, moves the data in and sets the state a load
// starts from (locators at both ends, threshold 65536, both channels chosen, stereo merged, a
// scan pending).
void adoptLoadedSample(SampleDocument& doc, SampleDocument&& loaded, const std::string& fileName);

// The document side of opening a file in the editor: closes the current document, loads the
// file and sets the state a fresh load starts from (locators at both ends, threshold 65536,
// both channels chosen, stereo merged, a scan pending). Throws like loadSampleFile; the
// document is then unchanged.
void openSampleDocument(SampleDocument& doc, const std::string& fileName);

// Whether the file has no write permission for us (the read-only attribute).
bool isReadOnlyFile(const std::string& fileName);
// The modification time of a file (0 when it cannot be read).
std::int64_t fileModificationDate(const std::string& fileName);

} // namespace tolvane
