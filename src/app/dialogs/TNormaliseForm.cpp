#include "app/dialogs/TNormaliseForm.h"

#include "app/dialogs/DialogButtons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {
namespace {

QCheckBox* checkBox(const char* name, const char* caption, const char* hint, bool on) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setToolTip(hint);
    box->setChecked(on);
    return box;
}

} // namespace

TNormaliseForm::TNormaliseForm(const NormaliseChoice& choice, QWidget* parent) : QDialog(parent) {
    setObjectName("NormForm");
    setWindowTitle("Normalise");
    m_edit = new QLineEdit(choice.percentText);
    m_edit->setObjectName("Edit1");
    m_edit->setToolTip("Select % to quantise sample to");
    m_edit->setMaxLength(4);
    m_edit->setFixedWidth(56);
    m_recut =
        checkBox("CheckBox1", "Re-cut sample", "Recut sample after normalisation", choice.recut);
    m_dcCenter = checkBox("CheckBox2", "D.C. center", "Center sample on 0", choice.dcCenter);
    QDialogButtonBox* buttons = okCancelButtons(this, "Normalise sample", &m_ok);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Normalise to:"));
    row->addWidget(m_edit);
    row->addWidget(new QLabel("%"));
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_recut);
    layout->addWidget(m_dcCenter);
    layout->addWidget(buttons);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    // Enter in the box is "OK" only while "OK" may be pressed.
    connect(m_edit, &QLineEdit::returnPressed, this, [this] {
        if (m_ok->isEnabled())
            accept();
    });
    Edit1Change();
    m_edit->selectAll();
}

int TNormaliseForm::percent() const {
    bool ok = false;
    const int value = m_edit->text().toInt(&ok);
    return ok ? value : 0;
}

void TNormaliseForm::Edit1Change() {
    const int value = percent();
    m_ok->setEnabled(value >= kNormalisePercentMin && value <= kNormalisePercentMax);
}

NormaliseChoice TNormaliseForm::choice() const {
    return {m_edit->text(), m_recut->isChecked(), m_dcCenter->isChecked()};
}

} // namespace tolvane
