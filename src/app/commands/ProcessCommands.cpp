#include "app/commands/ProcessCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/Workers.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/SliceCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/commands/ViewCommands.h"
#include "app/controls/TWaveBox.h"
#include "app/dialogs/TConRateForm.h"
#include "app/dialogs/TConvertForm.h"
#include "app/dialogs/TQuantiseForm.h"
#include "app/dialogs/TStripForm.h"
#include "audio/twabeAudio.h"
#include "processing/FormatConversion.h"
#include "processing/LevelOperations.h"
#include "processing/ProcessedSamples.h"
#include "processing/SegmentOperations.h"
#include "processing/StripSilence.h"
#include "slicing/SliceSelection.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

namespace tolvane {
namespace {

// Strip silence does nothing unless the locators are further apart than this.
constexpr std::uint32_t kStripMinimumRegion = 50;

} // namespace

void ProcessCommands::Normalise1Click() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    m_play.Button24Click();
    TNormaliseForm dialog(m_normalise, m_ctx.window.dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_normalise = dialog.choice();
    const NormaliseOptions options{dialog.percent(), m_normalise.dcCenter};
    runLevelOperation("Normalising...", std::make_unique<TNormThread>([this, options] {
                          normaliseSample(m_ctx.doc, m_ctx.undo, options);
                      }));
}

void ProcessCommands::Invert1Click() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    runLevelOperation("Inverting...", std::make_unique<TInvertThread>(
                                          [this] { invertSample(m_ctx.doc, m_ctx.undo); }));
}

void ProcessCommands::Bitreduction1Click() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    m_play.Button24Click();
    TQuantiseForm dialog(m_quantiseLevel, m_ctx.window.dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_quantiseLevel = dialog.level();
    runLevelOperation("Quantising...",
                      std::make_unique<TQuantThread>([this, bits = m_quantiseLevel] {
                          quantiseSample(m_ctx.doc, m_ctx.undo, bits);
                      }));
}

void ProcessCommands::runLevelOperation(const QString& status,
                                        std::unique_ptr<FunctionWorker> worker) {
    const bool recut = m_normalise.recut;
    runOnWorker(
        status, std::move(worker), false,
        [this, recut] {
            if (recut)
                m_slices.keepLockedPointsAtNextScan();
        },
        recut);
}

void ProcessCommands::runOnWorker(const QString& status, std::unique_ptr<FunctionWorker> worker,
                                  bool changesFormat, std::function<void()> done, bool rescans) {
    BusyRunner::Job job;
    job.status = status;
    job.worker = std::move(worker);
    job.changesData = true;
    job.changesFormat = changesFormat;
    job.rescans = rescans;
    job.finished = [this, changesFormat, done = std::move(done)](WorkerThread& finished) {
        workerFinished(finished, changesFormat);
        if (!finished.failed() && done)
            done();
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!m_ctx.runner.start(std::move(job)))
        QApplication::restoreOverrideCursor();
}

// The window's side of a whole-sample operation: the failure message (nothing changed then),
// the undo step it recorded, the format in the status bar. The runner then marks the document
// modified, brings the player up to date and redraws, which starts the scan.
void ProcessCommands::workerFinished(WorkerThread& worker, bool changesFormat) {
    QApplication::restoreOverrideCursor();
    m_ctx.undoRecordedBy(!worker.failed());
    if (worker.failed()) {
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgProcessingError);
        if (changesFormat)
            m_play.openOutput(); // it was closed for a conversion that did not happen
    }
    m_ctx.setStatus(1, m_ctx.formatText());
}

void ProcessCommands::mnuSilenceClick() {
    changeSegmentUnderPointer(&silenceSegment);
}

void ProcessCommands::mnuReverseClick() {
    changeSegmentUnderPointer(&reverseSegment);
}

void ProcessCommands::Silence1Click() {
    takeWorkingChannelFromPointer();
    mnuSilenceClick();
}

void ProcessCommands::Reverse1Click() {
    takeWorkingChannelFromPointer();
    mnuReverseClick();
}

void ProcessCommands::takeWorkingChannelFromPointer() {
    m_ctx.view.workingChannel =
        m_ctx.isSplitStereo() && m_ctx.state.pointerY < m_ctx.controls.wave->height() / 2 ? 2 : 1;
}

// On the window's thread, playing or not: the player takes the changed bytes afterwards.
void ProcessCommands::changeSegmentUnderPointer(SegmentOperation operation) {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const auto segment = m_ctx.segmentUnderPointer();
    if (!segment || segment->end <= segment->start)
        return;
    doc.SelectedSegment = segment->number;
    doc.Busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool changed = m_ctx.applyWithUndo(
        [&] { operation(doc, m_ctx.undo, segment->start, segment->end, segment->channel); });
    doc.Busy = false;
    if (changed)
        m_ctx.markModified();
    m_ctx.display.redrawAll();
    if (m_ctx.player)
        m_ctx.player->refresh();
    QApplication::restoreOverrideCursor();
}

void ProcessCommands::Convert1Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    TConvertForm dialog(doc.Channels, m_convertChoice, m_ctx.window.dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::unique_ptr<TChannelThread> worker;
    if (doc.Channels == 2) {
        m_convertChoice = dialog.choice();
        worker = std::make_unique<TChannelThread>(
            [this, source = static_cast<MonoSource>(m_convertChoice)] {
                convertToMono(m_ctx.doc, m_ctx.undo, source);
            });
    } else {
        worker =
            std::make_unique<TChannelThread>([this] { convertToStereo(m_ctx.doc, m_ctx.undo); });
    }
    m_play.closeOutput(); // the conversion replaces the buffer the player reads
    runOnWorker("Converting...", std::move(worker), true, [this] { afterFormatChange(); });
}

// A new channel count: the whole sample at zoom 1, stereo back in merged mode with both
// channels, the strip, the channel button and items as the format has them.
void ProcessCommands::afterFormatChange() {
    m_ctx.view.workingChannel = 1;
    m_view.showWholeSample();
    m_tempo.recomputeTempo(); // the same bars and beats over another number of bytes
    m_slices.showRestoredChannelMode();
    m_ctx.window.updateCommandStates();
    m_ctx.window.relayout();
}

void ProcessCommands::Adjustsamplerate1Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    TConRateForm dialog(doc.SampleRate, m_ctx.window.dialogParent());
    if (dialog.exec() != QDialog::Accepted || !dialog.rate())
        return;
    m_play.closeOutput();
    m_ctx.setStatus(1, "Converting...");
    if (m_ctx.applyWithUndo([&] { changeSampleRate(doc, m_ctx.undo, *dialog.rate()); }))
        m_ctx.markModified();
    m_ctx.setStatus(1, m_ctx.formatText());
    m_tempo.recomputeTempo(); // the same bytes last another time
    m_play.openOutput();      // says so when the device refuses the rate, and stays closed
    m_ctx.window.updateCommandStates();
}

void ProcessCommands::StripSilence1Click() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    TStripForm dialog(m_ctx.settings.THold, m_ctx.settings.Gapp, m_ctx.doc.SampleRate,
                      m_ctx.window.dialogParent());
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The positions chosen become the ones the dialog opens with next time.
    m_ctx.settings.THold = dialog.threshold();
    m_ctx.settings.Gapp = dialog.gap();
    if (!accepted || doc.LocatorR <= doc.LocatorL ||
        doc.LocatorR - doc.LocatorL <= kStripMinimumRegion)
        return;
    StripSilenceOptions options;
    options.threshold = dialog.threshold();
    options.gap = dialog.gap();
    options.points = dialog.points();
    options.smooth = m_ctx.controls.Smooth1->isChecked();
    options.addAtCurrentLength = m_ctx.controls.popupaddcur->isChecked();
    auto report = std::make_shared<StripSilenceReport>();
    BusyRunner::Job job;
    job.status = "Removing silence...";
    job.worker = std::make_unique<Silence>(
        [this, options, report] { *report = stripSilence(m_ctx.doc, m_ctx.undo, options); });
    job.changesData = true;
    job.changesFormat = true; // the data is shorter: the player opens on it again
    job.rescans = false;      // the points choice says whether a scan follows
    job.finished = [this, report](WorkerThread& worker) {
        stripSilenceFinished(worker, report->tableFull);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!m_ctx.runner.start(std::move(job)))
        QApplication::restoreOverrideCursor();
}

void ProcessCommands::stripSilenceFinished(WorkerThread& worker, bool tableFull) {
    QApplication::restoreOverrideCursor();
    m_ctx.undoRecordedBy(!worker.failed());
    if (worker.failed()) {
        if (worker.error() == kMsgNothingWouldRemain)
            m_ctx.dialogs.message(MessageKind::Warning, "", kMsgNothingWouldRemain);
        else
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgStripFailed);
        return;
    }
    m_view.showWholeSample();
    m_tempo.recomputeTempo(); // the region is the whole, shorter sample now
    m_ctx.window.placeLocatorButtons();
    m_ctx.window.updateCommandStates();
    if (tableFull)
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgTooManyPoints);
}

} // namespace tolvane
