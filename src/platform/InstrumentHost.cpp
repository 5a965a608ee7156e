#include "platform/InstrumentHost.h"

#include <QLibrary>

namespace tolvane {

HostNotice SharedLibraryInstrumentHost::notifyNewInstrument(const std::string& fileName) {
    if (m_path.isEmpty())
        return HostNotice::NotConfigured;
    QLibrary library(m_path);
    if (!library.load())
        return HostNotice::LibraryMissing;
    using Notify = void (*)(const char*);
    const auto notify = reinterpret_cast<Notify>(library.resolve(kNotifyEntry));
    if (!notify) {
        library.unload();
        return HostNotice::EntryMissing;
    }
    notify(fileName.c_str());
    library.unload();
    return HostNotice::Notified;
}

} // namespace tolvane
