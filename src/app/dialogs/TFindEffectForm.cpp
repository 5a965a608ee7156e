#include "app/dialogs/TFindEffectForm.h"

#include "app/dialogs/DialogButtons.h"
#include "plugins/EffectMenu.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace tolvane {

TFindEffectForm::TFindEffectForm(const std::vector<PluginDescription>& plugins, QWidget* parent)
    : QDialog(parent), m_plugins(plugins) {
    setObjectName("FindEffectForm");
    setWindowTitle("Find effect");
    FindEdit = named(new QLineEdit(this), "FindEdit", "Words of the effect's name, kind or maker");
    FindEdit->setClearButtonEnabled(true);
    ResultList = named(new QListWidget(this), "ResultList");
    ResultList->setMinimumSize(420, 280);
    auto* buttons = new QDialogButtonBox(this);
    OpenButton = named(buttons->addButton("Open", QDialogButtonBox::AcceptRole), "OpenButton",
                       "Show the selected effect");
    OpenButton->setDefault(true);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("CancelButton");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Find:", this));
    layout->addWidget(FindEdit);
    layout->addWidget(ResultList, 1);
    layout->addWidget(buttons);

    connect(FindEdit, &QLineEdit::textChanged, this, [this] { FindEditChange(); });
    connect(ResultList, &QListWidget::itemDoubleClicked, this, [this] { OpenButtonClick(); });
    connect(ResultList, &QListWidget::currentRowChanged, this,
            [this](int row) { OpenButton->setEnabled(row >= 0); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { OpenButtonClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FindEditChange();
    FindEdit->setFocus();
}

int TFindEffectForm::chosen() const {
    const QListWidgetItem* item = ResultList->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toInt() : -1;
}

void TFindEffectForm::FindEditChange() {
    ResultList->clear();
    for (std::size_t index : findEffects(m_plugins, FindEdit->text().toStdString())) {
        const PluginDescription& plugin = m_plugins[index];
        QString text = QString::fromStdString(plugin.name + "  \u2014  " + plugin.category);
        if (!plugin.maker.empty())
            text += QString::fromStdString(", " + plugin.maker);
        auto* item = new QListWidgetItem(text, ResultList);
        item->setData(Qt::UserRole, static_cast<int>(index));
    }
    ResultList->setCurrentRow(ResultList->count() > 0 ? 0 : -1);
    OpenButton->setEnabled(ResultList->count() > 0);
}

void TFindEffectForm::OpenButtonClick() {
    if (chosen() >= 0)
        accept();
}

} // namespace tolvane
