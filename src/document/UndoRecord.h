#pragma once

#include "document/PointRecord.h"
#include "document/SampleDocument.h"
#include "document/TemporaryFiles.h"

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

// What the one saved step is. The codes are the program's own.
enum UndoKind : std::uint8_t {
    kUndoNone = 0,
    kUndoWholeSample = 2, // whole-sample processing: data, candidates, format
    kUndoMovePoint = 3,
    kUndoUnlockPoint = 4,
    kUndoAddPoint = 5,
    kUndoEnablePoint = 6,
    kUndoDisablePoint = 7,
    kUndoLockPoint = 8,
    kUndoReverseSegment = 9,
    kUndoSilenceSegment = 10,
    kUndoReplaceSample = 11,  // strip silence, crop, receive, "Paste All And Keep"
    kUndoReplaceAndScan = 12, // "Paste All And Find New"
    kUndoPasteIntoSegment = 13,
    kUndoCandidateTable = 14, // re-cut, grid cut
    kUndoRemovedPoint = 15,   // an added point, taken out by an undo
    kUndoRandomise = 16,
    kUndoRandomiseKeep = 17,
    kUndoRateChange = 18,
    kUndoReceiveSample = 19, // a received sample: as 11, and the document's name and file
};

class UndoFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asks for an undo record without a file: nothing can be recorded (the command line).
struct NoUndoFile {};

// The temporary file that holds saved sample bytes: "TVT…" (or another prefix, for a scratch
// copy) in the system's temporary folder, removed when the object goes (or by a signal that
// ends the program).
class UndoFile {
public:
    explicit UndoFile(const char* prefix = "TVT");
    explicit UndoFile(NoUndoFile) {}
    ~UndoFile();
    UndoFile(const UndoFile&) = delete;
    UndoFile& operator=(const UndoFile&) = delete;
    // A step of the undo history hands its file on; the file it had goes.
    UndoFile(UndoFile&& other) noexcept;
    UndoFile& operator=(UndoFile&& other) noexcept;

    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }
    // Replaces the file's content; throws UndoFileError (the file is then empty).
    void store(const std::uint8_t* bytes, std::size_t count);
    // Reads the first count bytes; throws UndoFileError.
    void load(std::uint8_t* bytes, std::size_t count) const { loadAt(0, bytes, count); }
    // Reads count bytes from `offset`; throws UndoFileError.
    void loadAt(std::uint64_t offset, std::uint8_t* bytes, std::size_t count) const;
    void clear();

private:
    int m_fd = -1;
    std::string m_path;
    TemporaryFileRegistration m_registration;
};

// One saved step: what it is, the file of its sample bytes, and the tables and format that go
// with it.
struct UndoStep {
    UndoStep() = default;
    explicit UndoStep(NoUndoFile none) : File(none) {}

    UndoFile File;
    std::uint8_t UndoKind = kUndoNone;
    std::int32_t UndoStart = 0;
    std::int32_t UndoLength = 0;
    std::uint8_t UndoChannels = 1;
    std::int32_t UndoRate = 0;
    bool UndoMerge = false;
    PointTable UndoCandidateTable{};
    std::int32_t UndoCandidateCount = 0;
    PointRecord UndoSavedPoint{};
    // The other document's name and file state (kind 19).
    std::string UndoFileName;
    std::int64_t UndoFileDate = 0;
    bool UndoReadOnly = false;
    bool WasUnmodified = false;
};

inline constexpr int kMaxUndoLevels = 100;

// The steps behind and ahead of the current one when more than one level is kept. Steps are
// counted from the load: `position` is how many are done now, `cleanPosition` the count at
// which the document was last unmodified (-1: none that can be reached again).
struct UndoHistory {
    int levels = 1;
    std::deque<UndoStep> older;  // to undo after the current step; the newest last
    std::vector<UndoStep> newer; // to redo; the next one last
    std::int64_t position = 0;
    std::int64_t cleanPosition = -1;
    bool stepSinceReset = false; // a step was recorded since the undo caption was last reset
};

// The undo state: with one level (the default) the one step of undo and redo, which the one
// command exchanges back and forth; with more, the newest step to undo and the history around
// it, walked by "&Undo" and "&Redo".
struct UndoRecord : UndoStep {
    UndoRecord() = default;
    // Undo off and no temporary file at all.
    explicit UndoRecord(NoUndoFile none) : UndoStep(none), UndoEnabled(false) {}

    bool UndoEnabled = true;
    // The state of the "&Undo" command.
    bool available = false;
    bool showsRedo = false;
    UndoHistory history;
};

// Every operation calls this before it records: the command reads "&Undo" again and the
// record remembers whether the document was unmodified.
void resetUndoCaption(UndoRecord& undo, bool documentModified);

// Records sample bytes [start, start + length) for a range kind. Throws UndoFileError when the
// bytes cannot be kept; the document is untouched then and the operation must not go on.
void recordRange(UndoRecord& undo, const SampleDocument& doc, std::int32_t start,
                 std::int32_t length, std::uint8_t kind);
// Records the whole sample, its candidate table and its format (kinds 2, 11, 12).
void recordWholeSample(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind);
// Records the whole sample as kind 19, with the document's name and file state: a received
// sample takes the name the sampler gives it, and undoing gives the old one back.
void recordReceivedSample(UndoRecord& undo, const SampleDocument& doc);
// Records the candidate table (kind 14, and the table half of kind 16) with the channel mode it
// belongs to.
void recordCandidateTable(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind);
// Records the sample rate (kind 18): undoing exchanges the rate and nothing else.
void recordRateChange(UndoRecord& undo, const SampleDocument& doc);
// Records a single-point edit: the candidate's index and, for a move or an addition, a position.
void recordPoint(UndoRecord& undo, std::uint8_t kind, int index, std::uint32_t position = 0);
// Forgets the saved step, and with several levels the whole history (load, new, close, and
// "Enable undo buffer" turned off).
void clearUndo(UndoRecord& undo);
// The candidate table was rebuilt (merge, split, a point file, a scan): a saved single-point
// step names a table index that now means another point, so it is forgotten.
void forgetPointUndo(UndoRecord& undo);
// The document was written to its file: undoing now leaves the file's state, so the undo can
// no longer make the caption clean.
void noteDocumentSaved(UndoRecord& undo);

// What an undo click changed, for the window to follow.
struct UndoOutcome {
    bool applied = false;
    bool captionClean = false;       // the caption loses its "*"
    bool captionModified = false;    // the caption gains "*"
    bool wholeSample = false;        // the data was replaced: show the whole sample
    bool formatChanged = false;      // channels or rate changed
    bool channelModeChanged = false; // merged and split stereo were exchanged with the table
    bool rangeChanged = false;       // bytes inside the sample were exchanged (same length)
    bool rescan = false;             // a scan follows (kind 12)
};

// Exchanges the saved step with the current state, so that the next click redoes it.
// Throws UndoFileError when the saved bytes cannot be exchanged; the document is then as it was.
UndoOutcome undoClick(UndoRecord& undo, SampleDocument& doc, bool documentModified);

// How many steps are kept (1 to 100). Changing it keeps the steps to undo that fit and forgets
// the steps to redo; one level is the single step that one command undoes and redoes.
void setUndoLevels(UndoRecord& undo, int levels);
bool keepsHistory(const UndoRecord& undo);
// With several levels: whether a step can be redone, and the kind of that step.
bool canRedo(const UndoRecord& undo);
std::uint8_t nextRedoKind(const UndoRecord& undo);
// With several levels: undoes the newest step, or redoes the next one, and says whether the
// document is then as it was when last unmodified. Throws UndoFileError when the step's bytes
// cannot be exchanged: the document is then as it was, and that step, with every step beyond it
// in the same direction, is forgotten (they can no longer be reached in order).
UndoOutcome undoStep(UndoRecord& undo, SampleDocument& doc);
UndoOutcome redoStep(UndoRecord& undo, SampleDocument& doc);

// Point-table helpers shared with point editing.
PointRecord removeCandidate(SampleDocument& doc, int index);
// Inserts a record before the first candidate whose position is above `position` (or not below,
// with `atOrAbove`); returns its index.
int insertCandidate(SampleDocument& doc, const PointRecord& record, std::uint32_t position,
                    bool atOrAbove);

} // namespace tolvane
