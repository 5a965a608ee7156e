#include "app/controls/SliderValue.h"

#include <QLabel>
#include <QSlider>
#include <algorithm>

namespace tolvane {

QLabel* sliderValueLabel(QSlider* slider, std::function<QString(int)> text) {
    auto* label = new QLabel(text(slider->value()));
    label->setObjectName(slider->objectName() + "Value");
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    int widest = 0;
    for (int value = slider->minimum(); value <= slider->maximum(); ++value)
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(text(value)));
    label->setMinimumWidth(widest);
    QObject::connect(slider, &QSlider::valueChanged, label,
                     [label, text = std::move(text)](int value) { label->setText(text(value)); });
    return label;
}

} // namespace tolvane
