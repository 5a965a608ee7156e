#pragma once

#include "app/BusyRunner.h"
#include "app/CommandTable.h"
#include "app/Dialogs.h"
#include "app/MainControls.h"
#include "app/ProgramSettings.h"
#include "app/WaveformDisplay.h"
#include "app/commands/AuditionCommands.h"
#include "app/commands/BankCommands.h"
#include "app/commands/CommandContext.h"
#include "app/commands/EditCommands.h"
#include "app/commands/FileCommands.h"
#include "app/commands/HelpCommands.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/PluginCommands.h"
#include "app/commands/PointerCommands.h"
#include "app/commands/ProcessCommands.h"
#include "app/commands/RecentFiles.h"
#include "app/commands/SamplerCommands.h"
#include "app/commands/SaveCommands.h"
#include "app/commands/SliceCommands.h"
#include "app/commands/TemplateCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/commands/TransferCommands.h"
#include "app/commands/ViewCommands.h"
#include "audio/twabeAudio.h"
#include "document/SampleDocument.h"
#include "document/UndoRecord.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "platform/SettingsStore.h"

#include <QImage>
#include <QMainWindow>
#include <memory>

class QToolBar;

namespace tolvane {

// The main window: it owns the one sample document, its view, the undo step, the player and
// the command groups, lays out the controls and wires them to the handlers below. Every
// documented handler forwards to the command group of its subject (app/commands/).
// Window's thread.
class TMainForm : public QMainWindow, private EditorWindow {
public:
    // `audio` may be null: without a sound system the editor works without playback.
    TMainForm(SettingsStore& store, Dialogs& dialogs, AudioBackend* audio,
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // Start-up after the first showing: the command-line file, or the open command.
    void FormShow(const QString& commandLineFile);

    // File commands.
    void OpenFile() { m_file.OpenFile(); }
    void RevertItemClick() { m_file.RevertItemClick(); }
    void CloseFile() { m_file.CloseFile(); }
    void OpenRecentFile(int index) { m_file.OpenRecentFile(index); } // 0 .. 3
    void OpenPointClick() { m_file.OpenPointClick(); }
    void SavePointClick() { m_file.SavePointClick(); }
    void Options1Click() {
        m_file.Options1Click();
        m_audition.settingsChanged();
    }
    void FileExitItemClick() { close(); }
    void openDroppedFile(const QString& fileName) { m_file.openDroppedFile(fileName); }
    // Loads a file as every open command does (after the caller's checks).
    void loadFile(const QString& fileName) { m_file.loadFile(fileName); }
    void applicationActivated() { m_file.applicationActivated(); }
    // The program as a whole went to the background or came back (its own dialogs do not count).
    void applicationStateChanged(Qt::ApplicationState state);

    // Undo, clipboard and point editing.
    void mnuUndoClick() { m_edit.mnuUndoClick(); }
    void mnuRedoClick() { m_edit.mnuRedoClick(); }
    void mnuCopyAllClick() { m_edit.mnuCopyAllClick(); }
    void CopySegment1Click() { m_edit.CopySegment1Click(); }
    void PasteIntoSegment2Click() { m_edit.PasteIntoSegment2Click(); }
    void mnuPasteAllKeepClick() { m_edit.mnuPasteAllKeepClick(); }
    void mnuPasteNewClick() { m_edit.mnuPasteNewClick(); }
    void mnuLockAllClick() { m_edit.mnuLockAllClick(); }
    void mnuUnlockAllClick() { m_edit.mnuUnlockAllClick(); }
    void chooseTool(Tool tool) { m_pointer.chooseTool(tool); }
    Tool tool() const { return m_state.tool; }
    const UndoRecord& undoRecord() const { return m_undo; }
    bool isModified() const { return m_state.modified; }

    // Saving, crop, outside programs.
    void SaveitemClick() { m_save.SaveitemClick(); }
    void SaveAsitemClick() { m_save.SaveAsitemClick(); }
    void SaveSelectItemClick() { m_save.SaveSelectItemClick(); }
    void PopUpSaveClick() { m_save.PopUpSaveClick(); } // the segment under the pointer
    void SaveRegionItemClick() { m_save.SaveRegionItemClick(); }
    void SaveMarkersItemClick() { m_save.SaveMarkersItemClick(); } // the region with cue points
    void SplitMenuItemClick() { m_save.SplitMenuItemClick(); }     // every segment in the loop
    void SaveMidMenuItemClick() { m_template.SaveMidMenuItemClick(); }
    void SaveTrackItemClick() { m_template.SaveTrackItemClick(); }
    void SaveSFMClick() { m_template.SaveSFMClick(); }    // the template, then the bank
    void SaveSFItemClick() { m_banks.SaveSFItemClick(); } // a sound bank of the loop
    void setInstrumentHost(std::unique_ptr<InstrumentHost> host) {
        m_banks.setInstrumentHost(std::move(host));
    }
    void CropRegion1Click() { m_save.CropRegion1Click(); }
    void Editexternally1Click() { m_save.Editexternally1Click(); }
    void ControlPanel1Click() { m_save.ControlPanel1Click(); }
    void setShell(std::unique_ptr<Shell> shell) { m_save.setShell(std::move(shell)); }
    void setDragStarter(SaveCommands::DragStarter starter) {
        m_save.setDragStarter(std::move(starter));
    }
    const KeymapSettings& keymap() const { return m_save.keymap(); }
    void setKeymap(const KeymapSettings& keymap) { m_save.setKeymap(keymap); }
    // The output lengths of the last series' files, left (or only) and right channel.
    const std::vector<std::uint32_t>& segmentFileLengths(int channel) const {
        return m_save.segmentFileLengths(channel);
    }
    // Asks before a modified document is discarded; false when the user cancels.
    bool confirmDiscard() { return m_save.confirmDiscard(); }

    // Processing.
    void Normalise1Click() { m_process.Normalise1Click(); }
    void Invert1Click() { m_process.Invert1Click(); }
    void Bitreduction1Click() { m_process.Bitreduction1Click(); } // "Quantise"
    void mnuSilenceClick() { m_process.mnuSilenceClick(); }       // the segment under the pointer
    void mnuReverseClick() { m_process.mnuReverseClick(); }
    void Silence1Click() { m_process.Silence1Click(); } // Delete
    void Reverse1Click() { m_process.Reverse1Click(); } // Insert
    void Convert1Click() { m_process.Convert1Click(); }
    void Adjustsamplerate1Click() { m_process.Adjustsamplerate1Click(); }
    void StripSilence1Click() { m_process.StripSilence1Click(); }

    // Playback.
    void Button3Click() { m_play.Button3Click(); }   // "Play": the visible range
    void Button20Click() { m_play.Button20Click(); } // "Loop": the locator region
    void button4Click() { m_play.button4Click(); }   // "Selected": the selected segment
    void Button24Click() { m_play.Button24Click(); } // "Stop"
    void auditionUnderPointer() { m_pointer.auditionUnderPointer(); } // Space
    twabeAudio* player() { return m_player.get(); }
    // Opens the output with the document's format; false (with its message) when it cannot.
    bool openOutput() { return m_play.openOutput(); }

    // Detection and sensitivity.
    void Recut1Click() { m_slices.Recut1Click(); }
    void TrackBar1Change(int position) { m_slices.TrackBar1Change(position); }
    void setSensitivityPercent(double percent) { m_slices.setSensitivityPercent(percent); }
    // "Sensitivity", from Ctrl+Y or a double-click on the label.
    void showSensitivityDialog() { m_slices.showSensitivityDialog(); }
    void LR1Click() { m_slices.LR1Click(); } // "L + R"
    void LR2Click() { m_slices.LR2Click(); } // "L / R"
    void LeftChannelClick() { m_slices.LeftChannelClick(); }
    void RightChannelClick() { m_slices.RightChannelClick(); }

    // Bars, beats and tempo; the grid; the shuffle.
    void UpDown1Click() { m_tempo.UpDown1Click(); }
    void UpDown2Click() { m_tempo.UpDown2Click(); }
    void ShowTempo1Click() { m_tempo.ShowTempo1Click(); }
    void showTempoDialog(bool beatsFocused) { m_tempo.showTempoDialog(beatsFocused); }
    void setLoopLength(int bars, int beats) { m_tempo.setLoopLength(bars, beats); }
    void N8ths1Click() { m_tempo.N8ths1Click(); }
    void N16ths1Click() { m_tempo.N16ths1Click(); }
    void N32nds1Click() { m_tempo.N32nds1Click(); }
    void Randomise1Click() { m_tempo.Randomise1Click(); }
    void Randomise2Click() { m_tempo.Randomise2Click(); }

    // View.
    void PopupZinClick() { m_viewCommands.PopupZinClick(); }
    void PopUpZoutClick() { m_viewCommands.PopUpZoutClick(); }
    void PopUp11Click() { m_viewCommands.PopUp11Click(); }
    void PopUpZtsClick() { m_viewCommands.PopUpZtsClick(); }
    void SelectionBar1Click() { m_viewCommands.SelectionBar1Click(); }
    void Regionbar1Click() { m_viewCommands.Regionbar1Click(); }
    void mnuPpanelClick() { m_viewCommands.mnuPpanelClick(); }
    // The sample, lock and disabled icons shown or not.
    void SpeedButton5Click() { m_viewCommands.SpeedButton5Click(); }
    void SpeedButton6Click() { m_viewCommands.SpeedButton6Click(); }
    void SpeedButton7Click() { m_viewCommands.SpeedButton7Click(); }
    // Scrolls by a wheel's angle delta (120 a notch): that many pixels' worth of bytes.
    void scrollByWheel(int delta) { m_viewCommands.scrollByWheel(delta); }
    // The pointer over the waveform at x, as a mouse move there would leave it.
    void pointAt(int x) { m_viewCommands.pointAt(x); }

    // Help: the contents, the tips, the maker's page, About.
    void HelpFileItemClick() { m_help.HelpFileItemClick(); }
    void TipItemClick() { m_help.TipItemClick(); }
    void h1Click() { m_help.h1Click(); }
    void HelpAboutItemClick() { m_help.HelpAboutItemClick(); }

    // Samplers: the profile manager; the MIDI ports, the SCSI bus and the profiles the drivers
    // reach through a profile (the system's unless others are given before first use).
    void Transmit1Click() { m_sampler.Transmit1Click(); }
    void SMIDITransfer1Click() { m_transfer.SMIDITransfer1Click(); }
    void BatchTransfer1Click() { m_transfer.BatchTransfer1Click(); }
    void PlayFromKeyboard1Click() { m_audition.PlayFromKeyboard1Click(); }
    void PlayThrough1Click() { m_audition.PlayThrough1Click(); }
    AuditionCommands& audition() { return m_audition; }
    TransferCommands& transfer() { return m_transfer; }
    void setSamplerPorts(std::unique_ptr<MidiBackend> midi, std::unique_ptr<ScsiBus> bus) {
        m_sampler.setPorts(std::move(midi), std::move(bus));
    }
    void setProfileFile(const std::string& file) { m_sampler.setProfileFile(file); }
    SamplerCommands& sampler() { return m_sampler; }

    // Effect plug-ins.
    void HandlePlugInClick(int index) { m_plugins.HandlePlugInClick(index); }
    PluginCommands& plugins() { return m_plugins; }

    // State for callers and tests.
    SampleDocument& document() { return m_doc; }
    const ViewState& view() const { return m_view; }
    const ProgramSettings& settings() const { return m_settings; }
    bool isBusy() const { return m_ctx.busy(); }
    QString statusText(int panel) const { return m_ctx.statusText(panel); }
    int waveWidth() const override;
    QImage waveformPicture() const { return m_display.picture(); }
    // Redraw pending, then waveform, markers and bars.
    void redrawAll() { m_display.redrawAll(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // EditorWindow.
    void relayout() override { epImagePanel1Resize(); }
    void placeLocatorButtons() override;
    void updateCommandStates() override;
    void setCaption() override;
    void enterBusy() override;
    void leaveBusy() override;
    QWidget* dialogParent() override { return this; }
    void applySettings() override;

    // Building the window (MainWindowLayout.cpp).
    void createActions();
    void createMenus();
    void createToolbars();
    void createTempoToolbar();
    void createCentralPanel();
    void createStatusBar();
    void addMirrorButton(QToolBar* bar, const MirrorButtonRow& row);
    void epImagePanel1Resize();
    bool isEnabledNow(EnabledWhen when) const;

    void FormCreate();
    void FormClose();
    BusyRunner::Hooks runnerHooks();

    SettingsStore& m_store;
    Dialogs& m_dialogs;
    AudioBackend* m_audio;
    ProgramSettings m_settings;
    bool m_settingsAvailable = true;
    bool m_initialisationFailed = false;
    SampleDocument m_doc;
    ViewState m_view;
    UndoRecord m_undo;
    EditorState m_state;
    MainControls m_controls;
    std::unique_ptr<twabeAudio> m_player; // waveAudio1
    WaveformDisplay m_display;
    BusyRunner m_runner;
    CommandContext m_ctx;

    // The command groups, each on the context and the groups it uses.
    PlayCommands m_play;
    SliceCommands m_slices;
    TempoCommands m_tempo;
    ViewCommands m_viewCommands;
    EditCommands m_edit;
    RecentFiles m_recent;
    SaveCommands m_save;
    BankCommands m_banks;
    TemplateCommands m_template;
    FileCommands m_file;
    ProcessCommands m_process;
    PointerCommands m_pointer;
    HelpCommands m_help;
    SamplerCommands m_sampler;
    AuditionCommands m_audition;
    TransferCommands m_transfer;
    PluginCommands m_plugins;
    QMenu* m_pluginsMenu = nullptr; // "P&lug-ins", filled at the first showing
};

} // namespace tolvane
