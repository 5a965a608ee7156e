#pragma once

#include "app/commands/CommandContext.h"
#include "plugins/PlugInHost.h"

#include <atomic>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace tolvane {

class AudioBackend;
class PlayCommands;
class TPlugProgressForm;
class ViewCommands;

// The "P&lug-ins" menu: one item per installed effect; choosing one sets it up, shows its
// window and processes the sample (all or the loop) through it on `TDXProcThread`, with the
// "Processing" window and its "Cancel". The host is made with the main window.
class PluginCommands {
public:
    // The host is made from `makeBackend` when the menu is built (the window's first showing).
    PluginCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view, AudioBackend* audio,
                   std::function<std::unique_ptr<PluginBackend>()> makeBackend);
    ~PluginCommands();

    // Fills the menu (the window's first showing); says so when the host cannot start.
    void buildMenu(QMenu* menu);
    // Shows or hides the plug-in items (not when the host failed).
    void SetPluginVisible(bool visible);
    // The command of every plug-in item: the plug-in with that index.
    void HandlePlugInClick(int index);

    // The "Processing" window while a plug-in processes the sample (for the tests).
    TPlugProgressForm* progressWindow() { return m_progress.get(); }

private:
    void giveUp();
    void process(PlugInMode mode);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    AudioBackend* m_audio;
    std::function<std::unique_ptr<PluginBackend>()> m_makeBackend;
    std::unique_ptr<TDLib> m_lib;        // none until the menu is built
    PlugInMode m_mode = PlugInMode::All; // remembered between uses of the window
    std::vector<QAction*> m_items;
    QAction* m_none = nullptr; // "No plugins available"
    std::unique_ptr<TPlugProgressForm> m_progress;
    std::atomic<bool> m_cancelled{false};
};

} // namespace tolvane
