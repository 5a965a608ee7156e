#pragma once

#include <QDialog>

class QLineEdit;

namespace tolvane {

// The naming dialog ("Name Profile:"): one "Name:" field, "OK" (the default) and "Cancel";
// the field has the focus when it shows.
class TPreNameF : public QDialog {
public:
    TPreNameF(const QString& caption, const QString& current, QWidget* parent = nullptr);
    QString name() const;
    QLineEdit* edit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};

} // namespace tolvane
