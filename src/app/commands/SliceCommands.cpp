#include "app/commands/SliceCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/controls/TWaveBox.h"
#include "app/dialogs/TSForm.h"
#include "audio/twabeAudio.h"
#include "slicing/PointEditing.h"
#include "slicing/SliceSelection.h"
#include "slicing/StereoCandidates.h"
#include "slicing/TransientScan.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <algorithm>

namespace tolvane {

void SliceCommands::Paintbox1Paint() {
    SampleDocument& doc = m_ctx.doc;
    // A worker that changes the data has it: the picture stays as it was until it ends.
    if (doc.DetectRunning || m_ctx.runner.changingData())
        return;
    if (doc.DetectPending && doc.DocumentOpen && !m_ctx.runner.running()) {
        doc.DetectRunning = true;
        QMetaObject::invokeMethod(
            m_ctx.controls.wave, [this] { startScan(); }, Qt::QueuedConnection);
        return;
    }
    m_ctx.display.redrawWaveform();
}

void SliceCommands::startScan() {
    SampleDocument& doc = m_ctx.doc;
    BusyRunner::Job job;
    job.status = "Cutting...";
    job.worker = std::make_unique<tpseek>(doc, m_ctx.window.waveWidth());
    job.stopsPlayback = false;
    job.finished = [this](WorkerThread& worker) { scanCompleted(static_cast<tpseek&>(worker)); };
    if (!m_ctx.runner.start(std::move(job))) {
        doc.DetectRunning = false; // another worker has the document: the next paint retries
        QApplication::restoreOverrideCursor();
    }
}

void SliceCommands::scanCompleted(const tpseek& scanner) {
    SampleDocument& doc = m_ctx.doc;
    doc.DetectRunning = false;
    doc.DetectPending = false;
    forgetPointUndo(m_ctx.undo); // the scan made a new table
    m_ctx.updateUndoCommand();
    if (scanner.report().merged)
        afterMerge(true);
    if (m_lockedToKeep && scanner.report().scanned) {
        const int leftOut = restoreLockedCandidates(doc, *m_lockedToKeep);
        if (leftOut > 0)
            m_ctx.dialogs.message(MessageKind::Warning, "",
                                  QString("The point table is full: %1 locked points could not be "
                                          "kept.")
                                      .arg(leftOut));
    }
    m_lockedToKeep.reset();
    m_scanFromRecut = false;
    QApplication::restoreOverrideCursor();
    m_ctx.display.redrawAll();
    m_ctx.window.relayout();
    if (const std::string limit = scanLimitText(doc, scanner.report()); !limit.empty())
        showScanLimit(QString::fromStdString(limit));
}

// The table's size is fixed (the point file's layout), so a long recording fills it before its
// end: the user hears of it once a sample, not at every scan.
void SliceCommands::showScanLimit(const QString& text) {
    QString sentence = text;
    sentence[0] = sentence[0].toUpper();
    m_ctx.setStatus(0, sentence);
    if (m_scanLimitShown)
        return;
    m_scanLimitShown = true;
    m_ctx.dialogs.message(MessageKind::Warning, "", sentence + ".");
}

// The window's side of the stereo merge.
void SliceCommands::afterMerge(bool fromScanEnd) {
    if (!m_scanFromRecut || !fromScanEnd) {
        m_ctx.controls.LeftChannel->setChecked(true);
        m_ctx.controls.RightChannel->setChecked(true);
        chooseChannels(m_ctx.doc, true, true);
    }
    setSliderPosition(m_ctx.controls.slider->value() - 1);
    showChannelMode(true);
}

void SliceCommands::showChannelMode(bool merged) {
    m_ctx.controls.LR1->setChecked(merged);
    m_ctx.controls.LR2->setChecked(!merged);
    m_ctx.controls.channelButton->setText(merged ? "L + R" : "L / R");
}

void SliceCommands::showRestoredChannelMode() {
    m_ctx.controls.LeftChannel->setChecked(true);
    m_ctx.controls.RightChannel->setChecked(true);
    if (m_ctx.doc.Channels == 2)
        showChannelMode(m_ctx.doc.MergeChannels);
    else
        m_ctx.view.workingChannel = 1;
    if (m_ctx.player)
        m_ctx.player->channelMode(m_play.playbackChannelMode());
}

void SliceCommands::resetSlider() {
    const QSignalBlocker block(m_ctx.controls.slider);
    m_ctx.controls.slider->setValue(0);
    m_ctx.controls.sensitivityLabel->setText("0%");
}

void SliceCommands::setSliderPosition(int position) {
    m_ctx.controls.slider->setValue(std::clamp(position, 0, kSliderMaximum));
}

void SliceCommands::TrackBar1Change(int position) {
    m_ctx.doc.Threshold = thresholdForSliderPosition(position);
    m_ctx.controls.sensitivityLabel->setText(
        QString("%1%").arg(sensitivityPercent(m_ctx.doc.Threshold)));
    m_ctx.display.redrawWaveform();
    if (m_ctx.doc.SliceCount > 0)
        m_ctx.controls.PopUpZts->setEnabled(true);
}

void SliceCommands::setSensitivityPercent(double percent) {
    setSliderPosition(sliderPositionForPercent(percent));
    TrackBar1Change(m_ctx.controls.slider->value());
}

void SliceCommands::showSensitivityDialog() {
    // Its shortcut reaches the window while a worker owns the document: the threshold and the
    // redraw read what the worker is rewriting.
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    TSForm dialog(sensitivityPercent(m_ctx.doc.Threshold), m_ctx.window.dialogParent());
    if (dialog.exec() == QDialog::Accepted)
        setSensitivityPercent(dialog.value());
}

void SliceCommands::keepLockedPointsAtNextScan() {
    m_lockedToKeep = lockedCandidates(m_ctx.doc);
}

void SliceCommands::Recut1Click() {
    recut(kUndoCandidateTable, true);
}

void SliceCommands::recutAfterRandomise() {
    recut(kUndoRandomise, false);
}

void SliceCommands::recut(std::uint8_t undoKind, bool snapLocators) {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    doc.KeepCandidates = false;
    if (undoKind == kUndoRandomise) {
        // The table joins the shuffled bytes already in the step, so that one undo puts back both.
        recordCandidateTable(m_ctx.undo, doc, undoKind);
        m_ctx.updateUndoCommand();
    } else {
        m_ctx.recordUndo(
            [this, undoKind] { recordCandidateTable(m_ctx.undo, m_ctx.doc, undoKind); });
    }
    doc.DetectPending = true;
    if (snapLocators)
        resnapLocators(doc);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_scanFromRecut = true;
    doc.DetectRunning = true;
    startScan();
}

void SliceCommands::LR1Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || doc.Channels != 2 || m_ctx.busy())
        return;
    mergeStereoCandidates(doc, m_ctx.window.waveWidth());
    forgetPointUndo(m_ctx.undo);
    m_ctx.updateUndoCommand();
    afterMerge(false);
    m_ctx.display.redrawAll();
    m_ctx.window.relayout();
}

void SliceCommands::LR2Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || doc.Channels != 2 || m_ctx.busy()) {
        m_ctx.controls.LR2->setChecked(false);
        return;
    }
    m_ctx.controls.LeftChannel->setChecked(true);
    m_ctx.controls.RightChannel->setChecked(true);
    chooseChannels(doc, true, true);
    setSliderPosition(m_ctx.controls.slider->value() - 1);
    const bool complete = splitStereoCandidates(doc);
    forgetPointUndo(m_ctx.undo);
    m_ctx.updateUndoCommand();
    showChannelMode(false);
    rebuildSliceTable(doc);
    resnapLocators(doc);
    TrackBar1Change(m_ctx.controls.slider->value());
    m_ctx.window.relayout();
    m_ctx.display.redrawAll();
    if (!complete)
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgTooManyPoints);
}

void SliceCommands::LeftChannelClick() {
    channelItemClicked(m_ctx.controls.LeftChannel);
}

void SliceCommands::RightChannelClick() {
    channelItemClicked(m_ctx.controls.RightChannel);
}

// Unchecking the last checked item checks it again; otherwise the channel choice follows.
void SliceCommands::channelItemClicked(QAction* clicked) {
    const bool left = m_ctx.controls.LeftChannel->isChecked();
    const bool right = m_ctx.controls.RightChannel->isChecked();
    if (!left && !right) {
        clicked->setChecked(true);
        return;
    }
    chooseChannels(m_ctx.doc, left, right);
    if (m_ctx.doc.MergeChannels)
        resnapLocators(m_ctx.doc);
    if (m_ctx.player)
        m_ctx.player->channelMode(m_play.playbackChannelMode());
    m_ctx.display.redrawAll();
}

} // namespace tolvane
