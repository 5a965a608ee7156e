#include "cli/Tolvane.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tolvane::cli::runTolvane(args, std::cout, std::cerr);
}
