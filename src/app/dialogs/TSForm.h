#pragma once

#include <QDialog>

class QLineEdit;

namespace tolvane {

// "Sensitivity": the slider's percentage typed in. Enter with a whole number from 0 to 100
// closes with OK; Escape closes with Cancel; Enter with anything else does nothing.
class TSForm : public QDialog {
public:
    TSForm(int percent, QWidget* parent = nullptr);
    int value() const { return m_value; }
    bool isValid() const { return m_valid; }
    QLineEdit* edit() const { return m_edit; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Edit1Change();

    QLineEdit* m_edit;
    int m_value = 0;
    bool m_valid = false;
};

} // namespace tolvane
