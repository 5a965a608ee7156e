#pragma once

#include <QDialog>

class QListWidget;

namespace tolvane {

// "Convert": for a mono sample "Convert to stereo" with its one item "Mono to stereo"; for a
// stereo one "Convert to mono" with "Use Left Channel", "Use Right Channel" and "Merge
// Channels", the remembered one selected.
class TConvertForm : public QDialog {
public:
    TConvertForm(int channels, int rememberedChoice, QWidget* parent = nullptr);
    // The selected item's index (for stereo: 0 left, 1 right, 2 merged).
    int choice() const;
    QListWidget* list() const { return m_list; }

private:
    QListWidget* m_list;
};

} // namespace tolvane
