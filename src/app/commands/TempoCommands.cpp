#include "app/commands/TempoCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/Workers.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/SliceCommands.h"
#include "app/controls/UpDown.h"
#include "app/dialogs/TTpoForm.h"
#include "audio/twabeAudio.h"
#include "slicing/Randomise.h"
#include "slicing/Tempo.h"

#include <QAction>
#include <QLabel>

namespace tolvane {

TempoCommands::TempoCommands(CommandContext& ctx, PlayCommands& play, SliceCommands& slices)
    : m_ctx(ctx), m_play(play), m_slices(slices) {}

TempoCommands::~TempoCommands() = default;

void TempoCommands::UpDown1Click() {
    m_ctx.controls.barsLabel->setText(QString::number(m_ctx.controls.barsUpDown->position()));
    recomputeTempo();
}

void TempoCommands::UpDown2Click() {
    m_ctx.controls.beatsLabel->setText(QString::number(m_ctx.controls.beatsUpDown->position()));
    recomputeTempo();
}

void TempoCommands::setLoopLength(int bars, int beats) {
    MainControls& c = m_ctx.controls;
    c.barsUpDown->setPosition(bars);
    c.beatsUpDown->setPosition(beats);
    c.barsLabel->setText(QString::number(c.barsUpDown->position()));
    c.beatsLabel->setText(QString::number(c.beatsUpDown->position()));
    recomputeTempo();
}

void TempoCommands::recomputeTempo() {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen)
        return;
    bool barsOk = false;
    bool beatsOk = false;
    const int bars = m_ctx.controls.barsLabel->text().toInt(&barsOk);
    const int beats = m_ctx.controls.beatsLabel->text().toInt(&beatsOk);
    if (!barsOk || !beatsOk || bars < 0 || beats < 0)
        return;
    tolvane::setLoopLength(doc, bars, beats);
    m_ctx.controls.tempoLabel->setText(QString::fromStdString(tempoText(doc.LoopTempo)));
}

void TempoCommands::resetLoopLengthForLoad() {
    setLoopLength(m_ctx.settings.SetOneBar ? 1 : 0, 0);
}

void TempoCommands::showNoTempo() {
    m_ctx.controls.tempoLabel->setText(QString::fromStdString(tempoText(0.0)));
}

void TempoCommands::showTempoDialog(bool beatsFocused) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    TTpoForm dialog(m_ctx.controls.barsLabel->text(), m_ctx.controls.beatsLabel->text(),
                    beatsFocused, m_ctx.window.dialogParent());
    dialog.exec();
    // Closing in any way takes entries that are whole numbers.
    if (const auto entries = dialog.entries())
        setLoopLength(entries->bars, entries->beats);
}

bool TempoCommands::tempoCheck() {
    if (m_ctx.controls.barsLabel->text() != "0" || m_ctx.controls.beatsLabel->text() != "0")
        return true;
    if (m_ctx.dialogs.message(MessageKind::Confirmation, kMsgNoTempo, kMsgSetOneBar,
                              MessageButtons::YesNo) != MessageAnswer::Yes)
        return false;
    setLoopLength(1, 0);
    return true;
}

void TempoCommands::cutToGridCommand(GridNote note) {
    SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy() || !tempoCheck())
        return;
    if (gridPointCount(doc, note) > kMaxCandidates) {
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgGridTooFine);
        return;
    }
    m_ctx.recordUndo([this] { recordCandidateTable(m_ctx.undo, m_ctx.doc, kUndoCandidateTable); });
    const std::int32_t strength =
        m_ctx.controls.popupaddcur->isChecked() ? doc.Threshold + 10 : kGridPointStrength;
    cutToGrid(doc, note, strength);
    if (m_ctx.controls.Smooth1->isChecked())
        refinePointsAtNextScan(doc);
    m_ctx.window.placeLocatorButtons();
    recomputeTempo(); // the locators were snapped to the grid
    m_play.loopFollowsLocators();
    m_ctx.display.redrawAll(); // with "Smooth" the paint starts the refining scan
}

void TempoCommands::randomise(bool recut) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    resetUndoCaption(m_ctx.undo, m_ctx.state.modified);
    const ShuffleRegion region = shuffleRegion(m_ctx.doc);
    const UndoFile* copy = prepareShuffleCopy(region, recut);
    m_ctx.updateUndoCommand();
    if (!copy) {
        showCannotRandomise();
        return;
    }
    BusyRunner::Job job;
    job.status = "Randomizing...";
    job.worker = std::make_unique<trandom>(m_ctx.doc, *copy, region, shuffleGeneratorFromSystem());
    job.finished = [this, recut](WorkerThread& worker) { randomiseFinished(worker, recut); };
    if (!m_ctx.runner.start(std::move(job)))
        m_scratch.reset();
}

const UndoFile* TempoCommands::prepareShuffleCopy(const ShuffleRegion& region, bool recut) {
    const SampleDocument& doc = m_ctx.doc;
    const auto start = static_cast<std::int32_t>(region.start);
    const auto length = static_cast<std::int32_t>(region.length);
    try {
        if (m_ctx.undo.UndoEnabled) {
            recordRange(m_ctx.undo, doc, start, length,
                        recut ? kUndoRandomise : kUndoRandomiseKeep);
            return &m_ctx.undo.File;
        }
        m_scratch = std::make_unique<UndoFile>("KQRND");
        m_scratch->store(doc.SampleData.data() + region.start, region.length);
        return m_scratch.get();
    } catch (const UndoFileError&) {
        m_scratch.reset();
        return nullptr;
    }
}

void TempoCommands::randomiseFinished(const WorkerThread& worker, bool recut) {
    m_scratch.reset();
    if (worker.failed()) {
        showCannotRandomise();
        m_ctx.display.redrawAll();
        return;
    }
    m_ctx.setStatus(1, m_ctx.formatText());
    m_ctx.markModified();
    if (m_ctx.player)
        m_ctx.player->refresh();
    if (recut)
        m_slices.recutAfterRandomise();
    else
        m_ctx.display.redrawAll();
}

void TempoCommands::showCannotRandomise() {
    m_ctx.dialogs.message(MessageKind::Error, kMsgCannotRandomise, kMsgCannotRandomiseHint);
}

} // namespace tolvane
