#pragma once

#include "app/commands/CommandContext.h"
#include "platform/Shell.h"
#include "slicing/Keymap.h"
#include "slicing/SegmentRanges.h"

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace tolvane {

class FunctionWorker;
class PlayCommands;
class TempoCommands;
class RecentFiles;
class ViewCommands;

// The saves that ask for the keymap settings first.
enum class KeymapFor { Segments, Bank, Template, TemplateAndBank, TrackFile };

// Writing audio: the sample, a segment, the region, every segment between the locators;
// the question before a modified sample is discarded; crop; the outside programs.
class SaveCommands {
public:
    SaveCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view, RecentFiles& recent,
                 TempoCommands& tempo)
        : m_ctx(ctx), m_play(play), m_view(view), m_recent(recent), m_tempo(tempo),
          m_shell(std::make_unique<ProcessShell>()) {}

    void SaveitemClick();
    void SaveAsitemClick();
    void SaveSelectItemClick();
    void PopUpSaveClick(); // the segment under the pointer
    void SaveRegionItemClick();
    // "Save With Slice Markers...": the region as one WAV with a cue point at each slice point.
    void SaveMarkersItemClick();
    void SplitMenuItemClick(); // every segment between the locators
    void CropRegion1Click();
    void Editexternally1Click();
    void ControlPanel1Click();
    // Asks before a modified document is discarded; false when the user cancels.
    bool confirmDiscard();
    // For every save but the open document's own "&Save" and "Save &As": when one of the files
    // it would write is the open sample's file, says so (naming both) and returns true.
    bool refuseOpenSampleAsOutput(const std::vector<std::string>& outputs);

    // Drag out: writes the range to a WAV in this run's drag folder (removed at exit), the bytes
    // the save commands write for it, and starts a drag whose `text/uri-list` names that file.
    void dragOut(const WriteRange& range);
    // Starts a drag with the given data; the real one is a QDrag from the waveform (tests drop
    // the data on a widget of their own).
    using DragStarter = std::function<void(std::unique_ptr<QMimeData>)>;
    void setDragStarter(DragStarter starter) { m_dragStarter = std::move(starter); }

    void setShell(std::unique_ptr<Shell> shell) { m_shell = std::move(shell); }
    const KeymapSettings& keymap() const { return m_keymap; }
    KeymapSettings& keymap() { return m_keymap; }
    void setKeymap(const KeymapSettings& keymap) { m_keymap = keymap; }
    // Shows "Keymap settings" before a save of `samples` segments and keeps what is chosen;
    // false when cancelled. The first time in a run the window says in one line why it appears.
    bool chooseKeymap(KeymapFor save, int samples);
    // The output lengths of the last series' files, left (or only) and right channel.
    const std::vector<std::uint32_t>& segmentFileLengths(int channel) const {
        return m_segmentFileLengths[channel - 1];
    }

private:
    // Runs a write on its worker; the completion gets whether it failed.
    void runSave(std::unique_ptr<FunctionWorker> worker, const QString& status,
                 std::function<void(bool failed)> completion);
    template <typename Worker>
    void saveRange(const WriteRange& range, const QString& status, void (SaveCommands::*retry)());
    QString chooseSaveFile(const QString& presetName);
    QString nextDragFileName();
    bool saveFailedRetry(bool series);
    void documentSavedAs(const QString& fileName);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    RecentFiles& m_recent;
    TempoCommands& m_tempo;
    std::unique_ptr<Shell> m_shell;
    KeymapSettings m_keymap;
    bool m_keymapExplained = false;
    std::vector<std::uint32_t> m_segmentFileLengths[2];
    std::unique_ptr<QTemporaryDir> m_dragFolder; // made at the first drag
    int m_dragCount = 0;
    DragStarter m_dragStarter;
};

} // namespace tolvane
