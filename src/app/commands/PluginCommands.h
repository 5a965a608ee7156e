#pragma once

#include "app/commands/CommandContext.h"
#include "plugins/PlugInHost.h"
#include "plugins/PlugInProbe.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QMenu;
class QObject;

namespace tolvane {

class AudioBackend;
class PlayCommands;
class TPlugProgressForm;
class ViewCommands;

// The "P&lug-ins" menu: "Find effect..." and the installed effects, sorted by name in a menu
// per kind; choosing one tries it in a child process the first time (an effect that crashes or
// hangs there is marked unusable and never loaded), sets it up, shows its window and processes
// the sample (all or the loop) through it on `TDXProcThread`, with the "Processing" window and
// its "Cancel". The host is made with the main window.
class PluginCommands {
public:
    // Makes the host's plug-ins; it may stop early when its flag is set (its result is then not
    // used).
    using BackendMaker = std::function<std::unique_ptr<PluginBackend>(const std::atomic<bool>&)>;

    // The host is made from `makeBackend` when the menu is built (the window's first showing).
    PluginCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view, AudioBackend* audio,
                   BackendMaker makeBackend);
    ~PluginCommands();

    // How effects are tried before they are loaded: the command that tries one (followed by its
    // URI and "--rate" and the rate; see tryEffect), and the file of remembered verdicts. Without
    // a command effects are loaded without a try.
    void setProbe(std::vector<std::string> command, const std::filesystem::path& verdicts);

    // Fills the menu; says so when the host cannot start.
    void buildMenu(QMenu* menu);
    // The same, with the effects looked for away from the window's thread (reading every
    // installed effect's description takes seconds): the menu says "Looking for effects..."
    // until they are in. The window's first showing.
    void buildMenuInBackground(QMenu* menu);
    // Shows or hides the plug-in items (not when the host failed).
    void SetPluginVisible(bool visible);
    // The command of every plug-in item: the plug-in with that index.
    void HandlePlugInClick(int index);
    // "Find effect...": a search over the effects' names, kinds and makers; the chosen one is
    // opened as from its menu item.
    void FindEffectClick();

    // The item of the plug-in with that index, and the "Processing" window while a plug-in
    // processes the sample (for the tests).
    QAction* item(int index) const;
    TPlugProgressForm* progressWindow() { return m_progress.get(); }

private:
    void addFixedItems(QMenu* menu);
    void fillMenu(QMenu* menu, std::unique_ptr<PluginBackend> backend);
    void probeThenOpen(int index);
    void markUnusable(int index, const std::string& reason);
    void openPlugIn(int index);
    void giveUp();
    void process(PlugInMode mode);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    AudioBackend* m_audio;
    BackendMaker m_makeBackend;
    std::unique_ptr<TDLib> m_lib;        // none until the menu is built
    PlugInMode m_mode = PlugInMode::All; // remembered between uses of the window
    std::vector<QAction*> m_items;       // by plug-in index
    std::vector<QAction*> m_kindMenus;   // the menus of each kind
    QAction* m_find = nullptr;           // "Find effect..."
    QAction* m_none = nullptr;           // "No plugins available"
    std::vector<std::string> m_probeCommand;
    ProbeStore m_verdicts;
    std::unique_ptr<TPlugProgressForm> m_progress;
    std::atomic<bool> m_cancelled{false};
    std::unique_ptr<QObject> m_receiver; // of the background look-up's result (window thread)
    std::atomic<bool> m_stopScan{false};
    std::thread m_scan;
};

} // namespace tolvane
