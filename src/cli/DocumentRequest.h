#pragma once

#include "cli/Options.h"
#include "document/SampleDocument.h"
#include "slicing/GridCut.h"
#include "slicing/TransientScan.h"

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::cli {

// "--bars N --beats M": the musical length of the region between the locators.
struct LoopLength {
    int bars = 0;
    int beats = 0;
};

// "--cut 8|16|32": the grid the editor's "Cut to" makes over the region.
struct GridRequest {
    GridNote note = GridNote::Sixteenths;
    bool refine = false; // the editor's "Smooth": a scan moves the points towards quiet samples
};

// The document as the editor would hold it before a command: FILE loaded and scanned, then the
// sensitivity, the stereo mode, the channel choice, the locators, the loop's bars and beats
// and a grid cut.
struct DocumentRequest {
    std::string file;
    int viewWidth = kDefaultWaveformWidth;
    std::optional<double> sensitivity;
    bool split = false;
    std::string channel = "both";
    std::optional<std::pair<std::uint32_t, std::uint32_t>> locators;
    std::optional<LoopLength> loopLength;
    std::optional<GridRequest> grid;
    bool convert = false; // --convert: a 24-bit, float or FLAC file is converted to 16 bits
};

// For what needs a tempo (a grid, a MIDI template): throws std::invalid_argument, naming
// `what`, unless the request gives the loop some bars or beats.
void requireLoopLength(const DocumentRequest& request, const std::string& what);

using OptionPairs = std::map<std::string, std::pair<std::string, std::string>>;

// The arguments of a command that works on a document: the options with two values
// ("--locators L R" and the command's `pairNames`) go into `pairs`, the rest is read with the
// document's options and the command's own `valued` options and `flags`. Throws
// std::invalid_argument for an unknown option or a missing value.
Options readDocumentCommand(const std::vector<std::string>& args,
                            const std::set<std::string>& pairNames,
                            const std::set<std::string>& valued, const std::set<std::string>& flags,
                            OptionPairs& pairs);

// Reads the request: FILE first of the positional arguments, followed by exactly `outputs`
// more; throws std::invalid_argument naming the option that is wrong.
DocumentRequest readDocumentRequest(const Options& options, const OptionPairs& pairs,
                                    std::size_t outputs = 0);

// Loads and scans FILE and applies the request. Returns kExitOk, or the exit status after
// printing why (a refused file, or a usage error prefixed with "tolvane COMMAND: ").
int prepareDocument(const std::string& command, const DocumentRequest& request, SampleDocument& doc,
                    std::ostream& out, std::ostream& err);

} // namespace tolvane::cli
