#pragma once

#include <string>

namespace tolvane {

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
