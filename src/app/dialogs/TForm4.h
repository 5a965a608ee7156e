#pragma once

#include "app/ProgramSettings.h"

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

namespace tolvane {

// The "Devices" page's sliders as the window shows their values: the seconds of sound each
// buffer holds ("4 s"), and the number of buffers (the player queues at most 8).
QString bufferSizeText(int seconds);
QString bufferCountText(int count);

// "Preferences": general switches and program paths, the nine view colours, the audio device.
// Works on a copy of the settings; `settings()` is the edited copy after OK.
class TForm4 : public QDialog {
public:
    // `devices`: the output devices by name (device n at index n); empty when there are none.
    // `midiInputs`: the MIDI inputs "Play from MIDI keyboard" may read.
    TForm4(const ProgramSettings& settings, const std::vector<std::string>& devices = {},
           QWidget* parent = nullptr, const std::vector<std::string>& midiInputs = {});
    const ProgramSettings& settings() const { return m_settings; }

    // The colour item chosen in the combo box (0 to 8) and its value.
    void selectColourItem(int index);
    void setColourOfSelectedItem(std::uint32_t colour);

private:
    QWidget* createGeneralPage();
    QWidget* createColoursPage();
    QWidget* createDevicesPage(const std::vector<std::string>& devices,
                               const std::vector<std::string>& midiInputs);
    void OKClick();
    void showSelectedColour();
    void ChangeClick();

    ProgramSettings m_settings;
    ViewColours m_colours; // the working copy the colour page edits
    QLineEdit* m_controlPanel = nullptr;
    QLineEdit* m_editor = nullptr;
    QCheckBox* m_filterEnable = nullptr;
    QCheckBox* m_enableUndo = nullptr;
    QCheckBox* m_alwaysConvert = nullptr;
    QSpinBox* m_undoLevels = nullptr;
    QCheckBox* m_oldRmb = nullptr;
    QCheckBox* m_prompt = nullptr;
    QCheckBox* m_buttonText = nullptr;
    QCheckBox* m_openDialog = nullptr;
    QCheckBox* m_oneBar = nullptr;
    QComboBox* m_colourItems = nullptr;
    QLabel* m_colourPanel = nullptr;
    QLabel* m_preview = nullptr;
    QComboBox* m_devices = nullptr;
    QComboBox* m_auditionPort = nullptr;
    QSlider* m_bufferSize = nullptr;
    QSlider* m_buffers = nullptr;
};

} // namespace tolvane
