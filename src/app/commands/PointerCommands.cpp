#include "app/commands/PointerCommands.h"

#include "app/WaveformDisplay.h"
#include "app/commands/EditCommands.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/ProcessCommands.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/ViewCommands.h"
#include "app/controls/TWaveBox.h"
#include "audio/twabeAudio.h"
#include "slicing/PointEditing.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <algorithm>
#include <array>
#include <utility>

namespace tolvane {
namespace {

constexpr std::array<Tool, 4> kSegmentTools = {Tool::Zoom, Tool::SilenceReverse, Tool::CopyPaste,
                                               Tool::SaveSegment};

bool dragsPoints(Tool tool) {
    return tool != Tool::EnableDisable && tool != Tool::LockUnlock;
}

} // namespace

void PointerCommands::chooseTool(Tool tool) {
    m_ctx.state.tool = tool;
    if (QAction* button = m_ctx.controls.tools[static_cast<int>(tool) - 1])
        button->setChecked(true);
    static const Qt::CursorShape shapes[] = {
        Qt::ArrowCursor,        Qt::CrossCursor,   Qt::PointingHandCursor,
        Qt::PointingHandCursor, Qt::SizeAllCursor, Qt::ArrowCursor,
        Qt::ArrowCursor,        Qt::ArrowCursor,   Qt::ArrowCursor};
    TWaveBox* wave = m_ctx.controls.wave;
    wave->setCursor(shapes[static_cast<int>(tool) - 1]);
    if (tool == Tool::Add && m_ctx.doc.DocumentOpen)
        showPointerLine(m_ctx.state.pointerX, wave->height() - 1, 0);
    else
        wave->setOverlayLine(std::nullopt);
}

// A hidden tool that was chosen gives way to Select.
void PointerCommands::showSegmentTools(bool shown) {
    for (Tool tool : kSegmentTools)
        if (QAction* button = m_ctx.controls.tools[static_cast<int>(tool) - 1])
            button->setVisible(shown);
    if (!shown && std::find(kSegmentTools.begin(), kSegmentTools.end(), m_ctx.state.tool) !=
                      kSegmentTools.end())
        chooseTool(Tool::Select);
}

// The add line or the drag line at the pointer: over the whole height, or over the channel's
// half in split stereo (channel 0: the half under the pointer's y).
void PointerCommands::showPointerLine(int x, int y, std::uint8_t channel) {
    TWaveBox* wave = m_ctx.controls.wave;
    const int height = wave->height();
    int top = 1;
    int bottom = height - 2;
    if (m_ctx.isSplitStereo()) {
        const bool upper = channel == 0 ? y < height / 2 : channel == kChannelLeftSplit;
        if (upper)
            bottom = height / 2;
        else
            top = height / 2;
    }
    wave->setOverlayLine(QLine(x, top, x, bottom));
}

void PointerCommands::selectSegmentUnderPointer(int x) {
    const std::int64_t position = xToPosition(x, m_ctx.view, m_ctx.window.waveWidth());
    if (selectSegmentAt(m_ctx.view, m_ctx.doc, position, m_ctx.pointerChannel())) {
        m_ctx.controls.PopUpZts->setEnabled(true);
        m_ctx.display.drawBars();
    }
}

// A left press with the save-segment tool, or with Alt, takes hold of the segment under the
// pointer, and with Ctrl as well of the region between the locators, to drag it out as a file.
// With Alt nothing else happens on the press.
bool PointerCommands::pressStartsDragOut(QMouseEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (event->button() != Qt::LeftButton || (!alt && m_ctx.state.tool != Tool::SaveSegment))
        return false;
    const std::int64_t position =
        xToPosition(m_ctx.state.pointerX, m_ctx.view, m_ctx.window.waveWidth());
    const auto range = (event->modifiers() & Qt::ControlModifier)
                           ? regionRange(m_ctx.doc)
                           : segmentRangeAt(m_ctx.doc, position, m_ctx.pointerChannel());
    if (range)
        m_dragOut = DragOutPress{event->position().toPoint(), *range};
    return alt;
}

bool PointerCommands::movedIntoDragOut(QMouseEvent* event) {
    if (!m_dragOut)
        return false;
    if ((event->position().toPoint() - m_dragOut->at).manhattanLength() <
        QApplication::startDragDistance())
        return true;
    const WriteRange range = std::exchange(m_dragOut, std::nullopt)->range;
    m_save.dragOut(range);
    return true;
}

void PointerCommands::PaintBox1MouseMove(QMouseEvent* event) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_ctx.controls.slider->isEnabled())
        return;
    if (movedIntoDragOut(event))
        return;
    const int width = m_ctx.window.waveWidth();
    TWaveBox* wave = m_ctx.controls.wave;
    m_ctx.state.pointerX = std::clamp(static_cast<int>(event->position().x()), 1, width - 1);
    m_ctx.state.pointerY = static_cast<int>(event->position().y());
    const int x = m_ctx.state.pointerX;
    const int y = m_ctx.state.pointerY;
    m_view.pointAt(x);
    if (m_dragging) {
        const PointRecord& dragged = m_ctx.doc.CandidateTable[m_dragIndex];
        if (!std::exchange(m_pointerMoved, true)) {
            // The point's own marker goes; the drag line stands for it.
            m_ctx.display.hidePoint(
                WaveformOptions::HiddenPoint{dragged.Position, dragged.Channel});
            m_ctx.display.redrawWaveform();
        }
        showPointerLine(x, y, dragged.Channel);
        return;
    }
    if (m_ctx.state.tool == Tool::Add) {
        showPointerLine(x, y, 0);
        return;
    }
    m_hovered = findHoveredPoint(m_ctx.doc, m_ctx.view, width, wave->height(),
                                 event->position().x(), y, m_ctx.state.tool);
    if (m_hovered) {
        const PointRecord& p = m_ctx.doc.CandidateTable[m_hovered->index];
        m_ctx.setStatus(2, QString("p: %1").arg(2 * (p.Position / (4u * m_ctx.doc.Channels))));
        wave->setCursor(dragsPoints(m_ctx.state.tool) ? Qt::SplitHCursor : Qt::PointingHandCursor);
    } else {
        chooseTool(m_ctx.state.tool);
    }
}

void PointerCommands::PaintBox1MouseDown(QMouseEvent* event) {
    m_shiftZoomPress = false;
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_ctx.controls.slider->isEnabled())
        return;
    const Tool tool = m_ctx.state.tool;
    const int x =
        std::clamp(static_cast<int>(event->position().x()), 1, m_ctx.window.waveWidth() - 1);
    m_ctx.state.pointerX = x;
    m_ctx.state.pointerY = static_cast<int>(event->position().y());
    m_view.pointAt(x);
    if (m_ctx.isSplitStereo())
        m_ctx.view.workingChannel =
            event->position().y() < m_ctx.controls.wave->height() / 2 ? 2 : 1;
    else
        m_ctx.view.workingChannel = 1;
    if ((event->modifiers() & Qt::ShiftModifier) && tool != Tool::Zoom) {
        m_shiftZoomPress = true;
        if (event->button() == Qt::LeftButton)
            m_view.PopupZinClick();
        else if (event->button() == Qt::RightButton)
            m_view.PopUpZoutClick();
        return;
    }
    m_ctx.controls.PopUpZts->setEnabled(true);
    if (pressStartsDragOut(event))
        return;
    if (m_hovered && m_hovered->kind == HoverKind::Active && dragsPoints(tool) &&
        event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_pointerMoved = false;
        m_dragIndex = m_hovered->index;
        return;
    }
    // Every tool but zoom, silence/reverse, copy/paste and add selects and plays on a press.
    const bool selectingTool = tool != Tool::Zoom && tool != Tool::SilenceReverse &&
                               tool != Tool::CopyPaste && tool != Tool::Add;
    if (event->button() == Qt::LeftButton && !m_ctx.doc.FileName.empty() && selectingTool &&
        !m_hovered) {
        selectSegmentUnderPointer(x);
        m_ctx.window.updateCommandStates();
        if (m_ctx.player && m_ctx.player->isOpen())
            m_play.button4Click();
    }
    if (event->button() == Qt::RightButton && tool == Tool::Select)
        m_ctx.controls.popup->popup(event->globalPosition().toPoint());
}

void PointerCommands::PaintBox1MouseUp(QMouseEvent* event) {
    const bool shiftZoom = std::exchange(m_shiftZoomPress, false);
    m_dragOut.reset();
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || shiftZoom)
        return;
    const bool dragging = std::exchange(m_dragging, false);
    m_ctx.controls.wave->setOverlayLine(std::nullopt);
    m_ctx.display.hidePoint(std::nullopt);
    releaseWithTool(event, dragging);
    m_hovered.reset();
    m_pointerMoved = false;
    m_ctx.display.redrawWaveform();
}

void PointerCommands::recordPointUndo(std::uint8_t kind, int index, std::uint32_t position) {
    m_ctx.recordUndo([&] { recordPoint(m_ctx.undo, kind, index, position); });
}

// The release: the first rule that matches the tool, the button and the hovered point.
void PointerCommands::releaseWithTool(QMouseEvent* event, bool dragging) {
    SampleDocument& doc = m_ctx.doc;
    const Tool tool = m_ctx.state.tool;
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    const int width = m_ctx.window.waveWidth();
    const double x = event->position().x();
    const int pointerX = m_ctx.state.pointerX;
    const bool hoveredActive = m_hovered && m_hovered->kind == HoverKind::Active;

    if (tool == Tool::CopyPaste && !dragging) {
        if (right)
            m_edit.PasteIntoSegment2Click();
        else if (left)
            m_edit.CopySegment1Click();
    } else if (tool == Tool::SilenceReverse && !dragging) {
        if (right)
            m_process.mnuReverseClick();
        else if (left)
            m_process.mnuSilenceClick();
    } else if (tool == Tool::SaveSegment && right && !dragging) {
        m_save.PopUpSaveClick();
    } else if (tool == Tool::Zoom && !dragging) {
        if (left)
            m_view.PopupZinClick();
        else if (right)
            m_view.PopUpZoutClick();
    } else if (tool == Tool::LockUnlock && left && m_hovered &&
               m_hovered->kind == HoverKind::Locked) {
        recordPointUndo(kUndoUnlockPoint, m_hovered->index);
        unlockPoint(doc, m_hovered->index);
    } else if (dragging && m_pointerMoved && x >= 0 && x <= width + 1) {
        const std::uint32_t oldPosition = doc.CandidateTable[m_dragIndex].Position;
        const int index =
            movePoint(doc, m_dragIndex, pointerBytePosition(pointerX, m_ctx.view, width));
        recordPointUndo(kUndoMovePoint, index, oldPosition);
    } else if (tool == Tool::Add && left) {
        const std::uint8_t channel =
            m_ctx.isSplitStereo() && event->position().y() < m_ctx.controls.wave->height() / 2
                ? kChannelLeftSplit
                : kChannelMonoOrRight;
        const std::uint32_t position = pointerBytePosition(pointerX, m_ctx.view, width);
        if (const auto index =
                addPoint(doc, position, channel, m_ctx.controls.popupaddcur->isChecked())) {
            recordPointUndo(kUndoAddPoint, *index, doc.CandidateTable[*index].Position);
            m_ctx.controls.PopUpZts->setEnabled(true);
        } else {
            m_ctx.dialogs.message(MessageKind::Warning, "", kMsgTableFull);
        }
        showPointerLine(pointerX, static_cast<int>(event->position().y()), 0);
    } else if (tool == Tool::EnableDisable && left && m_hovered) {
        if (m_hovered->kind == HoverKind::Disabled) {
            recordPointUndo(kUndoEnablePoint, m_hovered->index);
            enablePoint(doc, m_hovered->index);
        } else {
            recordPointUndo(kUndoDisablePoint, m_hovered->index);
            disablePoint(doc, m_hovered->index);
        }
    } else if (tool == Tool::LockUnlock && left && hoveredActive) {
        recordPointUndo(kUndoLockPoint, m_hovered->index);
        lockPoint(doc, m_hovered->index);
    }
}

void PointerCommands::auditionUnderPointer() {
    m_play.auditionUnderPointer(m_ctx.state.tool == Tool::Add || m_dragging);
}

bool PointerCommands::keyPressed(QKeyEvent* event) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_ctx.controls.slider->isEnabled())
        return false;
    const QString text = event->text();
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '9') {
        const int number = text[0].digitValue();
        QAction* button = m_ctx.controls.tools[number - 1];
        if (!button || !button->isEnabled() || !button->isVisible())
            return true;
        // "6" is the 1:1 command among the tools, not a tool: the chosen tool stays.
        if (number == static_cast<int>(Tool::Zoom11))
            m_view.PopUp11Click();
        else
            chooseTool(static_cast<Tool>(number));
        return true;
    }
    if (text == "-" || (text == "_" && m_ctx.view.selected)) {
        if (selectPreviousSegment(m_ctx.view, m_ctx.doc)) {
            m_ctx.display.drawBars();
            m_play.button4Click();
        }
        return true;
    }
    if (text == "+" || text == "=") {
        if (selectNextSegment(m_ctx.view, m_ctx.doc)) {
            m_ctx.display.drawBars();
            m_play.button4Click();
        }
        return true;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_play.button4Click();
        return true;
    }
    if (event->key() == Qt::Key_Space) {
        auditionUnderPointer();
        return true;
    }
    return false;
}

} // namespace tolvane
