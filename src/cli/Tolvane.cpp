#include "cli/Tolvane.h"

namespace tolvane::cli {
namespace {

constexpr const char* kUsage = R"(Usage: tolvane COMMAND [OPTIONS] FILE...

Loop slicing from the command line, with the same core as the WaveTolvane editor.

Commands:
  info FILE...   For each file: whether the editor accepts it (0 accepted, 1 wrong
                 format, 2 unreadable); for an accepted file its format as the status
                 bar shows it and its data length in bytes, frames and seconds; for a
                 refused file the editor's own message.

  detect FILE [--view-width N] [--split] [--sensitivity PCT] [--tlp OUT]
                 Loads FILE and scans it for transients as opening it in the editor does
                 (stereo channels merged) and prints the number of candidates.
                 --view-width N   waveform width in pixels used by the stereo merge
                                  (default 636, the main window at its default size)
                 --split          then keep the stereo channels apart ("L / R")
                 --sensitivity PCT  set the sensitivity slider to PCT percent and print
                                  the slice points, one per line:
                                  index position strength enabled locked channel
                 --tlp OUT        write the candidate table as a point file

  export FILE [--sensitivity PCT] [--view-width N] [--split] [--channel left|right|both]
              [--locators L R] [--smooth P] [--segments OUT.wav|OUT.aif] [--region OUT]
              [--selected N OUT] [--whole OUT]
                 Loads and scans FILE as detect does and writes, as the editor's save
                 commands would: every segment between the locators as a numbered series
                 (OUT01.wav, ...; split stereo adds L and R), the region between the
                 locators, segment N, or the whole sample. Locators are byte offsets
                 (default: the whole sample); --smooth P smooths the series' end points by
                 P percent (0 to 60). Each file written is printed with its size in bytes.

Options:
  --help         Show this help and exit.
  --version      Show the version and exit.

Exit status: 0 when every file was accepted, 1 when any had the wrong format,
2 when any was unreadable, 64 for a usage error, 73 when an output file
cannot be written.
)";

} // namespace

std::string terminalText(const std::string& messageText) {
    std::string text;
    text.reserve(messageText.size());
    for (std::size_t i = 0; i < messageText.size(); ++i) {
        if (messageText[i] == '\r' && i + 1 < messageText.size() && messageText[i + 1] == '\n')
            continue;
        text += messageText[i];
    }
    return text;
}

int runTolvane(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        out << "tolvane " << TOLVANE_VERSION << "\n";
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "info") {
        if (rest.empty()) {
            err << "tolvane info: no file given\n";
            return kExitUsage;
        }
        return runInfo(rest, out, err);
    }
    if (command == "detect")
        return runDetect(rest, out, err);
    if (command == "export")
        return runExport(rest, out, err);
    err << "tolvane: unknown command '" << command << "'\n\n" << kUsage;
    return kExitUsage;
}

} // namespace tolvane::cli
