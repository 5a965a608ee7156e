#include "view/Icons.h"

#include <QPainter>
#include <QPolygon>

namespace tolvane {
namespace {

QImage blankIcon() {
    QImage icon(kIconSize, kIconSize, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    return icon;
}

// A pennant on a short staff: "a sample starts here".
QImage drawSampleIcon() {
    QImage icon = blankIcon();
    QPainter p(&icon);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(QColor(250, 250, 235));
    p.drawPolygon(QPolygon({QPoint(1, 1), QPoint(12, 5), QPoint(1, 9)}));
    p.drawLine(0, 0, 0, 14);
    return icon;
}

// A padlock: shackle over a body with a keyhole.
QImage drawLockIcon() {
    QImage icon = blankIcon();
    QPainter p(&icon);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(Qt::NoBrush);
    p.drawRect(4, 1, 6, 6);
    p.setBrush(QColor(240, 200, 40));
    p.drawRect(2, 6, 10, 8);
    p.setPen(QColor(20, 20, 20));
    p.drawLine(7, 9, 7, 11);
    return icon;
}

// A circle struck through: "this point takes no part".
QImage drawDisabledIcon() {
    QImage icon = blankIcon();
    QPainter p(&icon);
    p.setPen(QPen(QColor(200, 30, 30), 2));
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(2, 2, 10, 10);
    p.drawLine(4, 11, 11, 4);
    return icon;
}

} // namespace

const PointIcons& pointIcons() {
    static const PointIcons icons{drawSampleIcon(), drawLockIcon(), drawDisabledIcon()};
    return icons;
}

} // namespace tolvane
