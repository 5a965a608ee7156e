#include "app/commands/TemplateCommands.h"

#include "app/BusyRunner.h"
#include "app/Workers.h"
#include "app/commands/BankCommands.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/TempoCommands.h"
#include "export/MidiTemplate.h"
#include "export/TrackFile.h"
#include "export/TrackFileLibrary.h"
#include "slicing/LoopSegments.h"

#include <QFileInfo>
#include <memory>

namespace tolvane {

void TemplateCommands::SaveMidMenuItemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_tempo.tempoCheck())
        return;
    saveTemplate(false);
}

void TemplateCommands::SaveSFMClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_tempo.tempoCheck())
        return;
    saveTemplate(true);
}

bool TemplateCommands::confirmKeymap(KeymapFor save) {
    return m_save.chooseKeymap(save, static_cast<int>(loopSegmentSeries(m_ctx.doc).size()));
}

void TemplateCommands::warnNotesLeftOut(int notesLeftOut, const char* file) {
    if (notesLeftOut > 0)
        m_ctx.dialogs.message(
            MessageKind::Warning, "",
            QString("%1 of the loop's notes lie above the top key (127) and were left out of the "
                    "%2.\r\nChoose a lower base note or interval to keep them.")
                .arg(notesLeftOut)
                .arg(file));
}

bool TemplateCommands::templateTempoCheck() {
    return m_ctx.doc.DocumentOpen && m_tempo.tempoCheck();
}

void TemplateCommands::saveTemplateAfterSend() {
    if (m_ctx.doc.DocumentOpen && !m_ctx.busy())
        saveTemplate(false, true);
}

void TemplateCommands::saveTemplate(bool thenBank, bool keymapChosen) {
    const SampleDocument& doc = m_ctx.doc;
    // A tempo the file cannot hold would play the loop at another speed.
    if (const std::string refusal = midiTempoRefusal(doc.LoopTempo); !refusal.empty()) {
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(refusal));
        return;
    }
    if (!keymapChosen &&
        !confirmKeymap(thenBank ? KeymapFor::TemplateAndBank : KeymapFor::Template))
        return;
    const Dialogs::FileChoice choice = m_ctx.dialogs.saveFileOfType(
        {"Save Midi File As",
         m_ctx.settings.SaveMidDir,
         {"Midi Format 0 Files (*.mid)", "Midi Format 1 Files (*.mid)"},
         "mid",
         QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName(),
         0});
    if (choice.file.isEmpty() ||
        m_save.refuseOpenSampleAsOutput(midiTemplatePaths(doc, choice.file.toStdString())))
        return;
    const MidiTemplateOptions options{choice.filter == 1 ? 1 : 0, m_ctx.settings.FilterEnable};
    // Built here, where the document may be read; the worker only writes.
    auto files = std::make_shared<std::vector<MidiTemplateFile>>(
        midiTemplateFiles(doc, choice.file.toStdString(), m_save.keymap(), options));
    int notesLeftOut = 0;
    for (const MidiTemplateFile& file : *files)
        notesLeftOut += file.content.notesLeftOut;
    BusyRunner::Job job;
    job.status = "Saving template...";
    job.worker = std::make_unique<tmidisave>([files] { writeMidiTemplates(*files); });
    job.finished = [this, chosen = choice.file, notesLeftOut, thenBank](WorkerThread& worker) {
        templateSaved(worker, chosen, notesLeftOut, thenBank);
    };
    m_ctx.runner.start(std::move(job));
}

void TemplateCommands::templateSaved(const WorkerThread& worker, const QString& chosen,
                                     int notesLeftOut, bool thenBank) {
    m_ctx.setStatus(1, m_ctx.formatText());
    if (worker.failed()) {
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgMidiSaveError);
        return;
    }
    m_ctx.settings.SaveMidDir = QFileInfo(chosen).absolutePath();
    warnNotesLeftOut(notesLeftOut, "MIDI file");
    if (thenBank)
        m_banks.saveBankAfterTemplate(chosen);
}

void TemplateCommands::SaveTrackItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy() || !m_tempo.tempoCheck())
        return;
    auto library = std::make_shared<SharedTrackFileLibrary>(m_ctx.settings.TrackLib.toStdString());
    if (library->status() != TrackLibraryStatus::Loaded) {
        QString text = library->status() == TrackLibraryStatus::CannotLoad
                           ? kMsgTrackLibraryMissing
                           : kMsgTrackLibraryEntryMissing;
        if (!library->error().empty())
            text += "\r\n\r\n" + QString::fromStdString(library->error());
        m_ctx.dialogs.message(MessageKind::Error, "", text);
        return;
    }
    if (const std::string refusal = trackRefusal(doc); !refusal.empty()) {
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(refusal));
        return;
    }
    if (!confirmKeymap(KeymapFor::TrackFile))
        return;
    const QString chosen = m_ctx.dialogs.saveFile(
        {"Save Mixman Track File As",
         m_ctx.settings.SaveTrkDir,
         {"Mixman track file (*.trk)"},
         "trk",
         QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName() + ".trk",
         0});
    if (chosen.isEmpty() || m_save.refuseOpenSampleAsOutput({chosen.toStdString()}))
        return;
    auto result = std::make_shared<TrackWriteResult>();
    BusyRunner::Job job;
    job.status = "Saving Track File...";
    job.worker = std::make_unique<FunctionWorker>(
        [this, library, result, keymap = m_save.keymap(), name = chosen.toStdString()] {
            *result = writeTrackFile(*library, m_ctx.doc, keymap, name);
        });
    job.finished = [this, result, chosen](WorkerThread& worker) {
        m_ctx.setStatus(1, m_ctx.formatText());
        m_ctx.settings.SaveTrkDir = QFileInfo(chosen).absolutePath();
        if (worker.failed() || !result->written) {
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgTrackWriteFailed);
            return;
        }
        warnNotesLeftOut(result->notesLeftOut, "track file");
    };
    m_ctx.runner.start(std::move(job));
}

} // namespace tolvane
