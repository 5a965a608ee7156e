#include "app/commands/FileCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/RecentFiles.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/SliceCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/controls/TWaveBox.h"
#include "app/dialogs/TForm4.h"
#include "audio/twabeAudio.h"
#include "document/PointFile.h"
#include "document/SafeFileWriter.h"
#include "fileio/ConvertedSample.h"
#include "fileio/CuePoints.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"
#include "slicing/MarkerPoints.h"

#include <QAction>
#include <QFileInfo>
#include <QSlider>

namespace tolvane {
namespace {

constexpr const char* kPointFilter = "WaveTolvane point files (*.tlp)";

} // namespace

void FileCommands::startUp(const QString& commandLineFile) {
    if (!commandLineFile.isEmpty()) {
        if (QFileInfo::exists(commandLineFile))
            openDroppedFile(commandLineFile);
        else
            m_ctx.dialogs.message(MessageKind::Warning, "", "Error opening file - check path!");
    } else if (m_ctx.settings.showopendialog) {
        OpenFile();
    }
}

// Whether the user agrees to convert a file to 16 bits (or always does, by the setting).
bool FileCommands::agreeToConvert(const ConvertibleFormat& format) {
    return m_ctx.settings.AlwaysConvert ||
           m_ctx.dialogs.message(MessageKind::Confirmation, "",
                                 QString::fromStdString(conversionQuestion(format)),
                                 MessageButtons::YesNo) == MessageAnswer::Yes;
}

// The acceptance test with the messages of the open commands: how the file may load, if at
// all. A file the own reader refuses that libsndfile reads is converted when the user agrees;
// without agreement it is refused as before.
FileCommands::LoadMode FileCommands::acceptFileForOpen(const QString& fileName,
                                                       const QString& wrongFormatText) {
    const AcceptanceReport report = testSampleFile(fileName.toStdString());
    LoadMode mode = LoadMode::AsItIs;
    if (report.result != Acceptance::Accepted) {
        const ConvertibleReport convertible = convertibleFormat(fileName.toStdString());
        if (convertible.format) {
            if (!agreeToConvert(*convertible.format)) {
                m_ctx.dialogs.message(MessageKind::Warning, "", wrongFormatText);
                return LoadMode::Refused;
            }
            mode = LoadMode::Converted;
        } else if (report.result == Acceptance::Unreadable) {
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgUnableToLoad);
            return LoadMode::Refused;
        } else {
            m_ctx.dialogs.message(MessageKind::Warning, "", wrongFormatText);
            return LoadMode::Refused;
        }
    }
    if (!QFileInfo::exists(fileName)) {
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return LoadMode::Refused;
    }
    return mode;
}

void FileCommands::OpenFile() {
    if (!m_save.confirmDiscard())
        return;
    m_play.Button24Click();
    const QString chosen =
        m_ctx.dialogs.chooseSampleFile(m_ctx.settings.OpenDir, m_ctx.settings.AutoPlay);
    if (m_ctx.player)
        m_ctx.player->OnWaveoutput = [this] { m_play.playEnded(); };
    const LoadMode mode =
        chosen.isEmpty() ? LoadMode::Refused : acceptFileForOpen(chosen, kMsgTypeUnrecognised);
    if (mode == LoadMode::Refused) {
        // A preview may have changed the output's format: back to the document's.
        if (m_ctx.doc.DocumentOpen)
            m_play.reopenOutput();
        return;
    }
    m_ctx.settings.OpenDir = QFileInfo(chosen).absolutePath();
    loadFile(chosen, mode);
}

void FileCommands::openDroppedFile(const QString& fileName) {
    if (!m_save.confirmDiscard())
        return;
    if (const LoadMode mode = acceptFileForOpen(fileName, kMsgTypeUnrecognised);
        mode != LoadMode::Refused)
        loadFile(fileName, mode);
}

void FileCommands::OpenRecentFile(int index) {
    if (!m_save.confirmDiscard())
        return;
    const QString fileName = m_ctx.settings.recentFiles[index];
    if (!QFileInfo::exists(fileName)) {
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return;
    }
    const LoadMode mode = acceptFileForOpen(fileName, kMsgIncorrectFormat);
    if (mode == LoadMode::Refused)
        return;
    m_recent.moveToTop(index); // the opened file goes to the top of the list
    loadFile(fileName, mode);
}

void FileCommands::RevertItemClick() {
    if (m_ctx.dialogs.message(MessageKind::Confirmation, "",
                              "Are you sure you wish to revert to the original sample?",
                              MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    const QString fileName = QString::fromStdString(m_ctx.doc.FileName);
    if (!QFileInfo::exists(fileName)) {
        m_ctx.dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return;
    }
    if (const LoadMode mode = acceptFileForOpen(fileName, kMsgTypeUnrecognised);
        mode != LoadMode::Refused)
        loadFile(fileName, mode);
}

void FileCommands::CloseFile() {
    if (!m_save.confirmDiscard())
        return;
    m_play.closeOutput();
    closeDocument(m_ctx.doc);
    clearUndo(m_ctx.undo);
    resetToNoDocument();
    m_ctx.display.redrawAll();
}

void FileCommands::resetToNoDocument() {
    m_slices.resetSlider();
    m_tempo.showNoTempo();
    m_ctx.setStatus(1, kNoFileLoaded);
    m_ctx.setStatus(3, "x1.0");
    m_ctx.view = ViewState{};
    m_ctx.state.modified = false;
    m_ctx.window.setCaption();
    m_ctx.window.updateCommandStates();
    m_ctx.window.relayout();
}

void FileCommands::loadFile(const QString& fileName, LoadMode mode) {
    if (m_ctx.runner.running())
        return;
    m_play.closeOutput(); // the player must not read the old sample while it goes
    m_ctx.doc.FileDate = fileModificationDate(fileName.toStdString());
    BusyRunner::Job job;
    job.status = "Loading...";
    job.worker = std::make_unique<ttload>(fileName.toStdString(), mode == LoadMode::Converted);
    job.finished = [this](WorkerThread& worker) { loadCompleted(static_cast<ttload&>(worker)); };
    m_ctx.runner.start(std::move(job));
}

// The load sequence on the window's thread, once the worker has read the file.
void FileCommands::loadCompleted(ttload& loader) {
    SampleDocument& doc = m_ctx.doc;
    const QString fileName = QString::fromStdString(loader.fileName());
    if (loader.failed()) {
        // The open document stays as it was, with its output and commands.
        m_ctx.setStatus(1, doc.DocumentOpen ? m_ctx.formatText() : QString(kNoFileLoaded));
        m_play.openOutput();
        m_ctx.window.updateCommandStates();
        // A conversion says what libsndfile found wrong (a damaged FLAC stream, say).
        const QString reason =
            loader.converted() ? "\r\n\r\n" + QString::fromStdString(loader.error()) : QString();
        m_ctx.dialogs.message(MessageKind::Error, "", kMsgUnableToLoad + reason);
        return;
    }
    // Asked before the document is taken, so that no scan starts while the question is open.
    const bool useCuePoints = agreeToUseCuePoints(loader.cuePoints());
    // 1. Recent files; the open document goes, and with it the step to undo.
    m_recent.add(fileName);
    takeLoadedDocument(std::move(loader.loaded()), loader.fileName());
    if (loader.converted()) {
        // Nothing on disk holds the converted samples: saving asks for a name, closing for a
        // save, and the source is never written over with 16 bits.
        detachFromSourceFile(m_ctx.doc);
        m_ctx.state.modified = true;
        m_ctx.window.setCaption();
        m_ctx.window.updateCommandStates();
    }
    if (useCuePoints || loader.cuePoints().frames.empty())
        offerCuePoints(loader.cuePoints());
}

bool FileCommands::agreeToUseCuePoints(const CuePointReading& cues) {
    if (cues.frames.empty())
        return false;
    const QString question = QString("This file has %1 cue point%2. Use %3 as slice points?")
                                 .arg(cues.frames.size())
                                 .arg(cues.frames.size() == 1 ? "" : "s")
                                 .arg(cues.frames.size() == 1 ? "it" : "them");
    return m_ctx.dialogs.message(MessageKind::Confirmation, "", question, MessageButtons::YesNo) ==
           MessageAnswer::Yes;
}

// The cue points become the slice points, locked, in place of the scan; what had to be left out
// of them is said.
void FileCommands::offerCuePoints(const CuePointReading& cues) {
    if (!cues.frames.empty()) {
        useMarkersAsSlicePoints(m_ctx.doc, cues.frames);
        forgetPointUndo(m_ctx.undo); // a new table, as a scan makes
        m_ctx.updateUndoCommand();
        m_slices.TrackBar1Change(m_ctx.controls.slider->value());
        m_ctx.display.redrawAll();
        m_ctx.window.relayout();
    }
    if (cues.problems.empty())
        return;
    QString text = "Some of the file's cue points could not be used:";
    for (const std::string& problem : cues.problems)
        text += "\r\n" + QString::fromStdString(problem);
    m_ctx.dialogs.message(MessageKind::Warning, "", text);
}

void FileCommands::adoptReceivedSample(SampleDocument&& received, const std::string& name) {
    m_play.Button24Click();
    // Receiving over an open sample is one step that undo takes back, name and all.
    const bool replacing = m_ctx.doc.DocumentOpen;
    if (replacing && !m_ctx.recordUndo([this] { recordReceivedSample(m_ctx.undo, m_ctx.doc); }))
        return;
    takeLoadedDocument(std::move(received), name, replacing ? UndoOnLoad::Keep : UndoOnLoad::Clear);
    // Nothing on disk belongs to it yet: saving asks for a name, closing for a save.
    m_ctx.doc.FileDate = 0;
    m_ctx.doc.ReadOnlyFile = false;
    m_ctx.state.modified = true;
    m_ctx.window.setCaption();
    m_ctx.window.updateCommandStates(); // no file to revert to
}

void FileCommands::takeLoadedDocument(SampleDocument&& loaded, const std::string& fileName,
                                      UndoOnLoad undo) {
    SampleDocument& doc = m_ctx.doc;
    closeDocument(doc);
    if (undo == UndoOnLoad::Clear)
        clearUndo(m_ctx.undo);
    // 2-3. The new document.
    adoptLoadedSample(doc, std::move(loaded), fileName);
    doc.PreEmphasis = kDefaultPreEmphasis;
    m_ctx.state.modified = false;
    m_ctx.view = ViewState{};
    showWholeSample(m_ctx.view, doc);
    // 4. Caption and format.
    m_ctx.window.setCaption();
    // 5. Commands, slider, channels.
    m_slices.resetSlider();
    m_slices.newDocument();
    m_ctx.controls.LeftChannel->setChecked(true);
    m_ctx.controls.RightChannel->setChecked(true);
    if (doc.Channels == 2)
        m_slices.showChannelMode(true);
    m_ctx.setStatus(1, m_ctx.formatText());
    m_ctx.setStatus(3, "x1.0");
    m_ctx.controls.PopUpZout->setEnabled(false);
    m_ctx.controls.PopUpZts->setEnabled(false);
    m_tempo.resetLoopLengthForLoad();
    m_ctx.window.updateCommandStates();
    m_ctx.window.relayout();
    m_play.reopenOutput();
    m_ctx.window.updateCommandStates();
    m_ctx.controls.wave->update(); // the paint starts the scan
}

void FileCommands::OpenPointClick() {
    const QString file = m_ctx.dialogs.openFile(
        {"Load point file", m_ctx.settings.OpenPoint, {kPointFilter, "All files (*)"}, "tlp", {}});
    if (file.isEmpty())
        return;
    m_ctx.settings.OpenPoint = QFileInfo(file).absolutePath();
    try {
        openPointFile(m_ctx.doc, file.toStdString());
    } catch (const PointFileError& e) {
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
        return;
    }
    forgetPointUndo(m_ctx.undo);
    m_ctx.updateUndoCommand();
    m_slices.TrackBar1Change(m_ctx.controls.slider->value());
}

void FileCommands::SavePointClick() {
    const QString file = m_ctx.dialogs.saveFile(
        {"Save point file", m_ctx.settings.SavePoint, {kPointFilter}, "tlp", {}});
    if (file.isEmpty() || m_save.refuseOpenSampleAsOutput({file.toStdString()}))
        return;
    m_ctx.settings.SavePoint = QFileInfo(file).absolutePath();
    try {
        savePointFile(m_ctx.doc, file.toStdString());
    } catch (const FileWriteError& e) {
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
    }
}

void FileCommands::Options1Click() {
    TForm4 preferences(
        m_ctx.settings, m_ctx.player ? m_ctx.player->outputDevices() : std::vector<std::string>{},
        m_ctx.window.dialogParent(), m_midiInputs ? m_midiInputs() : std::vector<std::string>{});
    if (preferences.exec() == QDialog::Accepted) {
        m_ctx.settings = preferences.settings();
        m_ctx.window.applySettings();
        m_ctx.undo.UndoEnabled = m_ctx.settings.EnableUndo && m_ctx.undo.File.isOpen();
        if (!m_ctx.settings.EnableUndo)
            clearUndo(m_ctx.undo);
        setUndoLevels(m_ctx.undo, m_ctx.settings.UndoLevels);
        m_ctx.updateUndoCommand();
        if (m_ctx.player && m_ctx.doc.DocumentOpen) {
            // Device, buffer size or count may have changed: reopen with them.
            m_play.reopenOutput();
            m_ctx.window.updateCommandStates();
        }
    }
    m_ctx.display.redrawAll();
}

// Back in the program: a file changed by another program since is offered for reloading.
void FileCommands::applicationActivated() {
    SampleDocument& doc = m_ctx.doc;
    // A document with no file on disk (converted, received) has only a name: it would be looked
    // up in the working folder.
    if (!doc.DocumentOpen || doc.FileName.empty() || doc.FileDate == 0 || m_ctx.busy())
        return;
    const std::int64_t now = fileModificationDate(doc.FileName);
    if (now == 0 || now == doc.FileDate)
        return;
    doc.FileDate = now;
    if (m_ctx.dialogs.message(MessageKind::Confirmation, "", "File has changed! Reload?",
                              MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    // Reloading discards the editor's copy: offering to save it would write it over the very
    // change the user asked to see.
    const QString fileName = QString::fromStdString(doc.FileName);
    if (const LoadMode mode = acceptFileForOpen(fileName, kMsgTypeUnrecognised);
        mode != LoadMode::Refused)
        loadFile(fileName, mode);
}

} // namespace tolvane
