// The main window's editing: undo, the audio clipboard, the tools, and the pointer and keys
// on the waveform.
#include "app/TMainForm.h"
#include "app/TWaveBox.h"
#include "document/ClipboardImage.h"
#include "slicing/PointEditing.h"
#include "slicing/SliceSelection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

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

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

} // namespace

bool TMainForm::recordUndo(const std::function<void()>& record) {
    if (!m_undo.UndoEnabled)
        return true;
    resetUndoCaption(m_undo, m_modified);
    try {
        record();
    } catch (const UndoFileError& e) {
        m_dialogs.message(
            MessageKind::Error, "",
            QString("The undo buffer could not be written (%1).\r\nNothing was changed.")
                .arg(QString::fromStdString(e.what())));
        updateUndoCommand();
        return false;
    }
    updateUndoCommand();
    return true;
}

void TMainForm::markModified() {
    m_modified = true;
    setCaption();
}

void TMainForm::updateUndoCommand() {
    mnuUndo->setText(m_undo.showsRedo ? "&Redo" : "&Undo");
    mnuUndo->setEnabled(m_undo.UndoEnabled && m_undo.available && m_doc.DocumentOpen);
}

void TMainForm::mnuUndoClick() {
    if (!mnuUndo->isEnabled() || isBusy())
        return;
    // A whole-sample step replaces the buffer the player reads: nothing may play from it.
    const bool replacesSample = m_undo.UndoKind == kUndoWholeSample ||
                                m_undo.UndoKind == kUndoReplaceSample ||
                                m_undo.UndoKind == kUndoReplaceAndScan;
    if (replacesSample)
        Button24Click();
    m_doc.Busy = true;
    UndoOutcome outcome;
    try {
        outcome = undoClick(m_undo, m_doc, m_modified);
    } catch (const UndoFileError& e) {
        m_doc.Busy = false;
        m_dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
        return;
    }
    m_doc.Busy = false;
    if (outcome.captionClean)
        m_modified = false;
    if (outcome.captionModified)
        m_modified = true;
    setCaption();
    if (outcome.wholeSample) {
        showWholeSample(m_view, m_doc);
        m_view.selected.reset();
        setStatus(3, "x1.0");
        if (m_player) {
            m_player->close();
            openOutput(); // the restored data, channels and rate
        }
    } else if (outcome.rangeChanged && m_player) {
        m_player->refresh();
    }
    if (outcome.formatChanged)
        setStatus(1, QString::fromStdString(
                         formatStatusText(m_doc.BitsPerSample, m_doc.SampleRate, m_doc.Channels)));
    if (outcome.formatChanged || outcome.channelModeChanged)
        showRestoredChannelMode();
    if (outcome.rescan)
        m_scanFromRecut = true;
    m_view.viewEnd = std::min(m_view.viewEnd, m_doc.DataLength);
    m_view.viewLength = m_view.viewEnd - m_view.viewStart;
    updateUndoCommand();
    updateCommandStates();
    epImagePanel1Resize();
    redrawAll();
}

// After an undo brought back another format or channel mode: both channels chosen, the
// channel button and items showing the restored mode.
void TMainForm::showRestoredChannelMode() {
    LeftChannel->setChecked(true);
    RightChannel->setChecked(true);
    if (m_doc.Channels == 2)
        showChannelMode(m_doc.MergeChannels);
    else
        m_view.workingChannel = 1;
    if (m_player)
        m_player->channelMode(playbackChannelMode());
}

void TMainForm::mnuCopyAllClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    putOnClipboard(makeClipboardImage(
        {m_doc.SampleData.data(), static_cast<std::size_t>(m_doc.DataLength)}, m_doc.Channels,
        m_doc.SampleRate, m_doc.BytesPerSecond, m_doc.BitsPerSample));
}

std::optional<SegmentSpan> TMainForm::segmentUnderPointer() const {
    const std::int64_t position = xToPosition(m_pointerX, m_view, waveWidth());
    return segmentAt(m_doc, position,
                     isSplitStereo(m_doc) ? m_view.workingChannel : kChannelMonoOrRight);
}

void TMainForm::CopySegment1Click() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const auto segment = segmentUnderPointer();
    if (!segment || segment->end <= segment->start)
        return;
    const std::uint8_t* data = m_doc.SampleData.data();
    std::vector<std::uint8_t> bytes;
    std::uint16_t channels = m_doc.Channels;
    if (isSplitStereo(m_doc)) {
        // One channel: every second 16-bit sample from the segment's start.
        channels = 1;
        for (std::uint32_t at = segment->start; at + 1 < segment->end; at += 4) {
            bytes.push_back(data[at]);
            bytes.push_back(data[at + 1]);
        }
    } else {
        bytes.assign(data + segment->start, data + segment->end);
    }
    putOnClipboard(makeClipboardImage(bytes, channels, m_doc.SampleRate,
                                      m_doc.SampleRate * 2 * channels, m_doc.BitsPerSample));
}

void TMainForm::PasteIntoSegment2Click() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const auto segment = segmentUnderPointer();
    const QByteArray item = clipboardItem();
    const auto pasted = pastedSegmentBytes(bytesOf(item));
    if (!segment || !pasted || segment->end <= segment->start)
        return;
    const bool split = isSplitStereo(m_doc);
    const std::uint32_t start = segment->start;
    const std::uint32_t span = std::min<std::uint32_t>(segment->end, m_doc.DataLength) - start;
    const std::uint32_t perChannel =
        split ? span / 2 : span; // the segment's bytes of its own channel
    if (!recordUndo([&] {
            recordRange(m_undo, m_doc, static_cast<std::int32_t>(start),
                        static_cast<std::int32_t>(span), kUndoPasteIntoSegment);
        }))
        return;
    // The clipboard's bytes, then silence for what they do not cover; never past the segment.
    std::uint8_t* data = m_doc.SampleData.data();
    const std::size_t step = split ? 4 : 2;
    for (std::uint32_t i = 0; i + 1 < perChannel; i += 2) {
        const std::size_t at = start + (i / 2) * step;
        if (at + 1 >= static_cast<std::size_t>(m_doc.DataLength))
            break;
        const bool fromClipboard = i + 1 < pasted->size();
        data[at] = fromClipboard ? (*pasted)[i] : 0;
        data[at + 1] = fromClipboard ? (*pasted)[i + 1] : 0;
    }
    markModified();
    if (m_player)
        m_player->refresh();
    redrawAll();
}

void TMainForm::mnuPasteAllKeepClick() {
    pasteAll(false);
}

void TMainForm::mnuPasteNewClick() {
    pasteAll(true);
}

void TMainForm::pasteAll(bool findNew) {
    if (isBusy())
        return;
    const QByteArray item = clipboardItem();
    auto pasted = readPastedSample(bytesOf(item));
    if (!pasted)
        return;
    if (pasted->bits != 16) {
        m_dialogs.message(MessageKind::Error, "", kMsgPasted16Bit);
        return;
    }
    // The player reads the buffer that the paste replaces.
    Button24Click();
    if (m_player)
        m_player->close();
    const bool wasOpen = m_doc.DocumentOpen;
    if (!wasOpen) {
        newEmptyDocument(m_doc);
        m_view = ViewState{};
    } else if (!recordUndo([&] {
                   recordWholeSample(m_undo, m_doc,
                                     findNew ? kUndoReplaceAndScan : kUndoReplaceSample);
               })) {
        return;
    }
    const std::uint16_t oldChannels = wasOpen ? m_doc.Channels : 1;
    const bool wasSplit = isSplitStereo(m_doc);
    const auto length = static_cast<std::int32_t>(pasted->data.size());
    pasted->data.resize(pasted->data.size() + kSpareBytes, 0);
    m_doc.SampleData.assign(std::move(pasted->data));
    m_doc.DataLength = length;
    m_doc.Channels = pasted->channels;
    m_doc.SampleRate = pasted->rate;
    m_doc.BytesPerSecond = m_doc.Channels * 2 * m_doc.SampleRate;
    m_doc.LocatorR = static_cast<std::uint32_t>(length);
    m_doc.LocatorL = std::min(m_doc.LocatorL, m_doc.LocatorR);
    cutCandidatesToData(m_doc);
    if (oldChannels != m_doc.Channels)
        adaptCandidatesToChannels(m_doc, wasSplit);
    takeNewFormat(oldChannels);
    showWholeSample(m_view, m_doc);
    m_view.selected.reset();
    if (findNew || !wasOpen) {
        m_doc.DetectPending = true;
        m_scanFromRecut = true; // the merge at its end leaves the channel choice alone
    }
    rebuildSliceTable(m_doc);
    resnapLocators(m_doc);
    markModified();
    openOutput();
    updateCommandStates();
    epImagePanel1Resize();
    redrawAll();
}

// The window follows a pasted sample. The channel mode changes only with the channel count: a
// stereo sample pasted over a stereo one keeps merged or split, as its kept table is.
void TMainForm::takeNewFormat(std::uint16_t oldChannels) {
    if (oldChannels != m_doc.Channels) {
        m_doc.MergeChannels = m_doc.Channels == 2;
        m_doc.FirstChannel = 1;
        m_doc.LastChannel = m_doc.Channels == 2 ? 2 : 1;
        m_view.workingChannel = 1;
        if (m_doc.Channels == 2) {
            LeftChannel->setChecked(true);
            RightChannel->setChecked(true);
            showChannelMode(true);
        }
    }
    setStatus(1, QString::fromStdString(
                     formatStatusText(m_doc.BitsPerSample, m_doc.SampleRate, m_doc.Channels)));
    setStatus(3, "x1.0");
}

void TMainForm::mnuLockAllClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    lockAll(m_doc);
    redrawWaveform();
}

void TMainForm::mnuUnlockAllClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    unlockAll(m_doc);
    redrawWaveform();
}

void TMainForm::chooseTool(Tool tool) {
    m_tool = tool;
    if (QAction* action = m_toolActions[static_cast<int>(tool) - 1])
        action->setChecked(true);
    static const Qt::CursorShape shapes[] = {
        Qt::ArrowCursor,        Qt::CrossCursor,   Qt::PointingHandCursor,
        Qt::PointingHandCursor, Qt::SizeAllCursor, Qt::ArrowCursor,
        Qt::ArrowCursor,        Qt::ArrowCursor,   Qt::ArrowCursor};
    m_wave->setCursor(shapes[static_cast<int>(tool) - 1]);
    if (tool == Tool::Add && m_doc.DocumentOpen)
        showPointerLine(m_pointerX, m_wave->height() - 1, 0);
    else
        m_wave->setOverlayLine(std::nullopt);
}

// The add line or the drag line at the pointer: over the whole height, or over the channel's
// half in split stereo (channel 0: the half under the pointer's y).
void TMainForm::showPointerLine(int x, int y, std::uint8_t channel) {
    const int height = m_wave->height();
    int top = 1;
    int bottom = height - 2;
    if (isSplitStereo(m_doc)) {
        const bool upper = channel == 0 ? y < height / 2 : channel == kChannelLeftSplit;
        if (upper)
            bottom = height / 2;
        else
            top = height / 2;
    }
    m_wave->setOverlayLine(QLine(x, top, x, bottom));
}

void TMainForm::selectSegmentUnderPointer(int x) {
    const std::int64_t position = xToPosition(x, m_view, waveWidth());
    const std::uint8_t channel = isSplitStereo(m_doc) ? m_view.workingChannel : kChannelMonoOrRight;
    if (selectSegmentAt(m_view, m_doc, position, channel)) {
        PopUpZts->setEnabled(true);
        drawBars();
    }
}

void TMainForm::PaintBox1MouseMove(QMouseEvent* event) {
    if (!m_doc.DocumentOpen || isBusy() || !m_slider->isEnabled())
        return;
    const int width = waveWidth();
    m_pointerX = std::clamp(static_cast<int>(event->position().x()), 1, width - 1);
    const int y = static_cast<int>(event->position().y());
    pointAt(m_pointerX);
    if (m_dragging) {
        if (!std::exchange(m_pointerMoved, true))
            redrawWaveform(); // the point's own marker goes; the drag line stands for it
        showPointerLine(m_pointerX, y, m_doc.CandidateTable[m_dragIndex].Channel);
        return;
    }
    if (m_tool == Tool::Add) {
        showPointerLine(m_pointerX, y, 0);
        return;
    }
    m_hovered =
        findHoveredPoint(m_doc, m_view, width, m_wave->height(), event->position().x(), y, m_tool);
    if (m_hovered) {
        const PointRecord& p = m_doc.CandidateTable[m_hovered->index];
        setStatus(2, QString("p: %1").arg(2 * (p.Position / (4u * m_doc.Channels))));
        const bool dragShape = m_tool != Tool::EnableDisable && m_tool != Tool::LockUnlock;
        m_wave->setCursor(dragShape ? Qt::SplitHCursor : Qt::PointingHandCursor);
    } else {
        chooseTool(m_tool);
    }
}

void TMainForm::PaintBox1MouseDown(QMouseEvent* event) {
    m_shiftZoomPress = false;
    if (!m_doc.DocumentOpen || isBusy() || !m_slider->isEnabled())
        return;
    const int x = std::clamp(static_cast<int>(event->position().x()), 1, waveWidth() - 1);
    m_pointerX = x;
    pointAt(x);
    if (isSplitStereo(m_doc))
        m_view.workingChannel = event->position().y() < m_wave->height() / 2 ? 2 : 1;
    else
        m_view.workingChannel = 1;
    if ((event->modifiers() & Qt::ShiftModifier) && m_tool != Tool::Zoom) {
        m_shiftZoomPress = true;
        if (event->button() == Qt::LeftButton)
            PopupZinClick();
        else if (event->button() == Qt::RightButton)
            PopUpZoutClick();
        return;
    }
    PopUpZts->setEnabled(true);
    const bool dragShape = m_tool != Tool::EnableDisable && m_tool != Tool::LockUnlock;
    if (m_hovered && m_hovered->kind == HoverKind::Active && dragShape &&
        event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_pointerMoved = false;
        m_dragIndex = m_hovered->index;
        return;
    }
    // Every tool but zoom, silence/reverse, copy/paste and add selects and plays on a press.
    const bool selectingTool = m_tool != Tool::Zoom && m_tool != Tool::SilenceReverse &&
                               m_tool != Tool::CopyPaste && m_tool != Tool::Add;
    if (event->button() == Qt::LeftButton && !m_doc.FileName.empty() && selectingTool &&
        !m_hovered) {
        selectSegmentUnderPointer(x);
        updateCommandStates();
        if (m_player && m_player->isOpen())
            button4Click();
    }
    if (event->button() == Qt::RightButton && m_tool == Tool::Select)
        m_popup->popup(event->globalPosition().toPoint());
}

void TMainForm::PaintBox1MouseUp(QMouseEvent* event) {
    const bool shiftZoom = std::exchange(m_shiftZoomPress, false);
    if (!m_doc.DocumentOpen || isBusy() || shiftZoom)
        return;
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    const int width = waveWidth();
    const double x = event->position().x();
    const bool dragging = m_dragging;
    m_dragging = false;
    m_wave->setOverlayLine(std::nullopt);

    if (m_tool == Tool::CopyPaste && !dragging) {
        if (right)
            PasteIntoSegment2Click();
        else if (left)
            CopySegment1Click();
    } else if (m_tool == Tool::SaveSegment && right && !dragging) {
        PopUpSaveClick();
    } else if (m_tool == Tool::Zoom && !dragging) {
        if (left)
            PopupZinClick();
        else if (right)
            PopUpZoutClick();
    } else if (m_tool == Tool::LockUnlock && left && m_hovered &&
               m_hovered->kind == HoverKind::Locked) {
        recordUndo([&] { recordPoint(m_undo, kUndoUnlockPoint, m_hovered->index); });
        m_doc.CandidateTable[m_hovered->index].Locked = 0;
        m_doc.CandidateTable[m_hovered->index].Enabled = 1;
    } else if (dragging && m_pointerMoved && x >= 0 && x <= width + 1) {
        const std::uint32_t oldPosition = m_doc.CandidateTable[m_dragIndex].Position;
        const int index =
            movePoint(m_doc, m_dragIndex, pointerBytePosition(m_pointerX, m_view, width));
        recordUndo([&] { recordPoint(m_undo, kUndoMovePoint, index, oldPosition); });
    } else if (m_tool == Tool::Add && left) {
        const std::uint8_t channel =
            isSplitStereo(m_doc) && event->position().y() < m_wave->height() / 2
                ? kChannelLeftSplit
                : kChannelMonoOrRight;
        const std::uint32_t position = pointerBytePosition(m_pointerX, m_view, width);
        if (const auto index = addPoint(m_doc, position, channel, popupaddcur->isChecked())) {
            recordUndo([&] {
                recordPoint(m_undo, kUndoAddPoint, *index, m_doc.CandidateTable[*index].Position);
            });
            PopUpZts->setEnabled(true);
        } else {
            m_dialogs.message(MessageKind::Warning, "", kMsgTableFull);
        }
        showPointerLine(m_pointerX, static_cast<int>(event->position().y()), 0);
    } else if (m_tool == Tool::EnableDisable && left && m_hovered) {
        PointRecord& p = m_doc.CandidateTable[m_hovered->index];
        if (m_hovered->kind == HoverKind::Disabled) {
            recordUndo([&] { recordPoint(m_undo, kUndoEnablePoint, m_hovered->index); });
            p.Enabled = 1;
        } else {
            recordUndo([&] { recordPoint(m_undo, kUndoDisablePoint, m_hovered->index); });
            p.Enabled = 0;
            p.Locked = 0;
        }
    } else if (m_tool == Tool::LockUnlock && left && m_hovered &&
               m_hovered->kind == HoverKind::Active) {
        recordUndo([&] { recordPoint(m_undo, kUndoLockPoint, m_hovered->index); });
        m_doc.CandidateTable[m_hovered->index].Locked = 1;
        m_doc.CandidateTable[m_hovered->index].Enabled = 1;
    }
    m_hovered.reset();
    m_pointerMoved = false;
    redrawWaveform();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (!m_doc.DocumentOpen || isBusy() || !m_slider->isEnabled()) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    const QString text = event->text();
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '9') {
        const int number = text[0].digitValue();
        QAction* button = m_toolActions[number - 1];
        if (!button || !button->isEnabled() || !button->isVisible())
            return;
        // "6" is the 1:1 command among the tools, not a tool: the chosen tool stays.
        if (number == static_cast<int>(Tool::Zoom11))
            PopUp11Click();
        else
            chooseTool(static_cast<Tool>(number));
        return;
    }
    if (text == "-" || (text == "_" && m_view.selected)) {
        if (selectPreviousSegment(m_view, m_doc)) {
            drawBars();
            button4Click();
        }
        return;
    }
    if (text == "+" || text == "=") {
        if (selectNextSegment(m_view, m_doc)) {
            drawBars();
            button4Click();
        }
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        button4Click();
        return;
    }
    if (event->key() == Qt::Key_Space) {
        auditionUnderPointer();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace tolvane
