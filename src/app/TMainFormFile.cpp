// The main window's file commands: open, the load sequence, recent files, revert, close,
// point files, dropped files and the check for a file changed elsewhere.
#include "app/TForm4.h"
#include "app/TMainForm.h"
#include "app/TWaveBox.h"
#include "document/PointFile.h"
#include "document/SafeFileWriter.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace tolvane {
namespace {

constexpr const char* kPointFilter = "WaveTolvane point files (*.tlp)";
constexpr const char* kNoFileLoadedText = "No File Loaded";

} // namespace

// The acceptance test with the messages of the open commands; true when the file may load.
bool TMainForm::acceptFileForOpen(const QString& fileName, const QString& wrongFormatText) {
    const AcceptanceReport report = testSampleFile(fileName.toStdString());
    if (report.result == Acceptance::Unreadable) {
        m_dialogs.message(MessageKind::Error, "", kMsgUnableToLoad);
        return false;
    }
    if (report.result == Acceptance::WrongFormat) {
        m_dialogs.message(MessageKind::Warning, "", wrongFormatText);
        return false;
    }
    if (!QFileInfo::exists(fileName)) {
        m_dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return false;
    }
    return true;
}

void TMainForm::OpenFile() {
    if (!confirmDiscard())
        return;
    Button24Click();
    const QString chosen = m_dialogs.chooseSampleFile(m_settings.OpenDir, m_settings.AutoPlay);
    if (m_player)
        m_player->OnWaveoutput = [this] { playEnded(); };
    if (chosen.isEmpty() || !acceptFileForOpen(chosen, kMsgTypeUnrecognised)) {
        // A preview may have changed the output's format: back to the document's.
        if (m_player && m_doc.DocumentOpen) {
            m_player->close();
            openOutput();
        }
        return;
    }
    m_settings.OpenDir = QFileInfo(chosen).absolutePath();
    loadFile(chosen);
}

void TMainForm::openDroppedFile(const QString& fileName) {
    if (confirmDiscard() && acceptFileForOpen(fileName, kMsgTypeUnrecognised))
        loadFile(fileName);
}

void TMainForm::OpenRecentFile(int index) {
    if (!confirmDiscard())
        return;
    const QString fileName = m_settings.recentFiles[index];
    if (!QFileInfo::exists(fileName)) {
        m_dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return;
    }
    if (!acceptFileForOpen(fileName, kMsgIncorrectFormat))
        return;
    // The opened file moves to the top of the list.
    std::swap(m_settings.recentFiles[index], m_settings.recentFiles[0]);
    showRecentFiles();
    loadFile(fileName);
}

void TMainForm::RevertItemClick() {
    if (m_dialogs.message(MessageKind::Confirmation, "",
                          "Are you sure you wish to revert to the original sample?",
                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    const QString fileName = QString::fromStdString(m_doc.FileName);
    if (!QFileInfo::exists(fileName)) {
        m_dialogs.message(MessageKind::Warning, "", kMsgFileNotFound);
        return;
    }
    if (acceptFileForOpen(fileName, kMsgTypeUnrecognised))
        loadFile(fileName);
}

void TMainForm::CloseFile() {
    if (!confirmDiscard())
        return;
    Button24Click();
    if (m_player)
        m_player->close();
    closeDocument(m_doc);
    clearUndo(m_undo);
    m_modified = false;
    resetToNoDocument();
    redrawAll();
}

// Empties the window: no document, slider at 0, the commands that need a file disabled.
void TMainForm::resetToNoDocument() {
    const QSignalBlocker block(m_slider);
    m_slider->setValue(0);
    m_sensitivityLabel->setText("0%");
    setStatus(1, "No File Loaded");
    setStatus(3, "x1.0");
    m_view = ViewState{};
    m_modified = false;
    setCaption();
    updateCommandStates();
    epImagePanel1Resize();
}

void TMainForm::loadFile(const QString& fileName) {
    if (m_loader || m_scanner)
        return;
    Button24Click();
    if (m_player)
        m_player->close(); // the player must not read the old sample while it goes
    m_doc.FileDate = fileModificationDate(fileName.toStdString());
    enterBusy();
    setStatus(1, "Loading...");
    m_loader = std::make_unique<ttload>(fileName.toStdString());
    connect(m_loader.get(), &QThread::finished, this, [this] { loadCompleted(); });
    m_loader->start();
}

// The load sequence on the window's thread, once the worker has read the file.
void TMainForm::loadCompleted() {
    const std::unique_ptr<ttload> loader = std::move(m_loader);
    loader->wait();
    leaveBusy();
    const QString fileName = QString::fromStdString(loader->fileName());
    if (!loader->error().empty()) {
        // The open document stays as it was, with its output and commands.
        setStatus(1, m_doc.DocumentOpen
                         ? QString::fromStdString(formatStatusText(
                               m_doc.BitsPerSample, m_doc.SampleRate, m_doc.Channels))
                         : QString(kNoFileLoadedText));
        openOutput();
        updateCommandStates();
        m_dialogs.message(MessageKind::Error, "", kMsgUnableToLoad);
        return;
    }
    // 1. Recent files; the open document goes, and with it the step to undo.
    updateRecentFiles(fileName);
    closeDocument(m_doc);
    clearUndo(m_undo);
    // 2-3. The new document.
    adoptLoadedSample(m_doc, std::move(loader->loaded()), loader->fileName());
    m_doc.PreEmphasis = kDefaultPreEmphasis;
    m_modified = false;
    m_view = ViewState{};
    showWholeSample(m_view, m_doc);
    // 4. Caption and format.
    setCaption();
    QString format =
        QString::fromStdString(formatStatusText(m_doc.BitsPerSample, m_doc.SampleRate, 0));
    // 5. Commands, slider, channels.
    {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(0);
    }
    m_sensitivityLabel->setText("0%");
    m_doc.Threshold = kThresholdAfterLoad;
    LeftChannel->setChecked(true);
    RightChannel->setChecked(true);
    format += m_doc.Channels == 2 ? " stereo" : " mono";
    if (m_doc.Channels == 2)
        showChannelMode(true);
    setStatus(1, format);
    setStatus(3, "x1.0");
    PopUpZout->setEnabled(false);
    PopUpZts->setEnabled(false);
    updateCommandStates();
    epImagePanel1Resize();
    m_doc.DetectPending = true;
    if (m_player) {
        m_player->close();
        openOutput();
    }
    updateCommandStates();
    m_wave->update(); // the paint starts the scan
}

void TMainForm::updateRecentFiles(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return;
    for (const QString& recent : m_settings.recentFiles)
        if (recent.toLower() == fileName.toLower())
            return;
    for (int i = 3; i > 0; --i)
        m_settings.recentFiles[i] = m_settings.recentFiles[i - 1];
    m_settings.recentFiles[0] = fileName;
    showRecentFiles();
}

void TMainForm::showRecentFiles() {
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        SubOpenItem[i]->setText(m_settings.recentFiles[i]);
        SubOpenItem[i]->setVisible(!m_settings.recentFiles[i].isEmpty());
        any = any || !m_settings.recentFiles[i].isEmpty();
    }
    m_reopenMenu->setEnabled(any);
}

void TMainForm::OpenPointClick() {
    const QString file = m_dialogs.openFile(
        {"Load point file", m_settings.OpenPoint, {kPointFilter, "All files (*)"}, "tlp", {}});
    if (file.isEmpty())
        return;
    m_settings.OpenPoint = QFileInfo(file).absolutePath();
    try {
        openPointFile(m_doc, file.toStdString());
    } catch (const PointFileError& e) {
        m_dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
        return;
    }
    forgetPointUndo(m_undo);
    updateUndoCommand();
    TrackBar1Change(m_slider->value());
}

void TMainForm::SavePointClick() {
    const QString file =
        m_dialogs.saveFile({"Save point file", m_settings.SavePoint, {kPointFilter}, "tlp", {}});
    if (file.isEmpty())
        return;
    m_settings.SavePoint = QFileInfo(file).absolutePath();
    try {
        savePointFile(m_doc, file.toStdString());
    } catch (const FileWriteError& e) {
        m_dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
    }
}

void TMainForm::Options1Click() {
    TForm4 preferences(m_settings, m_audio ? m_audio->outputDevices() : std::vector<std::string>{},
                       this);
    if (preferences.exec() == QDialog::Accepted) {
        m_settings = preferences.settings();
        applySettings();
        m_undo.UndoEnabled = m_settings.EnableUndo && m_undo.File.isOpen();
        if (!m_settings.EnableUndo)
            clearUndo(m_undo);
        updateUndoCommand();
        if (m_player && m_doc.DocumentOpen) {
            // Device, buffer size or count may have changed: reopen with them.
            Button24Click();
            m_player->close();
            openOutput();
            updateCommandStates();
        }
    }
    redrawAll();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile() || isBusy())
        return;
    event->acceptProposedAction();
    openDroppedFile(urls.front().toLocalFile());
}

// Back in the program: a file changed by another program since is offered for reloading.
void TMainForm::applicationActivated() {
    if (!m_doc.DocumentOpen || m_doc.FileName.empty() || isBusy())
        return;
    const std::int64_t now = fileModificationDate(m_doc.FileName);
    if (now == 0 || now == m_doc.FileDate)
        return;
    m_doc.FileDate = now;
    if (m_dialogs.message(MessageKind::Confirmation, "", "File has changed! Reload?",
                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    // Reloading discards the editor's copy: offering to save it would write it over the very
    // change the user asked to see.
    const QString fileName = QString::fromStdString(m_doc.FileName);
    if (acceptFileForOpen(fileName, kMsgTypeUnrecognised))
        loadFile(fileName);
}

} // namespace tolvane
