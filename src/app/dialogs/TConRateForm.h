#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

class QComboBox;
class QPushButton;

namespace tolvane {

// "Sample rate": an editable list of 48000, 44100, 22050 and 11025. It opens on the last item
// (searching from the end) whose hundreds match the document's rate, or on none with an empty
// text; "OK" is enabled only while the text is a whole number of a rate the editor takes.
class TConRateForm : public QDialog {
public:
    explicit TConRateForm(std::uint32_t rate, QWidget* parent = nullptr);
    // The typed or chosen rate while "OK" is enabled.
    std::optional<std::uint32_t> rate() const;
    QComboBox* rates() const { return m_rates; }
    QPushButton* okButton() const { return m_ok; }

private:
    void ComboBox1Change();

    QComboBox* m_rates;
    QPushButton* m_ok;
};

} // namespace tolvane
