#pragma once

#include "document/TemporaryFiles.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tolvane {

class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a file next to its target and moves it over the target only on commit(), so that a
// save that fails half-way never destroys the file it replaces. Without commit() the partial
// file is removed when the writer goes out of scope (or by a signal that ends the program: the
// temporary file is registered in TemporaryFiles). A target that is a symbolic link updates the
// file the link points to (the link stays); a read-only target, and one that is not a regular
// file (a FIFO, a device, a socket, a folder), is refused and left as it is. Every failure
// throws FileWriteError.
//
// Durability::Synced (a single save) puts the data and the new name on the disk before commit()
// returns. Durability::Deferred leaves that to a SeriesSync that covers many files at once: a
// series of thousands of small files would otherwise wait for the disk thousands of times.
enum class Durability { Synced, Deferred };

class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string targetPath, Durability durability = Durability::Synced);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    void write(const void* bytes, std::size_t count);
    void commit();

    // The file the data goes to once symbolic links are followed.
    const std::string& destination() const { return m_destination; }

private:
    void refuseReadOnlyDestination();
    void refuseNonRegularDestination();
    void flush();
    void writeThrough(const char* bytes, std::size_t count);
    [[noreturn]] void fail(const std::string& what);
    void discard();

    std::string m_target;      // the name given, for messages
    std::string m_destination; // the file it names once symbolic links are followed
    std::string m_temporary;
    TemporaryFileRegistration m_registration; // of m_temporary, while it exists
    Durability m_durability;
    std::vector<char> m_buffer; // small writes (headers, chunk sizes) gathered into one call
    int m_fd = -1;
    bool m_committed = false;
};

// Makes the files of a series durable together, once, after the last of them: one flush per
// file system that holds them (data and folder entries alike) instead of one per file.
class SeriesSync {
public:
    SeriesSync() = default;
    ~SeriesSync();
    SeriesSync(const SeriesSync&) = delete;
    SeriesSync& operator=(const SeriesSync&) = delete;

    // A file committed with Durability::Deferred.
    void add(const std::string& path);
    // Flushes every file system the added files are on. Throws FileWriteError when the disk
    // reports a failure. Without it, the destructor still flushes, silently.
    void sync();

private:
    bool syncAll();

    std::vector<std::string> m_onePathPerDevice;
    std::vector<dev_t> m_devices;
    std::string m_failure;
};

} // namespace tolvane
