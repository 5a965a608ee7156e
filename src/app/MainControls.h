#pragma once

#include <QString>
#include <array>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;

namespace tolvane {

class LocatorButton;
class TWaveBox;
class UpDown;

// The main window's controls under their documented names, for the command groups that read
// and set them. The window creates them (the actions from the command table); nothing here
// owns them.
struct MainControls {
    // File.
    QAction *FileOpenItem = nullptr, *RevertItem = nullptr, *FileCloseItem = nullptr;
    QAction *OpenPoint = nullptr, *SavePoint = nullptr, *Options1 = nullptr;
    QAction* FileExitItem = nullptr;
    std::array<QAction*, 4> SubOpenItem{};
    QAction *Saveitem = nullptr, *SaveAsitem = nullptr, *SaveSelectItem = nullptr;
    QAction *PopUpSave = nullptr, *SaveRegionItem = nullptr, *SplitMenuItem = nullptr;
    QAction *SaveMidMenuItem = nullptr, *SaveTrackItem = nullptr, *SaveSFItem = nullptr;
    QAction *SaveSFM = nullptr, *SaveMarkersItem = nullptr;
    // Edit.
    QAction *mnuUndo = nullptr, *mnuRedo = nullptr, *mnuCopyAll = nullptr,
            *mnuPasteAllKeep = nullptr;
    QAction *mnuPasteNew = nullptr, *CopySegment1 = nullptr, *PasteIntoSegment2 = nullptr;
    QAction *mnuLockAll = nullptr, *mnuUnlockAll = nullptr, *popupaddcur = nullptr;
    QAction *Recut1 = nullptr, *refind = nullptr, *CropRegion1 = nullptr;
    QAction *Editexternally1 = nullptr, *ControlPanel1 = nullptr;
    QAction *LeftChannel = nullptr, *RightChannel = nullptr, *LR1 = nullptr, *LR2 = nullptr;
    QAction* ShowSensitivity = nullptr;
    // Tempo, grid, randomise.
    QAction *ShowTempo1 = nullptr, *N8ths1 = nullptr, *N16ths1 = nullptr, *N32nds1 = nullptr;
    QAction *Randomise1 = nullptr, *Randomise2 = nullptr, *Smooth1 = nullptr;
    // Process, the pointer menu's segment commands and their keys.
    QAction *Normalise1 = nullptr, *Invert1 = nullptr, *Bitreduction1 = nullptr;
    QAction *Convert1 = nullptr, *Adjustsamplerate1 = nullptr, *StripSilence1 = nullptr;
    QAction *mnuSilence = nullptr, *mnuReverse = nullptr, *Silence1 = nullptr, *Reverse1 = nullptr;
    // View.
    QAction *PopupZin = nullptr, *PopUpZout = nullptr, *PopUp11 = nullptr, *PopUpZts = nullptr;
    QAction *SelectionBar1 = nullptr, *Regionbar1 = nullptr, *mnuPpanel = nullptr;
    QAction *ViewFTItem = nullptr, *ViewETItem = nullptr;
    QAction *SpeedButton5 = nullptr, *SpeedButton6 = nullptr, *SpeedButton7 = nullptr;
    // Sampler.
    QAction* Transmit1 = nullptr;
    QAction* SMIDITransfer1 = nullptr;
    QAction* BatchTransfer1 = nullptr;
    QAction* PlayFromKeyboard1 = nullptr;
    QAction* PlayThrough1 = nullptr;
    // Help.
    QAction *HelpFileItem = nullptr, *TipItem = nullptr, *h1 = nullptr;
    QAction* HelpAboutItem = nullptr;
    // The editing tools, by their keys 1 to 9.
    std::array<QAction*, 9> tools{};
    // Transport.
    QAction *Button3 = nullptr, *Button20 = nullptr, *button4 = nullptr, *Button24 = nullptr;

    // Widgets.
    QWidget* panel = nullptr;               // epImagePanel1
    TWaveBox* wave = nullptr;               // Paintbox1
    TWaveBox* bars = nullptr;               // PaintBox2
    TWaveBox* strip = nullptr;              // Paintbox3
    LocatorButton* locatorL = nullptr;      // Button19
    LocatorButton* locatorR = nullptr;      // Button21
    QSlider* slider = nullptr;              // TrackBar1
    QLabel* sensitivityLabel = nullptr;     // Label2
    QWidget* barsPanel = nullptr;           // Panel8
    QWidget* beatsPanel = nullptr;          // Panel5
    QLabel* barsLabel = nullptr;            // edit1
    QLabel* beatsLabel = nullptr;           // edit2
    UpDown* barsUpDown = nullptr;           // UpDown1
    UpDown* beatsUpDown = nullptr;          // UpDown2
    QLabel* tempoLabel = nullptr;           // Label3
    QToolButton* channelButton = nullptr;   // CButton
    QAction* channelButtonAction = nullptr; // shows or hides CButton in its toolbar
    std::array<QLabel*, 4> statusPanels{};
    QMenu* popup = nullptr;
    QMenu* reopenMenu = nullptr;   // ReOpen1
    QMenu* cutToMenu = nullptr;    // Cuttosixteenths1
    QTimer* cursorTimer = nullptr; // SuperTimer1
};

} // namespace tolvane
