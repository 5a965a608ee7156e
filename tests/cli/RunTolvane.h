#pragma once

#include "cli/Tolvane.h"
#include "support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/wait.h>
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

// A run of the built `tolvane` program itself, in a shell.
struct ProgramRun {
    bool exited = false; // false when a signal ended it
    int status = -1;     // the exit status when it exited
    std::string err;
};

// Runs the built program with `args` in a shell, after `prefix` (shell text before the
// program's name: limits, variables, "exec "); its standard error goes through a file in
// `scratch`.
inline ProgramRun runProgramInShell(const std::string& prefix, const std::vector<std::string>& args,
                                    const std::string& scratch) {
    using tolvane::test::shellQuote;
    // Built by appending: GCC 12 at -O3 warns falsely of overlapping copies in chained "+".
    std::string command = prefix;
    command += shellQuote(TOLVANE_COMMAND);
    for (const std::string& arg : args) {
        command += ' ';
        command += shellQuote(arg);
    }
    const std::string errFile = scratch + "/stderr.txt";
    command += " 2>";
    command += shellQuote(errFile);
    command += " >/dev/null";
    const int result = std::system(command.c_str());
    ProgramRun run;
    run.exited = WIFEXITED(result);
    run.status = run.exited ? WEXITSTATUS(result) : -1;
    const auto bytes = tolvane::test::readBytes(errFile);
    run.err.assign(bytes.begin(), bytes.end());
    std::remove(errFile.c_str());
    return run;
}

// The same with every file it writes limited to `blocks` 512-byte blocks (a full disk, even
// for root).
inline ProgramRun runProgramWithFileSizeLimit(int blocks, const std::vector<std::string>& args,
                                              const std::string& scratch) {
    std::string limit = "ulimit -f ";
    limit += std::to_string(blocks);
    limit += "; exec ";
    return runProgramInShell(limit, args, scratch);
}

} // namespace tolvane::cli::test
