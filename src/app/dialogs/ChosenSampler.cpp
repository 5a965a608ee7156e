#include "app/dialogs/ChosenSampler.h"

#include "app/Dialogs.h"
#include "samplers/ProfileStore.h"

#include <QComboBox>

namespace tolvane {

ChosenSampler::ChosenSampler(TransferServices& services, StatusPanel& status,
                             MemoryStream* sampleStream)
    : m_services(services), m_status(status), m_sampleStream(sampleStream) {}

void ChosenSampler::fillList(QComboBox* list) {
    list->clear();
    std::vector<std::string> names;
    try {
        names = m_services.profiles.names();
    } catch (const EProfileReadError& e) {
        m_services.dialogs.message(MessageKind::Error, "", QString::fromStdString(e.what()));
    }
    for (const std::string& name : names)
        list->addItem(QString::fromStdString(name));
    if (list->count() == 0) {
        list->addItem(kNoPresetsStored);
        list->setCurrentIndex(0);
        return;
    }
    const int last = m_services.lastProfile;
    list->setCurrentIndex(last >= 0 && last < list->count() ? last : 0);
}

bool ChosenSampler::load(QComboBox* list) {
    detach();
    if (list->currentText() == kNoPresetsStored)
        return false;
    std::optional<SamplerProfile> profile;
    try {
        profile = m_services.profiles.read(list->currentText().toStdString());
    } catch (const EProfileReadError&) {
    }
    if (!profile) {
        m_services.dialogs.message(MessageKind::Error, "", kMsgProfileUnreadable);
        return false;
    }
    const bool midi = profile->protocol == 0 || profile->midiOutputInUse;
    if (midi && (profile->midiInput >= std::max(m_services.midiInputCount, 1) ||
                 profile->midiOutput >= std::max(m_services.midiOutputCount, 1))) {
        m_services.dialogs.message(MessageKind::Error, "", kMsgProfileDeviceOutOfRange);
        return false;
    }
    m_profile = *profile;
    m_services.lastProfile = list->currentIndex();
    m_driver =
        chooseDriver(m_services.drivers, m_profile,
                     {&m_status, m_sampleStream, m_services.midiInput, m_services.midiOutput});
    return m_driver != nullptr;
}

bool ChosenSampler::readyForCommand(QComboBox* list) {
    if (list->currentText() == kNoPresetsStored || list->count() == 0) {
        m_services.dialogs.message(MessageKind::Error, "", kMsgNoPresets);
        return false;
    }
    if (m_profile.protocol != 0 && !m_services.scsiAvailable) {
        m_services.dialogs.message(MessageKind::Error, "", kMsgNoScsi);
        return false;
    }
    return m_driver != nullptr;
}

void ChosenSampler::detach() {
    if (m_driver)
        m_driver->SetStatusPanel(nullptr);
    m_driver = nullptr;
}

void ChosenSampler::setSampleStream(MemoryStream* stream) {
    m_sampleStream = stream;
    if (m_driver)
        m_driver->SetSampleStream(stream);
}

} // namespace tolvane
