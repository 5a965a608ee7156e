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
}

void recordRange(UndoRecord& undo, const SampleDocument& doc, std::int32_t start,
                 std::int32_t length, std::uint8_t kind) {
    if (!undo.UndoEnabled)
        return;
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

void recordWholeSample(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    if (!undo.UndoEnabled)
        return;
    recordRange(undo, doc, 0, doc.DataLength, kind);
    undo.UndoMerge = doc.MergeChannels;
    undo.UndoCandidateTable = doc.CandidateTable;
    undo.UndoCandidateCount = doc.CandidateCount;
}

void recordReceivedSample(UndoRecord& undo, const SampleDocument& doc) {
    if (!undo.UndoEnabled)
        return;
    recordWholeSample(undo, doc, kUndoReceiveSample);
    undo.UndoFileName = doc.FileName;
    undo.UndoFileDate = doc.FileDate;
    undo.UndoReadOnly = doc.ReadOnlyFile;
}

void recordCandidateTable(UndoRecord& undo, const SampleDocument& doc, std::uint8_t kind) {
    if (!undo.UndoEnabled)
        return;
    undo.UndoCandidateTable = doc.CandidateTable;
    undo.UndoCandidateCount = doc.CandidateCount;
    undo.UndoMerge = doc.MergeChannels;
    undo.UndoKind = kind;
    undo.UndoLength = kind == kUndoRandomise ? undo.UndoLength : 0;
    undo.available = true;
}

void recordRateChange(UndoRecord& undo, const SampleDocument& doc) {
    if (!undo.UndoEnabled)
        return;
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
}

void forgetPointUndo(UndoRecord& undo) {
    if (isSinglePointKind(undo.UndoKind))
        clearUndo(undo);
}

void noteDocumentSaved(UndoRecord& undo) {
    undo.WasUnmodified = false;
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

} // namespace tolvane
