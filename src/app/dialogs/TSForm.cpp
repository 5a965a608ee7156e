#include "app/dialogs/TSForm.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace tolvane {

TSForm::TSForm(int percent, QWidget* parent) : QDialog(parent) {
    setObjectName("SForm");
    setWindowTitle("Sensitivity");
    m_edit = new QLineEdit(QString::number(percent), this);
    m_edit->setObjectName("Edit1");
    m_edit->setMaxLength(3);
    m_edit->setFixedWidth(48);
    m_edit->selectAll();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(new QLabel("%", this));
    connect(m_edit, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    Edit1Change();
}

void TSForm::Edit1Change() {
    bool ok = false;
    const int value = m_edit->text().toInt(&ok);
    m_valid = ok && value >= 0 && value <= 100;
    if (m_valid)
        m_value = value;
}

void TSForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_valid)
            accept();
        return;
    }
    QDialog::keyPressEvent(event); // Escape rejects
}

} // namespace tolvane
