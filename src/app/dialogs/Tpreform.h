#pragma once

#include "app/Dialogs.h"
#include "samplers/SamplerProfile.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvane {

class Dialogs;
class SamplerProfileStore;
class ScsiBus;
class TargetEnumeration;
class TMidiInput;
class TMidiOutput;
class UpDown;

// "Sampler profile manager": the stored profiles, and for the chosen one its sampler type,
// MIDI ports and channel, SCSI adaptor and target, sample-number offset and "Open loop".
// The MIDI lists are the devices of the program's MIDI input and output; the SCSI lists the
// adaptors of the bus and the INQUIRY of each target, asked in the background.
class Tpreform : public QDialog {
public:
    struct Ports {
        TMidiInput& input;
        TMidiOutput& output;
        ScsiBus& bus;
    };
    Tpreform(Ports ports, SamplerProfileStore& store, Dialogs& dialogs, int midiChannel,
             QWidget* parent = nullptr);
    ~Tpreform() override;

    // Loads the list, selects entry `profileIndex` when there is one and loads it.
    void showManager(int profileIndex);
    int selectedProfile() const;
    int midiInputIndex() const;
    int midiOutputIndex() const;
    int midiChannel() const;
    // Whether the target lists are complete (their INQUIRY has ended).
    bool targetsListed() const { return !m_enumerating; }
    // The record the controls describe now (what "Store" writes).
    SamplerProfile currentProfile() const;

    // Handlers, named after their controls.
    void ComboBox1Change(); // a profile was chosen: load it
    void ComboBox4Change(); // the sampler type changed
    void cmbHaidChange();   // the adaptor changed: list its targets
    void Button1Click();    // "Store"
    void Button2Click();    // "Delete"

private:
    void buildControls();
    void fillMidiLists();
    void fillAdaptorList();
    void loadProfileList();
    void selectIndex(QComboBox* box, int index);
    void targetsListedNow(int adaptor, std::vector<std::string> items);

    Ports m_ports;
    SamplerProfileStore& m_store;
    Dialogs& m_dialogs;
    Dialogs::RaisedFrom m_boxesOverMe{m_dialogs, this};
    std::unique_ptr<TargetEnumeration> m_targets;
    int m_lastAdaptor = 255;  // the adaptor whose targets were listed last
    int m_wantedAdaptor = -1; // an adaptor chosen while another was being listed
    int m_profileTarget = 0;  // the target of the loaded profile, selected once listed
    bool m_enumerating = false;
    bool m_haveAdaptors = false;

    QComboBox *m_profiles, *m_type, *m_input, *m_output, *m_adaptor, *m_device;
    QLineEdit *m_channel, *m_offset, *m_sysex;
    UpDown *m_channelUpDown, *m_offsetUpDown, *m_sysexUpDown;
    QCheckBox* m_openLoop;
    QLabel *m_inputLabel, *m_outputLabel, *m_channelLabel, *m_adaptorLabel, *m_deviceLabel;
    QLabel* m_scsiHint;
    QPushButton *m_storeButton, *m_delete;
};

inline constexpr const char* kMsgDeviceOutOfRange =
    "Device ID out of range;\r\nCheck settings in preset manager - midi or SCSI device may "
    "have been removed";

} // namespace tolvane
