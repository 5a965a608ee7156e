#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tolvane::cli {

// Exit codes shared by every command that reads sample files.
inline constexpr int kExitOk = 0;
inline constexpr int kExitWrongFormat = 1;
inline constexpr int kExitUnreadable = 2;
inline constexpr int kExitUsage = 64;

// Runs the `tolvane` command with its arguments (without the program name).
int runTolvane(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane info FILE...`
int runInfo(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

// A message box text as a terminal shows it: "\r\n" becomes a plain line break.
std::string terminalText(const std::string& messageText);

} // namespace tolvane::cli
