#include "app/CommandTable.h"

#include "app/SharedShortcuts.h"
#include "app/TMainForm.h"

namespace tolvane {
namespace {

using C = MainControls;
using F = TMainForm;
using E = EnabledWhen;

// The commands in menu order.
const CommandRow kCommands[] = {
    // File.
    {&C::FileOpenItem, "FileOpenItem", "&Open...", "Ctrl+O", "Open file|Click to open a new file",
     &F::OpenFile, E::Always, false, false, ToolIcon::Open},
    {&C::RevertItem, "RevertItem", "&Revert", "", "", &F::RevertItemClick, E::FileOfItsOwn},
    {&C::FileCloseItem, "FileCloseItem", "C&lose", "", "", &F::CloseFile, E::NamedDocument},
    {&C::Saveitem, "Saveitem", "&Save", "Ctrl+S", "Save entire sample", &F::SaveitemClick,
     E::WritableFile},
    {&C::SaveAsitem, "SaveAsitem", "Save As...", "", "Save entire sample with new filename",
     &F::SaveAsitemClick, E::Document},
    {&C::SaveSelectItem, "SaveSelectItem", "Save Selected Se&gment", "",
     "Save currently selected segment to a wave file", &F::SaveSelectItemClick, E::SegmentSelected},
    {&C::SaveRegionItem, "SaveRegionItem", "Save Region &Defined In Loop", "",
     "Save region in loop", &F::SaveRegionItemClick, E::Document},
    {&C::SaveMarkersItem, "SaveMarkersItem", "Save With Slice Markers…", "",
     "Save region as one wave file with a cue point at every slice point", &F::SaveMarkersItemClick,
     E::Document},
    {&C::SplitMenuItem, "SplitMenuItem", "Save Segments In Loop", "Ctrl+W",
     "Save segments|Split sample into separate audio files", &F::SplitMenuItemClick, E::Document},
    {&C::SaveMidMenuItem, "SaveMidMenuItem", "Save &Midi Timing Template", "Ctrl+M",
     "Save a midi timing template to a standard midi file", &F::SaveMidMenuItemClick, E::Document},
    {&C::SaveTrackItem, "SaveTrackItem", "Save Mixman Track File", "",
     "Save to a Track File for use in Mixman Studio", &F::SaveTrackItemClick, E::Document, false,
     true},
    {&C::SaveSFItem, "SaveSFItem", "Save To Sound Bank &File", "Ctrl+F",
     "Split samples into sound bank file", &F::SaveSFItemClick, E::Document},
    {&C::SaveSFM, "SaveSFM", "Save Midi Template &And Sound Bank ...", "Ctrl+B",
     "Save a sound bank and midi file in one operation", &F::SaveSFMClick, E::Document},
    {&C::OpenPoint, "OpenPoint", "Open Point File", "", "", &F::OpenPointClick, E::NamedDocument},
    {&C::SavePoint, "SavePoint", "Save &Point File", "", "", &F::SavePointClick, E::NamedDocument},
    {&C::Options1, "Options1", "Opt&ions", "", "", &F::Options1Click},
    {&C::FileExitItem, "FileExitItem", "E&xit", "Alt+F4", "", &F::FileExitItemClick},
    // Edit.
    {&C::mnuUndo, "mnuUndo", "&Undo", "Ctrl+Z", "Undo|Undo the last operation", &F::mnuUndoClick,
     E::Undo},
    {&C::mnuRedo, "mnuRedo", "Re&do", "Ctrl+Y; Ctrl+Shift+Z", "Redo|Redo the last undone operation",
     &F::mnuRedoClick, E::Redo},
    {&C::mnuCopyAll, "mnuCopyAll", "&Copy", "Ctrl+C", "Copy entire sample to clipboard",
     &F::mnuCopyAllClick, E::Document},
    {&C::mnuPasteAllKeep, "mnuPasteAllKeep", "Paste All And &Keep", "Ctrl+K",
     "Paste contents of clipboard over sample and keep existing points", &F::mnuPasteAllKeepClick},
    {&C::mnuPasteNew, "mnuPasteNew", "Paste All And Find &New", "Ctrl+V",
     "Paste contents of clipboard over sample and find new points", &F::mnuPasteNewClick},
    {&C::mnuLockAll, "mnuLockAll", "&Lock All", "Ctrl+L", "Lock all|Lock all points",
     &F::mnuLockAllClick, E::Document},
    {&C::mnuUnlockAll, "mnuUnlockAll", "Unl&ock All", "Ctrl+U", "Unlock all|Unlock all points",
     &F::mnuUnlockAllClick, E::Document},
    {&C::Recut1, "Recut1", "&Re-cut", "Ctrl+R", "", &F::Recut1Click, E::Document},
    {&C::refind, "refind", "Re-cut", "", "", &F::Recut1Click, E::Document, false, true},
    {&C::CropRegion1, "CropRegion1", "Crop / &Trim Region", "", "Crop region defined by locators",
     &F::CropRegion1Click, E::Document},
    {&C::Editexternally1, "Editexternally1", "Edit externally...", "",
     "Edit sample in external editor", &F::Editexternally1Click, E::Document},
    {&C::ControlPanel1, "ControlPanel1", "Soundcard Control &Panel...", "Ctrl+P",
     "Load soundcard Control Panel", &F::ControlPanel1Click},
    {&C::LeftChannel, "LeftChannel", "L&eft Channel", "Ctrl+1", "Use stereo / left channel",
     &F::LeftChannelClick, E::Stereo, true},
    {&C::RightChannel, "RightChannel", "Ri&ght Channel", "Ctrl+2", "Use stereo / right channel",
     &F::RightChannelClick, E::Stereo, true},
    {&C::LR1, "LR1", "L + R", "", "", &F::LR1Click, E::Always, true},
    {&C::LR2, "LR2", "L / R", "", "", &F::LR2Click, E::Always, true},
    {&C::ShowSensitivity, "ShowSensitivity", "Show Sensitivity", kShowSensitivityShortcut, "",
     &F::showSensitivityDialog, E::Always, false, true},
    // Process, and the segment commands of the pointer menu with their keys.
    {&C::Normalise1, "Normalise1", "&Normalise", "", "Normalise volume", &F::Normalise1Click,
     E::Document},
    {&C::Invert1, "Invert1", "&Invert", "", "Invert sample", &F::Invert1Click, E::Document},
    {&C::Bitreduction1, "Bitreduction1", "&Quantise", "",
     "Reduce number of bits (and re-expand to 16)", &F::Bitreduction1Click, E::Document},
    {&C::Convert1, "Convert1", "&Convert channels", "", "", &F::Convert1Click, E::Document},
    {&C::Adjustsamplerate1, "Adjustsamplerate1", "A&djust sample rate", "", "",
     &F::Adjustsamplerate1Click, E::Document},
    {&C::StripSilence1, "StripSilence1", "Strip Silence...", "",
     "Remove digital silence between samples", &F::StripSilence1Click, E::Document, false, false,
     ToolIcon::StripSilence},
    {&C::mnuSilence, "mnuSilence", "Silence", "", "Silence the sample segment", &F::mnuSilenceClick,
     E::Document},
    {&C::mnuReverse, "mnuReverse", "Reverse", "", "Reverse the sample segment", &F::mnuReverseClick,
     E::Document},
    {&C::Silence1, "Silence1", "Silence", "Del", "", &F::Silence1Click, E::Document, false, true},
    {&C::Reverse1, "Reverse1", "Reverse", "Ins", "", &F::Reverse1Click, E::Document, false, true},
    {&C::ShowTempo1, "ShowTempo1", "ShowTempo", "Ctrl+T", "", &F::ShowTempo1Click, E::Always, false,
     true},
    // The grid, the shuffle and the smoothing of new points.
    {&C::N8ths1, "N8ths1", "8ths", "", "Cut to 8ths", &F::N8ths1Click, E::Document},
    {&C::N16ths1, "N16ths1", "16ths", "", "Cut to 16ths", &F::N16ths1Click, E::Document},
    {&C::N32nds1, "N32nds1", "32nds", "", "Cut to 32ths", &F::N32nds1Click, E::Document},
    {&C::Randomise1, "Randomise1", "R&andomise", "Ctrl+A",
     "Randomise the segments between the locators", &F::Randomise1Click, E::Document},
    {&C::Randomise2, "Randomise2", "Randomise and &keep points", "Ctrl+N",
     "Randomise and keep the current point settings", &F::Randomise2Click, E::Document},
    {&C::Smooth1, "Smooth1", "Smooth", "",
     "Tick to ensure division points are automatically adjusted towards zero", nullptr, E::Always,
     true},
    // The pointer menu.
    {&C::CopySegment1, "CopySegment1", "Copy Segment", "", "Copy the segment to the clipboard",
     &F::CopySegment1Click, E::Document},
    {&C::PasteIntoSegment2, "PasteIntoSegment2", "Paste Into Segment", "",
     "Paste from the clipboard into the sample", &F::PasteIntoSegment2Click, E::Document},
    {&C::PopUpSave, "PopUpSave", "Save Segment", "", "Save sample segment", &F::PopUpSaveClick,
     E::Document},
    {&C::popupaddcur, "popupaddcur", "Add At Current Length", "",
     "Add a new point at the current sensitivity setting", nullptr, E::Always, true},
    // View.
    {&C::PopupZin, "PopupZin", "Zoom In", "", "Zoom in to sample", &F::PopupZinClick, E::ZoomIn},
    {&C::PopUpZout, "PopUpZout", "Zoom Out", "", "Zoom out of sample segment", &F::PopUpZoutClick,
     E::ByHandler},
    {&C::PopUp11, "PopUp11", "Zoom (1:1)", "", "Zoom out to full view", &F::PopUp11Click,
     E::Document},
    {&C::PopUpZts, "PopUpZts", "Zoom To Segment", "", "Zoom into sample segment", &F::PopUpZtsClick,
     E::ByHandler},
    {&C::SelectionBar1, "SelectionBar1", "Selection Bar", "", "", &F::SelectionBar1Click, E::Always,
     true},
    {&C::Regionbar1, "Regionbar1", "Region bar", "", "", &F::Regionbar1Click, E::Always, true},
    {&C::mnuPpanel, "mnuPpanel", "Work from top", "", "", &F::mnuPpanelClick, E::Always, true,
     true},
    {&C::ViewFTItem, "ViewFTItem", "&File Toolbar", "", "", nullptr, E::Always, true},
    {&C::ViewETItem, "ViewETItem", "&Edit Toolbar", "", "", nullptr, E::Always, true},
    {&C::SpeedButton5, "SpeedButton5", "Sample icons", "", "Sample icons|Show/hide sample icons",
     &F::SpeedButton5Click, E::Always, true, false, ToolIcon::PointSample},
    {&C::SpeedButton6, "SpeedButton6", "Lock icons", "", "Lock icons|Show/hide lock icons",
     &F::SpeedButton6Click, E::Always, true, false, ToolIcon::PointLock},
    {&C::SpeedButton7, "SpeedButton7", "Disabled icons", "",
     "Disabled icons|Show/hide sample disabled icons", &F::SpeedButton7Click, E::Always, true,
     false, ToolIcon::PointDisabled},
    // Transport.
    {&C::Button3, "Button3", "Play", "", "Play|Click to play entire visible region",
     &F::Button3Click, E::CanPlay, true},
    {&C::Button20, "Button20", "Loop", "", "Loop|Click to loop region defined by locators",
     &F::Button20Click, E::CanPlay, true},
    {&C::button4, "button4", "Selected", "", "Selected|Click to play selected segment",
     &F::button4Click, E::CanPlaySelected, true},
    {&C::Button24, "Button24", "Stop", "", "Stop|Click to stop sample playback", &F::Button24Click,
     E::CanPlay},
    // Sampler.
    {&C::BatchTransfer1, "BatchTransfer1", "&Batch Transfer", "", "Show batch transfer dialog",
     &F::BatchTransfer1Click, E::SettingsAvailable},
    {&C::SMIDITransfer1, "SMIDITransfer1", "Sample &Transfer", "Ctrl+I",
     "Show sampler transfer dialog", &F::SMIDITransfer1Click, E::SettingsAvailable},
    {&C::Transmit1, "Transmit1", "&Profile Manager", "Ctrl+D", "Show sampler profile manager",
     &F::Transmit1Click, E::SettingsAvailable},
    {&C::PlayFromKeyboard1, "PlayFromKeyboard1", "Play from MIDI keyboard", "",
     "Play from MIDI keyboard|Play the segments from the keys of a MIDI keyboard",
     &F::PlayFromKeyboard1Click, E::Always, true},
    {&C::PlayThrough1, "PlayThrough1", "Play through", "",
     "Play through|A key plays on from its segment to locator R", &F::PlayThrough1Click, E::Always,
     true},
    // Help.
    {&C::HelpFileItem, "HelpFileItem", "&Help (F1)", "F1", "", &F::HelpFileItemClick},
    {&C::TipItem, "TipItem", "&Tips", "", "", &F::TipItemClick},
    {&C::h1, "h1", "&WaveTolvane Home Page", "",
     "Visit the Quorvex homepage (must be connected to Internet)", &F::h1Click},
    {&C::HelpAboutItem, "HelpAboutItem", "&About WaveTolvane...", "", "", &F::HelpAboutItemClick},
};

const ToolRow kTools[] = {
    {Tool::Select, "SpeedButton1", "Select|Select tool", ToolIcon::Select},
    {Tool::Add, "SpeedButton2", "Add|Add slice point tool", ToolIcon::Add},
    {Tool::EnableDisable, "SpeedButton3", "Enable/disable|Enable/disable slice point tool",
     ToolIcon::EnableDisable},
    {Tool::LockUnlock, "spdis", "Lock/unlock|Lock/unlock slice point tool", ToolIcon::LockUnlock},
    {Tool::Zoom, "bzoom", "Zoom|Zoom tool (LMB zoom in, RMB zoom out)", ToolIcon::Zoom},
    // "Zoom 1:1" sits among the tools but is a command.
    {Tool::Zoom11, "ToolbarButton973", "Zoom 1:1|Zoom out to a scale of 1:1", ToolIcon::Zoom11},
    {Tool::SilenceReverse, "breverse",
     "Silence/reverse|Silence/reverse segment tool (LMB silence segment, RMB reverse segment, "
     "Space auditions)",
     ToolIcon::SilenceReverse},
    {Tool::CopyPaste, "bcopy",
     "Copy/paste|Copy/paste segment tool (LMB copy segment, RMB paste segment; spc auditions)",
     ToolIcon::CopyPaste},
    {Tool::SaveSegment, "bsseg", "Save segment|Save segment tool (LMB audition, RMB save)",
     ToolIcon::SaveSegment},
};

const MirrorButtonRow kStripSilenceButton = {"chopbut", "Strip silence", ToolIcon::StripSilence,
                                             &C::StripSilence1};

const MirrorButtonRow kSampleTransferButton = {"ToolbarButton971",
                                               "Sample transfer|Show sampler transfer dialog",
                                               ToolIcon::SampleTransfer, &C::SMIDITransfer1};

const MirrorButtonRow kFileToolbarButtons[] = {
    {"SaveWaveB", "Save segments|Click to save segments in defined region", ToolIcon::SaveSegments,
     &C::SplitMenuItem},
    {"SaveMidB", "Save midi file|Click to save timing template to a standard midi file",
     ToolIcon::SaveMidi, &C::SaveMidMenuItem},
    {"SaveSFB", "Save sound bank file|Click to save to a sound bank file", ToolIcon::SaveBank,
     &C::SaveSFItem},
    {"SaveSFMB",
     "Save midi and sound bank|Click to save a sound bank and midi file in one operation",
     ToolIcon::SaveBank, &C::SaveSFM},
    {"SpeedButton17", "Crop|Crop region defined by locators", ToolIcon::Crop, &C::CropRegion1},
    {"SpeedButton19", "Unlock all|Unlock all points", ToolIcon::UnlockAll, &C::mnuUnlockAll},
    {"SpeedButton18", "Lock all|Lock all points", ToolIcon::LockAll, &C::mnuLockAll},
    {"SpeedButton12", "Undo|Undo the last operation", ToolIcon::Undo, &C::mnuUndo},
    {"SpeedButton16", "Control panel|Load soundcard Control Panel", ToolIcon::ControlPanel,
     &C::ControlPanel1},
};

} // namespace

std::span<const CommandRow> commandTable() {
    return kCommands;
}

std::span<const ToolRow> toolTable() {
    return kTools;
}

std::span<const MirrorButtonRow> fileToolbarButtons() {
    return kFileToolbarButtons;
}

const MirrorButtonRow& stripSilenceButton() {
    return kStripSilenceButton;
}

const MirrorButtonRow& sampleTransferButton() {
    return kSampleTransferButton;
}

} // namespace tolvane
