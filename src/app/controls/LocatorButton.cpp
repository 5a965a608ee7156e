#include "app/controls/LocatorButton.h"

#include <QMouseEvent>

namespace tolvane {

LocatorButton::LocatorButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setFixedSize(20, 18);
    setFocusPolicy(Qt::NoFocus);
}

void LocatorButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_grab = static_cast<int>(event->position().x());
    QPushButton::mousePressEvent(event);
}

void LocatorButton::mouseMoveEvent(QMouseEvent* event) {
    if (m_grab >= 0 && (event->buttons() & Qt::LeftButton)) {
        const int x = static_cast<int>(mapToParent(event->position().toPoint()).x()) - m_grab;
        move(x, y());
    }
}

void LocatorButton::mouseReleaseEvent(QMouseEvent* event) {
    QPushButton::mouseReleaseEvent(event);
    if (m_grab >= 0 && event->button() == Qt::LeftButton) {
        m_grab = -1;
        if (onReleased)
            onReleased(x());
    }
}

} // namespace tolvane
