#pragma once

#include "processing/StripSilence.h"

#include <QDialog>

class QComboBox;
class QSlider;

namespace tolvane {

// "Remove silence": the threshold and gap sliders, which open on the remembered values, and
// the "Points:" list, which opens on its first item.
class TStripForm : public QDialog {
public:
    TStripForm(int threshold, int gap, QWidget* parent = nullptr);
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
