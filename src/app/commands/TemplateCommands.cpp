#include "app/commands/TemplateCommands.h"

#include "app/BusyRunner.h"
#include "app/Workers.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/dialogs/TForm6.h"
#include "export/MidiTemplate.h"
#include "slicing/LoopSegments.h"

#include <QFileInfo>
#include <memory>

namespace tolvane {

void TemplateCommands::SaveMidMenuItemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !m_tempo.tempoCheck())
        return;
    saveTemplate();
}

void TemplateCommands::saveTemplate() {
    const SampleDocument& doc = m_ctx.doc;
    TForm6 keymapWindow(m_save.keymap(), static_cast<int>(loopSegmentSeries(doc).size()),
                        m_ctx.window.dialogParent());
    if (keymapWindow.exec() != QDialog::Accepted)
        return;
    m_save.setKeymap(keymapWindow.keymap());
    const Dialogs::FileChoice choice = m_ctx.dialogs.saveFileOfType(
        {"Save Midi File As",
         m_ctx.settings.SaveMidDir,
         {"Midi Format 0 Files (*.mid)", "Midi Format 1 Files (*.mid)"},
         "mid",
         QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName(),
         0});
    if (choice.file.isEmpty())
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
    job.finished = [this, chosen = choice.file, notesLeftOut](WorkerThread& worker) {
        templateSaved(worker, chosen, notesLeftOut);
    };
    m_ctx.runner.start(std::move(job));
}

void TemplateCommands::templateSaved(const WorkerThread& worker, const QString& chosen,
                                     int notesLeftOut) {
    m_ctx.setStatus(1, m_ctx.formatText());
    if (worker.failed()) {
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgMidiSaveError);
        return;
    }
    m_ctx.settings.SaveMidDir = QFileInfo(chosen).absolutePath();
    if (notesLeftOut > 0)
        m_ctx.dialogs.message(
            MessageKind::Warning, "",
            QString("%1 of the loop's notes lie above the top key (127) and were left out of the "
                    "MIDI file.\r\nChoose a lower base note or interval to keep them.")
                .arg(notesLeftOut));
}

} // namespace tolvane
