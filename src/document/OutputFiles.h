#pragma once

#include <string>

namespace tolvane {

// Opens a regular file read-only and returns its descriptor, or -1 (errno says why; ENODEV for
// a node that is not a regular file). A FIFO or a device under an input's name is never opened:
// opening one can wait for a writer or act on the device. The type is looked up by name first,
// and again on the open descriptor (opened with O_NONBLOCK, so that a FIFO put there in between
// cannot make the open wait either).
int openRegularFileForReading(const std::string& path);

// Checks on a file about to be written. Each throws FileWriteError (SafeFileWriter.h) naming the
// file; a caller that makes them before it writes anything leaves everything as it was.

// An output that exists (symbolic links followed) and is not a regular file: a FIFO, a device,
// a socket or a folder. Writing a new file in its place would turn the node into a regular
// file (or hang on it), so it is refused and left untouched.
void refuseNonRegularOutput(const std::string& output);

// Whether two names stand for one existing file (the same device and inode, symbolic links
// followed); false when either does not exist.
bool isSameFile(const std::string& a, const std::string& b);

// An output that is the input file is refused, naming both: writing it would replace what is
// being read.
void refuseInputAsOutput(const std::string& output, const std::string& input);

// Everything that can be known before writing: not a node or a folder, in a folder that
// exists, and, when `input` is given, not the input file.
void checkOutputBeforeWriting(const std::string& output, const std::string* input = nullptr);

} // namespace tolvane
