#include "app/controls/UpDown.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tolvane {

UpDown::UpDown(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(std::max(minimum, maximum)),
      m_position(minimum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(arrow(Qt::UpArrow, 1));
    layout->addWidget(arrow(Qt::DownArrow, -1));
}

QToolButton* UpDown::arrow(Qt::ArrowType type, int steps) {
    auto* button = new QToolButton(this);
    button->setArrowType(type);
    button->setAutoRepeat(true);
    button->setFixedSize(16, 11);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, steps] { stepBy(steps); });
    return button;
}

void UpDown::setPosition(int position) {
    m_position = std::clamp(position, m_minimum, m_maximum);
}

void UpDown::stepBy(int steps) {
    const int before = m_position;
    setPosition(m_position + steps);
    if (m_position != before && onClick)
        onClick();
}

void bindNumberField(QLineEdit& field, UpDown& arrows) {
    field.setReadOnly(false);
    field.setValidator(new QIntValidator(arrows.minimum(), arrows.maximum(), &field));
    field.setText(QString::number(arrows.position()));
    arrows.onClick = [&field, &arrows] { field.setText(QString::number(arrows.position())); };
    QObject::connect(&field, &QLineEdit::textEdited, &field,
                     [&field, &arrows](const QString& text) {
                         if (text.isEmpty() || text == "-") {
                             arrows.setPosition(arrows.minimum());
                             return;
                         }
                         bool ok = false;
                         const int typed = text.toInt(&ok);
                         arrows.setPosition(ok ? typed : arrows.minimum());
                         if (!ok || typed != arrows.position())
                             field.setText(QString::number(arrows.position()));
                     });
    // A field left empty shows the number it stands for.
    QObject::connect(&field, &QLineEdit::editingFinished, &field,
                     [&field, &arrows] { field.setText(QString::number(arrows.position())); });
}

} // namespace tolvane
