#include "app/dialogs/TPreNameF.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {

TPreNameF::TPreNameF(const QString& caption, const QString& current, QWidget* parent)
    : QDialog(parent) {
    setObjectName("PreNameF");
    setWindowTitle(caption);
    m_edit = new QLineEdit(current, this);
    m_edit->setObjectName("Edit1");
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Name:", this));
    row->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    m_edit->setFocus();
}

QString TPreNameF::name() const {
    return m_edit->text();
}

} // namespace tolvane
