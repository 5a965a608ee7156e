#pragma once

#include "app/Dialogs.h"
#include "app/MainControls.h"
#include "app/ProgramSettings.h"
#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "view/PointHitTest.h"
#include "view/SegmentBounds.h"
#include "view/ViewState.h"

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace tolvane {

inline constexpr const char* kNoFileLoaded = "No File Loaded"; // status panel 1 when empty

class BusyRunner;
class WaveformDisplay;
class twabeAudio;

// What the command groups ask of the main window itself: its layout, its caption, the
// enabled state of its commands and the busy state of its controls. Window's thread only.
class EditorWindow {
public:
    virtual ~EditorWindow() = default;
    // Lays out the strip, waveform, bars and locator buttons (`epImagePanel1Resize`).
    virtual void relayout() = 0;
    virtual void placeLocatorButtons() = 0;
    // Every command's enabled state from the document and the view.
    virtual void updateCommandStates() = 0;
    // "name - WaveTolvane", with "*" while modified.
    virtual void setCaption() = 0;
    // The window's controls off (a worker has the document) and on again.
    virtual void enterBusy() = 0;
    virtual void leaveBusy() = 0;
    virtual int waveWidth() const = 0;
    // The settings shown on the controls (legends, bars, icons, tools, recent files).
    virtual void applySettings() = 0;
    // The parent of the program's own modal windows.
    virtual QWidget* dialogParent() = 0;
};

// State the command groups share that is not part of the document.
struct EditorState {
    bool modified = false; // the caption shows "*"
    Tool tool = Tool::Select;
    int pointerX = 1; // the last pointer x over the waveform
    int pointerY = 0; // ... and y (its half is the working channel of split stereo)
};

// The small world every command group works in: the document and its view, the undo step,
// the dialog service, the settings, the player, the busy-bracket runner, the waveform display,
// and the window's controls. Window's thread only.
struct CommandContext {
    SampleDocument& doc;
    ViewState& view;
    UndoRecord& undo;
    Dialogs& dialogs;
    ProgramSettings& settings;
    twabeAudio* player; // none without a sound system
    BusyRunner& runner;
    WaveformDisplay& display;
    MainControls& controls;
    EditorWindow& window;
    EditorState& state;

    // A worker has the document (or a command holds it for a moment).
    bool busy() const;
    void setStatus(int panel, const QString& text) const;
    QString statusText(int panel) const;
    // The format text of the status bar for the open sample ("16 Bit / 44100 hz stereo").
    QString formatText() const;
    // The data changed: the caption gains "*".
    void markModified() const;
    bool isSplitStereo() const { return doc.Channels == 2 && !doc.MergeChannels; }
    // The channel whose points the pointer works on: the working channel in split stereo, else
    // the one list.
    std::uint8_t pointerChannel() const;
    // The segment under the last pointer position, of the pointer's channel.
    std::optional<SegmentSpan> segmentUnderPointer() const;
    // Records the undo step an operation is about to need; false (with the message shown) when
    // the undo buffer cannot keep it, and the operation must then not go on.
    bool recordUndo(const std::function<void()>& record) const;
    // Runs a core operation that records its own undo step before it changes anything: shows
    // the message when the step cannot be kept (the operation then changed nothing, and false
    // is returned), resets the undo caption for the new step and updates the undo command.
    bool applyWithUndo(const std::function<void()>& operation) const;
    // After a worker ran such an operation: the undo caption for the new step when it
    // succeeded, and the undo command.
    void undoRecordedBy(bool succeeded) const;
    // Whether there is a step to undo or redo.
    bool canUndo() const { return undo.UndoEnabled && undo.available && doc.DocumentOpen; }
    // Whether there is a step to redo (several levels only).
    bool canRedo() const { return tolvane::canRedo(undo) && doc.DocumentOpen; }
    // "&Undo"/"&Redo" and whether it is enabled; with several levels, "&Redo" is a command of
    // its own.
    void updateUndoCommand() const;
};

} // namespace tolvane
