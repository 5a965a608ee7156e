#include "cli/DocumentRequest.h"

#include "cli/Tolvane.h"
#include "slicing/SliceSelection.h"
#include "slicing/Tempo.h"
#include "slicing/TransientScan.h"

#include <limits>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxOffset = std::numeric_limits<std::uint32_t>::max();

std::uint32_t offsetValue(const std::string& text) {
    return static_cast<std::uint32_t>(parseWholeNumber("--locators", text, 0, kMaxOffset));
}

std::optional<LoopLength> readLoopLength(const Options& options) {
    const auto bars = options.wholeNumber("--bars", 0, kMaxLoopBarsOrBeats);
    const auto beats = options.wholeNumber("--beats", 0, kMaxLoopBarsOrBeats);
    if (!bars && !beats)
        return std::nullopt;
    return LoopLength{static_cast<int>(bars.value_or(0)), static_cast<int>(beats.value_or(0))};
}

std::optional<GridRequest> readGrid(const Options& options) {
    const auto cut = options.wholeNumber("--cut", 8, 32);
    if (!cut) {
        if (options.has("--refine"))
            throw std::invalid_argument("--refine goes with --cut");
        return std::nullopt;
    }
    if (*cut != 8 && *cut != 16 && *cut != 32)
        throw std::invalid_argument("--cut is 8, 16 or 32");
    return GridRequest{static_cast<GridNote>(*cut), options.has("--refine")};
}

void applyLocators(const DocumentRequest& request, SampleDocument& doc) {
    if (!request.locators)
        return;
    const auto [left, right] = *request.locators;
    if (left >= right)
        throw std::invalid_argument("--locators: the left locator must lie before the right one");
    if (right > static_cast<std::uint32_t>(doc.DataLength))
        throw std::invalid_argument("--locators: " + std::to_string(right) +
                                    " lies beyond the data (" + std::to_string(doc.DataLength) +
                                    " bytes)");
    doc.LocatorL = left;
    doc.LocatorR = right;
}

void applyGrid(const DocumentRequest& request, SampleDocument& doc) {
    if (!request.grid)
        return;
    const GridRequest& grid = *request.grid;
    if (gridPointCount(doc, grid.note) > kMaxCandidates)
        throw std::invalid_argument("--cut: " + terminalText(kMsgGridTooFine));
    cutToGrid(doc, grid.note);
    updateLoopTempo(doc); // the locators now lie on grid points
    if (grid.refine) {
        refinePointsAtNextScan(doc);
        scanTransients(doc, ScanOptions{request.viewWidth});
        rebuildSliceTable(doc);
    }
}

// The document as the editor would hold it when the user gave the command.
void applyRequest(const DocumentRequest& request, SampleDocument& doc) {
    if (request.sensitivity)
        doc.Threshold = thresholdForSliderPosition(sliderPositionForPercent(*request.sensitivity));
    rebuildSliceTable(doc);
    doc.FirstChannel = request.channel == "right" ? 2 : 1;
    doc.LastChannel = request.channel == "left" ? 1 : 2;
    applyLocators(request, doc);
    if (request.loopLength)
        setLoopLength(doc, request.loopLength->bars, request.loopLength->beats);
    applyGrid(request, doc);
}

} // namespace

Options readDocumentCommand(const std::vector<std::string>& args,
                            const std::set<std::string>& pairNames,
                            const std::set<std::string>& valued, const std::set<std::string>& flags,
                            OptionPairs& pairs) {
    std::set<std::string> allPairs = pairNames;
    allPairs.insert("--locators");
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!allPairs.contains(args[i])) {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 2 >= args.size())
            throw std::invalid_argument(args[i] + " needs two values");
        pairs[args[i]] = {args[i + 1], args[i + 2]};
        i += 2;
    }
    std::set<std::string> allValued{"--view-width", "--sensitivity", "--channel",
                                    "--bars",       "--beats",       "--cut"};
    allValued.insert(valued.begin(), valued.end());
    std::set<std::string> allFlags{"--split", "--refine", "--convert"};
    allFlags.insert(flags.begin(), flags.end());
    return Options(rest, allValued, allFlags);
}

DocumentRequest readDocumentRequest(const Options& options, const OptionPairs& pairs,
                                    std::size_t outputs) {
    DocumentRequest request;
    if (options.positional().size() != 1 + outputs)
        throw std::invalid_argument(outputs == 0 ? "give exactly one FILE" : "give FILE and OUT");
    request.file = options.positional().front();
    request.viewWidth = viewWidthOption(options);
    request.sensitivity = sensitivityOption(options);
    request.split = options.has("--split");
    request.convert = options.has("--convert");
    request.channel = options.value("--channel").value_or("both");
    if (request.channel != "left" && request.channel != "right" && request.channel != "both")
        throw std::invalid_argument("--channel is left, right or both");
    if (const auto locators = pairs.find("--locators"); locators != pairs.end())
        request.locators = {offsetValue(locators->second.first),
                            offsetValue(locators->second.second)};
    request.loopLength = readLoopLength(options);
    request.grid = readGrid(options);
    if (request.grid)
        requireLoopLength(request, "--cut");
    return request;
}

void requireLoopLength(const DocumentRequest& request, const std::string& what) {
    if (!request.loopLength || (request.loopLength->bars == 0 && request.loopLength->beats == 0))
        throw std::invalid_argument(what + ": " + terminalText(kMsgNoTempo) +
                                    " Give the loop's length: --bars N and/or --beats M");
}

int prepareDocument(const std::string& command, const DocumentRequest& request, SampleDocument& doc,
                    std::ostream& out, std::ostream& err) {
    if (const int status = openAndScan(request.file, request.viewWidth, request.split, doc, out,
                                       err, request.convert);
        status != kExitOk)
        return status;
    try {
        applyRequest(request, doc);
    } catch (const std::invalid_argument& e) {
        err << "tolvane " << command << ": " << e.what() << "\n";
        return kExitUsage;
    }
    return kExitOk;
}

} // namespace tolvane::cli
