// The main window: its parts, settings, start-up, closing and the window's own events. The
// commands themselves live in app/commands/.
#include "app/TMainForm.h"

#include "app/CommandTable.h"
#include "app/controls/TWaveBox.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSlider>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>

namespace tolvane {
namespace {

constexpr const char* kCaption = "WaveTolvane";
constexpr const char* kMsgNoSoundcard = "Error! - no soundcard found - check system control panel";

bool hasOutputDevice(AudioBackend* audio) {
    if (!audio)
        return false;
    const std::vector<std::string> devices = audio->outputDevices();
    return std::any_of(devices.begin(), devices.end(),
                       [](const std::string& name) { return !name.empty(); });
}

// The start-up message when nothing can play: the audio system asked and the device tried.
QString noSoundcardText(const AudioBackend* audio, int device) {
    const QString system =
        audio ? QString::fromStdString(audio->systemName()) + ", which offers no output device"
              : QString("none could be started");
    const QString tried = device == kDefaultOutputDevice
                              ? QString("the default output device")
                              : QString("device %1 (chosen in Preferences)").arg(device);
    return QString("%1\r\n\r\nAudio system: %2\r\nDevice tried: %3")
        .arg(kMsgNoSoundcard, system, tried);
}

std::unique_ptr<twabeAudio> makePlayer(AudioBackend* audio, QObject* window) {
    if (!audio)
        return nullptr;
    // Buffer returns come from the audio thread; they are handled on the window's thread.
    return std::make_unique<twabeAudio>(*audio, [window](std::function<void()> job) {
        QMetaObject::invokeMethod(window, std::move(job), Qt::QueuedConnection);
    });
}

} // namespace

TMainForm::TMainForm(SettingsStore& store, Dialogs& dialogs, AudioBackend* audio, QWidget* parent)
    : QMainWindow(parent), m_store(store), m_dialogs(dialogs), m_audio(audio),
      m_player(makePlayer(audio, this)), m_display(m_doc, m_view, m_settings, m_controls),
      m_runner(*this, m_doc, runnerHooks()), m_ctx{m_doc,      m_view,         m_undo,   m_dialogs,
                                                   m_settings, m_player.get(), m_runner, m_display,
                                                   m_controls, *this,          m_state},
      m_play(m_ctx), m_slices(m_ctx, m_play), m_tempo(m_ctx, m_play, m_slices),
      m_viewCommands(m_ctx, m_play, m_tempo),
      m_edit(m_ctx, m_play, m_viewCommands, m_slices, m_tempo), m_recent(m_ctx),
      m_save(m_ctx, m_play, m_viewCommands, m_recent, m_tempo), m_banks(m_ctx, m_save),
      m_template(m_ctx, m_tempo, m_save, m_banks),
      m_file(m_ctx, m_play, m_slices, m_tempo, m_save, m_recent),
      m_process(m_ctx, m_play, m_viewCommands, m_slices, m_tempo),
      m_pointer(m_ctx, m_play, m_viewCommands, m_edit, m_save, m_process), m_help(m_ctx),
      m_sampler(m_ctx), m_audition(m_ctx, m_sampler, m_save),
      m_transfer(m_ctx, m_sampler, m_file, m_save, m_play, m_template),
      m_plugins(m_ctx, m_play, m_viewCommands, audio,
                [](const std::atomic<bool>& stop) { return makeLilvPluginBackend({}, &stop); }) {
    if (m_player)
        m_player->OnWaveoutput = [this] { m_play.playEnded(); };
    m_display.onRedrawn = [this] { m_audition.refresh(); };
    m_file.setMidiInputs([this] { return m_sampler.midiBackend().inputs(); });
    m_controls.cursorTimer = new QTimer(this);
    m_controls.cursorTimer->setObjectName("SuperTimer1");
    connect(m_controls.cursorTimer, &QTimer::timeout, this, [this] { m_play.SuperTimer1Timer(); });
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
    // The keyboard's voices are mixed by the player's output: they go before the player.
    m_audition.stop();
    m_player.reset();
    m_runner.waitForWorker();
}

BusyRunner::Hooks TMainForm::runnerHooks() {
    BusyRunner::Hooks hooks;
    hooks.recordUndo = [this](const std::function<void()>& record) {
        return m_ctx.recordUndo(record);
    };
    hooks.status = [this] { return m_ctx.statusText(1); };
    hooks.setStatus = [this](const QString& text) { m_ctx.setStatus(1, text); };
    hooks.stopPlayback = [this] { m_play.Button24Click(); };
    hooks.followPlayer = [this](bool reopen) {
        if (reopen)
            m_play.reopenOutput();
        else if (m_player)
            m_player->refresh();
    };
    hooks.markModified = [this] { m_ctx.markModified(); };
    hooks.redraw = [this] { m_display.redrawAll(); };
    return hooks;
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
        setUndoLevels(m_undo, m_settings.UndoLevels);
        m_doc.SelectedSegment = 1;
        m_doc.Threshold = 65535;
        m_ctx.setStatus(0, "Hint");
        m_file.resetToNoDocument();
    } catch (const std::exception&) {
        m_initialisationFailed = true;
    }
}

void TMainForm::applySettings() {
    // Transport legends, or none.
    const char* legends[] = {"All", "Loop", "Selected", "Stop"};
    const char* names[] = {"Play", "Loop", "Selected", "Stop"};
    QAction* buttons[] = {m_controls.Button3, m_controls.Button20, m_controls.button4,
                          m_controls.Button24};
    for (int i = 0; i < 4; ++i)
        buttons[i]->setText(m_settings.ShowButtonText ? legends[i] : names[i]);
    m_controls.SelectionBar1->setChecked(m_settings.ShowSegmentBar);
    m_controls.PlayThrough1->setChecked(m_settings.AuditionPlayThrough);
    m_controls.Regionbar1->setChecked(m_settings.ShowRegionBar);
    m_controls.mnuPpanel->setChecked(m_settings.PanelAtTop);
    m_controls.SpeedButton5->setChecked(m_settings.ShowIcon);
    m_controls.SpeedButton6->setChecked(m_settings.ShowLock);
    m_controls.SpeedButton7->setChecked(m_settings.ShowEnable);
    // "Use old right mouse menu" puts the segment tools away.
    m_pointer.showSegmentTools(!m_settings.OldRMB);
    m_recent.show();
}

void TMainForm::FormShow(const QString& commandLineFile) {
    if (m_pluginsMenu->isEmpty())
        m_plugins.buildMenuInBackground(m_pluginsMenu);
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
    if (!hasOutputDevice(m_audio))
        m_dialogs.message(MessageKind::Error, "", noSoundcardText(m_audio, m_settings.WaveID));
    m_file.startUp(commandLineFile);
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip && m_controls.statusPanels[0]) {
        m_ctx.setStatus(0, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// The program (not one of its own dialogs) went to the background or came back: the output is
// released for other programs meanwhile, and a file changed elsewhere is offered for reloading.
void TMainForm::applicationStateChanged(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) {
        m_play.reclaimOutput();
        m_file.applicationActivated();
    } else {
        m_play.releaseOutput();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (isBusy() || !m_save.confirmDiscard()) {
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
    m_settings.ShowSegmentBar = m_controls.SelectionBar1->isChecked();
    m_settings.ShowRegionBar = m_controls.Regionbar1->isChecked();
    const bool toolbarsSaved =
        m_store.write("Toolbars", QString::fromLatin1(saveState().toBase64()));
    if (!writeSettings(m_store, m_settings) || !toolbarsSaved)
        m_dialogs.message(MessageKind::Error, "", kMsgRegistryUpdateFailed);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_controls.statusPanels[0]->setFixedWidth(std::max(width() - 310, 40));
    epImagePanel1Resize();
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
    m_file.openDroppedFile(urls.front().toLocalFile());
}

void TMainForm::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    // Wheel up (or a swipe away) moves toward the end of the sample, down toward its start.
    m_viewCommands.scrollByWheel(angle.y() != 0 ? angle.y() : -angle.x());
    event->accept();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (!m_pointer.keyPressed(event))
        QMainWindow::keyPressEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && m_doc.DocumentOpen) {
        const MainControls& c = m_controls;
        if (watched == c.sensitivityLabel) {
            m_slices.showSensitivityDialog();
            return true;
        }
        if (watched == c.barsPanel || watched == c.barsLabel || watched == c.tempoLabel ||
            watched == c.beatsPanel || watched == c.beatsLabel) {
            m_tempo.showTempoDialog(watched == c.beatsPanel || watched == c.beatsLabel);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int TMainForm::waveWidth() const {
    return std::max(m_controls.wave->width(), 1);
}

void TMainForm::enterBusy() {
    menuBar()->setEnabled(false);
    m_controls.panel->setEnabled(false);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(false);
}

void TMainForm::leaveBusy() {
    menuBar()->setEnabled(true);
    m_controls.panel->setEnabled(true);
    for (QToolBar* bar : findChildren<QToolBar*>())
        bar->setEnabled(true);
}

void TMainForm::setCaption() {
    if (!m_doc.DocumentOpen || m_doc.FileName.empty()) {
        setWindowTitle(kCaption);
        return;
    }
    const QString name = QFileInfo(QString::fromStdString(m_doc.FileName)).fileName();
    setWindowTitle(name + (m_state.modified ? "* - " : " - ") + kCaption);
}

bool TMainForm::isEnabledNow(EnabledWhen when) const {
    const bool open = m_doc.DocumentOpen;
    const bool canPlay = open && m_player && m_player->isOpen();
    switch (when) {
    case EnabledWhen::Always:
        return true;
    case EnabledWhen::Document:
    case EnabledWhen::ByHandler:
        return open;
    case EnabledWhen::NamedDocument:
        return !m_doc.FileName.empty();
    case EnabledWhen::FileOfItsOwn:
        return open && hasFileOfItsOwn(m_doc);
    case EnabledWhen::WritableFile:
        return open && !m_doc.ReadOnlyFile;
    case EnabledWhen::SegmentSelected:
        return open && m_view.selected.has_value();
    case EnabledWhen::Stereo:
        return open && m_doc.Channels == 2;
    case EnabledWhen::CanPlay:
        return canPlay;
    case EnabledWhen::CanPlaySelected:
        return canPlay && m_view.selected.has_value();
    case EnabledWhen::Undo:
        return m_ctx.canUndo();
    case EnabledWhen::Redo:
        return m_ctx.canRedo();
    case EnabledWhen::ZoomIn:
        return open && canZoomIn(m_view);
    case EnabledWhen::SettingsAvailable:
        return m_settingsAvailable;
    }
    return true;
}

void TMainForm::updateCommandStates() {
    for (const CommandRow& row : commandTable()) {
        QAction* action = m_controls.*row.slot;
        // Commands their handlers manage are only switched off without a sample.
        if (row.enabled != EnabledWhen::ByHandler || !m_doc.DocumentOpen)
            action->setEnabled(isEnabledNow(row.enabled));
    }
    const bool open = m_doc.DocumentOpen;
    m_controls.slider->setEnabled(open);
    for (QAction* tool : m_controls.tools)
        if (tool)
            tool->setEnabled(open);
    m_ctx.updateUndoCommand();
    m_controls.channelButtonAction->setVisible(open && m_doc.Channels == 2);
}

} // namespace tolvane
