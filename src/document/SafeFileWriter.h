#pragma once

#include "document/TemporaryFiles.h"

#include <cstddef>
#include <stdexcept>
#include <string>

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
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string targetPath);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    void write(const void* bytes, std::size_t count);
    void commit();

private:
    void refuseReadOnlyDestination();
    void refuseNonRegularDestination();
    [[noreturn]] void fail(const std::string& what);
    void discard();

    std::string m_target;      // the name given, for messages
    std::string m_destination; // the file it names once symbolic links are followed
    std::string m_temporary;
    TemporaryFileRegistration m_registration; // of m_temporary, while it exists
    int m_fd = -1;
    bool m_committed = false;
};

} // namespace tolvane
