// The main window's save commands, crop and the outside programs.
#include "app/TForm6.h"
#include "app/TMainForm.h"
#include "app/TWaveBox.h"
#include "fileio/SampleFileReader.h"
#include "fileio/WaveFileWriter.h"
#include "processing/Crop.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"

#include <QAction>
#include <QFileInfo>

namespace tolvane {
namespace {

constexpr const char* kMsgSaveFailed = "Error saving file!\r\n\r\nA file of that name may be open "
                                       "in another program, or its read only file "
                                       "attribute set.\r\n\r\nSave under a different name?";
constexpr const char* kMsgSeriesFailed = "Error saving files!\r\n\r\nFiles of may be open in "
                                         "another program, or their read only file attributes "
                                         "set.\r\n\r\nSave under a different name?";

bool isSplit(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}
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

} // namespace

// Every save runs its write on a worker while the window is disabled (the region too: the
// worker reads the sample, so nothing may change it meanwhile).
void TMainForm::runSave(std::unique_ptr<SaveThread> thread, const QString& status,
                        std::function<void(bool failed)> completion) {
    Button24Click();
    enterBusy();
    setStatus(1, status);
    m_saver = std::move(thread);
    connect(m_saver.get(), &QThread::finished, this, [this, completion = std::move(completion)] {
        const std::unique_ptr<SaveThread> saver = std::move(m_saver);
        saver->wait();
        setStatus(1, QString::fromStdString(
                         formatStatusText(m_doc.BitsPerSample, m_doc.SampleRate, m_doc.Channels)));
        leaveBusy();
        completion(saver->failed());
    });
    m_saver->start();
}

bool TMainForm::saveFailedRetry(bool series) {
    return m_dialogs.message(MessageKind::Error, "", series ? kMsgSeriesFailed : kMsgSaveFailed,
                             MessageButtons::YesNo) == MessageAnswer::Yes;
}

QString TMainForm::chooseSaveFile(const QString& presetName) {
    const QString chosen = m_dialogs.saveFile({"Save Waveform As",
                                               m_settings.SaveDir,
                                               {"AIFF (Apple) (*.aif)", "Wave (Microsoft) (*.wav)"},
                                               "wav",
                                               presetName,
                                               1});
    if (!chosen.isEmpty())
        m_settings.SaveDir = QFileInfo(chosen).absolutePath();
    return chosen;
}

void TMainForm::SaveitemClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    if (needsNewName(m_doc)) {
        SaveAsitemClick();
        return;
    }
    const std::string target = m_doc.FileName;
    runSave(std::make_unique<tmainsave>([this, target] {
                WriteSampleFile(m_doc, target, 0, static_cast<std::uint32_t>(m_doc.DataLength),
                                wholeMode(m_doc));
            }),
            "Saving...", [this](bool failed) {
                if (failed) {
                    if (saveFailedRetry(false))
                        SaveAsitemClick();
                    return;
                }
                documentSavedAs(QString::fromStdString(m_doc.FileName));
            });
}

void TMainForm::SaveAsitemClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const QString name = QFileInfo(QString::fromStdString(m_doc.FileName)).completeBaseName();
    const QString chosen = chooseSaveFile(name);
    if (chosen.isEmpty())
        return;
    runSave(std::make_unique<tsaveas>([this, target = chosen.toStdString()] {
                WriteSampleFile(m_doc, target, 0, static_cast<std::uint32_t>(m_doc.DataLength),
                                wholeMode(m_doc));
            }),
            "Saving...", [this, chosen](bool failed) {
                if (failed) {
                    if (saveFailedRetry(false))
                        SaveAsitemClick();
                    return;
                }
                documentSavedAs(chosen);
            });
}

void TMainForm::SaveSelectItemClick() {
    if (!m_doc.DocumentOpen || isBusy() || !m_view.selected)
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const SegmentSpan segment = *m_view.selected;
    std::uint32_t start = segment.start;
    std::uint32_t count = segment.end - segment.start;
    int mode = m_doc.MergeChannels ? kWriteBothChannels : kWriteOneChannel;
    if (isSplit(m_doc)) {
        const std::uint32_t tag = segment.channel == kChannelLeftSplit ? 2 : 1;
        start = (segment.start & ~3u) + 2 * (2 - tag);
        count = ((segment.end - segment.start) / 2) & ~3u;
    } else if (m_doc.Channels == 2) {
        count = segment.end - segment.start;
    }
    runSave(std::make_unique<ttseg>([this, target = chosen.toStdString(), start, count, mode] {
                WriteSampleFile(m_doc, target, start, count, mode);
            }),
            "Saving...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    SaveSelectItemClick();
            });
}

void TMainForm::PopUpSaveClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const auto segment = segmentUnderPointer();
    if (!segment || segment->end <= segment->start)
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const bool split = isSplit(m_doc);
    const std::uint32_t count = (segment->end - segment->start) / (split ? 2 : 1);
    const int mode = (m_doc.Channels == 2 && !split) ? kWriteBothChannels : kWriteOneChannel;
    runSave(std::make_unique<tsaveselseg>(
                [this, target = chosen.toStdString(), start = segment->start, count, mode] {
                    WriteSampleFile(m_doc, target, start, count, mode);
                }),
            "Saving...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    PopUpSaveClick();
            });
}

void TMainForm::SaveRegionItemClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const QString chosen = chooseSaveFile({});
    if (chosen.isEmpty())
        return;
    const std::uint32_t start = m_doc.LocatorL & ~3u;
    const std::uint32_t count = (m_doc.LocatorR - std::min(m_doc.LocatorL, m_doc.LocatorR)) & ~3u;
    runSave(std::make_unique<ttsregion>([this, target = chosen.toStdString(), start, count] {
                WriteSampleFile(m_doc, target, start, count, wholeMode(m_doc));
            }),
            "Saving region...", [this](bool failed) {
                if (failed && saveFailedRetry(false))
                    SaveRegionItemClick();
            });
}

void TMainForm::SplitMenuItemClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const std::vector<LoopSegment> series = loopSegmentSeries(m_doc);
    TForm6 keymapWindow(m_keymap, static_cast<int>(series.size()), this);
    if (keymapWindow.exec() != QDialog::Accepted)
        return;
    m_keymap = keymapWindow.keymap();
    const QString chosen =
        chooseSaveFile(QFileInfo(QString::fromStdString(m_doc.FileName)).completeBaseName());
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
                            m_doc, seriesFileName(base, segment, m_doc.SliceCount, extension),
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

// The whole document is now in `fileName`: it becomes the document's file, unmodified.
void TMainForm::documentSavedAs(const QString& fileName) {
    m_doc.FileName = fileName.toStdString();
    m_doc.ReadOnlyFile = false;
    m_doc.FileDate = fileModificationDate(m_doc.FileName);
    m_modified = false;
    noteDocumentSaved(m_undo);
    updateRecentFiles(fileName);
    setCaption();
    updateCommandStates();
}

bool TMainForm::confirmDiscard() {
    if (!m_doc.DocumentOpen || !m_modified || !m_settings.prompt)
        return true;
    const MessageAnswer answer = m_dialogs.message(
        MessageKind::Confirmation, "Current File Not Saved",
        QString("Save changes to %1?").arg(QString::fromStdString(m_doc.FileName)),
        MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Cancel)
        return false;
    if (answer == MessageAnswer::No)
        return true;
    // Saved here and now, as "&Save" would: what follows discards the document.
    Button24Click();
    QString target =
        needsNewName(m_doc) ? chooseSaveFile({}) : QString::fromStdString(m_doc.FileName);
    while (!target.isEmpty()) {
        try {
            WriteSampleFile(m_doc, target.toStdString(), 0,
                            static_cast<std::uint32_t>(m_doc.DataLength), wholeMode(m_doc));
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

void TMainForm::CropRegion1Click() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    Button24Click();
    if (!recordUndo([this] { recordWholeSample(m_undo, m_doc, kUndoReplaceSample); }))
        return;
    cropToLocators(m_doc);
    showWholeSample(m_view, m_doc);
    m_view.selected.reset();
    setStatus(3, "x1.0");
    markModified();
    if (m_player) {
        m_player->close();
        openOutput(); // the sample's memory is new
    }
    updateCommandStates();
    placeLocatorButtons();
    redrawAll();
}

void TMainForm::Editexternally1Click() {
    if (m_settings.EditLoc.isEmpty()) {
        m_dialogs.message(MessageKind::Error, "", "No wave editor specified!");
        return;
    }
    if (!m_shell->open(m_settings.EditLoc, {QString::fromStdString(m_doc.FileName)}))
        m_dialogs.message(MessageKind::Error, "",
                          "Error opening sample editor -\r\n\r\nCheck sample editor location is "
                          "correct in options");
}

void TMainForm::ControlPanel1Click() {
    if (m_settings.CPLoc.isEmpty()) {
        m_dialogs.message(MessageKind::Error, "", "No control panel specified!");
        return;
    }
    if (!m_shell->open(m_settings.CPLoc, {}))
        m_dialogs.message(MessageKind::Error, "",
                          "Error opening control panel; check path in options");
}

} // namespace tolvane
