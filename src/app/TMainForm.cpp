// The main window: its controls, settings, start-up and closing.
#include "app/TMainForm.h"

#include "app/AboutForm.h"
#include "app/Help.h"
#include "app/LocatorButton.h"
#include "app/TWaveBox.h"
#include "app/ToolIcons.h"
#include "slicing/SliceSelection.h"
#include "view/Icons.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSlider>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace tolvane {
namespace {

constexpr const char* kCaption = "WaveTolvane";
constexpr const char* kNoFileLoaded = "No File Loaded";

// A hint "Short|Long": the tooltip and the status-bar text.
void setHint(QAction* action, const QString& hint) {
    const QStringList parts = hint.split('|');
    action->setToolTip(parts.value(0));
    action->setStatusTip(parts.value(parts.size() > 1 ? 1 : 0));
}

void setHint(QWidget* widget, const QString& hint) {
    const QStringList parts = hint.split('|');
    widget->setToolTip(parts.value(0));
    widget->setStatusTip(parts.value(parts.size() > 1 ? 1 : 0));
}

QAction* makeAction(QObject* owner, const char* name, const QString& caption) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    return action;
}

} // namespace

TMainForm::TMainForm(SettingsStore& store, Dialogs& dialogs, AudioBackend* audio, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_dialogs(dialogs), m_audio(audio) {
    if (m_audio) {
        // Buffer returns come from the audio thread; they are handled on the window's thread.
        m_player = std::make_unique<twabeAudio>(*m_audio, [this](std::function<void()> job) {
            QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
        });
        m_player->OnWaveoutput = [this] { playEnded(); };
    }
    m_shell = std::make_unique<ProcessShell>();
    m_cursorTimer = new QTimer(this);
    m_cursorTimer->setObjectName("SuperTimer1");
    connect(m_cursorTimer, &QTimer::timeout, this, [this] { SuperTimer1Timer(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { applicationStateChanged(state); });
    setObjectName("MainForm");
    setWindowTitle(kCaption);
    setAcceptDrops(true);
    createActions();
    createMenus();
    createToolbars();
    createCentralPanel();
    createStatusBar();
    FormCreate();
}

TMainForm::~TMainForm() {
    m_player.reset();
    if (m_loader)
        m_loader->wait();
    if (m_scanner)
        m_scanner->wait();
}

void TMainForm::createActions() {
    FileOpenItem = makeAction(this, "FileOpenItem", "&Open...");
    FileOpenItem->setShortcut(QKeySequence("Ctrl+O"));
    setHint(FileOpenItem, "Open file|Click to open a new file");
    FileOpenItem->setIcon(toolIcon(ToolIcon::Open));
    connect(FileOpenItem, &QAction::triggered, this, [this] { OpenFile(); });
    for (int i = 0; i < 4; ++i) {
        SubOpenItem[i] =
            makeAction(this, QString("SubOpenItem%1").arg(i + 1).toLatin1().constData(), "");
        connect(SubOpenItem[i], &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
    }
    RevertItem = makeAction(this, "RevertItem", "&Revert");
    connect(RevertItem, &QAction::triggered, this, [this] { RevertItemClick(); });
    FileCloseItem = makeAction(this, "FileCloseItem", "C&lose");
    connect(FileCloseItem, &QAction::triggered, this, [this] { CloseFile(); });
    OpenPoint = makeAction(this, "OpenPoint", "Open Point File");
    connect(OpenPoint, &QAction::triggered, this, [this] { OpenPointClick(); });
    SavePoint = makeAction(this, "SavePoint", "Save &Point File");
    connect(SavePoint, &QAction::triggered, this, [this] { SavePointClick(); });
    Options1 = makeAction(this, "Options1", "Opt&ions");
    connect(Options1, &QAction::triggered, this, [this] { Options1Click(); });
    FileExitItem = makeAction(this, "FileExitItem", "E&xit");
    FileExitItem->setShortcut(QKeySequence("Alt+F4"));
    connect(FileExitItem, &QAction::triggered, this, &QWidget::close);

    Recut1 = makeAction(this, "Recut1", "&Re-cut");
    Recut1->setShortcut(QKeySequence("Ctrl+R"));
    connect(Recut1, &QAction::triggered, this, [this] { Recut1Click(); });
    LeftChannel = makeAction(this, "LeftChannel", "&Left Channel");
    LeftChannel->setShortcut(QKeySequence("Ctrl+1"));
    LeftChannel->setCheckable(true);
    setHint(LeftChannel, "Use stereo / left channel");
    connect(LeftChannel, &QAction::triggered, this, [this] { LeftChannelClick(); });
    RightChannel = makeAction(this, "RightChannel", "&Right Channel");
    RightChannel->setShortcut(QKeySequence("Ctrl+2"));
    RightChannel->setCheckable(true);
    setHint(RightChannel, "Use stereo / right channel");
    connect(RightChannel, &QAction::triggered, this, [this] { RightChannelClick(); });
    LR1 = makeAction(this, "LR1", "L + R");
    LR1->setCheckable(true);
    connect(LR1, &QAction::triggered, this, [this] { LR1Click(); });
    LR2 = makeAction(this, "LR2", "L / R");
    LR2->setCheckable(true);
    connect(LR2, &QAction::triggered, this, [this] { LR2Click(); });

    PopupZin = makeAction(this, "PopupZin", "Zoom In");
    setHint(PopupZin, "Zoom in to sample");
    connect(PopupZin, &QAction::triggered, this, [this] { PopupZinClick(); });
    PopUpZout = makeAction(this, "PopUpZout", "Zoom Out");
    setHint(PopUpZout, "Zoom out of sample segment");
    connect(PopUpZout, &QAction::triggered, this, [this] { PopUpZoutClick(); });
    PopUp11 = makeAction(this, "PopUp11", "Zoom (1:1)");
    setHint(PopUp11, "Zoom out to full view");
    connect(PopUp11, &QAction::triggered, this, [this] { PopUp11Click(); });
    PopUpZts = makeAction(this, "PopUpZts", "Zoom To Segment");
    setHint(PopUpZts, "Zoom into sample segment");
    connect(PopUpZts, &QAction::triggered, this, [this] { PopUpZtsClick(); });
    SelectionBar1 = makeAction(this, "SelectionBar1", "Selection Bar");
    SelectionBar1->setCheckable(true);
    connect(SelectionBar1, &QAction::triggered, this, [this] { SelectionBar1Click(); });
    Regionbar1 = makeAction(this, "Regionbar1", "Region bar");
    Regionbar1->setCheckable(true);
    connect(Regionbar1, &QAction::triggered, this, [this] { Regionbar1Click(); });

    ShowSensitivity = makeAction(this, "ShowSensitivity", "Show Sensitivity");
    ShowSensitivity->setShortcut(QKeySequence("Ctrl+Y"));
    connect(ShowSensitivity, &QAction::triggered, this, [this] {
        if (m_doc.DocumentOpen)
            showSensitivityDialog();
    });
    addAction(ShowSensitivity); // a hidden shortcut item
    mnuUndo = makeAction(this, "mnuUndo", "&Undo");
    mnuUndo->setShortcut(QKeySequence("Ctrl+Z"));
    setHint(mnuUndo, "Undo|Undo the last operation");
    connect(mnuUndo, &QAction::triggered, this, [this] { mnuUndoClick(); });
    mnuCopyAll = makeAction(this, "mnuCopyAll", "&Copy");
    mnuCopyAll->setShortcut(QKeySequence("Ctrl+C"));
    setHint(mnuCopyAll, "Copy entire sample to clipboard");
    connect(mnuCopyAll, &QAction::triggered, this, [this] { mnuCopyAllClick(); });
    mnuPasteAllKeep = makeAction(this, "mnuPasteAllKeep", "Paste All And &Keep");
    mnuPasteAllKeep->setShortcut(QKeySequence("Ctrl+K"));
    setHint(mnuPasteAllKeep, "Paste contents of clipboard over sample and keep existing points");
    connect(mnuPasteAllKeep, &QAction::triggered, this, [this] { mnuPasteAllKeepClick(); });
    mnuPasteNew = makeAction(this, "mnuPasteNew", "Paste All And Find &New");
    mnuPasteNew->setShortcut(QKeySequence("Ctrl+V"));
    setHint(mnuPasteNew, "Paste contents of clipboard over sample and find new points");
    connect(mnuPasteNew, &QAction::triggered, this, [this] { mnuPasteNewClick(); });
    CopySegment1 = makeAction(this, "CopySegment1", "Copy Segment");
    setHint(CopySegment1, "Copy the segment to the clipboard");
    connect(CopySegment1, &QAction::triggered, this, [this] { CopySegment1Click(); });
    PasteIntoSegment2 = makeAction(this, "PasteIntoSegment2", "Paste Into Segment");
    setHint(PasteIntoSegment2, "Paste from the clipboard into the sample");
    connect(PasteIntoSegment2, &QAction::triggered, this, [this] { PasteIntoSegment2Click(); });
    mnuLockAll = makeAction(this, "mnuLockAll", "&Lock All");
    mnuLockAll->setShortcut(QKeySequence("Ctrl+L"));
    setHint(mnuLockAll, "Lock all|Lock all points");
    connect(mnuLockAll, &QAction::triggered, this, [this] { mnuLockAllClick(); });
    mnuUnlockAll = makeAction(this, "mnuUnlockAll", "&Unlock All");
    mnuUnlockAll->setShortcut(QKeySequence("Ctrl+U"));
    setHint(mnuUnlockAll, "Unlock all|Unlock all points");
    connect(mnuUnlockAll, &QAction::triggered, this, [this] { mnuUnlockAllClick(); });
    popupaddcur = makeAction(this, "popupaddcur", "Add At Current Length");
    popupaddcur->setCheckable(true);
    setHint(popupaddcur, "Add a new point at the current sensitivity setting");

    const struct {
        Tool tool;
        const char* name;
        const char* hint;
        ToolIcon icon;
    } tools[] = {
        {Tool::Select, "SpeedButton1", "Select|Select tool", ToolIcon::Select},
        {Tool::Add, "SpeedButton2", "Add|Add slice point tool", ToolIcon::Add},
        {Tool::EnableDisable, "SpeedButton3", "Enable/disable|Enable/disable slice point tool",
         ToolIcon::EnableDisable},
        {Tool::LockUnlock, "spdis", "Lock/unlock|Lock/unlock slice point tool",
         ToolIcon::LockUnlock},
        {Tool::Zoom, "bzoom", "Zoom|Zoom tool (LMB zoom in, RMB zoom out)", ToolIcon::Zoom},
        {Tool::CopyPaste, "bcopy",
         "Copy/paste|Copy/paste segment tool (LMB copy segment, RMB paste segment; spc auditions)",
         ToolIcon::CopyPaste},
    };
    auto* toolGroup = new QActionGroup(this);
    for (const auto& t : tools) {
        QAction* action = makeAction(this, t.name, QString(t.hint).section('|', 0, 0));
        action->setCheckable(true);
        action->setIcon(toolIcon(t.icon));
        setHint(action, t.hint);
        toolGroup->addAction(action);
        const Tool tool = t.tool;
        connect(action, &QAction::triggered, this, [this, tool] { chooseTool(tool); });
        m_toolActions[static_cast<int>(tool) - 1] = action;
    }
    m_toolActions[static_cast<int>(Tool::Select) - 1]->setChecked(true);
    // "Zoom 1:1" sits among the tools but is a command.
    QAction* zoom11 = makeAction(this, "ToolbarButton973", "Zoom 1:1");
    zoom11->setIcon(toolIcon(ToolIcon::Zoom11));
    setHint(zoom11, "Zoom 1:1|Zoom out to a scale of 1:1");
    connect(zoom11, &QAction::triggered, this, [this] { PopUp11Click(); });
    m_toolActions[static_cast<int>(Tool::Zoom11) - 1] = zoom11;

    const struct {
        QAction** action;
        const char* name;
        const char* hint;
        void (TMainForm::*handler)();
    } transport[] = {
        {&Button3, "Button3", "Play|Click to play entire visible region", &TMainForm::Button3Click},
        {&Button20, "Button20", "Loop|Click to loop region defined by locators",
         &TMainForm::Button20Click},
        {&button4, "button4", "Selected|Click to play selected segment", &TMainForm::button4Click},
        {&Button24, "Button24", "Stop|Click to stop sample playback", &TMainForm::Button24Click},
    };
    for (const auto& t : transport) {
        QAction* action = makeAction(this, t.name, QString(t.hint).section('|', 0, 0));
        action->setCheckable(t.handler != &TMainForm::Button24Click);
        setHint(action, t.hint);
        const auto handler = t.handler;
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        *t.action = action;
    }

    const struct {
        QAction** action;
        const char* name;
        const char* caption;
        const char* hint;
        const char* shortcut;
        void (TMainForm::*handler)();
    } saving[] = {
        {&Saveitem, "Saveitem", "&Save", "Save entire sample", "Ctrl+S", &TMainForm::SaveitemClick},
        {&SaveAsitem, "SaveAsitem", "Save As...", "Save entire sample with new filename", "",
         &TMainForm::SaveAsitemClick},
        {&SaveSelectItem, "SaveSelectItem", "Save Selected Se&gment",
         "Save currently selected segment to a wave file", "", &TMainForm::SaveSelectItemClick},
        {&PopUpSave, "PopUpSave", "Save Segment", "Save sample segment", "",
         &TMainForm::PopUpSaveClick},
        {&SaveRegionItem, "SaveRegionItem", "Save Region &Defined In Loop", "Save region in loop",
         "", &TMainForm::SaveRegionItemClick},
        {&SplitMenuItem, "SplitMenuItem", "Save Segments In Loop",
         "Save segments|Split sample into separate audio files", "Ctrl+W",
         &TMainForm::SplitMenuItemClick},
        {&CropRegion1, "CropRegion1", "C&rop / Trim Region", "Crop region defined by locators", "",
         &TMainForm::CropRegion1Click},
        {&Editexternally1, "Editexternally1", "Edit externally...",
         "Edit sample in external editor", "", &TMainForm::Editexternally1Click},
        {&ControlPanel1, "ControlPanel1", "Soun&dcard Control Panel...",
         "Load soundcard Control Panel", "Ctrl+P", &TMainForm::ControlPanel1Click},
    };
    for (const auto& c : saving) {
        QAction* action = makeAction(this, c.name, c.caption);
        setHint(action, c.hint);
        if (*c.shortcut)
            action->setShortcut(QKeySequence(c.shortcut));
        const auto handler = c.handler;
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        *c.action = action;
    }
    // The save-segment tool: the left button auditions, the right one saves.
    QAction* saveTool = makeAction(this, "bsseg", "Save segment");
    saveTool->setCheckable(true);
    saveTool->setIcon(toolIcon(ToolIcon::SaveSegment));
    setHint(saveTool, "Save segment|Save segment tool (LMB audition, RMB save)");
    toolGroup->addAction(saveTool);
    connect(saveTool, &QAction::triggered, this, [this] { chooseTool(Tool::SaveSegment); });
    m_toolActions[static_cast<int>(Tool::SaveSegment) - 1] = saveTool;

    HelpFileItem = makeAction(this, "HelpFileItem", "&Help (F1)");
    HelpFileItem->setShortcut(QKeySequence(Qt::Key_F1));
    connect(HelpFileItem, &QAction::triggered, this, [this] { HelpFileItemClick(); });
    TipItem = makeAction(this, "TipItem", "&Tips");
    connect(TipItem, &QAction::triggered, this, [this] { TipItemClick(); });
    h1 = makeAction(this, "h1", "&WaveTolvane Home Page");
    setHint(h1, "Visit the Quorvex homepage (must be connected to Internet)");
    connect(h1, &QAction::triggered, this, [this] { h1Click(); });
    ViewFTItem = makeAction(this, "ViewFTItem", "&File Toolbar");
    ViewFTItem->setCheckable(true);
    ViewFTItem->setChecked(true);
    ViewETItem = makeAction(this, "ViewETItem", "&Edit Toolbar");
    ViewETItem->setCheckable(true);
    ViewETItem->setChecked(true);
    mnuPpanel = makeAction(this, "mnuPpanel", "Work from top");
    mnuPpanel->setCheckable(true);
    mnuPpanel->setVisible(false); // a hidden item: the "PanelAtTop" setting turns it on
    connect(mnuPpanel, &QAction::toggled, this, [this](bool on) {
        m_settings.PanelAtTop = on;
        epImagePanel1Resize();
    });
    // The hidden "refind" button: a second way to "&Re-cut".
    refind = makeAction(this, "refind", "Re-cut");
    connect(refind, &QAction::triggered, this, [this] { Recut1Click(); });
    HelpAboutItem = makeAction(this, "HelpAboutItem", "&About WaveTolvane...");
    connect(HelpAboutItem, &QAction::triggered, this, [this] { AboutForm(this).exec(); });

    const struct {
        QAction** action;
        const char* name;
        const char* hint;
        bool ProgramSettings::*setting;
        const QImage& icon;
    } iconSwitches[] = {
        {&SpeedButton5, "SpeedButton5", "Sample icons|Show/hide sample icons",
         &ProgramSettings::ShowIcon, pointIcons().sample},
        {&SpeedButton6, "SpeedButton6", "Lock icons|Show/hide lock icons",
         &ProgramSettings::ShowLock, pointIcons().lock},
        {&SpeedButton7, "SpeedButton7", "Disabled icons|Show/hide sample disabled icons",
         &ProgramSettings::ShowEnable, pointIcons().disabled},
    };
    for (const auto& s : iconSwitches) {
        QAction* action = makeAction(this, s.name, QString(s.hint).section('|', 0, 0));
        action->setIcon(QIcon(QPixmap::fromImage(s.icon)));
        action->setCheckable(true);
        setHint(action, s.hint);
        const auto setting = s.setting;
        connect(action, &QAction::toggled, this, [this, setting](bool on) {
            m_settings.*setting = on;
            redrawAll();
        });
        *s.action = action;
    }
}

void TMainForm::createMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(FileOpenItem);
    m_reopenMenu = file->addMenu("Reopen");
    m_reopenMenu->setObjectName("ReOpen1");
    for (QAction* item : SubOpenItem)
        m_reopenMenu->addAction(item);
    file->addAction(RevertItem);
    file->addAction(FileCloseItem);
    file->addSeparator();
    file->addAction(Saveitem);
    file->addAction(SaveAsitem);
    file->addAction(SaveSelectItem);
    file->addAction(SaveRegionItem);
    file->addAction(SplitMenuItem);
    file->addSeparator();
    file->addAction(OpenPoint);
    file->addAction(SavePoint);
    file->addSeparator();
    file->addAction(Options1);
    file->addSeparator();
    file->addAction(FileExitItem);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(mnuUndo);
    edit->addSeparator();
    edit->addAction(mnuCopyAll);
    edit->addAction(mnuPasteAllKeep);
    edit->addAction(mnuPasteNew);
    edit->addSeparator();
    edit->addAction(mnuLockAll);
    edit->addAction(mnuUnlockAll);
    edit->addSeparator();
    edit->addAction(Recut1);
    edit->addAction(CropRegion1);
    edit->addSeparator();
    edit->addAction(Editexternally1);
    edit->addAction(ControlPanel1);
    edit->addSeparator();
    edit->addAction(LeftChannel);
    edit->addAction(RightChannel);

    QMenu* viewMenu = menuBar()->addMenu("&View");
    for (QAction* zoom : {PopupZin, PopUpZout, PopUp11, PopUpZts})
        viewMenu->addAction(zoom);
    viewMenu->addSeparator();
    viewMenu->addAction(SelectionBar1);
    viewMenu->addAction(Regionbar1);
    viewMenu->addAction(mnuPpanel);
    viewMenu->addSeparator();
    viewMenu->addAction(ViewFTItem);
    viewMenu->addAction(ViewETItem);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(HelpFileItem);
    help->addAction(TipItem);
    help->addAction(h1);
    help->addSeparator();
    help->addAction(HelpAboutItem);

    m_popup = new QMenu(this);
    for (QAction* zoom : {PopupZin, PopUpZout, PopUp11, PopUpZts})
        m_popup->addAction(zoom);
    m_popup->addSeparator();
    m_popup->addAction(CopySegment1);
    m_popup->addAction(PasteIntoSegment2);
    m_popup->addAction(PopUpSave);
    m_popup->addSeparator();
    m_popup->addAction(popupaddcur);
}

void TMainForm::createToolbars() {
    QToolBar* fileBar = addToolBar("File");
    fileBar->setObjectName("FileToolbar");
    m_fileToolbar = fileBar;
    connect(ViewFTItem, &QAction::toggled, fileBar, &QWidget::setVisible);
    connect(fileBar, &QToolBar::visibilityChanged, ViewFTItem, &QAction::setChecked);
    fileBar->addAction(FileOpenItem);
    addMirrorButton(fileBar, SplitMenuItem, "SaveWaveB", ToolIcon::SaveSegments,
                    "Save segments|Click to save segments in defined region");
    addMirrorButton(fileBar, CropRegion1, "SpeedButton17", ToolIcon::Crop,
                    "Crop|Crop region defined by locators");
    fileBar->addSeparator();
    addMirrorButton(fileBar, mnuUnlockAll, "SpeedButton19", ToolIcon::UnlockAll,
                    "Unlock all|Unlock all points");
    addMirrorButton(fileBar, mnuLockAll, "SpeedButton18", ToolIcon::LockAll,
                    "Lock all|Lock all points");
    addMirrorButton(fileBar, mnuUndo, "SpeedButton12", ToolIcon::Undo,
                    "Undo|Undo the last operation");
    addMirrorButton(fileBar, ControlPanel1, "SpeedButton16", ToolIcon::ControlPanel,
                    "Control panel|Load soundcard Control Panel");
    m_channelButton = new QToolButton(fileBar);
    m_channelButton->setObjectName("CButton");
    m_channelButton->setText("L + R");
    setHint(m_channelButton, "Choose channel to save / process");
    m_channelButton->setPopupMode(QToolButton::InstantPopup);
    auto* channelMenu = new QMenu(m_channelButton);
    channelMenu->addAction(LR1);
    channelMenu->addAction(LR2);
    m_channelButton->setMenu(channelMenu);
    m_channelButtonAction = fileBar->addWidget(m_channelButton);
    m_channelButtonAction->setVisible(false);

    QToolBar* editBar = addToolBar("Edit");
    editBar->setObjectName("EditToolbar");
    connect(ViewETItem, &QAction::toggled, editBar, &QWidget::setVisible);
    connect(editBar, &QToolBar::visibilityChanged, ViewETItem, &QAction::setChecked);
    for (QAction* tool : m_toolActions)
        if (tool)
            editBar->addAction(tool);

    QToolBar* viewBar = addToolBar("View");
    viewBar->setObjectName("ViewToolbar");
    viewBar->addAction(SpeedButton5);
    viewBar->addAction(SpeedButton6);
    viewBar->addAction(SpeedButton7);

    addToolBarBreak();
    QToolBar* playBar = addToolBar("Play");
    playBar->setObjectName("PlayToolbar");
    for (QAction* button : {Button3, Button20, button4, Button24})
        playBar->addAction(button);

    QToolBar* sensitivityBar = addToolBar("Sensitivity");
    sensitivityBar->setObjectName("SensitivityToolbar");
    m_slider = new QSlider(Qt::Horizontal, sensitivityBar);
    m_slider->setObjectName("TrackBar1");
    m_slider->setRange(0, kSliderMaximum);
    m_slider->setPageStep(kSliderPageSize);
    m_slider->setMinimumWidth(160);
    setHint(m_slider, "Sensitivity slider|Drag (or Ctrl+Y) to adjust sensitivity to segments");
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int position) { TrackBar1Change(position); });
    sensitivityBar->addWidget(m_slider);
    m_sensitivityLabel = new QLabel("0%", sensitivityBar);
    m_sensitivityLabel->setObjectName("Label2");
    m_sensitivityLabel->setMinimumWidth(40);
    m_sensitivityLabel->installEventFilter(this);
    sensitivityBar->addWidget(m_sensitivityLabel);
}

// A toolbar button that runs a menu command and is enabled whenever the command is.
void TMainForm::addMirrorButton(QToolBar* bar, QAction* command, const char* name, ToolIcon icon,
                                const QString& hint) {
    QAction* button = bar->addAction(toolIcon(icon), QString(hint).section('|', 0, 0));
    button->setObjectName(name);
    setHint(button, hint);
    button->setEnabled(command->isEnabled());
    connect(button, &QAction::triggered, command, &QAction::trigger);
    connect(command, &QAction::changed, button,
            [button, command] { button->setEnabled(command->isEnabled()); });
}

void TMainForm::createCentralPanel() {
    m_panel = new QWidget(this);
    m_panel->setObjectName("epImagePanel1");
    setCentralWidget(m_panel);
    m_strip = new TWaveBox(m_panel);
    m_strip->setObjectName("Paintbox3");
    setHint(m_strip,
            "Shows selected segment - left mouse to zoom to segment, right mouse to zoom 1:1");
    m_wave = new TWaveBox(m_panel);
    m_wave->setObjectName("Paintbox1");
    m_bars = new TWaveBox(m_panel);
    m_bars->setObjectName("PaintBox2");
    setHint(
        m_bars,
        "Segment bar (LMB to zoom to segment, RMB 1:1) and region bar (LMB move region, RMB Zoom)");
    m_locatorL = new LocatorButton("L", m_panel);
    m_locatorL->setObjectName("Button19");
    setHint(m_locatorL, "Click and drag to set left locator position");
    m_locatorR = new LocatorButton("R", m_panel);
    m_locatorR->setObjectName("Button21");
    setHint(m_locatorR, "Click and drag to set right locator position");

    m_wave->onPaint = [this] { Paintbox1Paint(); };
    m_wave->onMouseMove = [this](QMouseEvent* e) { PaintBox1MouseMove(e); };
    m_wave->onMousePress = [this](QMouseEvent* e) { PaintBox1MouseDown(e); };
    m_wave->onMouseRelease = [this](QMouseEvent* e) { PaintBox1MouseUp(e); };
    m_bars->onMousePress = [this](QMouseEvent* e) { PaintBox2MouseDown(e); };
    m_bars->onMouseMove = [this](QMouseEvent* e) { PaintBox2MouseMove(e); };
    m_bars->onMouseRelease = [this](QMouseEvent* e) { PaintBox2MouseUp(e); };
    m_strip->onMouseRelease = [this](QMouseEvent* e) { Paintbox3MouseUp(e); };
    m_locatorL->onReleased = [this](int x) { locatorReleased(true, x); };
    m_locatorR->onReleased = [this](int x) { locatorReleased(false, x + m_locatorR->width()); };
}

void TMainForm::createStatusBar() {
    static const int widths[] = {365, 150, 90, 60};
    static const char* texts[] = {"Hint", kNoFileLoaded, "", "x1.0"};
    for (int i = 0; i < 4; ++i) {
        m_statusPanels[i] = new QLabel(texts[i], this);
        m_statusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        m_statusPanels[i]->setFixedWidth(widths[i]);
        m_statusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(m_statusPanels[i], i == 3 ? 1 : 0);
    }
    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(true);
}

void TMainForm::FormCreate() {
    m_doc.Channels = 1;
    m_doc.BitsPerSample = 16;
    m_doc.PreEmphasis = kDefaultPreEmphasis;
    m_settingsAvailable = readSettings(m_store, m_settings);
    // What follows only fails when the machine is out of resources; the window then still
    // comes up, empty, and says so once it shows.
    try {
        applySettings();
        resize(m_settings.Width, m_settings.Height); // the remembered size from the start
        m_undo.UndoEnabled = m_settings.EnableUndo && m_undo.File.isOpen();
        m_doc.SelectedSegment = 1;
        m_doc.Threshold = 65535;
        setStatus(0, "");
        setStatus(1, kNoFileLoaded);
        resetToNoDocument();
    } catch (const std::exception&) {
        m_initialisationFailed = true;
    }
}

void TMainForm::applySettings() {
    // Transport legends, or none.
    const char* legends[] = {"All", "Loop", "Selected", "Stop"};
    const char* names[] = {"Play", "Loop", "Selected", "Stop"};
    QAction* buttons[] = {Button3, Button20, button4, Button24};
    for (int i = 0; i < 4; ++i)
        buttons[i]->setText(m_settings.ShowButtonText ? legends[i] : names[i]);
    SelectionBar1->setChecked(m_settings.ShowSegmentBar);
    mnuPpanel->setChecked(m_settings.PanelAtTop);
    Regionbar1->setChecked(m_settings.ShowRegionBar);
    SpeedButton5->setChecked(m_settings.ShowIcon);
    SpeedButton6->setChecked(m_settings.ShowLock);
    SpeedButton7->setChecked(m_settings.ShowEnable);
    showSegmentTools(!m_settings.OldRMB);
    showRecentFiles();
}

// "Use old right mouse menu" puts the segment tools away: the right button then only opens the
// pointer menu. A hidden tool that was chosen gives way to Select.
void TMainForm::showSegmentTools(bool shown) {
    for (Tool tool : {Tool::Zoom, Tool::SilenceReverse, Tool::CopyPaste, Tool::SaveSegment})
        if (QAction* button = m_toolActions[static_cast<int>(tool) - 1])
            button->setVisible(shown);
    const bool chosenHidden = m_tool == Tool::Zoom || m_tool == Tool::SilenceReverse ||
                              m_tool == Tool::CopyPaste || m_tool == Tool::SaveSegment;
    if (!shown && chosenHidden)
        chooseTool(Tool::Select);
}

void TMainForm::FormShow(const QString& commandLineFile) {
    resize(m_settings.Width, m_settings.Height);
    move(m_settings.Left, m_settings.Top);
    if (m_settings.Max || m_settings.MWS == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
    if (const auto layout = m_store.read("Toolbars"))
        restoreState(QByteArray::fromBase64(layout->toLatin1()));
    if (!m_settingsAvailable)
        m_dialogs.message(MessageKind::Error, "", kMsgRegistryError);
    if (m_initialisationFailed)
        m_dialogs.message(MessageKind::Error, "",
                          "An error occurred when initialising WaveTolvane!");
    if (!m_audio || m_audio->outputDevices().empty())
        m_dialogs.message(MessageKind::Error, "",
                          "Error! - no soundcard found - check system control panel");
    if (!commandLineFile.isEmpty()) {
        if (QFileInfo::exists(commandLineFile))
            openDroppedFile(commandLineFile);
        else
            m_dialogs.message(MessageKind::Warning, "", "Error opening file - check path!");
    } else if (m_settings.showopendialog) {
        OpenFile();
    }
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip && m_statusPanels[0]) {
        m_statusPanels[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// The program (not one of its own dialogs) went to the background or came back: the output is
// released for other programs meanwhile, and a file changed elsewhere is offered for reloading.
void TMainForm::applicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) {
        if (m_outputReleased && m_doc.DocumentOpen && !isBusy()) {
            m_outputReleased = false;
            openOutput();
            updateCommandStates();
        }
        applicationActivated();
        return;
    }
    if (m_player && m_player->isOpen()) {
        Button24Click();
        m_player->close();
        m_outputReleased = true;
        updateCommandStates();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (isBusy() || !confirmDiscard()) {
        event->ignore();
        return;
    }
    if (windowState() & Qt::WindowMaximized) {
        m_settings.MWS = 2;
    } else if (windowState() & Qt::WindowMinimized) {
        m_settings.MWS = 1;
    } else {
        m_settings.MWS = 0;
        m_settings.Width = width();
        m_settings.Height = height();
        m_settings.Left = x();
        m_settings.Top = y();
    }
    m_settings.Max = (windowState() & Qt::WindowMaximized) != 0;
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    m_settings.ShowSegmentBar = SelectionBar1->isChecked();
    m_settings.ShowRegionBar = Regionbar1->isChecked();
    const bool toolbarsSaved =
        m_store.write("Toolbars", QString::fromLatin1(saveState().toBase64()));
    if (!writeSettings(m_store, m_settings) || !toolbarsSaved)
        m_dialogs.message(MessageKind::Error, "", kMsgRegistryUpdateFailed);
}

namespace {

constexpr const char* kHomePage = "https://quorvex.example/wavetolvane";

} // namespace

void TMainForm::HelpFileItemClick() {
    showHelp("contents");
}

void TMainForm::TipItemClick() {
    showHelp("tips");
}

void TMainForm::h1Click() {
    if (!QDesktopServices::openUrl(QUrl(kHomePage)))
        m_dialogs.message(
            MessageKind::Error, "",
            QString("Error opening homepage\r\nCheck browser is installed, and go to ") +
                kHomePage);
}

QString TMainForm::statusText(int panel) const {
    return m_statusPanels[panel]->text();
}

void TMainForm::setStatus(int panel, const QString& text) {
    m_statusPanels[panel]->setText(text);
}

void TMainForm::enterBusy() {
    m_doc.Busy = true;
    menuBar()->setEnabled(false);
    m_panel->setEnabled(false);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(false);
}

void TMainForm::leaveBusy() {
    m_doc.Busy = false;
    menuBar()->setEnabled(true);
    m_panel->setEnabled(true);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(true);
}

void TMainForm::setCaption() {
    if (!m_doc.DocumentOpen || m_doc.FileName.empty()) {
        setWindowTitle(kCaption);
        return;
    }
    const QString name = QFileInfo(QString::fromStdString(m_doc.FileName)).fileName();
    setWindowTitle(name + (m_modified ? "* - " : " - ") + kCaption);
}

void TMainForm::updateCommandStates() {
    const bool open = m_doc.DocumentOpen;
    const bool named = !m_doc.FileName.empty();
    FileCloseItem->setEnabled(named);
    OpenPoint->setEnabled(named);
    SavePoint->setEnabled(named);
    RevertItem->setEnabled(open);
    Recut1->setEnabled(open);
    m_slider->setEnabled(open);
    const bool canPlay = open && m_player && m_player->isOpen();
    for (QAction* button : {Button3, Button20})
        button->setEnabled(canPlay);
    button4->setEnabled(canPlay && m_view.selected.has_value());
    Button24->setEnabled(canPlay);
    PopupZin->setEnabled(open && canZoomIn(m_view));
    PopUp11->setEnabled(open);
    if (!open) {
        PopUpZout->setEnabled(false);
        PopUpZts->setEnabled(false);
    }
    for (QAction* action :
         {mnuCopyAll, CopySegment1, PasteIntoSegment2, mnuLockAll, mnuUnlockAll, SaveAsitem,
          PopUpSave, SaveRegionItem, SplitMenuItem, CropRegion1, Editexternally1})
        action->setEnabled(open);
    Saveitem->setEnabled(open && !m_doc.ReadOnlyFile);
    SaveSelectItem->setEnabled(open && m_view.selected.has_value());
    for (QAction* tool : m_toolActions)
        if (tool)
            tool->setEnabled(open);
    updateUndoCommand();
    const bool stereo = open && m_doc.Channels == 2;
    LeftChannel->setEnabled(stereo);
    RightChannel->setEnabled(stereo);
    m_channelButtonAction->setVisible(stereo);
}

} // namespace tolvane
