#pragma once

namespace tolvane {

// The texts the program shows when a file cannot be opened.
inline constexpr const char* kMsgUnableToLoad =
    "Unable to load file;\r\n\r\nFile is corrupted or is in an unrecognised format.";
inline constexpr const char* kMsgTypeUnrecognised =
    "File type is unrecognised;\r\nMust be 16bit uncompressed format";
inline constexpr const char* kMsgIncorrectFormat = "File is incorrect format\r\n";
inline constexpr const char* kMsgFileNotFound =
    "File not found - file may have been moved or deleted";

} // namespace tolvane
