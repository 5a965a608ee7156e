// `tolvane grid` and `tolvane randomise`: the editor's "Cut to" and "Randomise", headless.
#include "cli/DocumentRequest.h"
#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/PointFile.h"
#include "document/SafeFileWriter.h"
#include "processing/WriteSampleFile.h"
#include "slicing/ChannelMode.h"
#include "slicing/Randomise.h"
#include "slicing/SliceSelection.h"
#include "slicing/Tempo.h"
#include "slicing/TransientScan.h"

#include <limits>
#include <map>
#include <set>
#include <stdexcept>

namespace tolvane::cli {
namespace {

bool writePointFile(const SampleDocument& doc, const std::optional<std::string>& path,
                    std::ostream& err) {
    if (!path)
        return true;
    try {
        savePointFile(doc, *path);
        return true;
    } catch (const FileWriteError& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

} // namespace

int runGrid(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    DocumentRequest request;
    std::optional<std::string> tlp;
    try {
        OptionPairs pairs;
        const Options options = readDocumentCommand(args, {}, {"--tlp"}, {}, pairs);
        request = readDocumentRequest(options, pairs);
        if (!request.grid)
            throw std::invalid_argument("give the grid: --bars N [--beats M] --cut 8|16|32");
        tlp = options.value("--tlp");
    } catch (const std::invalid_argument& e) {
        err << "tolvane grid: " << e.what() << "\n";
        return kExitUsage;
    }
    if (tlp) {
        if (const int status = checkOutputs({*tlp}, &request.file, err); status != kExitOk)
            return status;
    }
    SampleDocument doc;
    if (const int status = prepareDocument("grid", request, doc, out, err); status != kExitOk)
        return status;
    out << "tempo: " << tempoText(doc.LoopTempo) << "\n";
    out << "locators: " << doc.LocatorL << ' ' << doc.LocatorR << "\n";
    printSlicePoints(doc, out);
    return writePointFile(doc, tlp, err) ? kExitOk : kExitCannotWrite;
}

int runRandomise(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    DocumentRequest request;
    std::string output;
    std::optional<long long> seed;
    bool keepPoints = false;
    std::optional<std::string> tlp;
    try {
        OptionPairs pairs;
        const Options options =
            readDocumentCommand(args, {}, {"--seed", "--tlp"}, {"--keep-points"}, pairs);
        request = readDocumentRequest(options, pairs, 1);
        output = options.positional().back();
        seed = options.wholeNumber("--seed", 0, std::numeric_limits<long long>::max());
        keepPoints = options.has("--keep-points");
        tlp = options.value("--tlp");
    } catch (const std::invalid_argument& e) {
        err << "tolvane randomise: " << e.what() << "\n";
        return kExitUsage;
    }
    // OUT may be FILE itself (the shuffle is whole in memory before the file is replaced); the
    // point file may not.
    if (const int status = checkOutputs({output}, nullptr, err); status != kExitOk)
        return status;
    if (tlp) {
        if (const int status = checkOutputs({*tlp}, &request.file, err); status != kExitOk)
            return status;
    }
    SampleDocument doc;
    if (const int status = prepareDocument("randomise", request, doc, out, err); status != kExitOk)
        return status;

    ShuffleGenerator generator =
        seed ? ShuffleGenerator(static_cast<std::uint64_t>(*seed)) : shuffleGeneratorFromSystem();
    try {
        out << "segments shuffled: " << shuffleLoopSegments(doc, generator) << "\n";
    } catch (const std::runtime_error& e) {
        err << "tolvane randomise: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    if (!keepPoints) {
        doc.DetectPending = true;
        scanTransients(doc, ScanOptions{request.viewWidth});
        rebuildSliceTable(doc);
        out << "candidates: " << doc.CandidateCount << "\n";
    }
    try {
        WriteSampleFile(doc, output, 0, static_cast<std::uint32_t>(doc.DataLength),
                        doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel);
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << output << ": " << doc.DataLength << " bytes of sample data\n";
    return writePointFile(doc, tlp, err) ? kExitOk : kExitCannotWrite;
}

} // namespace tolvane::cli
