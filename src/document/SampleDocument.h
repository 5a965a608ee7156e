#pragma once

#include "document/MemoryStream.h"
#include "document/PointRecord.h"

#include <cstdint>
#include <string>

namespace tolvane {

inline constexpr std::size_t kSpareBytes = 64;             // zero bytes kept after the data
inline constexpr double kDefaultPreEmphasis = 0.63;        // coefficient of the transient scan
inline constexpr std::int32_t kThresholdAfterLoad = 65536; // selects nothing until the slider moves
inline constexpr const char* kUntitledName = "Untitled";
// The highest sample rate the editor takes: above it a header is more likely damaged than real,
// and the scan's windows (which grow with the rate) would take minutes.
inline constexpr std::uint32_t kMaxSampleRate = 768000;

// The one open sample. Field names are the documented ones so that every part of the
// program (and its readers) agrees on them. Positions are byte offsets into SampleData;
// a frame is 2 * Channels bytes; in stereo a position whose low two bits are 2 addresses
// the right sample of its frame.
//
// There is no lock: a worker runs only while Busy is set and the window is disabled.
struct SampleDocument {
    // Format and data.
    MemoryStream SampleData; // DataLength bytes of 16-bit LE PCM, then kSpareBytes spare bytes
    std::int32_t DataLength = 0;
    std::uint32_t SampleRate = 0;
    std::uint32_t BytesPerSecond = 0;
    std::uint16_t BitsPerSample = 0;
    std::uint16_t Channels = 0;
    std::string FileName;
    bool DocumentOpen = false;
    bool ReadOnlyFile = false;
    std::int64_t FileDate = 0; // modification time when opened (nanoseconds since the epoch)

    // Point tables.
    PointTable CandidateTable{};
    std::int32_t CandidateCount = 0;
    PointTable SliceTable{};
    std::int32_t SliceCount = 0;

    // Shared selection state.
    std::int32_t Threshold = kThresholdAfterLoad;
    std::uint32_t LocatorL = 0;
    std::uint32_t LocatorR = 0;
    std::int32_t SelectedSegment = 1;
    std::uint8_t FirstChannel = 1; // 1 = left, 2 = right
    std::uint8_t LastChannel = 2;

    // The musical length of the locator region and the tempo it gives.
    std::uint16_t LoopBars = 0;
    std::int16_t LoopBeats = 0;
    double LoopTempo = 0.0; // beats per minute

    // Flags.
    bool MergeChannels = false;
    bool DetectPending = false;
    bool KeepCandidates = false;
    bool DetectRunning = false;
    bool Busy = false;

    double PreEmphasis = kDefaultPreEmphasis;

    int frameBytes() const { return 2 * Channels; }
    // The end record of the candidate table (index CandidateCount + 1).
    PointRecord& candidateEndRecord() { return CandidateTable[CandidateCount + 1]; }
};

// Empties the document: no sample, no points, no file name.
void closeDocument(SampleDocument& doc);

// Closes the document and opens a one-sample silent mono 44100 Hz document named "Untitled".
void newEmptyDocument(SampleDocument& doc);

// Whether the sample came from a file or was saved to one, so that the file can be read again:
// not a new "Untitled" document, nor a sample received from a sampler (named, with no folder
// and no file date) and never saved.
bool hasFileOfItsOwn(const SampleDocument& doc);

// Cuts the candidate count back at the first record (the end record included) that lies
// beyond the data, and closes the table with its start record at 0 and end record at DataLength.
void cutCandidatesToData(SampleDocument& doc);

// The channel choice of the channel items: left only (1..1), right only (2..2) or both (1..2).
// Neither is no choice: it keeps both.
void chooseChannels(SampleDocument& doc, bool left, bool right);

// Status-bar format text: "16 Bit / 44100 hz stereo" (the channel word only for 1 or 2).
std::string formatStatusText(std::uint16_t bits, std::uint32_t rate, std::uint16_t channels);

} // namespace tolvane
