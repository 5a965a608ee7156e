#include "app/dialogs/TTpoForm.h"

#include "app/controls/UpDown.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <limits>

namespace tolvane {

TTpoForm::TTpoForm(const QString& bars, const QString& beats, bool beatsFocused, QWidget* parent)
    : QDialog(parent) {
    setObjectName("TpoForm");
    setWindowTitle("Change bars and beats");
    auto* grid = new QGridLayout(this);
    m_bars = addRow(grid, 0, "Bars", "Edit1", "UpDown1", bars);
    m_beats = addRow(grid, 1, "Beats", "Edit2", "UpDown2", beats);
    QLineEdit* focused = beatsFocused ? m_beats : m_bars;
    focused->setFocus();
    Edit1Change();
}

QLineEdit* TTpoForm::addRow(QGridLayout* grid, int row, const char* caption, const char* editName,
                            const char* upDownName, const QString& text) {
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(editName);
    edit->setFixedWidth(64);
    edit->selectAll();
    auto* upDown = new UpDown(0, std::numeric_limits<int>::max(), this);
    upDown->setObjectName(upDownName);
    upDown->setPosition(text.toInt());
    // The arrows step from what the box holds now, and write the result back into it.
    upDown->onClick = [edit, upDown] { edit->setText(QString::number(upDown->position())); };
    connect(edit, &QLineEdit::textChanged, this, [this, edit, upDown] {
        upDown->setPosition(edit->text().toInt());
        Edit1Change();
    });
    grid->addWidget(new QLabel(caption, this), row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(upDown, row, 2);
    return edit;
}

void TTpoForm::Edit1Change() {
    bool barsOk = false;
    bool beatsOk = false;
    const int bars = m_bars->text().toInt(&barsOk);
    const int beats = m_beats->text().toInt(&beatsOk);
    m_entries.reset();
    if (barsOk && beatsOk)
        m_entries = Entries{bars, beats};
}

void TTpoForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_entries)
            accept();
        return;
    }
    QDialog::keyPressEvent(event); // Escape: Cancel, and the caller still takes valid entries
}

} // namespace tolvane
