// The main window's commands against the documented command table: captions, shortcuts and
// hints of every command that exists, and the table's own consistency.
#include "app/CommandTable.h"

#include "gui/WindowTestSupport.h"

#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <set>
#include <string>

namespace tolvane {
namespace {

struct Documented {
    const char* name;
    const char* caption;
    const char* shortcut;
    const char* hint; // "Short|Long" or one text for both; null when none is documented
};

// The documented commands of the main window, those still to come included.
const Documented kDocumented[] = {
    {"FileOpenItem", "&Open...", "Ctrl+O", "Open file|Click to open a new file"},
    {"RevertItem", "&Revert", "", nullptr},
    {"FileCloseItem", "C&lose", "", nullptr},
    {"OpenPoint", "Open Point File", "", nullptr},
    {"SavePoint", "Save &Point File", "", nullptr},
    {"Saveitem", "&Save", "Ctrl+S", "Save entire sample"},
    {"SaveAsitem", "Save As...", "", "Save entire sample with new filename"},
    {"SaveSelectItem", "Save Selected Se&gment", "",
     "Save currently selected segment to a wave file"},
    {"SaveRegionItem", "Save Region &Defined In Loop", "", "Save region in loop"},
    {"SaveMarkersItem", "Save With Slice Markers…", "",
     "Save region as one wave file with a cue point at every slice point"},
    {"SplitMenuItem", "Save Segments In Loop", "Ctrl+W",
     "Save segments|Split sample into separate audio files"},
    {"SaveMidMenuItem", "Save &Midi Timing Template", "Ctrl+M",
     "Save a midi timing template to a standard midi file"},
    {"SaveSFItem", "Save To Sound Bank &File", "Ctrl+F", "Split samples into sound bank file"},
    {"SaveTrackItem", "Save Mixman Track File", "", nullptr},
    {"SaveSFM", "Save Midi Template &And Sound Bank ...", "Ctrl+B",
     "Save a sound bank and midi file in one operation"},
    {"Options1", "Opt&ions", "", nullptr},
    {"FileExitItem", "E&xit", "Alt+F4", nullptr},
    {"mnuUndo", "&Undo", "Ctrl+Z", "Undo|Undo the last operation"},
    {"mnuRedo", "Re&do", "Ctrl+Y", "Redo|Redo the last undone operation"},
    {"Editexternally1", "Edit externally...", "", "Edit sample in external editor"},
    {"StripSilence1", "Strip Silence...", "", "Remove digital silence between samples"},
    {"mnuCopyAll", "&Copy", "Ctrl+C", "Copy entire sample to clipboard"},
    {"mnuPasteAllKeep", "Paste All And &Keep", "Ctrl+K",
     "Paste contents of clipboard over sample and keep existing points"},
    {"mnuPasteNew", "Paste All And Find &New", "Ctrl+V",
     "Paste contents of clipboard over sample and find new points"},
    {"CopySegment1", "Copy Segment", "", "Copy the segment to the clipboard"},
    {"PasteIntoSegment2", "Paste Into Segment", "", "Paste from the clipboard into the sample"},
    {"PopUpSave", "Save Segment", "", "Save sample segment"},
    {"CropRegion1", "Crop / &Trim Region", "", "Crop region defined by locators"},
    {"popupaddcur", "Add At Current Length", "",
     "Add a new point at the current sensitivity setting"},
    {"mnuLockAll", "&Lock All", "Ctrl+L", "Lock all|Lock all points"},
    {"mnuUnlockAll", "Unl&ock All", "Ctrl+U", "Unlock all|Unlock all points"},
    {"ViewFTItem", "&File Toolbar", "", nullptr},
    {"ViewETItem", "&Edit Toolbar", "", nullptr},
    {"SelectionBar1", "Selection Bar", "", nullptr},
    {"Regionbar1", "Region bar", "", nullptr},
    {"mnuPpanel", "Work from top", "", nullptr},
    {"LeftChannel", "L&eft Channel", "Ctrl+1", "Use stereo / left channel"},
    {"RightChannel", "Ri&ght Channel", "Ctrl+2", "Use stereo / right channel"},
    {"ControlPanel1", "Soundcard Control &Panel...", "Ctrl+P", "Load soundcard Control Panel"},
    {"Adjustsamplerate1", "A&djust sample rate", "", nullptr},
    {"Convert1", "&Convert channels", "", nullptr},
    {"Invert1", "&Invert", "", "Invert sample"},
    {"Normalise1", "&Normalise", "", "Normalise volume"},
    {"Bitreduction1", "&Quantise", "", "Reduce number of bits (and re-expand to 16)"},
    {"mnuSilence", "Silence", "", "Silence the sample segment"},
    {"mnuReverse", "Reverse", "", "Reverse the sample segment"},
    {"Silence1", "Silence", "Del", nullptr},
    {"Reverse1", "Reverse", "Ins", nullptr},
    {"N8ths1", "8ths", "", "Cut to 8ths"},
    {"N16ths1", "16ths", "", "Cut to 16ths"},
    {"N32nds1", "32nds", "", "Cut to 32ths"},
    {"Randomise1", "R&andomise", "Ctrl+A", "Randomise the segments between the locators"},
    {"Randomise2", "Randomise and &keep points", "Ctrl+N",
     "Randomise and keep the current point settings"},
    {"Recut1", "&Re-cut", "Ctrl+R", nullptr},
    {"Smooth1", "Smooth", "",
     "Tick to ensure division points are automatically adjusted towards zero"},
    {"Plugins1", "P&lug-ins", "", nullptr},
    {"BatchTransfer1", "&Batch Transfer", "", nullptr},
    {"SMIDITransfer1", "Sample &Transfer", "Ctrl+I", nullptr},
    {"Transmit1", "&Profile Manager", "Ctrl+D", nullptr},
    {"PlayFromKeyboard1", "Play from MIDI keyboard", "",
     "Play from MIDI keyboard|Play the segments from the keys of a MIDI keyboard"},
    {"PlayThrough1", "Play through", "",
     "Play through|A key plays on from its segment to locator R"},
    {"HelpFileItem", "&Help (F1)", "F1", nullptr},
    {"TipItem", "&Tips", "", nullptr},
    {"h1", "&WaveTolvane Home Page", "",
     "Visit the Quorvex homepage (must be connected to Internet)"},
    {"HelpAboutItem", "&About WaveTolvane...", "", nullptr},
    {"ShowSensitivity", "Show Sensitivity", "Ctrl+Y", nullptr},
    {"ShowTempo1", "ShowTempo", "Ctrl+T", nullptr},
    {"PopupZin", "Zoom In", "", "Zoom in to sample"},
    {"PopUpZout", "Zoom Out", "", "Zoom out of sample segment"},
    {"PopUp11", "Zoom (1:1)", "", "Zoom out to full view"},
    {"PopUpZts", "Zoom To Segment", "", "Zoom into sample segment"},
    {"Button3", nullptr, "", "Play|Click to play entire visible region"},
    {"Button20", nullptr, "", "Loop|Click to loop region defined by locators"},
    {"button4", nullptr, "", "Selected|Click to play selected segment"},
    {"Button24", nullptr, "", "Stop|Click to stop sample playback"},
    {"SpeedButton1", nullptr, "", "Select|Select tool"},
    {"SpeedButton2", nullptr, "", "Add|Add slice point tool"},
    {"SpeedButton3", nullptr, "", "Enable/disable|Enable/disable slice point tool"},
    {"spdis", nullptr, "", "Lock/unlock|Lock/unlock slice point tool"},
    {"bzoom", nullptr, "", "Zoom|Zoom tool (LMB zoom in, RMB zoom out)"},
    {"ToolbarButton973", nullptr, "", "Zoom 1:1|Zoom out to a scale of 1:1"},
    {"breverse", nullptr, "",
     "Silence/reverse|Silence/reverse segment tool (LMB silence segment, RMB reverse segment, "
     "Space auditions)"},
    {"chopbut", nullptr, "", "Strip silence"},
    {"bcopy", nullptr, "",
     "Copy/paste|Copy/paste segment tool (LMB copy segment, RMB paste segment; spc auditions)"},
    {"bsseg", nullptr, "", "Save segment|Save segment tool (LMB audition, RMB save)"},
    {"SaveWaveB", nullptr, "", "Save segments|Click to save segments in defined region"},
    {"SaveMidB", nullptr, "",
     "Save midi file|Click to save timing template to a standard midi file"},
    {"SaveSFB", nullptr, "", "Save sound bank file|Click to save to a sound bank file"},
    {"SpeedButton18", nullptr, "", "Lock all|Lock all points"},
    {"SpeedButton19", nullptr, "", "Unlock all|Unlock all points"},
    {"SpeedButton12", nullptr, "", "Undo|Undo the last operation"},
};

class CommandTableTest : public test::LoadedWindowTest {};

// The letter after a single '&' of a caption ("&&" is an ampersand); none: 0.
QChar mnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] != '&')
            return caption[i + 1].toLower();
        ++i;
    }
    return {};
}

// The mnemonics of a menu's items that two items share, each with both captions.
QStringList repeatedMnemonics(const QList<QAction*>& items) {
    std::map<QChar, QString> owner;
    QStringList repeated;
    for (QAction* item : items) {
        const QChar letter = mnemonicOf(item->text());
        if (letter.isNull())
            continue;
        if (const auto [it, first] = owner.emplace(letter, item->text()); !first)
            repeated << QString("%1: %2 / %3").arg(letter).arg(it->second, item->text());
    }
    return repeated;
}

TEST_F(CommandTableTest, EveryCommandThatExistsHasItsDocumentedCaptionShortcutAndHint) {
    int found = 0;
    for (const Documented& d : kDocumented) {
        QAction* command = action(d.name);
        if (!command)
            continue; // a command still to come
        ++found;
        SCOPED_TRACE(d.name);
        if (d.caption) {
            EXPECT_EQ(command->text(), d.caption);
        }
        EXPECT_EQ(command->shortcut(), QKeySequence(d.shortcut));
        if (d.hint) {
            const QStringList parts = QString(d.hint).split('|');
            EXPECT_EQ(command->toolTip(), parts.front());
            EXPECT_EQ(command->statusTip(), parts.back());
        }
    }
    EXPECT_GE(found, 79);
}

TEST_F(CommandTableTest, EveryRowIsDocumentedOnceAndMadeIntoItsAction) {
    std::set<std::string> documented;
    for (const Documented& d : kDocumented)
        documented.insert(d.name);
    std::set<std::string> seen;
    for (const CommandRow& row : commandTable()) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(seen.insert(row.name).second) << "a name is used once";
        EXPECT_TRUE(documented.contains(row.name) || std::string(row.name) == "refind" ||
                    std::string(row.name) == "LR1" || std::string(row.name) == "LR2" ||
                    std::string(row.name).starts_with("SpeedButton"))
            << "a row of the table that is not a documented command";
        ASSERT_NE(action(row.name), nullptr);
    }
    for (const ToolRow& row : toolTable())
        EXPECT_TRUE(documented.contains(row.name)) << row.name;
}

TEST_F(CommandTableTest, NoMenuGivesOneMnemonicToTwoItems) {
    EXPECT_EQ(mnemonicOf("Ra&ndomise"), 'n');
    EXPECT_EQ(mnemonicOf("Bass && Treble"), QChar());
    EXPECT_EQ(mnemonicOf("R&&B &Mix"), 'm');
    EXPECT_EQ(repeatedMnemonics(m_form->menuBar()->actions()), QStringList());
    const QList<QMenu*> menus = m_form->findChildren<QMenu*>();
    EXPECT_GE(menus.size(), 8) << "the menu bar's menus, their submenus and the pointer menu";
    for (QMenu* menu : menus)
        EXPECT_EQ(repeatedMnemonics(menu->actions()), QStringList()) << menu->title().toStdString();
}

TEST_F(CommandTableTest, EnablingFollowsTheDocument) {
    EXPECT_TRUE(action("Saveitem")->isEnabled());
    EXPECT_FALSE(action("SaveSelectItem")->isEnabled()) << "no segment selected after a load";
    EXPECT_TRUE(action("LeftChannel")->isEnabled()) << "stereo";
    m_form->CloseFile();
    for (const CommandRow& row : commandTable()) {
        if (row.enabled != EnabledWhen::Always && row.enabled != EnabledWhen::SettingsAvailable) {
            EXPECT_FALSE(action(row.name)->isEnabled()) << row.name;
        }
    }
    EXPECT_TRUE(action("FileOpenItem")->isEnabled());
    EXPECT_TRUE(action("mnuPasteNew")->isEnabled()) << "a paste makes a new sample";
}

} // namespace
} // namespace tolvane
