#pragma once

#include <QString>
#include <string>

namespace tolvane {

// How telling a sampler host about a new instrument file went.
enum class HostNotice {
    Notified,       // the host's library took the file name
    NotConfigured,  // no host library is set: nobody to tell
    LibraryMissing, // the library named cannot be loaded
    EntryMissing,   // it loads but has no notification entry
};

// A sampler host that wants to hear of new instrument files (the GigaSampler host's file
// library). Any thread.
class InstrumentHost {
public:
    virtual ~InstrumentHost() = default;
    virtual HostNotice notifyNewInstrument(const std::string& fileName) = 0;
};

// The entry point a host library exports, with the C calling convention:
//   extern "C" void NotifyGSAppOfNewInstrument(const char* fileName);
inline constexpr const char* kNotifyEntry = "NotifyGSAppOfNewInstrument";

// The real one: loads the shared library named by the setting for each notice, calls its entry
// with the file name and unloads it again. An empty name is no host.
class SharedLibraryInstrumentHost : public InstrumentHost {
public:
    explicit SharedLibraryInstrumentHost(QString libraryPath) : m_path(std::move(libraryPath)) {}
    HostNotice notifyNewInstrument(const std::string& fileName) override;

private:
    QString m_path;
};

} // namespace tolvane
