#include "app/dialogs/AboutForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tolvane {

QPixmap aboutPicture() {
    QPixmap picture(360, 160);
    picture.fill(QColor(0x80, 0x40, 0x00).darker(150));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xFF, 0x80, 0x00), 2));
    for (int x = 0; x < 360; x += 3) {
        const double envelope = std::exp(-((x % 90) / 25.0));
        const int h = static_cast<int>(40 * envelope * (0.4 + 0.6 * ((x * 37) % 11) / 10.0));
        p.drawLine(x, 80 - h, x, 80 + h);
    }
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPointSize(20);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 110, 360, 30), Qt::AlignCenter, "WaveTolvane");
    font.setPointSize(9);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRect(0, 138, 360, 18), Qt::AlignCenter, "Loop slicing for samplers");
    return picture;
}

AboutForm::AboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("About WaveTolvane");
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(aboutPicture());
    layout->addWidget(picture);
    layout->addWidget(new QLabel(QString("WaveTolvane %1").arg(TOLVANE_VERSION), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace tolvane
