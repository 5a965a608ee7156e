#pragma once

#include "document/SampleDocument.h"
#include "view/ViewState.h"

#include <optional>

namespace tolvane {

// The editing tools, chosen by the keys 1 to 9.
enum class Tool {
    Select = 1,
    Add,
    EnableDisable,
    LockUnlock,
    Zoom,
    Zoom11,
    SilenceReverse,
    CopyPaste,
    SaveSegment
};

enum class HoverKind { Active, Locked, Disabled };

struct HoveredPoint {
    int index = 0; // candidate index
    HoverKind kind = HoverKind::Active;
};

// The point whose icon is under the pointer. A point's zone reaches from one pixel left of its
// line to 15 pixels right of it, in its icon strip only (channel 1: the bottom strip, channel
// 2: the strip above the centre line). Slice points are found first; the lock tool also finds
// locked candidates and the enable tool disabled ones.
std::optional<HoveredPoint> findHoveredPoint(const SampleDocument& doc, const ViewState& view,
                                             int width, int height, double x, int y, Tool tool);

} // namespace tolvane
