#pragma once

#include "app/commands/CommandContext.h"

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

class PlayCommands;
class TempoCommands;
class RecentFiles;
class SaveCommands;
class SliceCommands;
class ttload;
struct ConvertibleFormat;
struct CuePointReading;

// Opening and closing: the open window, dropped and recent files, the load sequence, revert,
// close, point files, preferences, the start-up file and the check for a file changed
// elsewhere.
class FileCommands {
public:
    FileCommands(CommandContext& ctx, PlayCommands& play, SliceCommands& slices,
                 TempoCommands& tempo, SaveCommands& save, RecentFiles& recent)
        : m_ctx(ctx), m_play(play), m_slices(slices), m_tempo(tempo), m_save(save),
          m_recent(recent) {}

    // After the first showing: the command-line file, or the open command.
    void startUp(const QString& commandLineFile);
    void OpenFile();
    void openDroppedFile(const QString& fileName);
    void OpenRecentFile(int index); // 0 .. 3
    void RevertItemClick();
    void CloseFile();
    void OpenPointClick();
    void SavePointClick();
    void Options1Click();
    // How an accepted file is read: as it is, or converted to 16 bits.
    enum class LoadMode { Refused, AsItIs, Converted };
    // The MIDI inputs Preferences offers for "Play from MIDI keyboard".
    void setMidiInputs(std::function<std::vector<std::string>()> inputs) {
        m_midiInputs = std::move(inputs);
    }
    // Loads a file as every open command does (after the caller's checks).
    void loadFile(const QString& fileName, LoadMode mode = LoadMode::AsItIs);
    // The program was activated again: a file changed elsewhere is offered for reloading.
    void applicationActivated();
    // A sample received from a sampler becomes the document as a loaded file does, unsaved;
    // over an open sample it is one undoable step.
    void adoptReceivedSample(SampleDocument&& received, const std::string& name);
    // Empties the window: no document, slider at 0, the commands that need a file disabled.
    void resetToNoDocument();

private:
    LoadMode acceptFileForOpen(const QString& fileName, const QString& wrongFormatText);
    bool agreeToConvert(const ConvertibleFormat& format);
    bool agreeToUseCuePoints(const CuePointReading& cues);
    void offerCuePoints(const CuePointReading& cues);
    std::function<std::vector<std::string>()> m_midiInputs;
    void loadCompleted(ttload& loader);
    enum class UndoOnLoad { Clear, Keep };
    void takeLoadedDocument(SampleDocument&& loaded, const std::string& fileName,
                            UndoOnLoad undo = UndoOnLoad::Clear);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    SliceCommands& m_slices;
    TempoCommands& m_tempo;
    SaveCommands& m_save;
    RecentFiles& m_recent;
};

} // namespace tolvane
