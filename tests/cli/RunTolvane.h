#pragma once

#include "cli/Tolvane.h"

#include <sstream>
#include <string>
#include <vector>

namespace tolvane::cli::test {

// What one run of the `tolvane` command printed and returned.
struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

inline CommandRun runCommand(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runTolvane(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace tolvane::cli::test
