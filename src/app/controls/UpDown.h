#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace tolvane {

// A pair of arrow buttons that step a whole number up or down inside a range; it shows no
// number itself: a label beside it does. Held buttons repeat.
class UpDown : public QWidget {
public:
    UpDown(int minimum, int maximum, QWidget* parent = nullptr);
    int position() const { return m_position; }
    // Sets the position, clamped to the range; calls nothing.
    void setPosition(int position);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // Called after an arrow moved the position.
    std::function<void()> onClick;
    // One step as the up or down arrow takes it.
    void stepBy(int steps);

private:
    QToolButton* arrow(Qt::ArrowType type, int steps);

    int m_minimum;
    int m_maximum;
    int m_position;
};

// A number field with its arrows: the field takes typed digits within the arrows' range (a
// number past it becomes the nearest end) and the arrows' position follows it; the arrows write
// their position into the field. An empty field stands for the range's minimum.
void bindNumberField(QLineEdit& field, UpDown& arrows);

} // namespace tolvane
