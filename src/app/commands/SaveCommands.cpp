#include "app/commands/SaveCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/RecentFiles.h"
#include "app/commands/TempoCommands.h"
#include "app/commands/ViewCommands.h"
#include "app/controls/TWaveBox.h"
#include "app/dialogs/TForm6.h"
#include "document/OutputFiles.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "processing/Crop.h"
#include "processing/SegmentSeries.h"
#include "processing/SliceMarkerFile.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/SegmentRanges.h"

#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

namespace tolvane {
namespace {

constexpr const char* kMsgSaveFailed = "Error saving file!\r\n\r\nA file of that name may be open "
                                       "in another program, or its read only file "
                                       "attribute set.\r\n\r\nSave under a different name?";
constexpr const char* kMsgSeriesFailed = "Error saving files!\r\n\r\nFiles of may be open in "
                                         "another program, or their read only file attributes "
                                         "set.\r\n\r\nSave under a different name?";

int wholeMode(const SampleDocument& doc) {
    return doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel;
}

// "&Save" writes back to the document's own file only when that file can take it: it has a
// name, is writable, and its name says WAV or AIFF (a name that says neither could not be read
// back in the layout it would get). Otherwise the user is asked for a name.
bool needsNewName(const SampleDocument& doc) {
    const bool writableName = isWaveFileName(doc.FileName) || isAiffFileName(doc.FileName);
    return doc.ReadOnlyFile || !hasFileOfItsOwn(doc) || !writableName;
}

// What a series save leaves in the status bar: how many files, where, the first and the last.
QString seriesWrittenText(const std::vector<std::string>& files) {
    const auto name = [](const std::string& file) {
        return QString::fromStdString(std::filesystem::path(file).filename().string());
    };
    const QString folder =
        QString::fromStdString(std::filesystem::path(files.front()).parent_path().string());
    if (files.size() == 1)
        return QString("1 file written to %1: %2").arg(folder, name(files.front()));
    return QString("%1 files written to %2: %3 to %4")
        .arg(files.size())
        .arg(folder, name(files.front()), name(files.back()));
}

// The whole sample, written as it is now.
void writeWholeSample(const SampleDocument& doc, const std::string& target) {
    WriteSampleFile(doc, target, 0, static_cast<std::uint32_t>(doc.DataLength), wholeMode(doc));
}

} // namespace

// Every save runs its write on a worker while the window is disabled (the region too: the
// worker reads the sample, so nothing may change it meanwhile).
void SaveCommands::runSave(std::unique_ptr<FunctionWorker> worker, const QString& status,
                           std::function<void(bool failed)> completion) {
    BusyRunner::Job job;
    job.status = status;
    job.worker = std::move(worker);
    job.finished = [this, completion = std::move(completion)](WorkerThread& done) {
        m_ctx.setStatus(1, m_ctx.formatText());
        completion(done.failed());
    };
    m_ctx.runner.start(std::move(job));
}

bool SaveCommands::saveFailedRetry(bool series) {
    return m_ctx.dialogs.message(MessageKind::Error, "", series ? kMsgSeriesFailed : kMsgSaveFailed,
                                 MessageButtons::YesNo) == MessageAnswer::Yes;
}

QString SaveCommands::chooseSaveFile(const QString& presetName) {
    const QString chosen =
        m_ctx.dialogs.saveFile({"Save Waveform As",
                                m_ctx.settings.SaveDir,
                                {"AIFF (Apple) (*.aif)", "Wave (Microsoft) (*.wav)"},
                                "wav",
                                presetName,
                                1});
    if (!chosen.isEmpty())
        m_ctx.settings.SaveDir = QFileInfo(chosen).absolutePath();
    return chosen;
}

// The whole document is now in `fileName`: it becomes the document's file, unmodified.
void SaveCommands::documentSavedAs(const QString& fileName) {
    SampleDocument& doc = m_ctx.doc;
    doc.FileName = fileName.toStdString();
    doc.ReadOnlyFile = false;
    doc.FileDate = fileModificationDate(doc.FileName);
    m_ctx.state.modified = false;
    noteDocumentSaved(m_ctx.undo);
    m_recent.add(fileName);
    m_ctx.window.setCaption();
    m_ctx.window.updateCommandStates();
}

void SaveCommands::SaveitemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    if (needsNewName(m_ctx.doc)) {
        SaveAsitemClick();
        return;
    }
    const std::string target = m_ctx.doc.FileName;
    runSave(std::make_unique<tmainsave>([this, target] { writeWholeSample(m_ctx.doc, target); }),
            "Saving...", [this, target](bool failed) {
                if (failed) {
                    if (saveFailedRetry(false))
                        SaveAsitemClick();
                    return;
                }
                documentSavedAs(QString::fromStdString(target));
            });
}

void SaveCommands::SaveAsitemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    const QString name = QFileInfo(QString::fromStdString(m_ctx.doc.FileName)).completeBaseName();
    const QString chosen = chooseSaveFile(name);
    if (chosen.isEmpty())
        return;
    runSave(std::make_unique<tsaveas>(
                [this, target = chosen.toStdString()] { writeWholeSample(m_ctx.doc, target); }),
            "Saving...", [this, chosen](bool failed) {
                if (failed) {
                    if (saveFailedRetry(false))
                        SaveAsitemClick();
                    return;
                }
                documentSavedAs(chosen);
            });
}

// Writes one range of the sample to a chosen file on its worker; a failed write asks to try
// again under another name, which runs `retry`.
bool SaveCommands::refuseOpenSampleAsOutput(const std::vector<std::string>& outputs) {
    const std::string& open = m_ctx.doc.FileName;
    for (const std::string& output : outputs) {
        if (!isSameFile(output, open))
            continue;
        m_ctx.dialogs.message(
            MessageKind::Error, "",
            QString("Cannot save to %1:\r\nit is the file of the open sample, %2.\r\n\r\n"
                    "Choose another name, or use Save to write the whole sample.")
                .arg(QString::fromStdString(output), QString::fromStdString(open)));
        return true;
    }
    return false;
}

namespace {

// One range of the sample to a file, as every single-range save writes it: no end-point
// smoothing (only the series is smoothed).
void writeRange(const SampleDocument& doc, const std::string& target, const WriteRange& range) {
    WriteSampleFile(doc, target, range.start, range.byteCount, range.channelMode);
}

} // namespace

template <typename Worker>
void SaveCommands::saveRange(const WriteRange& range, const QString& status,
                             void (SaveCommands::*retry)()) {
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty() || refuseOpenSampleAsOutput({chosen.toStdString()}))
        return;
    runSave(std::make_unique<Worker>([this, target = chosen.toStdString(), range] {
                writeRange(m_ctx.doc, target, range);
            }),
            status, [this, retry](bool failed) {
                if (failed && saveFailedRetry(false))
                    (this->*retry)();
            });
}

void SaveCommands::SaveSelectItemClick() {
    const std::optional<SegmentSpan>& selected = m_ctx.view.selected;
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !selected)
        return;
    if (const auto range =
            selectedSegmentRange(m_ctx.doc, selected->start, selected->end, selected->channel))
        saveRange<ttseg>(*range, "Saving...", &SaveCommands::SaveSelectItemClick);
}

void SaveCommands::PopUpSaveClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    const std::int64_t position =
        xToPosition(m_ctx.state.pointerX, m_ctx.view, m_ctx.window.waveWidth());
    if (const auto range = segmentRangeAt(m_ctx.doc, position, m_ctx.pointerChannel()))
        saveRange<tsaveselseg>(*range, "Saving...", &SaveCommands::PopUpSaveClick);
}

void SaveCommands::SaveRegionItemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    if (const auto range = regionRange(m_ctx.doc))
        saveRange<ttsregion>(*range, "Saving region...", &SaveCommands::SaveRegionItemClick);
}

void SaveCommands::SaveMarkersItemClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || !sliceMarkers(m_ctx.doc))
        return;
    const QString chosen = m_ctx.dialogs.saveFile(
        {"Save With Slice Markers",
         m_ctx.settings.SaveDir,
         {"Wave (Microsoft) (*.wav)"},
         "wav",
         QFileInfo(QString::fromStdString(m_ctx.doc.FileName)).completeBaseName(),
         0});
    if (chosen.isEmpty() || refuseOpenSampleAsOutput({chosen.toStdString()}))
        return;
    m_ctx.settings.SaveDir = QFileInfo(chosen).absolutePath();
    runSave(std::make_unique<ttsregion>(
                [this, target = chosen.toStdString()] { writeSliceMarkerFile(m_ctx.doc, target); }),
            "Saving region...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    SaveMarkersItemClick();
            });
}

// "<sample name>-<n>.wav": a new name for every drag, so that a file a receiving program still
// reads is never rewritten under it.
QString SaveCommands::nextDragFileName() {
    if (!m_dragFolder) {
        m_dragFolder =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + "/WaveTolvane-drag-XXXXXX");
        if (!m_dragFolder->isValid()) {
            const QString error = m_dragFolder->errorString();
            m_dragFolder.reset();
            throw FileWriteError("Cannot make a folder for the dragged file: " +
                                 error.toStdString());
        }
    }
    QString name = QFileInfo(QString::fromStdString(m_ctx.doc.FileName)).completeBaseName();
    if (name.isEmpty())
        name = "Untitled";
    return m_dragFolder->filePath(QString("%1-%2.wav").arg(name).arg(++m_dragCount));
}

void SaveCommands::dragOut(const WriteRange& range) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    QString file;
    try {
        file = nextDragFileName();
        writeRange(m_ctx.doc, file.toStdString(), range);
    } catch (const FileWriteError& e) {
        m_ctx.dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
        return;
    }
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(file)});
    if (m_dragStarter) {
        m_dragStarter(std::move(data));
        return;
    }
    auto* drag = new QDrag(m_ctx.controls.wave);
    drag->setMimeData(data.release());
    drag->exec(Qt::CopyAction);
    drag->deleteLater();
}

void SaveCommands::SplitMenuItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    if (!chooseKeymap(KeymapFor::Segments, static_cast<int>(loopSegmentSeries(doc).size())))
        return;
    const QString chosen =
        chooseSaveFile(QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName());
    const auto name = splitSeriesName(chosen.toStdString());
    if (!name || refuseOpenSampleAsOutput(segmentSeriesFileNames(doc, *name)))
        return;
    const int smooth = m_keymap.smoothEndPoints ? m_keymap.smoothLevel : 0;
    m_segmentFileLengths[0].clear();
    m_segmentFileLengths[1].clear();
    // Each file's length is kept before it is written, so a failure leaves the slots in order.
    auto lengths = std::make_shared<std::vector<std::pair<char, std::uint32_t>>>();
    auto written = std::make_shared<std::vector<std::string>>();
    SeriesListener listener;
    listener.beforeWrite = [lengths](const SeriesFile& file) {
        lengths->emplace_back(file.segment.suffix, file.length);
    };
    listener.written = [written](const SeriesFile& file) { written->push_back(file.fileName); };
    runSave(std::make_unique<TCutWave>([this, name = *name, smooth, listener] {
                writeSegmentSeries(m_ctx.doc, name, smooth, listener); // stops at a failure
            }),
            "Saving...", [this, lengths, written](bool failed) {
                for (const auto& [suffix, length] : *lengths)
                    m_segmentFileLengths[suffix == 'R' ? 1 : 0].push_back(length);
                // Also after a failure: the files before it are complete and stay.
                if (!written->empty())
                    m_ctx.setStatus(0, seriesWrittenText(*written));
                if (failed && saveFailedRetry(true))
                    SplitMenuItemClick();
            });
}

namespace {

// Why "Keymap settings" appears before a save, in one line.
QString keymapReason(KeymapFor save) {
    switch (save) {
    case KeymapFor::Segments:
        return "The segment files are written next: their end points are smoothed as set here.";
    case KeymapFor::Bank:
        return "The sound bank is written next: its segments get the keys and the end-point "
               "smoothing set here.";
    case KeymapFor::Template:
        return "The MIDI timing template is written next: its notes play the keys set here, "
               "those a bank of this loop gets.";
    case KeymapFor::TemplateAndBank:
        return "The template and the sound bank are written next: they get the keys and the "
               "end-point smoothing set here.";
    case KeymapFor::TrackFile:
        return "The track file is written next: its segments play the keys set here.";
    }
    return {};
}

} // namespace

bool SaveCommands::chooseKeymap(KeymapFor save, int samples) {
    const bool bank = save == KeymapFor::Bank || save == KeymapFor::TemplateAndBank;
    TForm6 keymapWindow(m_keymap, samples, m_ctx.window.dialogParent(),
                        bank ? KeymapUse::SoundBank : KeymapUse::Mapping);
    if (!std::exchange(m_keymapExplained, true))
        keymapWindow.setReason(keymapReason(save));
    if (keymapWindow.exec() != QDialog::Accepted)
        return false;
    m_keymap = keymapWindow.keymap();
    return true;
}

bool SaveCommands::confirmDiscard() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || !m_ctx.state.modified || !m_ctx.settings.prompt)
        return true;
    const MessageAnswer answer = m_ctx.dialogs.message(
        MessageKind::Confirmation, "Current File Not Saved",
        QString("Save changes to %1?").arg(QString::fromStdString(doc.FileName)),
        MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Cancel)
        return false;
    if (answer == MessageAnswer::No)
        return true;
    // Saved here and now, as "&Save" would: what follows discards the document.
    m_play.Button24Click();
    QString target = needsNewName(doc) ? chooseSaveFile({}) : QString::fromStdString(doc.FileName);
    while (!target.isEmpty()) {
        try {
            writeWholeSample(doc, target.toStdString());
            documentSavedAs(target);
            return true;
        } catch (const std::exception&) {
            if (!saveFailedRetry(false))
                return false;
            target = chooseSaveFile({});
        }
    }
    return false;
}

void SaveCommands::CropRegion1Click() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    m_play.Button24Click();
    if (!m_ctx.recordUndo([this] { recordWholeSample(m_ctx.undo, m_ctx.doc, kUndoReplaceSample); }))
        return;
    cropToLocators(m_ctx.doc);
    m_view.showWholeSample();
    m_tempo.recomputeTempo(); // the region is now the whole sample
    m_ctx.markModified();
    m_play.reopenOutput(); // the sample's memory is new
    m_ctx.window.updateCommandStates();
    m_ctx.window.placeLocatorButtons();
    m_ctx.display.redrawAll();
}

void SaveCommands::Editexternally1Click() {
    if (m_ctx.settings.EditLoc.isEmpty()) {
        m_ctx.dialogs.message(MessageKind::Error, "", "No wave editor specified!");
        return;
    }
    if (!m_shell->open(m_ctx.settings.EditLoc, {QString::fromStdString(m_ctx.doc.FileName)}))
        m_ctx.dialogs.message(MessageKind::Error, "",
                              "Error opening sample editor -\r\n\r\nCheck sample editor location "
                              "is correct in options");
}

void SaveCommands::ControlPanel1Click() {
    if (m_ctx.settings.CPLoc.isEmpty()) {
        m_ctx.dialogs.message(MessageKind::Error, "", "No control panel specified!");
        return;
    }
    if (!m_shell->open(m_ctx.settings.CPLoc, {}))
        m_ctx.dialogs.message(MessageKind::Error, "",
                              "Error opening control panel; check path in options");
}

} // namespace tolvane
