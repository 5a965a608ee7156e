#pragma once

#include <QDialog>
#include <optional>

class QGridLayout;
class QLineEdit;

namespace tolvane {

class UpDown;

// "Change bars and beats": the region's bars and extra beats typed in or stepped. The entries
// are taken whenever the dialog closes with both boxes holding whole numbers, by Enter or any
// other way (Escape too: it only sets the result to Cancel); Enter with anything else does
// nothing.
class TTpoForm : public QDialog {
public:
    TTpoForm(const QString& bars, const QString& beats, bool beatsFocused,
             QWidget* parent = nullptr);

    // The two numbers, when both boxes hold whole numbers.
    struct Entries {
        int bars;
        int beats;
    };
    std::optional<Entries> entries() const { return m_entries; }
    QLineEdit* barsEdit() const { return m_bars; }
    QLineEdit* beatsEdit() const { return m_beats; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Edit1Change(); // either box changed: both are read again
    QLineEdit* addRow(QGridLayout* grid, int row, const char* caption, const char* editName,
                      const char* upDownName, const QString& text);

    QLineEdit* m_bars;
    QLineEdit* m_beats;
    std::optional<Entries> m_entries;
};

} // namespace tolvane
