#pragma once

#include "slicing/Keymap.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace tolvane {

// The smoothing slider's position (0 to 60) as the window shows it: a percentage.
QString smoothLevelText(int position);

// What the keymap window's settings are for. A sound bank gives every segment a key of its own,
// so "Use base note only" does not apply to it (the window says so) and cannot hide that the
// segments run past the top key.
enum class KeymapUse { Mapping, SoundBank };

// "Keymap settings": base note, interval, bank name, end-point smoothing and the key rules;
// warns (and refuses OK) when the samples to map run past the top key.
class TForm6 : public QDialog {
public:
    TForm6(const KeymapSettings& keymap, int samplesToMap, QWidget* parent = nullptr,
           KeymapUse use = KeymapUse::Mapping);
    KeymapSettings keymap() const;
    bool warningShown() const;
    bool baseNoteOnlyNoteShown() const;
    QPushButton* okButton() const { return m_ok; }
    // One line at the top that says why the window appears (empty: none).
    void setReason(const QString& reason);

private:
    void update();
    void CheckBox2Click();
    void ResetClick();

    QSpinBox* m_note;
    QSpinBox* m_octave;
    QSpinBox* m_interval;
    QLabel* m_noteName;
    QLabel* m_octaveLabel;
    QLabel* m_intervalLabel;
    QLineEdit* m_bank;
    QCheckBox* m_smooth;
    QSlider* m_smoothLevel;
    QCheckBox* m_whiteKeys;
    QCheckBox* m_reverse;
    QCheckBox* m_baseOnly;
    QLabel* m_warning;
    QLabel* m_bankNote;
    QLabel* m_reason;
    QPushButton* m_ok;
    int m_samples;
    KeymapUse m_use;
    int m_savedNote = 1;
    int m_savedInterval = 0;
};

} // namespace tolvane
