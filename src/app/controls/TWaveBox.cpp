#include "app/controls/TWaveBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace tolvane {

TWaveBox::TWaveBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TWaveBox::setPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void TWaveBox::setOverlayLine(std::optional<QLine> line) {
    if (line == m_overlay)
        return;
    m_overlay = line;
    update();
}

void TWaveBox::setCursorColumn(std::optional<int> x) {
    if (x == m_cursorColumn)
        return;
    const auto old = m_cursorColumn;
    m_cursorColumn = x;
    // Only the two columns change: the old one is restored from the picture.
    if (old)
        update(*old, 0, 1, height());
    if (x)
        update(*x, 0, 1, height());
}

void TWaveBox::paintEvent(QPaintEvent*) {
    if (m_painting)
        return;
    m_painting = true;
    if (onPaint)
        onPaint();
    QPainter painter(this);
    if (m_picture.isNull())
        painter.fillRect(rect(), Qt::white);
    else
        painter.drawImage(0, 0, m_picture);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    if (m_overlay)
        painter.drawLine(*m_overlay);
    if (m_cursorColumn)
        painter.drawLine(*m_cursorColumn, 1, *m_cursorColumn, height() - 2);
    m_painting = false;
}

void TWaveBox::mousePressEvent(QMouseEvent* event) {
    if (onMousePress)
        onMousePress(event);
}

void TWaveBox::mouseMoveEvent(QMouseEvent* event) {
    if (onMouseMove)
        onMouseMove(event);
}

void TWaveBox::mouseReleaseEvent(QMouseEvent* event) {
    if (onMouseRelease)
        onMouseRelease(event);
}

} // namespace tolvane
