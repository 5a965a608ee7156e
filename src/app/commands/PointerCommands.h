#pragma once

#include "app/commands/CommandContext.h"
#include "slicing/SegmentRanges.h"
#include "view/PointHitTest.h"

#include <QPoint>
#include <optional>

class QKeyEvent;
class QMouseEvent;

namespace tolvane {

class EditCommands;
class PlayCommands;
class ProcessCommands;
class SaveCommands;
class ViewCommands;

// The pointer and the keys on the waveform: the editing tools (keys 1 to 9), hovering,
// dragging, adding, enabling and locking points, selecting and auditioning segments, and the
// segment walk with "+" and "-".
class PointerCommands {
public:
    PointerCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view, EditCommands& edit,
                    SaveCommands& save, ProcessCommands& process)
        : m_ctx(ctx), m_play(play), m_view(view), m_edit(edit), m_save(save), m_process(process) {}

    void chooseTool(Tool tool);
    void PaintBox1MouseMove(QMouseEvent* event);
    void PaintBox1MouseDown(QMouseEvent* event);
    void PaintBox1MouseUp(QMouseEvent* event);
    // A key on the editor; false when it is not one of the waveform's keys.
    bool keyPressed(QKeyEvent* event);
    // Space: the segment under the pointer.
    void auditionUnderPointer();
    // "Use old right mouse menu" puts the segment tools away.
    void showSegmentTools(bool shown);

private:
    void showPointerLine(int x, int y, std::uint8_t channel);
    void selectSegmentUnderPointer(int x);
    void releaseWithTool(QMouseEvent* event, bool dragging);
    void recordPointUndo(std::uint8_t kind, int index, std::uint32_t position = 0);
    bool pressStartsDragOut(QMouseEvent* event);
    bool movedIntoDragOut(QMouseEvent* event);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    EditCommands& m_edit;
    SaveCommands& m_save;
    ProcessCommands& m_process;
    std::optional<HoveredPoint> m_hovered;
    bool m_dragging = false;
    bool m_pointerMoved = false;
    bool m_shiftZoomPress = false;
    int m_dragIndex = 0;
    // A press that may become a drag of a segment or of the region out of the window.
    struct DragOutPress {
        QPoint at;
        WriteRange range;
    };
    std::optional<DragOutPress> m_dragOut;
};

} // namespace tolvane
