#include "document/UndoRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

bool isSinglePointKind(std::uint8_t kind) {
    return (kind >= kUndoMovePoint && kind <= kUndoLockPoint) || kind == kUndoRemovedPoint;
}

// Kinds that replace the sample: the format and the candidate table travel with the data.
bool replacesSample(std::uint8_t kind) {
    return kind == kUndoReplaceSample || kind == kUndoReplaceAndScan || kind == kUndoReceiveSample;
}

bool isWholeSampleKind(std::uint8_t kind) {
    return kind == kUndoWholeSample || replacesSample(kind);
}

void exchangeFileState(UndoRecord& undo, SampleDocument& doc) {
    std::swap(doc.FileName, undo.UndoFileName);
    std::swap(doc.FileDate, undo.UndoFileDate);
    std::swap(doc.ReadOnlyFile, undo.UndoReadOnly);
}

// A table is only meaningful in the channel mode it was made in (split stereo tags each record
// with its channel), so the mode travels with it.
bool exchangeCandidateTables(UndoRecord& undo, SampleDocument& doc) {
    std::swap(doc.CandidateTable, undo.UndoCandidateTable);
    std::swap(doc.CandidateCount, undo.UndoCandidateCount);
    if (doc.MergeChannels == undo.UndoMerge)
        return false;
    std::swap(doc.MergeChannels, undo.UndoMerge);
    return true;
}

// Whether a single-point step still names a candidate of the table.
bool pointIndexValid(const UndoRecord& undo, const SampleDocument& doc) {
    const int index = undo.UndoCandidateCount;
    if (undo.UndoKind == kUndoRemovedPoint)
        return doc.CandidateCount < kMaxCandidates;
    return index >= 1 && index <= doc.CandidateCount;
}

void writeAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw UndoFileError(std::string("cannot write the undo file: ") + std::strerror(errno));
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

// Exchanges document bytes [start, start + length) with the undo file's first `length` bytes.
void exchangeRange(UndoRecord& undo, SampleDocument& doc) {
    const std::int64_t start = std::clamp<std::int64_t>(undo.UndoStart, 0, doc.DataLength);
    const std::int64_t length =
        std::clamp<std::int64_t>(undo.UndoLength, 0, doc.DataLength - start);
    std::vector<std::uint8_t> saved(static_cast<std::size_t>(length));
    undo.File.load(saved.data(), saved.size());
    undo.File.store(doc.SampleData.data() + start, saved.size());
    std::copy(saved.begin(), saved.end(), doc.SampleData.data() + start);
}

// Exchanges the whole sample data with the undo file.
void exchangeWholeSample(UndoRecord& undo, SampleDocument& doc) {
    const auto length = static_cast<std::size_t>(undo.UndoLength);
    ByteBuffer saved(length + kSpareBytes);
    std::fill(saved.begin() + static_cast<std::ptrdiff_t>(length), saved.end(), std::uint8_t{0});
    undo.File.load(saved.data(), length);
    undo.File.store(doc.SampleData.data(), static_cast<std::size_t>(doc.DataLength));
    const std::int32_t oldLength = doc.DataLength;
    doc.SampleData.adopt(std::move(saved));
    doc.DataLength = undo.UndoLength;
    undo.UndoLength = oldLength;
    undo.UndoStart = 0;
}

UndoStep& stepOf(UndoRecord& undo) {
    return undo;
}

bool keepsHistoryNow(const UndoRecord& undo) {
    return undo.history.levels > 1;
}

// The current step gives way to an empty one with a file of its own.
void emptyCurrentStep(UndoRecord& undo) {
    stepOf(undo) = UndoStep{};
    undo.available = false;
    undo.showsRedo = false;
}

// The newest older step becomes the current one (or none is left).
void takeNewestOlder(UndoRecord& undo) {
    auto& older = undo.history.older;
    if (older.empty()) {
        emptyCurrentStep(undo);
        return;
    }
    stepOf(undo) = std::move(older.back());
    older.pop_back();
    undo.available = true;
    undo.showsRedo = false;
}

void trimOlder(UndoRecord& undo) {
    auto& older = undo.history.older;
    while (!older.empty() && older.size() > static_cast<std::size_t>(undo.history.levels - 1))
        older.pop_front(); // its file goes with it
}

// Before a new step is recorded, the current one joins the older steps; false when there was
// none. Only with several levels.
bool beginStep(UndoRecord& undo) {
    if (!keepsHistoryNow(undo) || !undo.available)
        return false;
    undo.history.older.push_back(std::move(stepOf(undo)));
    emptyCurrentStep(undo);
    return true;
}

// The recording failed: the step that was current comes back, and the steps to redo stay.
void abandonStep(UndoRecord& undo, bool begun) {
    if (begun)
        takeNewestOlder(undo);
}

// The new step is kept: the steps to redo are another branch now, and the oldest step falls
// off when there are more than the levels.
void commitStep(UndoRecord& undo) {
    if (!keepsHistoryNow(undo))
        return;
    UndoHistory& history = undo.history;
    history.newer.clear();
    if (history.cleanPosition > history.position)
        history.cleanPosition = -1; // the unmodified state was on the branch just dropped
    ++history.position;
    history.stepSinceReset = true;
    trimOlder(undo);
}

template <typename Record> void recordNewStep(UndoRecord& undo, Record record) {
    const bool begun = beginStep(undo);
    try {
        record();
    } catch (...) {
        abandonStep(undo, begun);
        throw;
    }
    commitStep(undo);
}

// Whether undoing (or redoing) the step puts the whole candidate table back, so that the steps
// beyond it find the table they were made on.
bool restoresCandidateTable(const UndoStep& step) {
    const std::uint8_t kind = step.UndoKind;
    return kind == kUndoWholeSample || kind == kUndoCandidateTable || kind == kUndoRandomise ||
           (replacesSample(kind) && step.UndoLength != 0);
}

// The table was rebuilt without a step: walking from the current state, a single-point step met
// before any step that puts a table back names an index that now means another point. It and
// every step beyond it are forgotten.
void forgetPointStepsBeyondRebuild(UndoRecord& undo) {
    UndoHistory& history = undo.history;
    bool walkOlder = true;
    if (undo.available) {
        if (isSinglePointKind(undo.UndoKind)) {
            history.older.clear();
            emptyCurrentStep(undo);
            walkOlder = false;
        } else if (restoresCandidateTable(undo)) {
            walkOlder = false; // the steps below find their table again
        }
    }
    for (auto it = history.older.rbegin(); walkOlder && it != history.older.rend(); ++it) {
        if (restoresCandidateTable(*it))
            break;
        if (isSinglePointKind(it->UndoKind)) {
            history.older.erase(history.older.begin(), it.base());
            break;
        }
    }
    auto& newer = history.newer;
    for (auto it = newer.rbegin(); it != newer.rend(); ++it) {
        if (restoresCandidateTable(*it))
            break;
        if (isSinglePointKind(it->UndoKind)) {
            newer.erase(newer.begin(), it.base());
            break;
        }
    }
}

void setHistoryCaption(UndoRecord& undo, UndoOutcome& outcome) {
    outcome.captionClean = undo.history.position == undo.history.cleanPosition;
    outcome.captionModified = !outcome.captionClean;
    undo.history.stepSinceReset = false;
}

} // namespace

UndoFile::UndoFile(const char* prefix) {
    std::error_code ec;
    const auto folder = std::filesystem::temp_directory_path(ec);
    if (ec)
        return;
    std::string pattern = (folder / (std::string(prefix) + "XXXXXX")).string();
    m_fd = makeRegisteredTemporaryFile(pattern, m_registration);
    if (m_fd >= 0)
        m_path = pattern;
}

UndoFile::~UndoFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

UndoFile::UndoFile(UndoFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_registration(std::move(other.m_registration)) {
    other.m_path.clear();
}

UndoFile& UndoFile::operator=(UndoFile&& other) noexcept {
    if (this != &other) {
        UndoFile gone(std::move(*this));
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        other.m_path.clear();
        m_registration = std::move(other.m_registration);
    }
    return *this;
}

void UndoFile::store(const std::uint8_t* bytes, std::size_t count) {
    if (m_fd < 0)
        throw UndoFileError("the undo file is not open");
    if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)
        throw UndoFileError(std::string("cannot empty the undo file: ") + std::strerror(errno));
    try {
        writeAll(m_fd, bytes, count);
    } catch (...) {
        clear();
        throw;
    }
}

void UndoFile::loadAt(std::uint64_t offset, std::uint8_t* bytes, std::size_t count) const {
    if (m_fd < 0)
        throw UndoFileError("the undo file is not open");
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(m_fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw UndoFileError("the undo file is shorter than its record");
        done += static_cast<std::size_t>(n);
    }
}

void UndoFile::clear() {
    if (m_fd >= 0 && ::ftruncate(m_fd, 0) == 0)
        ::lseek(m_fd, 0, SEEK_SET);
}

void resetUndoCaption(UndoRecord& undo, bool documentModified) {
    undo.showsRedo = false;
    undo.WasUnmodified = !documentModified;
    // With a history: an unmodified document here is the state before the step being recorded
    // (a reset after the recording) or the current one (a reset before it).
    UndoHistory& history = undo.history;
    if (!documentModified)
        history.cleanPosition = history.stepSinceReset ? history.position - 1 : history.position;
    history.stepSinceReset = false;
}

namespace {

void storeRange(UndoRecord& undo, const SampleDocument& doc, std::int32_t start,
                std::int32_t length, std::uint8_t kind) {
    start = std::clamp(start, 0, doc.DataLength);
    length = std::clamp(length, 0, doc.DataLength - start);
    undo.available = false;
    undo.UndoLength = 0;
    undo.File.store(doc.SampleData.data() + start, static_cast<std::size_t>(length));
    undo.UndoStart = start;
    undo.UndoLength = length;
    undo.UndoKind = kind;
    undo.UndoChannels = static_cast<std::uint8_t>(doc.Channels);
    undo.UndoRate = static_cast<std::int32_t>(doc.SampleRate);
    undo.available = true;
}

void storeWholeSample(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    storeRange(undo, doc, 0, doc.DataLength, kind);
    undo.UndoMerge = doc.MergeChannels;
    undo.UndoCandidateTable = doc.CandidateTable;
    undo.UndoCandidateCount = doc.CandidateCount;
}

void storeCandidateTable(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    undo.UndoCandidateTable = doc.CandidateTable;
    undo.UndoCandidateCount = doc.CandidateCount;
    undo.UndoMerge = doc.MergeChannels;
    undo.UndoKind = kind;
    undo.UndoLength = kind == kUndoRandomise ? undo.UndoLength : 0;
    undo.available = true;
}

} // namespace

void recordRange(UndoRecord& undo, const SampleDocument& doc, std::int32_t start,
                 std::int32_t length, std::uint8_t kind) {
    if (undo.UndoEnabled)
        recordNewStep(undo, [&] { storeRange(undo, doc, start, length, kind); });
}

void recordWholeSample(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    if (undo.UndoEnabled)
        recordNewStep(undo, [&] { storeWholeSample(undo, doc, kind); });
}

void recordReceivedSample(UndoRecord& undo, const SampleDocument& doc) {
    if (!undo.UndoEnabled)
        return;
    recordNewStep(undo, [&] {
        storeWholeSample(undo, doc, kUndoReceiveSample);
        undo.UndoFileName = doc.FileName;
        undo.UndoFileDate = doc.FileDate;
        undo.UndoReadOnly = doc.ReadOnlyFile;
    });
}

void recordCandidateTable(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    if (!undo.UndoEnabled)
        return;
    // The table of a randomise joins the shuffled bytes its step already holds.
    if (kind == kUndoRandomise)
        storeCandidateTable(undo, doc, kind);
    else
        recordNewStep(undo, [&] { storeCandidateTable(undo, doc, kind); });
}

void recordRateChange(UndoRecord& undo, const SampleDocument& doc) {
    if (!undo.UndoEnabled)
        return;
    recordNewStep(undo, [] {});
    undo.File.clear(); // the bytes of an earlier step are no longer needed
    undo.UndoKind = kUndoRateChange;
    undo.UndoRate = static_cast<std::int32_t>(doc.SampleRate);
    undo.UndoChannels = static_cast<std::uint8_t>(doc.Channels);
    undo.UndoLength = 0;
    undo.available = true;
}

void recordPoint(UndoRecord& undo, std::uint8_t kind, int index, std::uint32_t position) {
    if (!undo.UndoEnabled)
        return;
    recordNewStep(undo, [] {});
    undo.UndoKind = kind;
    undo.UndoCandidateCount = index;
    undo.UndoStart = static_cast<std::int32_t>(position);
    undo.UndoLength = 0;
    undo.available = true;
}

void clearUndo(UndoRecord& undo) {
    undo.File.clear();
    undo.UndoKind = kUndoNone;
    undo.UndoLength = 0;
    undo.available = false;
    undo.showsRedo = false;
    UndoHistory& history = undo.history;
    history.older.clear();
    history.newer.clear();
    history.position = 0;
    history.cleanPosition = -1;
    history.stepSinceReset = false;
}

void forgetPointUndo(UndoRecord& undo) {
    if (keepsHistoryNow(undo))
        forgetPointStepsBeyondRebuild(undo);
    else if (isSinglePointKind(undo.UndoKind))
        clearUndo(undo);
}

void noteDocumentSaved(UndoRecord& undo) {
    undo.WasUnmodified = false;
    undo.history.cleanPosition = undo.history.position;
    undo.history.stepSinceReset = false;
}

void setUndoLevels(UndoRecord& undo, int levels) {
    levels = std::clamp(levels, 1, kMaxUndoLevels);
    UndoHistory& history = undo.history;
    if (levels == history.levels)
        return;
    history.newer.clear();
    if (history.cleanPosition > history.position)
        history.cleanPosition = -1;
    if (undo.showsRedo) // the one step was undone: it is a step to redo, and those go
        emptyCurrentStep(undo);
    history.levels = levels;
    trimOlder(undo);
}

bool keepsHistory(const UndoRecord& undo) {
    return keepsHistoryNow(undo);
}

bool canRedo(const UndoRecord& undo) {
    return keepsHistoryNow(undo) && undo.UndoEnabled && !undo.history.newer.empty();
}

std::uint8_t nextRedoKind(const UndoRecord& undo) {
    return undo.history.newer.empty() ? std::uint8_t{kUndoNone}
                                      : undo.history.newer.back().UndoKind;
}

PointRecord removeCandidate(SampleDocument& doc, int index) {
    const PointRecord removed = doc.CandidateTable[index];
    auto first = doc.CandidateTable.begin();
    std::move(first + index + 1, first + doc.CandidateCount + 2, first + index);
    --doc.CandidateCount;
    return removed;
}

int insertCandidate(SampleDocument& doc, const PointRecord& record, std::uint32_t position,
                    bool atOrAbove) {
    int index = 1;
    while (index <= doc.CandidateCount &&
           (atOrAbove ? doc.CandidateTable[index].Position < position
                      : doc.CandidateTable[index].Position <= position))
        ++index;
    auto first = doc.CandidateTable.begin();
    std::move_backward(first + index, first + doc.CandidateCount + 2,
                       first + doc.CandidateCount + 3);
    doc.CandidateTable[index] = record;
    ++doc.CandidateCount;
    return index;
}

UndoOutcome undoClick(UndoRecord& undo, SampleDocument& doc, bool documentModified) {
    UndoOutcome outcome;
    if (!undo.available)
        return outcome;
    const std::uint8_t kind = undo.UndoKind;
    if (isSinglePointKind(kind) && !pointIndexValid(undo, doc)) {
        clearUndo(undo); // the point it names is gone: nothing to exchange
        return outcome;
    }
    const bool dataKind = !isSinglePointKind(kind) && kind != kUndoCandidateTable &&
                          kind != kUndoRateChange && kind != kUndoNone && undo.UndoLength != 0;
    // The saved bytes go first: if they cannot be exchanged nothing else changes.
    if (dataKind) {
        if (isWholeSampleKind(kind))
            exchangeWholeSample(undo, doc);
        else
            exchangeRange(undo, doc);
    }
    outcome.applied = true;
    undo.showsRedo = !undo.showsRedo;
    if (kind == kUndoRandomise || kind == kUndoWholeSample)
        outcome.channelModeChanged |= exchangeCandidateTables(undo, doc);

    if (undo.WasUnmodified) {
        outcome.captionClean = true;
        undo.WasUnmodified = false;
    } else if (!isSinglePointKind(kind) && kind != kUndoCandidateTable) {
        const bool showsRedo = undo.showsRedo;
        resetUndoCaption(undo, documentModified);
        undo.showsRedo = showsRedo; // resetting keeps the text this click just set
        outcome.captionModified = true;
    }

    if (!isWholeSampleKind(kind) && kind != kUndoRateChange)
        undo.UndoChannels = static_cast<std::uint8_t>(doc.Channels);
    if (kind == kUndoRateChange) {
        const auto rate = static_cast<std::int32_t>(doc.SampleRate);
        doc.SampleRate = static_cast<std::uint32_t>(undo.UndoRate);
        undo.UndoRate = rate;
        doc.BytesPerSecond = doc.SampleRate * doc.frameBytes();
        outcome.formatChanged = true;
    }
    if (!replacesSample(kind) && kind != kUndoRateChange)
        undo.UndoRate = static_cast<std::int32_t>(doc.SampleRate);

    const int index = undo.UndoCandidateCount;
    switch (kind) {
    case kUndoCandidateTable:
        outcome.channelModeChanged |= exchangeCandidateTables(undo, doc);
        break;
    case kUndoEnablePoint:
        doc.CandidateTable[index].Enabled = 0;
        undo.UndoKind = kUndoDisablePoint;
        break;
    case kUndoDisablePoint:
        doc.CandidateTable[index].Enabled = 1;
        undo.UndoKind = kUndoEnablePoint;
        break;
    case kUndoUnlockPoint:
        doc.CandidateTable[index].Locked = 1;
        undo.UndoKind = kUndoLockPoint;
        break;
    case kUndoLockPoint:
        doc.CandidateTable[index].Locked = 0;
        undo.UndoKind = kUndoUnlockPoint;
        break;
    case kUndoAddPoint:
        undo.UndoSavedPoint = removeCandidate(doc, index);
        undo.UndoKind = kUndoRemovedPoint;
        break;
    case kUndoRemovedPoint:
        if (doc.CandidateCount < kMaxCandidates) {
            undo.UndoCandidateCount = insertCandidate(
                doc, undo.UndoSavedPoint, static_cast<std::uint32_t>(undo.UndoStart), false);
            undo.UndoKind = kUndoAddPoint;
        }
        break;
    case kUndoMovePoint: {
        PointRecord moved = removeCandidate(doc, index);
        const std::uint32_t had = moved.Position;
        moved.Position = static_cast<std::uint32_t>(undo.UndoStart);
        undo.UndoCandidateCount = insertCandidate(doc, moved, moved.Position, true);
        undo.UndoStart = static_cast<std::int32_t>(had);
        break;
    }
    default:
        break;
    }

    if (dataKind && !isWholeSampleKind(kind))
        outcome.rangeChanged = true;
    if (dataKind && isWholeSampleKind(kind)) {
        if (kind != kUndoWholeSample)
            outcome.channelModeChanged |= exchangeCandidateTables(undo, doc);
        if (kind == kUndoReceiveSample)
            exchangeFileState(undo, doc);
        if (undo.UndoChannels != doc.Channels ||
            undo.UndoRate != static_cast<std::int32_t>(doc.SampleRate)) {
            const std::uint16_t channels = doc.Channels;
            const auto rate = static_cast<std::int32_t>(doc.SampleRate);
            doc.Channels = undo.UndoChannels;
            doc.SampleRate = static_cast<std::uint32_t>(undo.UndoRate);
            undo.UndoChannels = static_cast<std::uint8_t>(channels);
            undo.UndoRate = rate;
            doc.BytesPerSecond = doc.SampleRate * doc.frameBytes();
            outcome.formatChanged = true;
        }
        doc.LocatorL = 0;
        doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
        outcome.wholeSample = true;
        if (kind == kUndoReplaceAndScan) {
            doc.DetectPending = true;
            outcome.rescan = true;
        }
    }
    if (outcome.formatChanged || outcome.channelModeChanged) {
        doc.FirstChannel = 1;
        doc.LastChannel = 2;
    }
    return outcome;
}

UndoOutcome undoStep(UndoRecord& undo, SampleDocument& doc) {
    UndoOutcome outcome;
    if (!keepsHistoryNow(undo) || !undo.available)
        return outcome;
    UndoHistory& history = undo.history;
    if (isSinglePointKind(undo.UndoKind) && !pointIndexValid(undo, doc)) {
        history.older.clear(); // the point it names is gone: nothing below it can be reached
        emptyCurrentStep(undo);
        return outcome;
    }
    try {
        outcome = undoClick(undo, doc, true);
    } catch (const UndoFileError&) {
        history.older.clear();
        emptyCurrentStep(undo);
        throw;
    }
    undo.showsRedo = false;
    history.newer.push_back(std::move(stepOf(undo)));
    takeNewestOlder(undo);
    --history.position;
    setHistoryCaption(undo, outcome);
    return outcome;
}

UndoOutcome redoStep(UndoRecord& undo, SampleDocument& doc) {
    UndoOutcome outcome;
    if (!canRedo(undo))
        return outcome;
    UndoHistory& history = undo.history;
    UndoStep next = std::move(history.newer.back());
    history.newer.pop_back();
    if (undo.available)
        history.older.push_back(std::move(stepOf(undo)));
    stepOf(undo) = std::move(next);
    undo.available = true;
    undo.showsRedo = false;
    const auto dropFromHere = [&] {
        history.newer.clear();
        takeNewestOlder(undo);
    };
    if (isSinglePointKind(undo.UndoKind) && !pointIndexValid(undo, doc)) {
        dropFromHere();
        return outcome;
    }
    try {
        outcome = undoClick(undo, doc, true);
    } catch (const UndoFileError&) {
        dropFromHere();
        throw;
    }
    undo.showsRedo = false;
    undo.available = true;
    ++history.position;
    setHistoryCaption(undo, outcome);
    return outcome;
}

} // namespace tolvane
