#include "app/commands/SaveCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/RecentFiles.h"
#include "app/commands/ViewCommands.h"
#include "app/dialogs/TForm6.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "processing/Crop.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"

#include <QFileInfo>

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
    return doc.ReadOnlyFile || doc.FileName.empty() || doc.FileName == kUntitledName ||
           !writableName;
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

void SaveCommands::SaveSelectItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy() || !m_ctx.view.selected)
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const SegmentSpan segment = *m_ctx.view.selected;
    std::uint32_t start = segment.start;
    std::uint32_t count = segment.end - segment.start;
    int mode = doc.MergeChannels ? kWriteBothChannels : kWriteOneChannel;
    if (m_ctx.isSplitStereo()) {
        const std::uint32_t tag = segment.channel == kChannelLeftSplit ? 2 : 1;
        start = (segment.start & ~3u) + 2 * (2 - tag);
        count = ((segment.end - segment.start) / 2) & ~3u;
    } else if (doc.Channels == 2) {
        count = segment.end - segment.start;
    }
    runSave(std::make_unique<ttseg>([this, target = chosen.toStdString(), start, count, mode] {
                WriteSampleFile(m_ctx.doc, target, start, count, mode);
            }),
            "Saving...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    SaveSelectItemClick();
            });
}

void SaveCommands::PopUpSaveClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const auto segment = m_ctx.segmentUnderPointer();
    if (!segment || segment->end <= segment->start)
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const bool split = m_ctx.isSplitStereo();
    const std::uint32_t count = (segment->end - segment->start) / (split ? 2 : 1);
    const int mode = (doc.Channels == 2 && !split) ? kWriteBothChannels : kWriteOneChannel;
    runSave(std::make_unique<tsaveselseg>(
                [this, target = chosen.toStdString(), start = segment->start, count, mode] {
                    WriteSampleFile(m_ctx.doc, target, start, count, mode);
                }),
            "Saving...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    PopUpSaveClick();
            });
}

void SaveCommands::SaveRegionItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const std::uint32_t start = doc.LocatorL & ~3u;
    const std::uint32_t count = (doc.LocatorR - std::min(doc.LocatorL, doc.LocatorR)) & ~3u;
    runSave(std::make_unique<ttsregion>([this, target = chosen.toStdString(), start, count] {
                WriteSampleFile(m_ctx.doc, target, start, count, wholeMode(m_ctx.doc));
            }),
            "Saving region...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    SaveRegionItemClick();
            });
}

void SaveCommands::SplitMenuItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    const std::vector<LoopSegment> series = loopSegmentSeries(doc);
    TForm6 keymapWindow(m_keymap, static_cast<int>(series.size()), m_ctx.window.dialogParent());
    if (keymapWindow.exec() != QDialog::Accepted)
        return;
    m_keymap = keymapWindow.keymap();
    const QString chosen =
        chooseSaveFile(QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName());
    if (chosen.isEmpty() || chosen.size() < 5)
        return;
    const std::string base = chosen.left(chosen.size() - 4).toStdString();
    const std::string extension = chosen.right(4).toStdString();
    const int smooth = m_keymap.smoothEndPoints ? m_keymap.smoothLevel : 0;
    m_segmentFileLengths[0].clear();
    m_segmentFileLengths[1].clear();
    auto lengths = std::make_shared<std::vector<std::pair<char, std::uint32_t>>>();
    runSave(std::make_unique<TCutWave>([this, series, base, extension, smooth, lengths] {
                bool anyFailed = false;
                for (const LoopSegment& segment : series) {
                    // A failed file does not stop the later ones; the message comes at the end.
                    try {
                        const std::uint32_t written = WriteSampleFile(
                            m_ctx.doc,
                            seriesFileName(base, segment, m_ctx.doc.SliceCount, extension),
                            segment.start, segment.byteCount, segment.channelMode, smooth);
                        lengths->emplace_back(segment.suffix, written);
                    } catch (...) {
                        anyFailed = true;
                    }
                }
                if (anyFailed)
                    throw std::runtime_error("a file of the series could not be written");
            }),
            "Saving...", [this, lengths](bool failed) {
                for (const auto& [suffix, written] : *lengths)
                    m_segmentFileLengths[suffix == 'R' ? 1 : 0].push_back(written);
                if (failed && saveFailedRetry(true))
                    SplitMenuItemClick();
            });
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
