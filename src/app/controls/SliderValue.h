#pragma once

#include <QString>
#include <functional>

class QLabel;
class QSlider;

namespace tolvane {

// A label for beside a slider that shows the slider's value with its unit, following the
// slider while it is dragged. Its object name is the slider's followed by "Value"; it is as wide
// as the widest text of the slider's range, so that the layout does not move while dragging.
QLabel* sliderValueLabel(QSlider* slider, std::function<QString(int)> text);

} // namespace tolvane
