#include "app/controls/ToolIcons.h"

#include "view/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tolvane {
namespace {

constexpr int kSize = 20;
const QColor kInk(30, 30, 40);
const QColor kAccent(0xFF, 0x80, 0x00);

void drawPadlock(QPainter& p, bool open) {
    p.setPen(QPen(kInk, 1.6));
    p.setBrush(Qt::NoBrush);
    if (open)
        p.drawArc(QRectF(8, 2, 8, 10), 0, 180 * 16);
    else
        p.drawArc(QRectF(6, 2, 8, 10), 0, 180 * 16);
    p.setBrush(QColor(240, 200, 40));
    p.drawRect(QRectF(4, 8, 12, 9));
}

// A floppy disk: the body and its shutter.
void drawDisk(QPainter& p) {
    p.setBrush(QColor(90, 120, 200));
    p.drawRect(QRectF(2, 2, 16, 16));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5, 2, 10, 6));
}

} // namespace

QIcon toolIcon(ToolIcon which) {
    switch (which) {
    case ToolIcon::None:
        return {};
    case ToolIcon::PointSample:
        return QIcon(QPixmap::fromImage(pointIcons().sample));
    case ToolIcon::PointLock:
        return QIcon(QPixmap::fromImage(pointIcons().lock));
    case ToolIcon::PointDisabled:
        return QIcon(QPixmap::fromImage(pointIcons().disabled));
    default:
        break;
    }
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    switch (which) {
    case ToolIcon::Open:
        p.setBrush(QColor(240, 200, 90));
        p.drawPolygon(QPolygonF({QPointF(2, 5), QPointF(8, 5), QPointF(10, 7), QPointF(18, 7),
                                 QPointF(18, 17), QPointF(2, 17)}));
        break;
    case ToolIcon::Undo: {
        QPainterPath arrow;
        arrow.moveTo(5, 8);
        arrow.cubicTo(9, 3, 17, 5, 16, 12);
        arrow.cubicTo(15, 16, 11, 17, 8, 16);
        p.drawPath(arrow);
        p.setBrush(kInk);
        p.drawPolygon(QPolygonF({QPointF(2, 9), QPointF(8, 4), QPointF(8, 11)}));
        break;
    }
    case ToolIcon::LockAll:
    case ToolIcon::LockUnlock:
        drawPadlock(p, false);
        break;
    case ToolIcon::UnlockAll:
        drawPadlock(p, true);
        break;
    case ToolIcon::Select:
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(5, 2), QPointF(5, 16), QPointF(9, 12), QPointF(12, 18),
                                 QPointF(14, 17), QPointF(11, 11), QPointF(16, 11)}));
        break;
    case ToolIcon::Add:
        p.setPen(QPen(QColor(200, 30, 30), 1.5));
        p.drawLine(6, 1, 6, 19);
        p.setPen(QPen(kInk, 2.2));
        p.drawLine(10, 10, 18, 10);
        p.drawLine(14, 6, 14, 14);
        break;
    case ToolIcon::EnableDisable:
        p.drawImage(QRect(2, 2, 16, 16), pointIcons().disabled);
        break;
    case ToolIcon::Zoom:
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(QRectF(2, 2, 11, 11));
        p.setPen(QPen(kInk, 3));
        p.drawLine(QPointF(11.5, 11.5), QPointF(18, 18));
        break;
    case ToolIcon::Zoom11: {
        QFont font = p.font();
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, "1:1");
        break;
    }
    case ToolIcon::CopyPaste:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 2, 9, 11));
        p.setBrush(kAccent);
        p.drawRect(QRectF(8, 7, 9, 11));
        break;
    case ToolIcon::SaveSegments:
        // A disk with three slice lines.
        drawDisk(p);
        p.setPen(QPen(QColor(200, 30, 30), 1.5));
        for (int x : {6, 10, 14})
            p.drawLine(x, 10, x, 17);
        break;
    case ToolIcon::SaveBank:
        // A disk with a row of keys.
        drawDisk(p);
        p.setPen(QPen(kInk, 1));
        p.drawRect(QRectF(4, 11, 12, 6));
        for (int x : {7, 10, 13})
            p.drawLine(x, 11, x, 17);
        break;
    case ToolIcon::SaveSegment:
        drawDisk(p);
        p.drawRect(QRectF(5, 11, 10, 7));
        break;
    case ToolIcon::SaveMidi:
        // A disk with a note.
        drawDisk(p);
        p.setBrush(kInk);
        p.drawEllipse(QRectF(6, 13, 5, 4));
        p.drawLine(QPointF(10.5, 15), QPointF(10.5, 9));
        p.drawLine(QPointF(10.5, 9), QPointF(14, 11));
        break;
    case ToolIcon::Crop:
        p.setPen(QPen(kInk, 2));
        p.drawLine(5, 1, 5, 15);
        p.drawLine(5, 15, 19, 15);
        p.drawLine(1, 5, 15, 5);
        p.drawLine(15, 5, 15, 19);
        break;
    case ToolIcon::ControlPanel:
        // Two faders.
        p.drawLine(6, 2, 6, 18);
        p.drawLine(14, 2, 14, 18);
        p.setBrush(kAccent);
        p.drawRect(QRectF(3, 11, 6, 4));
        p.drawRect(QRectF(11, 5, 6, 4));
        break;
    case ToolIcon::SilenceReverse:
        // A wave that stops, and an arrow back.
        p.drawLine(2, 8, 5, 3);
        p.drawLine(5, 3, 8, 13);
        p.drawLine(8, 13, 10, 8);
        p.drawLine(10, 8, 18, 8);
        p.setPen(QPen(kAccent, 2));
        p.drawLine(4, 16, 16, 16);
        p.drawLine(4, 16, 8, 13);
        p.drawLine(4, 16, 8, 19);
        break;
    case ToolIcon::StripSilence:
        // Two bursts pushed together over a cut.
        p.drawLine(2, 10, 4, 4);
        p.drawLine(4, 4, 6, 16);
        p.drawLine(6, 16, 8, 10);
        p.drawLine(12, 10, 14, 5);
        p.drawLine(14, 5, 16, 15);
        p.drawLine(16, 15, 18, 10);
        p.setPen(QPen(kAccent, 2));
        p.drawLine(10, 2, 10, 18);
        break;
    case ToolIcon::SampleTransfer:
        // A sampler's front panel with an arrow out to it.
        p.setBrush(QColor(200, 200, 210));
        p.drawRect(QRectF(7, 8, 11, 9));
        p.setBrush(QColor(60, 160, 90));
        p.drawRect(QRectF(9, 10, 5, 3));
        p.setPen(QPen(kAccent, 2));
        p.drawLine(2, 4, 11, 4);
        p.drawLine(8, 1, 11, 4);
        p.drawLine(8, 7, 11, 4);
        break;
    default:
        break;
    }
    return QIcon(pixmap);
}

} // namespace tolvane
