#pragma once

#include <QDialog>

class QCheckBox;
class QFileDialog;
class QLabel;
class QPushButton;

namespace tolvane {

class twabeAudio;

// "Open Waveform": the file dialog with the format and size of the selected file, and a
// preview through the player (when there is one).
class TOdForm : public QDialog {
public:
    explicit TOdForm(QWidget* parent = nullptr, twabeAudio* player = nullptr);
    ~TOdForm() override;
    // Runs the window; the chosen file, or empty when cancelled.
    QString choose(const QString& folder);

    // Fills "Format:" and "Size:" for a selected file (empty labels when it is not a sample).
    void OpenDialogSelectionChange(const QString& file);
    QString formatText() const;
    QString sizeText() const;
    // "Play" / "Stop".
    void Button1Click();
    QString buttonText() const;
    bool autoPlay() const;
    void setAutoPlay(bool on);

private:
    void stopPreview();
    bool preview(const QString& file);

    QFileDialog* m_openDialog;
    QLabel* m_format;
    QLabel* m_size;
    QCheckBox* m_autoPlay;
    QPushButton* m_play;
    twabeAudio* m_player;
    QString m_lastPreviewed;
    QString m_selected;
};

// Label texts: "44100hz / 16 bit / stereo" and "<kb> kb".
QString openFormatText(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);
QString openSizeText(std::uint32_t dataLength);

} // namespace tolvane
