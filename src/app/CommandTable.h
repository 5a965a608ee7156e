#pragma once

#include "app/MainControls.h"
#include "app/controls/ToolIcons.h"
#include "view/PointHitTest.h"

#include <span>

namespace tolvane {

class TMainForm;

// When a command can be used; the window's `updateCommandStates` reads it for every row.
enum class EnabledWhen {
    Always,
    Document,          // a sample is open
    NamedDocument,     // a sample with a file name
    FileOfItsOwn,      // a sample read from or saved to a file
    WritableFile,      // a sample whose file may be written
    SegmentSelected,   // a sample with a selected segment
    Stereo,            // a stereo sample
    CanPlay,           // a sample and an open output
    CanPlaySelected,   // ... and a selected segment
    Undo,              // a step to undo (or redo)
    Redo,              // several undo levels and a step to redo
    ZoomIn,            // a sample not at the largest zoom
    SettingsAvailable, // the settings store could be opened
    ByHandler, // off without a sample; otherwise as its handler and the zoom commands leave it
};

// One command of the main window: its action's documented name, caption, shortcut and hint
// ("Short|Long": the tooltip and the status-bar text), the window's handler for it, and when
// it is enabled. Adding a command is one row here and its handler in a command group.
struct CommandRow {
    QAction* MainControls::*slot; // where the window keeps the action
    const char* name;
    const char* caption;
    const char* shortcut;         // "" for none; several separated by "; "
    const char* hint;             // "" for none
    void (TMainForm::*handler)(); // nothing: a check mark with no action of its own
    EnabledWhen enabled = EnabledWhen::Always;
    bool checkable = false;
    bool hidden = false; // a hidden item: shortcut or setting only
    ToolIcon icon = ToolIcon::None;
};

// An editing tool of the Edit toolbar, chosen by its key (the tool's number).
struct ToolRow {
    Tool tool;
    const char* name;
    const char* hint;
    ToolIcon icon;
};

// A toolbar button that runs a menu command and is enabled whenever the command is.
struct MirrorButtonRow {
    const char* name;
    const char* hint;
    ToolIcon icon;
    QAction* MainControls::*command;
};

std::span<const CommandRow> commandTable();
std::span<const ToolRow> toolTable();
// The File toolbar's buttons after the open button, in order.
std::span<const MirrorButtonRow> fileToolbarButtons();
// The File toolbar's strip silence button, after the channel-mode button.
const MirrorButtonRow& stripSilenceButton();
// The File toolbar's last button: the "Sampler Transfer" window.
const MirrorButtonRow& sampleTransferButton();

} // namespace tolvane
