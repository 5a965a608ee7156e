#include "platform/SettingsStore.h"

#include <QByteArray>

namespace tolvane {
namespace {

constexpr const char* kOrganisation = "Quorvex";
constexpr const char* kApplication = "WaveTolvane (Advanced)";
constexpr const char* kGroup = "1/Config";

QString chosenFile(const QString& iniFile) {
    if (!iniFile.isEmpty())
        return iniFile;
    return QString::fromLocal8Bit(qgetenv("TOLVANE_SETTINGS"));
}

} // namespace

QSettingsStore::QSettingsStore(const QString& iniFile) {
    const QString file = chosenFile(iniFile);
    if (file.isEmpty())
        m_settings = std::make_unique<QSettings>(kOrganisation, kApplication);
    else
        m_settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    m_settings->beginGroup(kGroup);
}

bool QSettingsStore::isAvailable() const {
    return m_settings->status() == QSettings::NoError;
}

std::optional<QString> QSettingsStore::read(const QString& name) {
    const QVariant value = m_settings->value(name);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

bool QSettingsStore::write(const QString& name, const QString& value) {
    m_settings->setValue(name, value);
    return m_settings->isWritable();
}

bool QSettingsStore::flush() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

} // namespace tolvane
