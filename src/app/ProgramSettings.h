#pragma once

#include "platform/SettingsStore.h"
#include "view/WaveformRenderer.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace tolvane {

// Every setting of the program, under its stored name, with its default.
struct ProgramSettings {
    // Initial folders of the file dialogs.
    QString OpenDir, SaveDir, SaveSFDir, SaveMidDir, SaveTrkDir, OpenPoint, SavePoint;
    ViewColours colours;
    std::array<QString, 4> recentFiles; // "File1" to "File4", newest first
    QString CPLoc;                      // sound card control panel program
    QString EditLoc;                    // external sample editor
    QString TrackLib;                   // the track-file library (a shared library)
    QString GigaHostLib;                // sampler host library told of new GigaSampler files
    QString SDSOff = "0";
    QString ScsiSockets; // SCSI targets on Unix sockets, paths separated by ':'
    // The MIDI input "Play from MIDI keyboard" reads (a port name as `tolvane ports` lists
    // it; empty until chosen), and whether each key's segment plays on to locator R.
    QString AuditionPort;
    bool AuditionPlayThrough = false;
    // How long an SDS send waits for a sampler that has answered to answer each packet, in ms.
    int SdsReplyWait = 1000;
    int Height = 480, Width = 640, Left = 54, Top = 104;
    int MWS = 0; // window state at the last exit: 0 normal, 1 minimised, 2 maximised
    int MidiChannel = 1, Haid = 0, Did = 0;
    int THold = 20, Gapp = 10000;
    int PNo = 0;
    int WaveID = -1, Seconds = 4, Buffers = 6;
    bool Max = false;
    bool ShowIcon = true, ShowLock = true, ShowEnable = true;
    bool ShowSegmentBar = true, ShowRegionBar = true;
    bool ShowTips = true, FilterEnable = false, ShowButtonText = true, SetOneBar = false;
    bool prompt = true, showopendialog = true, OldRMB = false, EnableUndo = true;
    bool AlwaysConvert = false; // open 24-bit, float and FLAC files without asking
    bool PanelAtTop = false;
    int UndoLevels = 1;        // steps kept; one is the single step the undo command toggles
    bool AutoPlay = true;      // written at exit only
    int MinID = 0, MoutID = 0; // written at exit only

    ProgramSettings();
};

inline constexpr const char* kMsgRegistryError = "An error occured when accessing the registry!";
inline constexpr const char* kMsgRegistryUpdateFailed = "Registry Update Failed!";

// Reads every setting in order; a missing value is written with its default and used. A
// colour that cannot be read puts all nine colours back to their defaults; a number that is
// not a number leaves it and the rest of its group at their defaults. Returns false when the
// store cannot be opened (the settings then stay at their defaults).
bool readSettings(SettingsStore& store, ProgramSettings& settings);

// Writes the settings kept at exit. Returns false when any write failed.
bool writeSettings(SettingsStore& store, const ProgramSettings& settings);

// Colours as stored: a standard colour name ("clBlack", "clRed", …) where one matches, else
// "$00BBGGRR".
QString colourText(std::uint32_t colour);
std::optional<std::uint32_t> parseColour(const QString& text);

// A folder is kept only when it is set and is not a bare file pattern such as "*.wav".
bool isStorableFolder(const QString& folder);

} // namespace tolvane
