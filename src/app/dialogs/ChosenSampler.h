#pragma once

#include "app/dialogs/TransferServices.h"
#include "samplers/SamplerProfile.h"

#include <memory>

class QComboBox;

namespace tolvane {

class MemoryStream;

// The profile list of a transfer window and the driver its selection chooses: the list from the
// store ("No Presets Stored" when it is empty), the profile read back with its checks, and the
// driver handed profile, status panel, sample stream and MIDI ports.
class ChosenSampler {
public:
    ChosenSampler(TransferServices& services, StatusPanel& status, MemoryStream* sampleStream);

    // Fills the list and selects the profile used last.
    void fillList(QComboBox* list);
    // Loads the selected profile; false (with its message) when it cannot be used.
    bool load(QComboBox* list);
    // The checks before every command: a stored profile, and SCSI for the SCSI samplers.
    bool readyForCommand(QComboBox* list);

    TSamplerClass* driver() const { return m_driver; }
    const SamplerProfile& profile() const { return m_profile; }
    int protocol() const { return m_profile.protocol; }
    bool isSds() const { return m_profile.protocol == 0; }
    void setSampleStream(MemoryStream* stream);
    // The window goes: the driver no longer reports to its status panel.
    void detach();

private:
    TransferServices& m_services;
    StatusPanel& m_status;
    MemoryStream* m_sampleStream;
    SamplerProfile m_profile;
    TSamplerClass* m_driver = nullptr;
};

} // namespace tolvane
