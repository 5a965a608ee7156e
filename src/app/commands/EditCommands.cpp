#include "app/commands/EditCommands.h"

#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/SliceCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/commands/ViewCommands.h"
#include "audio/twabeAudio.h"
#include "document/ClipboardImage.h"
#include "slicing/PointEditing.h"
#include "slicing/SampleReplacement.h"
#include "slicing/SliceSelection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <span>

namespace tolvane {
namespace {

constexpr const char* kWaveMime = "audio/wav";
constexpr const char* kWaveMimeAlternative = "audio/x-wav";

QByteArray clipboardItem() {
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime)
        return {};
    if (mime->hasFormat(kWaveMime))
        return mime->data(kWaveMime);
    return mime->data(kWaveMimeAlternative);
}

void putOnClipboard(const std::vector<std::uint8_t>& image) {
    auto* mime = new QMimeData;
    mime->setData(kWaveMime, QByteArray(reinterpret_cast<const char*>(image.data()),
                                        static_cast<qsizetype>(image.size())));
    QApplication::clipboard()->setMimeData(mime);
}

std::span<const std::uint8_t> bytesOf(const QByteArray& array) {
    return {reinterpret_cast<const std::uint8_t*>(array.constData()),
            static_cast<std::size_t>(array.size())};
}

bool replacesWholeSample(std::uint8_t kind) {
    return kind == kUndoWholeSample || kind == kUndoReplaceSample || kind == kUndoReplaceAndScan ||
           kind == kUndoReceiveSample;
}

} // namespace

void EditCommands::mnuUndoClick() {
    if (!m_ctx.controls.mnuUndo->isEnabled() || m_ctx.busy())
        return;
    if (keepsHistory(m_ctx.undo)) {
        walkHistory(m_ctx.undo.UndoKind, [this] { return undoStep(m_ctx.undo, m_ctx.doc); });
        return;
    }
    // A whole-sample step replaces the buffer the player reads: nothing may play from it.
    if (replacesWholeSample(m_ctx.undo.UndoKind))
        m_play.Button24Click();
    SampleDocument& doc = m_ctx.doc;
    doc.Busy = true;
    UndoOutcome outcome;
    try {
        outcome = undoClick(m_ctx.undo, doc, m_ctx.state.modified);
    } catch (const UndoFileError& e) {
        doc.Busy = false;
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
        return;
    }
    doc.Busy = false;
    followUndo(outcome);
}

void EditCommands::mnuRedoClick() {
    if (!m_ctx.controls.mnuRedo->isEnabled() || m_ctx.busy() || !canRedo(m_ctx.undo))
        return;
    walkHistory(nextRedoKind(m_ctx.undo), [this] { return redoStep(m_ctx.undo, m_ctx.doc); });
}

// One step back or forward through the history: a step that cannot be read is forgotten with
// the ones beyond it, and the sample stays as it is.
void EditCommands::walkHistory(std::uint8_t kind, const std::function<UndoOutcome()>& step) {
    if (replacesWholeSample(kind))
        m_play.Button24Click();
    SampleDocument& doc = m_ctx.doc;
    doc.Busy = true;
    UndoOutcome outcome;
    try {
        outcome = step();
    } catch (const UndoFileError& e) {
        doc.Busy = false;
        m_ctx.dialogs.message(
            MessageKind::Error, "",
            QString("The undo buffer could not be read (%1).\r\nThe sample was not changed; the "
                    "steps beyond this one can no longer be reached and were removed.")
                .arg(QString::fromStdString(e.what())));
        m_ctx.updateUndoCommand();
        m_ctx.window.updateCommandStates();
        return;
    }
    doc.Busy = false;
    followUndo(outcome);
}

// The window follows what an undo or redo changed.
void EditCommands::followUndo(const UndoOutcome& outcome) {
    SampleDocument& doc = m_ctx.doc;
    if (outcome.captionClean)
        m_ctx.state.modified = false;
    if (outcome.captionModified)
        m_ctx.state.modified = true;
    m_ctx.window.setCaption();
    if (outcome.wholeSample) {
        m_view.showWholeSample();
        m_play.reopenOutput(); // the restored data, channels and rate
    } else if (outcome.formatChanged) {
        m_play.reopenOutput(); // the restored rate
    } else if (outcome.rangeChanged && m_ctx.player) {
        m_ctx.player->refresh();
    }
    if (outcome.formatChanged)
        m_ctx.setStatus(1, m_ctx.formatText());
    if (outcome.formatChanged || outcome.channelModeChanged)
        m_slices.showRestoredChannelMode();
    if (outcome.rescan)
        m_slices.keepChannelChoiceAtNextScan();
    ViewState& view = m_ctx.view;
    view.viewEnd = std::min(view.viewEnd, doc.DataLength);
    view.viewLength = view.viewEnd - view.viewStart;
    m_ctx.updateUndoCommand();
    m_ctx.window.updateCommandStates();
    m_ctx.window.relayout();
    m_ctx.display.redrawAll();
    m_tempo.recomputeTempo();
}

void EditCommands::mnuCopyAllClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    putOnClipboard(
        makeClipboardImage({doc.SampleData.data(), static_cast<std::size_t>(doc.DataLength)},
                           doc.Channels, doc.SampleRate, doc.BytesPerSecond, doc.BitsPerSample));
}

void EditCommands::CopySegment1Click() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const auto segment = m_ctx.segmentUnderPointer();
    if (!segment || segment->end <= segment->start)
        return;
    const std::uint8_t* data = doc.SampleData.data();
    std::vector<std::uint8_t> bytes;
    std::uint16_t channels = doc.Channels;
    if (m_ctx.isSplitStereo()) {
        // One channel: every second 16-bit sample from the segment's start.
        channels = 1;
        for (std::uint32_t at = segment->start; at + 1 < segment->end; at += 4) {
            bytes.push_back(data[at]);
            bytes.push_back(data[at + 1]);
        }
    } else {
        bytes.assign(data + segment->start, data + segment->end);
    }
    putOnClipboard(makeClipboardImage(bytes, channels, doc.SampleRate,
                                      doc.SampleRate * 2 * channels, doc.BitsPerSample));
}

void EditCommands::PasteIntoSegment2Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const auto segment = m_ctx.segmentUnderPointer();
    const QByteArray item = clipboardItem();
    const auto pasted = pastedSegmentBytes(bytesOf(item));
    if (!segment || !pasted || segment->end <= segment->start)
        return;
    const bool split = m_ctx.isSplitStereo();
    const std::uint32_t start = segment->start;
    const std::uint32_t span = std::min<std::uint32_t>(segment->end, doc.DataLength) - start;
    const std::uint32_t perChannel = split ? span / 2 : span; // the segment's own channel
    if (!m_ctx.recordUndo([&] {
            recordRange(m_ctx.undo, doc, static_cast<std::int32_t>(start),
                        static_cast<std::int32_t>(span), kUndoPasteIntoSegment);
        }))
        return;
    // The clipboard's bytes, then silence for what they do not cover; never past the segment.
    std::uint8_t* data = doc.SampleData.data();
    const std::size_t step = split ? 4 : 2;
    for (std::uint32_t i = 0; i + 1 < perChannel; i += 2) {
        const std::size_t at = start + (i / 2) * step;
        if (at + 1 >= static_cast<std::size_t>(doc.DataLength))
            break;
        const bool fromClipboard = i + 1 < pasted->size();
        data[at] = fromClipboard ? (*pasted)[i] : 0;
        data[at + 1] = fromClipboard ? (*pasted)[i + 1] : 0;
    }
    m_ctx.markModified();
    if (m_ctx.player)
        m_ctx.player->refresh();
    m_ctx.display.redrawAll();
}

void EditCommands::mnuPasteAllKeepClick() {
    pasteAll(false);
}

void EditCommands::mnuPasteNewClick() {
    pasteAll(true);
}

void EditCommands::pasteAll(bool findNew) {
    if (m_ctx.busy())
        return;
    const QByteArray item = clipboardItem();
    auto pasted = readPastedSample(bytesOf(item));
    if (!pasted)
        return;
    if (pasted->bits != 16) {
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgPasted16Bit);
        return;
    }
    SampleDocument& doc = m_ctx.doc;
    m_play.closeOutput(); // the player reads the buffer that the paste replaces
    const bool wasOpen = doc.DocumentOpen;
    if (!wasOpen) {
        newEmptyDocument(doc);
        m_ctx.view = ViewState{};
    } else if (!m_ctx.recordUndo([&] {
                   recordWholeSample(m_ctx.undo, doc,
                                     findNew ? kUndoReplaceAndScan : kUndoReplaceSample);
               })) {
        m_play.openOutput();
        return;
    }
    const bool channelsChanged = replaceSampleKeepingPoints(
        doc, ReplacementSample{pasted->data, pasted->channels, pasted->rate});
    takeNewFormat(channelsChanged);
    m_view.showWholeSample();
    if (findNew || !wasOpen) {
        doc.DetectPending = true;
        m_slices.keepChannelChoiceAtNextScan(); // the merge at its end leaves the choice alone
    }
    rebuildSliceTable(doc);
    resnapLocators(doc);
    m_tempo.recomputeTempo();
    m_ctx.markModified();
    m_play.openOutput();
    m_ctx.window.updateCommandStates();
    m_ctx.window.relayout();
    m_ctx.display.redrawAll();
}

// The window follows a pasted sample: a new channel count brings both channels back and, for
// stereo, the merged mode.
void EditCommands::takeNewFormat(bool channelsChanged) {
    if (channelsChanged) {
        m_ctx.view.workingChannel = 1;
        if (m_ctx.doc.Channels == 2) {
            m_ctx.controls.LeftChannel->setChecked(true);
            m_ctx.controls.RightChannel->setChecked(true);
            m_slices.showChannelMode(true);
        }
    }
    m_ctx.setStatus(1, m_ctx.formatText());
}

void EditCommands::mnuLockAllClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    lockAll(m_ctx.doc);
    m_ctx.display.redrawWaveform();
}

void EditCommands::mnuUnlockAllClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    unlockAll(m_ctx.doc);
    m_ctx.display.redrawWaveform();
}

} // namespace tolvane
