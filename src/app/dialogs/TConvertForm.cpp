#include "app/dialogs/TConvertForm.h"

#include "app/dialogs/DialogButtons.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tolvane {

TConvertForm::TConvertForm(int channels, int rememberedChoice, QWidget* parent) : QDialog(parent) {
    setObjectName("ConvertForm");
    const bool stereo = channels == 2;
    setWindowTitle(stereo ? "Convert to mono" : "Convert to stereo");
    m_list = new QListWidget;
    m_list->setObjectName("ListBox1");
    if (stereo)
        m_list->addItems({"Use Left Channel", "Use Right Channel", "Merge Channels"});
    else
        m_list->addItem("Mono to stereo");
    m_list->setCurrentRow(stereo ? std::clamp(rememberedChoice, 0, 2) : 0);
    QPushButton* ok = nullptr;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(okCancelButtons(this, "", &ok));
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    ok->setFocus();
}

int TConvertForm::choice() const {
    return std::max(m_list->currentRow(), 0);
}

} // namespace tolvane
