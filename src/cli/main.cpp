#include "cli/Tolvane.h"
#include "document/TemporaryFiles.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    // A file that reaches the file-size limit (a full disk, for root) must fail its write with
    // EFBIG, so that the save reports it and removes its temporary file, rather than end the
    // program.
    std::signal(SIGXFSZ, SIG_IGN);
    // An interrupted write leaves no temporary file beside its target.
    tolvane::removeTemporaryFilesOnSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tolvane::cli::runTolvane(args, std::cout, std::cerr);
}
