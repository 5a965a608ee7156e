#pragma once

#include <stdexcept>
#include <string>

namespace tolvane {

inline constexpr const char* kMsgCannotChangePosition = "Cannot change file position";
inline constexpr const char* kMsgNoFileToProcess = "No File to Process";
inline constexpr const char* kMsgChunkNotFound = "Chunk Not Found";
inline constexpr const char* kMsgInvalidWav = "Invalid WAV";

// Base of the parser's failures.
class EWavParserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EChunkNotFound : public EWavParserError {
public:
    EChunkNotFound() : EWavParserError(kMsgChunkNotFound) {}
};

} // namespace tolvane
