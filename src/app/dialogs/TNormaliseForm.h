#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tolvane {

// What "Normalise" shows and the window remembers while the program runs.
struct NormaliseChoice {
    QString percentText = "100";
    bool recut = true;    // "Re-cut sample": shown and remembered
    bool dcCenter = true; // "D.C. center"
};

inline constexpr int kNormalisePercentMin = 1;
inline constexpr int kNormalisePercentMax = 1000;

// "Normalise": the percentage of full scale, "Re-cut sample" and "D.C. center". "OK" is
// enabled only while the box holds a whole number from 1 to 1000; Enter in the box acts as
// "OK" then.
class TNormaliseForm : public QDialog {
public:
    explicit TNormaliseForm(const NormaliseChoice& choice, QWidget* parent = nullptr);
    NormaliseChoice choice() const;
    // The percentage in the box (valid while "OK" is enabled).
    int percent() const;
    QPushButton* okButton() const { return m_ok; }
    QLineEdit* edit() const { return m_edit; }

private:
    void Edit1Change();

    QLineEdit* m_edit;
    QCheckBox* m_recut;
    QCheckBox* m_dcCenter;
    QPushButton* m_ok;
};

} // namespace tolvane
