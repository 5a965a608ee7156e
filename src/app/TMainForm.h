#pragma once

#include "app/Dialogs.h"
#include "app/ProgramSettings.h"
#include "app/ToolIcons.h"
#include "app/Workers.h"
#include "audio/twabeAudio.h"
#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "platform/Shell.h"
#include "slicing/Keymap.h"
#include "view/PointHitTest.h"
#include "view/ViewState.h"
#include "view/WaveformRenderer.h"

#include <QImage>
#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;
class QToolBar;
class QToolButton;

namespace tolvane {

class TWaveBox;
class LocatorButton;

// The main window: owns the one sample document, its view and the workers that load and scan.
class TMainForm : public QMainWindow {
public:
    // `audio` may be null: without a sound system the editor works without playback.
    TMainForm(SettingsStore& store, Dialogs& dialogs, AudioBackend* audio,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // Start-up after the first showing: the command-line file, or the open command.
    void FormShow(const QString& commandLineFile);
    // Loads a file as every open command does (after the caller's checks).
    void loadFile(const QString& fileName);

    // File commands.
    void OpenFile();
    void RevertItemClick();
    void CloseFile();
    void OpenRecentFile(int index); // 0 .. 3
    void OpenPointClick();
    void SavePointClick();
    void Options1Click();
    void openDroppedFile(const QString& fileName);

    // Undo, clipboard and point editing.
    void mnuUndoClick();
    void mnuCopyAllClick();
    void CopySegment1Click();
    void PasteIntoSegment2Click();
    void mnuPasteAllKeepClick();
    void mnuPasteNewClick();
    void mnuLockAllClick();
    void mnuUnlockAllClick();
    void chooseTool(Tool tool);
    Tool tool() const { return m_tool; }
    const UndoRecord& undoRecord() const { return m_undo; }
    bool isModified() const { return m_modified; }

    // Saving, crop, outside programs.
    void SaveitemClick();
    void SaveAsitemClick();
    void SaveSelectItemClick();
    void PopUpSaveClick(); // the segment under the pointer
    void SaveRegionItemClick();
    void SplitMenuItemClick(); // every segment between the locators
    void CropRegion1Click();
    void Editexternally1Click();
    void ControlPanel1Click();
    void setShell(std::unique_ptr<Shell> shell) { m_shell = std::move(shell); }
    const KeymapSettings& keymap() const { return m_keymap; }
    void setKeymap(const KeymapSettings& keymap) { m_keymap = keymap; }
    // The output lengths of the last series' files, left (or only) and right channel.
    const std::vector<std::uint32_t>& segmentFileLengths(int channel) const {
        return m_segmentFileLengths[channel - 1];
    }
    // Asks before a modified document is discarded; false when the user cancels.
    bool confirmDiscard();

    // Playback.
    void Button3Click();         // "Play": the visible range
    void Button20Click();        // "Loop": the locator region
    void button4Click();         // "Selected": the selected segment
    void Button24Click();        // "Stop"
    void auditionUnderPointer(); // Space
    twabeAudio* player() { return m_player.get(); }
    // Opens the output with the document's format; false (with its message) when it cannot.
    bool openOutput();

    // Detection and sensitivity.
    void Recut1Click();
    void TrackBar1Change(int position);
    void setSensitivityPercent(double percent);
    void showSensitivityDialog(); // "Sensitivity", from Ctrl+Y or a double-click on the label
    void LR1Click();              // "L + R"
    void LR2Click();              // "L / R"
    void LeftChannelClick();
    void RightChannelClick();

    // View.
    void PopupZinClick();
    void PopUpZoutClick();
    void PopUp11Click();
    void PopUpZtsClick();
    void SelectionBar1Click();
    void Regionbar1Click();
    // Scrolls by a wheel's angle delta (120 a notch): that many pixels' worth of bytes.
    void scrollByWheel(int delta);
    // The pointer over the waveform at x, as a mouse move there would leave it.
    void pointAt(int x);
    // Help: the contents, the tips, the maker's page.
    void HelpFileItemClick();
    void TipItemClick();
    void h1Click();
    // The program was activated again: a file changed elsewhere is offered for reloading.
    void applicationActivated();
    // The program as a whole went to the background or came back (its own dialogs do not count).
    void applicationStateChanged(Qt::ApplicationState state);

    // State for callers and tests.
    SampleDocument& document() { return m_doc; }
    const ViewState& view() const { return m_view; }
    const ProgramSettings& settings() const { return m_settings; }
    bool isBusy() const { return m_doc.Busy || m_loader || m_scanner || m_saver; }
    QString statusText(int panel) const;
    int waveWidth() const;
    QImage waveformPicture() const { return m_picture; }
    // Redraw pending, then waveform, markers and bars.
    void redrawAll();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolbars();
    void createCentralPanel();
    void addMirrorButton(QToolBar* bar, QAction* command, const char* name, ToolIcon icon,
                         const QString& hint);
    void createStatusBar();
    void applySettings();
    void showSegmentTools(bool shown);
    void FormCreate();
    void FormClose();

    // Load sequence.
    bool acceptFileForOpen(const QString& fileName, const QString& wrongFormatText);
    void loadCompleted();
    void updateRecentFiles(const QString& fileName);
    void showRecentFiles();
    void resetToNoDocument();
    void updateCommandStates();
    void setCaption();

    // Detection.
    void Paintbox1Paint();
    void startScan(bool fromRecut);
    void scanCompleted();
    void afterMerge(bool fromScanEnd);
    // "L + R" or "L / R" checked in the channel button's menu and shown on it.
    void showChannelMode(bool merged);
    // A click on "&Left Channel" or "&Right Channel".
    void channelItemClicked(QAction* clicked);
    void setSliderPosition(int position);

    // Drawing.
    void redrawWaveform();
    void drawBars();
    void epImagePanel1Resize();
    void placeLocatorButtons();
    void applyZoom(const ZoomOutcome& outcome);
    void viewMoved();
    void PaintBox1MouseMove(QMouseEvent* event);
    void PaintBox1MouseDown(QMouseEvent* event);
    void PaintBox1MouseUp(QMouseEvent* event);
    void keyPressEvent(QKeyEvent* event) override;
    void showPointerLine(int x, int y, std::uint8_t channel);
    void selectSegmentUnderPointer(int x);
    std::optional<SegmentSpan> segmentUnderPointer() const;
    // Starts an operation that records undo: false (with the message shown) when the undo
    // buffer cannot keep what the operation would overwrite.
    bool recordUndo(const std::function<void()>& record);
    void markModified();
    void updateUndoCommand();
    void pasteAll(bool findNew);
    void takeNewFormat(std::uint16_t oldChannels);
    void showRestoredChannelMode();
    int playbackChannelMode() const;
    void runSave(std::unique_ptr<SaveThread> thread, const QString& status,
                 std::function<void(bool failed)> completion);
    QString chooseSaveFile(const QString& presetName);
    bool saveFailedRetry(bool series);
    void documentSavedAs(const QString& fileName);
    void playSampleRange(std::uint32_t start, std::uint32_t length, bool loop);
    void startCursor(std::uint32_t startByte, CursorTimerFor purpose);
    void startSegmentCursor(std::uint32_t startByte);
    void SuperTimer1Timer();
    void playEnded();
    void setTransport(QAction* down);
    void PaintBox2MouseDown(QMouseEvent* event);
    void PaintBox2MouseMove(QMouseEvent* event);
    void PaintBox2MouseUp(QMouseEvent* event);
    void Paintbox3MouseUp(QMouseEvent* event);
    void segmentBarClicked(QMouseEvent* event, std::uint8_t channel);
    void locatorReleased(bool left, int x);
    WaveformOptions waveformOptions() const;
    void setStatus(int panel, const QString& text);
    void enterBusy();
    void leaveBusy();

    SettingsStore& m_store;
    Dialogs& m_dialogs;
    ProgramSettings m_settings;
    bool m_settingsAvailable = true;
    bool m_initialisationFailed = false;
    SampleDocument m_doc;
    ViewState m_view;
    UndoRecord m_undo;
    std::unique_ptr<SaveThread> m_saver;
    std::unique_ptr<Shell> m_shell;
    KeymapSettings m_keymap;
    std::vector<std::uint32_t> m_segmentFileLengths[2];
    AudioBackend* m_audio;
    std::unique_ptr<twabeAudio> m_player; // waveAudio1
    QTimer* m_cursorTimer = nullptr;      // SuperTimer1
    bool m_looping = false;
    bool m_outputReleased = false;
    Tool m_tool = Tool::Select;
    std::optional<HoveredPoint> m_hovered;
    bool m_dragging = false;
    bool m_pointerMoved = false;
    bool m_shiftZoomPress = false;
    int m_pointerX = 1;
    int m_dragIndex = 0;
    QImage m_bare;
    QImage m_picture;
    QString m_savedStatus;
    std::unique_ptr<ttload> m_loader;
    std::unique_ptr<tpseek> m_scanner;
    bool m_scanFromRecut = false;
    bool m_modified = false;

    // Region bar drag state.
    enum class RegionDrag { None, Move, Resize, Page, Segment };
    RegionDrag m_regionDrag = RegionDrag::None;
    int m_regionGrab = 0;
    bool m_regionKeepStart = true;

    // Controls.
    QWidget* m_panel = nullptr;               // epImagePanel1
    TWaveBox* m_wave = nullptr;               // Paintbox1
    TWaveBox* m_bars = nullptr;               // PaintBox2
    TWaveBox* m_strip = nullptr;              // Paintbox3
    LocatorButton* m_locatorL = nullptr;      // Button19
    LocatorButton* m_locatorR = nullptr;      // Button21
    QSlider* m_slider = nullptr;              // TrackBar1
    QLabel* m_sensitivityLabel = nullptr;     // Label2
    QToolButton* m_channelButton = nullptr;   // CButton
    QAction* m_channelButtonAction = nullptr; // shows or hides CButton in its toolbar
    QLabel* m_statusPanels[4] = {};
    QMenu* m_popup = nullptr;
    QMenu* m_reopenMenu = nullptr;

    QAction *FileOpenItem = nullptr, *RevertItem = nullptr, *FileCloseItem = nullptr;
    QAction *OpenPoint = nullptr, *SavePoint = nullptr, *Options1 = nullptr,
            *FileExitItem = nullptr;
    QAction* SubOpenItem[4] = {};
    QAction *Recut1 = nullptr, *LeftChannel = nullptr, *RightChannel = nullptr;
    QAction *LR1 = nullptr, *LR2 = nullptr;
    QAction *PopupZin = nullptr, *PopUpZout = nullptr, *PopUp11 = nullptr, *PopUpZts = nullptr;
    QAction *SelectionBar1 = nullptr, *Regionbar1 = nullptr;
    QAction *ShowSensitivity = nullptr, *HelpAboutItem = nullptr;
    QAction *HelpFileItem = nullptr, *TipItem = nullptr, *h1 = nullptr, *ViewFTItem = nullptr;
    QAction *ViewETItem = nullptr, *mnuPpanel = nullptr, *refind = nullptr;
    QToolBar* m_fileToolbar = nullptr;
    QAction *SpeedButton5 = nullptr, *SpeedButton6 = nullptr, *SpeedButton7 = nullptr;
    QAction *mnuUndo = nullptr, *mnuCopyAll = nullptr, *mnuPasteAllKeep = nullptr,
            *mnuPasteNew = nullptr;
    QAction *CopySegment1 = nullptr, *PasteIntoSegment2 = nullptr;
    QAction *mnuLockAll = nullptr, *mnuUnlockAll = nullptr, *popupaddcur = nullptr;
    QAction* m_toolActions[9] = {};
    QAction *Button3 = nullptr, *Button20 = nullptr, *button4 = nullptr, *Button24 = nullptr;
    QAction *Saveitem = nullptr, *SaveAsitem = nullptr, *SaveSelectItem = nullptr,
            *PopUpSave = nullptr;
    QAction *SaveRegionItem = nullptr, *SplitMenuItem = nullptr, *CropRegion1 = nullptr;
    QAction *Editexternally1 = nullptr, *ControlPanel1 = nullptr;
};

} // namespace tolvane
