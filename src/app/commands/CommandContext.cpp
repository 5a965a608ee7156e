#include "app/commands/CommandContext.h"

#include "app/BusyRunner.h"
#include "app/SharedShortcuts.h"

#include <QAction>
#include <QLabel>

namespace tolvane {

bool CommandContext::busy() const {
    return doc.Busy || runner.running();
}

void CommandContext::setStatus(int panel, const QString& text) const {
    QLabel* label = controls.statusPanels[panel];
    label->setText(text);
    // A text longer than its panel can still be read whole in the tooltip.
    const bool clipped =
        label->fontMetrics().horizontalAdvance(text) > label->contentsRect().width();
    label->setToolTip(clipped ? text : QString());
}

QString CommandContext::statusText(int panel) const {
    return controls.statusPanels[panel]->text();
}

QString CommandContext::formatText() const {
    return QString::fromStdString(
        formatStatusText(doc.BitsPerSample, doc.SampleRate, doc.Channels));
}

void CommandContext::markModified() const {
    state.modified = true;
    window.setCaption();
}

std::uint8_t CommandContext::pointerChannel() const {
    return isSplitStereo() ? view.workingChannel : kChannelMonoOrRight;
}

std::optional<SegmentSpan> CommandContext::segmentUnderPointer() const {
    const std::int64_t position = xToPosition(state.pointerX, view, window.waveWidth());
    return segmentAt(doc, position, pointerChannel());
}

namespace {

void showUndoFailure(Dialogs& dialogs, const UndoFileError& e) {
    dialogs.message(MessageKind::Error, "",
                    QString("The undo buffer could not be written (%1).\r\nNothing was changed.")
                        .arg(QString::fromStdString(e.what())));
}

} // namespace

bool CommandContext::recordUndo(const std::function<void()>& record) const {
    if (!undo.UndoEnabled)
        return true;
    resetUndoCaption(undo, state.modified);
    try {
        record();
    } catch (const UndoFileError& e) {
        showUndoFailure(dialogs, e);
        updateUndoCommand();
        return false;
    }
    updateUndoCommand();
    return true;
}

bool CommandContext::applyWithUndo(const std::function<void()>& operation) const {
    try {
        operation();
    } catch (const UndoFileError& e) {
        showUndoFailure(dialogs, e);
        updateUndoCommand();
        return false;
    }
    undoRecordedBy(true);
    return true;
}

void CommandContext::undoRecordedBy(bool succeeded) const {
    // The caption is reset only for a step that was recorded: an operation refused before it
    // recorded leaves the saved step, and whether it reads "&Undo" or "&Redo", as they were.
    if (succeeded && undo.UndoEnabled)
        resetUndoCaption(undo, state.modified);
    updateUndoCommand();
}

void CommandContext::updateUndoCommand() const {
    controls.mnuUndo->setText(undo.showsRedo ? "&Redo" : "&Undo");
    controls.mnuUndo->setEnabled(canUndo());
    const bool history = keepsHistory(undo);
    controls.mnuRedo->setVisible(history); // hidden, its shortcuts do nothing
    controls.mnuRedo->setEnabled(canRedo());
    // Ctrl+Y is Redo's while there is a Redo command, else the sensitivity box's.
    controls.ShowSensitivity->setShortcut(history ? QKeySequence()
                                                  : QKeySequence(kShowSensitivityShortcut));
}

} // namespace tolvane
