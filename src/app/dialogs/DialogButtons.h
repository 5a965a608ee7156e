#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace tolvane {

// A control with its documented name and its hint (tooltip and status-bar text).
template <typename W> W* named(W* widget, const char* name, const char* hint = nullptr) {
    widget->setObjectName(name);
    if (hint) {
        widget->setToolTip(hint);
        widget->setStatusTip(hint);
    }
    return widget;
}

// "OK" (Button1, the default, with its hint) and "Cancel" (Button2), accepting and rejecting
// the dialog. Returns the box for the dialog's layout; `ok` gets the OK button.
inline QDialogButtonBox* okCancelButtons(QDialog* dialog, const QString& okHint,
                                         QPushButton** ok = nullptr) {
    auto* buttons = new QDialogButtonBox;
    QPushButton* okButton = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    okButton->setObjectName("Button1");
    if (!okHint.isEmpty())
        okButton->setToolTip(okHint);
    okButton->setDefault(true);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("Button2");
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (ok)
        *ok = okButton;
    return buttons;
}

} // namespace tolvane
