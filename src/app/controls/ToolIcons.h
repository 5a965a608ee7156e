#pragma once

#include <QIcon>

namespace tolvane {

// The toolbar pictures, drawn here so that the program needs no image files.
enum class ToolIcon {
    None,
    Open,
    Undo,
    LockAll,
    UnlockAll,
    Select,
    Add,
    EnableDisable,
    LockUnlock,
    Zoom,
    Zoom11,
    CopyPaste,
    SaveSegments,
    SaveSegment,
    SaveMidi,
    SaveBank,
    Crop,
    ControlPanel,
    SilenceReverse,
    StripSilence,
    SampleTransfer,
    PointSample, // the icons the waveform draws at its points
    PointLock,
    PointDisabled
};

QIcon toolIcon(ToolIcon which);

} // namespace tolvane
