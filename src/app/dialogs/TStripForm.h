#pragma once

#include "processing/StripSilence.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class QComboBox;
class QSlider;

namespace tolvane {

// The threshold as the window shows it: the 16-bit level in decibels below full scale.
QString stripThresholdText(int level);
// The gap as the window shows it: its frames in milliseconds at the sample's rate (in frames
// when the rate is not known).
QString stripGapText(int frames, std::uint32_t rate);

// "Remove silence": the threshold and gap sliders, which open on the remembered values, and
// the "Points:" list, which opens on its first item. Each slider shows its value beside it.
class TStripForm : public QDialog {
public:
    TStripForm(int threshold, int gap, std::uint32_t rate, QWidget* parent = nullptr);
    int threshold() const;
    int gap() const;
    StripPoints points() const;
    QSlider* thresholdSlider() const { return m_threshold; }
    QSlider* gapSlider() const { return m_gap; }
    QComboBox* pointsList() const { return m_points; }

private:
    QSlider* m_threshold;
    QSlider* m_gap;
    QComboBox* m_points;
};

} // namespace tolvane
