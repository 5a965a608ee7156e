#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace tolvane {

// A store of named text values: the program's settings. Reading a name that is not there
// gives nothing; writing reports whether the value was stored.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Whether the store could be opened at all.
    virtual bool isAvailable() const = 0;
    virtual std::optional<QString> read(const QString& name) = 0;
    virtual bool write(const QString& name, const QString& value) = 0;
    // Makes written values permanent; false when that failed.
    virtual bool flush() = 0;
};

// Settings in the platform's own store under "Quorvex" / "WaveTolvane (Advanced)", group
// "1/Config" (an INI file under ~/.config/Quorvex on Linux, the registry on Windows), or in
// the INI file given.
class QSettingsStore : public SettingsStore {
public:
    // With an empty path the platform's store; the environment variable TOLVANE_SETTINGS,
    // when set, names an INI file to use instead.
    explicit QSettingsStore(const QString& iniFile = {});

    bool isAvailable() const override;
    std::optional<QString> read(const QString& name) override;
    bool write(const QString& name, const QString& value) override;
    bool flush() override;
    QString location() const { return m_settings->fileName(); }

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tolvane
