#pragma once

#include <QDialog>

class QFileDialog;
class QLabel;

namespace tolvane {

// "Open Waveform": the file dialog with the format and size of the selected file.
class TOdForm : public QDialog {
public:
    explicit TOdForm(QWidget* parent = nullptr);
    // Runs the window; the chosen file, or empty when cancelled.
    QString choose(const QString& folder);

    // Fills "Format:" and "Size:" for a selected file (empty labels when it is not a sample).
    void OpenDialogSelectionChange(const QString& file);
    QString formatText() const;
    QString sizeText() const;

private:
    QFileDialog* m_openDialog;
    QLabel* m_format;
    QLabel* m_size;
    QString m_lastPreviewed;
};

// Label texts: "44100hz / 16 bit / stereo" and "<kb> kb".
QString openFormatText(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);
QString openSizeText(std::uint32_t dataLength);

} // namespace tolvane
