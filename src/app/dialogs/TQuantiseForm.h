#pragma once

#include <QDialog>
#include <QString>

class QSlider;

namespace tolvane {

// The quantise level as the window shows it beside its slider: the bits kept ("4 bits").
QString quantiseLevelText(int bits);

// "Quantise": the quantise level on a slider from 0 ("High": nothing kept) to 8 ("Low": the
// top 8 bits kept).
class TQuantiseForm : public QDialog {
public:
    explicit TQuantiseForm(int level, QWidget* parent = nullptr);
    int level() const;
    QSlider* slider() const { return m_slider; }

private:
    QSlider* m_slider;
};

} // namespace tolvane
