#include "app/dialogs/TQuantiseForm.h"

#include "app/controls/SliderValue.h"
#include "app/dialogs/DialogButtons.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace tolvane {

QString quantiseLevelText(int bits) {
    if (bits == 0)
        return "0 bits (silence)";
    return bits == 1 ? "1 bit" : QString("%1 bits").arg(bits);
}

TQuantiseForm::TQuantiseForm(int level, QWidget* parent) : QDialog(parent) {
    setObjectName("QuantForm");
    setWindowTitle("Quantise");
    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setObjectName("TrackBar1");
    m_slider->setRange(0, 8);
    m_slider->setPageStep(1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setValue(level);
    m_slider->setToolTip("Select level of quantise quantise to apply");
    auto* group = new QGroupBox("Quantise level:");
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel("High"));
    row->addWidget(m_slider);
    row->addWidget(new QLabel("Low"));
    row->addWidget(sliderValueLabel(m_slider, quantiseLevelText));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(okCancelButtons(this, "Quantise sample"));
}

int TQuantiseForm::level() const {
    return m_slider->value();
}

} // namespace tolvane
