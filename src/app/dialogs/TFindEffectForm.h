#pragma once

#include "platform/PluginBackend.h"

#include <QDialog>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvane {

// "Find effect": a search field over the effects' names, kinds and makers and the list of those
// that match, sorted by name. "Open" (or Enter, or a double click) accepts the selected one.
class TFindEffectForm : public QDialog {
public:
    TFindEffectForm(const std::vector<PluginDescription>& plugins, QWidget* parent = nullptr);
    // The index of the chosen effect in the list given, or -1.
    int chosen() const;

    // Handlers, public for the tests.
    void FindEditChange();
    void OpenButtonClick();

private:
    const std::vector<PluginDescription>& m_plugins;
    QLineEdit* FindEdit;
    QListWidget* ResultList;
    QPushButton* OpenButton;
};

} // namespace tolvane
