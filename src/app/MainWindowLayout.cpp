// The main window's layout: the actions made from the command table, the menus, the toolbars,
// the central panel with the waveform, bars and locator buttons, and the status bar.
#include "app/CommandTable.h"
#include "app/TMainForm.h"
#include "app/controls/LocatorButton.h"
#include "app/controls/TWaveBox.h"
#include "app/controls/UpDown.h"
#include "slicing/SliceSelection.h"
#include "slicing/Tempo.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace tolvane {
namespace {

// A hint "Short|Long": the tooltip and the status-bar text.
template <typename Target> void setHint(Target* target, const QString& hint) {
    const QStringList parts = hint.split('|');
    target->setToolTip(parts.value(0));
    target->setStatusTip(parts.value(parts.size() > 1 ? 1 : 0));
}

QAction* makeAction(QObject* owner, const char* name, const QString& caption) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    return action;
}

} // namespace

void TMainForm::createActions() {
    for (const CommandRow& row : commandTable()) {
        QAction* action = makeAction(this, row.name, row.caption);
        if (*row.shortcut)
            action->setShortcuts(QKeySequence::listFromString(row.shortcut));
        if (*row.hint)
            setHint(action, row.hint);
        action->setCheckable(row.checkable);
        action->setIcon(toolIcon(row.icon));
        if (row.handler)
            connect(action, &QAction::triggered, this,
                    [this, handler = row.handler] { (this->*handler)(); });
        if (row.hidden)
            addAction(action); // in no menu: its shortcut (or its setting) still works
        m_controls.*row.slot = action;
    }
    m_controls.ViewFTItem->setChecked(true);
    m_controls.ViewETItem->setChecked(true);
    m_controls.Smooth1->setChecked(true);

    for (int i = 0; i < 4; ++i) {
        m_controls.SubOpenItem[i] =
            makeAction(this, QString("SubOpenItem%1").arg(i + 1).toLatin1().constData(), "");
        connect(m_controls.SubOpenItem[i], &QAction::triggered, this,
                [this, i] { OpenRecentFile(i); });
    }

    auto* toolGroup = new QActionGroup(this);
    for (const ToolRow& row : toolTable()) {
        QAction* action = makeAction(this, row.name, QString(row.hint).section('|', 0, 0));
        action->setIcon(toolIcon(row.icon));
        setHint(action, row.hint);
        if (row.tool == Tool::Zoom11) {
            connect(action, &QAction::triggered, this, [this] { PopUp11Click(); });
        } else {
            action->setCheckable(true);
            toolGroup->addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, tool = row.tool] { chooseTool(tool); });
        }
        m_controls.tools[static_cast<int>(row.tool) - 1] = action;
    }
    m_controls.tools[static_cast<int>(Tool::Select) - 1]->setChecked(true);
}

void TMainForm::createMenus() {
    const MainControls& c = m_controls;
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(c.FileOpenItem);
    m_controls.reopenMenu = file->addMenu("Reopen");
    m_controls.reopenMenu->setObjectName("ReOpen1");
    for (QAction* item : c.SubOpenItem)
        m_controls.reopenMenu->addAction(item);
    file->addActions({c.RevertItem, c.FileCloseItem});
    file->addSeparator();
    file->addActions({c.Saveitem, c.SaveAsitem, c.SaveSelectItem, c.SaveRegionItem,
                      c.SaveMarkersItem, c.SplitMenuItem});
    file->addSeparator();
    file->addActions({c.SaveMidMenuItem, c.SaveSFItem, c.SaveSFM});
    file->addSeparator();
    file->addActions({c.OpenPoint, c.SavePoint});
    file->addSeparator();
    file->addAction(c.Options1);
    file->addSeparator();
    file->addAction(c.FileExitItem);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addActions({c.mnuUndo, c.mnuRedo});
    edit->addSeparator();
    edit->addActions({c.mnuCopyAll, c.mnuPasteAllKeep, c.mnuPasteNew});
    edit->addSeparator();
    edit->addActions({c.mnuLockAll, c.mnuUnlockAll});
    edit->addSeparator();
    edit->addActions({c.Recut1, c.CropRegion1});
    edit->addSeparator();
    edit->addActions({c.Editexternally1, c.ControlPanel1});
    edit->addSeparator();
    edit->addActions({c.LeftChannel, c.RightChannel});

    // Processing, then the grid cut and the shuffle.
    QMenu* process = menuBar()->addMenu("&Process");
    process->setObjectName("Process1");
    process->addActions({c.Normalise1, c.Invert1, c.Bitreduction1});
    process->addSeparator();
    process->addActions({c.Convert1, c.Adjustsamplerate1});
    process->addSeparator();
    process->addAction(c.StripSilence1);
    process->addSeparator();
    m_controls.cutToMenu = process->addMenu("Cut to");
    m_controls.cutToMenu->setObjectName("Cuttosixteenths1");
    setHint(m_controls.cutToMenu->menuAction(), "Cut into nth note segments");
    m_controls.cutToMenu->addActions({c.N8ths1, c.N16ths1, c.N32nds1});
    process->addActions({c.Randomise1, c.Randomise2});
    process->addSeparator();
    process->addAction(c.Smooth1);
    process->addSeparator();
    m_pluginsMenu = process->addMenu("P&lug-ins");
    m_pluginsMenu->setObjectName("Plugins1");

    QMenu* viewMenu = menuBar()->addMenu("&View");
    viewMenu->addActions({c.PopupZin, c.PopUpZout, c.PopUp11, c.PopUpZts});
    viewMenu->addSeparator();
    viewMenu->addActions({c.SelectionBar1, c.Regionbar1});
    viewMenu->addSeparator();
    viewMenu->addActions({c.ViewFTItem, c.ViewETItem});

    QMenu* sampler = menuBar()->addMenu("&Sampler");
    sampler->addAction(c.BatchTransfer1);
    sampler->addAction(c.SMIDITransfer1);
    sampler->addAction(c.Transmit1);
    sampler->addSeparator();
    sampler->addAction(c.PlayFromKeyboard1);
    sampler->addAction(c.PlayThrough1);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addActions({c.HelpFileItem, c.TipItem, c.h1});
    help->addSeparator();
    help->addAction(c.HelpAboutItem);

    m_controls.popup = new QMenu(this);
    m_controls.popup->addActions({c.PopupZin, c.PopUpZout, c.PopUp11, c.PopUpZts});
    m_controls.popup->addSeparator();
    m_controls.popup->addActions({c.CopySegment1, c.PasteIntoSegment2, c.PopUpSave});
    m_controls.popup->addSeparator();
    m_controls.popup->addActions({c.mnuSilence, c.mnuReverse});
    m_controls.popup->addSeparator();
    m_controls.popup->addAction(c.popupaddcur);
}

void TMainForm::addMirrorButton(QToolBar* bar, const MirrorButtonRow& row) {
    QAction* command = m_controls.*row.command;
    QAction* button = bar->addAction(toolIcon(row.icon), QString(row.hint).section('|', 0, 0));
    button->setObjectName(row.name);
    setHint(button, row.hint);
    button->setEnabled(command->isEnabled());
    connect(button, &QAction::triggered, command, &QAction::trigger);
    connect(command, &QAction::changed, button,
            [button, command] { button->setEnabled(command->isEnabled()); });
}

void TMainForm::createToolbars() {
    QToolBar* fileBar = addToolBar("File");
    fileBar->setObjectName("FileToolbar");
    connect(m_controls.ViewFTItem, &QAction::toggled, fileBar, &QWidget::setVisible);
    connect(fileBar, &QToolBar::visibilityChanged, m_controls.ViewFTItem, &QAction::setChecked);
    fileBar->addAction(m_controls.FileOpenItem);
    for (const MirrorButtonRow& row : fileToolbarButtons())
        addMirrorButton(fileBar, row);
    auto* channelButton = new QToolButton(fileBar);
    channelButton->setObjectName("CButton");
    channelButton->setText("L + R");
    setHint(channelButton, "Choose channel to save / process");
    channelButton->setPopupMode(QToolButton::InstantPopup);
    auto* channelMenu = new QMenu(channelButton);
    channelMenu->addActions({m_controls.LR1, m_controls.LR2});
    channelButton->setMenu(channelMenu);
    m_controls.channelButton = channelButton;
    m_controls.channelButtonAction = fileBar->addWidget(channelButton);
    m_controls.channelButtonAction->setVisible(false);
    addMirrorButton(fileBar, stripSilenceButton());
    addMirrorButton(fileBar, sampleTransferButton());

    // Three rows, so that every button shows in the window's default width: the file commands;
    // the tools, the view and the transport; the sensitivity and the tempo.
    addToolBarBreak();
    QToolBar* editBar = addToolBar("Edit");
    editBar->setObjectName("EditToolbar");
    connect(m_controls.ViewETItem, &QAction::toggled, editBar, &QWidget::setVisible);
    connect(editBar, &QToolBar::visibilityChanged, m_controls.ViewETItem, &QAction::setChecked);
    for (QAction* tool : m_controls.tools)
        if (tool)
            editBar->addAction(tool);

    QToolBar* viewBar = addToolBar("View");
    viewBar->setObjectName("ViewToolbar");
    viewBar->addActions(
        {m_controls.SpeedButton5, m_controls.SpeedButton6, m_controls.SpeedButton7});

    QToolBar* playBar = addToolBar("Play");
    playBar->setObjectName("PlayToolbar");
    playBar->addActions(
        {m_controls.Button3, m_controls.Button20, m_controls.button4, m_controls.Button24});

    addToolBarBreak();
    QToolBar* sensitivityBar = addToolBar("Sensitivity");
    sensitivityBar->setObjectName("SensitivityToolbar");
    auto* slider = new QSlider(Qt::Horizontal, sensitivityBar);
    slider->setObjectName("TrackBar1");
    slider->setRange(0, kSliderMaximum);
    slider->setPageStep(kSliderPageSize);
    slider->setMinimumWidth(100);
    setHint(slider, "Sensitivity slider|Drag (or Ctrl+Y) to adjust sensitivity to segments");
    connect(slider, &QSlider::valueChanged, this,
            [this](int position) { TrackBar1Change(position); });
    sensitivityBar->addWidget(slider);
    m_controls.slider = slider;
    auto* label = new QLabel("0%", sensitivityBar);
    label->setObjectName("Label2");
    label->setMinimumWidth(40);
    label->installEventFilter(this);
    sensitivityBar->addWidget(label);
    m_controls.sensitivityLabel = label;

    createTempoToolbar();
}

// Bars and beats, each a number with its up-down, and the tempo they give; a double-click on
// any of them opens "Change bars and beats".
void TMainForm::createTempoToolbar() {
    MainControls& c = m_controls;
    QToolBar* tempoBar = addToolBar("Tempo");
    tempoBar->setObjectName("TempoToolbar");
    const auto addLengthPanel = [&](const char* panelName, const char* caption,
                                    const char* labelName, const char* upDownName,
                                    const QString& hint, QLabel*& label, UpDown*& upDown) {
        auto* panel = new QFrame(tempoBar);
        panel->setObjectName(panelName);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        auto* layout = new QHBoxLayout(panel);
        layout->setContentsMargins(3, 0, 0, 0);
        layout->setSpacing(2);
        layout->addWidget(new QLabel(caption, panel));
        label = new QLabel("0", panel);
        label->setObjectName(labelName);
        label->setMinimumWidth(26);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(label);
        upDown = new UpDown(0, kMaxLoopBarsOrBeats, panel);
        upDown->setObjectName(upDownName);
        setHint(upDown, hint);
        layout->addWidget(upDown);
        for (QWidget* watched : {static_cast<QWidget*>(panel), static_cast<QWidget*>(label)})
            watched->installEventFilter(this);
        tempoBar->addWidget(panel);
        return panel;
    };
    c.barsPanel = addLengthPanel("Panel8", "Bars", "edit1", "UpDown1",
                                 "Adjust bars|Click (or Ctrl+T) to adjust bars in selected region",
                                 c.barsLabel, c.barsUpDown);
    c.beatsPanel =
        addLengthPanel("Panel5", "Beats", "edit2", "UpDown2",
                       "Adjust beats|Click (or Ctrl+T) to adjust beats in selected region",
                       c.beatsLabel, c.beatsUpDown);
    c.barsUpDown->onClick = [this] { UpDown1Click(); };
    c.beatsUpDown->onClick = [this] { UpDown2Click(); };
    c.tempoLabel = new QLabel(QString::fromStdString(tempoText(0.0)), tempoBar);
    c.tempoLabel->setObjectName("Label3");
    c.tempoLabel->setMinimumWidth(76);
    c.tempoLabel->setAlignment(Qt::AlignCenter);
    c.tempoLabel->installEventFilter(this);
    tempoBar->addWidget(c.tempoLabel);
}

void TMainForm::createCentralPanel() {
    MainControls& c = m_controls;
    c.panel = new QWidget(this);
    c.panel->setObjectName("epImagePanel1");
    setCentralWidget(c.panel);
    c.strip = new TWaveBox(c.panel);
    c.strip->setObjectName("Paintbox3");
    setHint(c.strip,
            "Shows selected segment - left mouse to zoom to segment, right mouse to zoom 1:1");
    c.wave = new TWaveBox(c.panel);
    c.wave->setObjectName("Paintbox1");
    c.bars = new TWaveBox(c.panel);
    c.bars->setObjectName("PaintBox2");
    setHint(
        c.bars,
        "Segment bar (LMB to zoom to segment, RMB 1:1) and region bar (LMB move region, RMB Zoom)");
    c.locatorL = new LocatorButton("L", c.panel);
    c.locatorL->setObjectName("Button19");
    setHint(c.locatorL, "Click and drag to set left locator position");
    c.locatorR = new LocatorButton("R", c.panel);
    c.locatorR->setObjectName("Button21");
    setHint(c.locatorR, "Click and drag to set right locator position");

    c.wave->onPaint = [this] { m_slices.Paintbox1Paint(); };
    c.wave->onMouseMove = [this](QMouseEvent* e) { m_pointer.PaintBox1MouseMove(e); };
    c.wave->onMousePress = [this](QMouseEvent* e) { m_pointer.PaintBox1MouseDown(e); };
    c.wave->onMouseRelease = [this](QMouseEvent* e) { m_pointer.PaintBox1MouseUp(e); };
    c.bars->onMousePress = [this](QMouseEvent* e) { m_viewCommands.PaintBox2MouseDown(e); };
    c.bars->onMouseMove = [this](QMouseEvent* e) { m_viewCommands.PaintBox2MouseMove(e); };
    c.bars->onMouseRelease = [this](QMouseEvent* e) { m_viewCommands.PaintBox2MouseUp(e); };
    c.strip->onMouseRelease = [this](QMouseEvent* e) { m_viewCommands.Paintbox3MouseUp(e); };
    c.locatorL->onReleased = [this](int x) { m_viewCommands.locatorReleased(true, x); };
    c.locatorR->onReleased = [this](int x) {
        m_viewCommands.locatorReleased(false, x + m_controls.locatorR->width());
    };
}

void TMainForm::createStatusBar() {
    static const int widths[] = {365, 150, 90, 60};
    static const char* texts[] = {"Hint", kNoFileLoaded, "", "x1.0"};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(texts[i], this);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addWidget(panel, i == 3 ? 1 : 0);
        m_controls.statusPanels[i] = panel;
    }
    statusBar()->setObjectName("StatusBar");
    statusBar()->setSizeGripEnabled(true);
}

// Lays out the strip, the waveform, the bars and the locator buttons in the panel: from the
// waveform down, or with "Work from top" the locator buttons and bars first and the waveform
// under them.
void TMainForm::epImagePanel1Resize() {
    MainControls& c = m_controls;
    const int panelWidth = c.panel->width();
    const int panelHeight = c.panel->height();
    const int innerWidth = panelWidth - 4;
    const bool split = m_doc.DocumentOpen && m_ctx.isSplitStereo();
    const int stripHeight = split ? 9 : 0;
    const int barHeight = barLayout(m_display.options().switches).height;
    const int buttonHeight = c.locatorL->height();
    const bool fromTop = c.mnuPpanel->isChecked();
    // The height the buttons and bars take, with their gaps.
    const int controlsHeight = buttonHeight + 2 + barHeight + 2;
    const int stripTop = fromTop ? controlsHeight : 0;
    c.strip->setGeometry(2, stripTop, innerWidth, stripHeight);
    c.strip->setVisible(stripHeight > 0);
    const int waveTop = stripTop + stripHeight + (split ? 1 : 0);
    const int waveHeight = std::max(panelHeight - waveTop - 2 - (fromTop ? 0 : controlsHeight), 8);
    c.wave->setGeometry(2, waveTop, innerWidth, waveHeight);
    const int barsTop = fromTop ? buttonHeight + 2 : c.wave->geometry().bottom() + 2;
    c.bars->setGeometry(2, barsTop, innerWidth, barHeight);
    c.bars->setVisible(barHeight > 0);
    const int buttonTop = fromTop ? 0 : barsTop + barHeight + 2;
    c.locatorL->move(c.locatorL->x(), buttonTop);
    c.locatorR->move(c.locatorR->x(), buttonTop);
    placeLocatorButtons();
    m_view.redrawPending = true;
    c.wave->update();
    c.bars->update();
}

void TMainForm::placeLocatorButtons() {
    MainControls& c = m_controls;
    const int left = c.wave->x();
    const int width = waveWidth();
    if (!m_doc.DocumentOpen) {
        c.locatorL->move(left, c.locatorL->y());
        c.locatorR->move(left + width - c.locatorR->width(), c.locatorR->y());
        c.locatorL->show();
        c.locatorR->show();
        return;
    }
    const auto l = locatorButtonX(m_doc.LocatorL, m_view, width);
    const auto r = locatorButtonX(m_doc.LocatorR, m_view, width, c.locatorR->width());
    c.locatorL->setVisible(l.has_value());
    c.locatorR->setVisible(r.has_value());
    if (l)
        c.locatorL->move(*l + left, c.locatorL->y());
    if (r)
        c.locatorR->move(*r + left, c.locatorR->y());
}

} // namespace tolvane
