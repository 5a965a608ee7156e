#include "app/dialogs/TConRateForm.h"

#include "app/dialogs/DialogButtons.h"
#include "processing/FormatConversion.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvane {

TConRateForm::TConRateForm(std::uint32_t rate, QWidget* parent) : QDialog(parent) {
    setObjectName("ConRateForm");
    setWindowTitle("Sample rate");
    m_rates = new QComboBox;
    m_rates->setObjectName("ComboBox1");
    m_rates->setEditable(true);
    m_rates->setInsertPolicy(QComboBox::NoInsert);
    m_rates->setToolTip("Select sample rate");
    m_rates->addItems({"48000", "44100", "22050", "11025"});
    m_rates->setCurrentIndex(-1);
    m_rates->setEditText("");
    for (int i = m_rates->count() - 1; i >= 0; --i) {
        if (m_rates->itemText(i).toUInt() / 100 == rate / 100) {
            m_rates->setCurrentIndex(i);
            break;
        }
    }
    auto* group = new QGroupBox("Select sample rate:");
    (new QVBoxLayout(group))->addWidget(m_rates);
    QDialogButtonBox* buttons = okCancelButtons(this, "Convert sample rate", &m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    connect(m_rates, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    ComboBox1Change();
}

std::optional<std::uint32_t> TConRateForm::rate() const {
    bool ok = false;
    const uint value = m_rates->currentText().toUInt(&ok);
    if (!ok || value < kMinSampleRate || value > kMaxSampleRate)
        return std::nullopt;
    return value;
}

void TConRateForm::ComboBox1Change() {
    m_ok->setEnabled(rate().has_value());
}

} // namespace tolvane
