#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/SafeFileWriter.h"
#include "fileio/SampleFileReader.h"
#include "processing/SegmentSeries.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/SegmentRanges.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxSmoothAmount = 60;
constexpr long long kMaxOffset = std::numeric_limits<std::uint32_t>::max();

struct ExportRequest {
    std::string file;
    int viewWidth = kDefaultWaveformWidth;
    std::optional<double> sensitivity;
    bool split = false;
    std::string channel = "both";
    std::optional<std::pair<std::uint32_t, std::uint32_t>> locators;
    int smooth = 0;
    std::optional<SeriesName> segments;
    std::optional<std::string> region;
    std::optional<std::string> whole;
    std::optional<std::pair<int, std::string>> selected;
};

// One file to write besides the series.
struct PlannedFile {
    std::string path;
    WriteRange range;
};

std::uint32_t offsetValue(const std::string& text) {
    return static_cast<std::uint32_t>(parseWholeNumber("--locators", text, 0, kMaxOffset));
}

// Reads the request; throws std::invalid_argument naming what is wrong.
ExportRequest parseRequest(const std::vector<std::string>& args) {
    ExportRequest request;
    // "--locators L R" and "--selected N OUT" take two values: take them out first.
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--locators" && args[i] != "--selected") {
            rest.push_back(args[i]);
            continue;
        }
        if (i + 2 >= args.size())
            throw std::invalid_argument(args[i] + " needs two values");
        if (args[i] == "--locators") {
            request.locators = {offsetValue(args[i + 1]), offsetValue(args[i + 2])};
        } else {
            const auto n = parseWholeNumber("--selected", args[i + 1], 1, kMaxCandidates + 1);
            request.selected = {static_cast<int>(n), args[i + 2]};
        }
        i += 2;
    }
    const Options options(rest,
                          {"--view-width", "--sensitivity", "--channel", "--smooth", "--segments",
                           "--region", "--whole"},
                          {"--split"});
    if (options.positional().size() != 1)
        throw std::invalid_argument("give exactly one FILE");
    request.file = options.positional().front();
    request.viewWidth = viewWidthOption(options);
    request.sensitivity = sensitivityOption(options);
    request.split = options.has("--split");
    request.channel = options.value("--channel").value_or("both");
    if (request.channel != "left" && request.channel != "right" && request.channel != "both")
        throw std::invalid_argument("--channel is left, right or both");
    request.smooth =
        static_cast<int>(options.wholeNumber("--smooth", 0, kMaxSmoothAmount).value_or(0));
    if (const auto segments = options.value("--segments")) {
        request.segments = splitSeriesName(*segments);
        if (!request.segments)
            throw std::invalid_argument("--segments needs a name like OUT.wav, OUT.aif or "
                                        "OUT.aiff, not '" +
                                        *segments + "'");
    }
    request.region = options.value("--region");
    request.whole = options.value("--whole");
    return request;
}

// The document as the editor would hold it when the user gave the save command.
void applyRequest(const ExportRequest& request, SampleDocument& doc) {
    if (request.sensitivity)
        doc.Threshold = thresholdForSliderPosition(sliderPositionForPercent(*request.sensitivity));
    rebuildSliceTable(doc);
    doc.FirstChannel = request.channel == "right" ? 2 : 1;
    doc.LastChannel = request.channel == "left" ? 1 : 2;
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

// The channel tag of --selected: split stereo needs one channel named.
std::uint8_t selectedChannelTag(const ExportRequest& request, const SampleDocument& doc) {
    if (doc.Channels != 2 || doc.MergeChannels)
        return kChannelMonoOrRight;
    if (request.channel == "both")
        throw std::invalid_argument("--selected of split stereo needs --channel left or right");
    return request.channel == "left" ? kChannelLeftSplit : kChannelMonoOrRight;
}

// Every single file the request asks for, checked against the document before anything is
// written; throws std::invalid_argument for a request that would write nothing useful.
std::vector<PlannedFile> planFiles(const ExportRequest& request, const SampleDocument& doc) {
    std::vector<PlannedFile> files;
    if (request.whole)
        files.push_back({*request.whole,
                         {0, static_cast<std::uint32_t>(doc.DataLength),
                          doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel}});
    if (request.region) {
        const auto range = regionRange(doc);
        if (!range)
            throw std::invalid_argument("--region: no whole frame lies between the locators");
        files.push_back({*request.region, *range});
    }
    if (request.selected) {
        const auto [n, path] = *request.selected;
        const std::uint8_t tag = selectedChannelTag(request, doc);
        const int count = segmentCount(doc, tag);
        if (n > count)
            throw std::invalid_argument("--selected " + std::to_string(n) + ": there are " +
                                        std::to_string(count) + " segments");
        const auto range = segmentRange(doc, n, tag);
        if (!range)
            throw std::invalid_argument("--selected " + std::to_string(n) +
                                        ": the segment holds no whole frame");
        files.push_back({path, *range});
    }
    if (request.segments && loopSegmentSeries(doc).empty())
        throw std::invalid_argument("--segments: no segment lies between the locators");
    return files;
}

void reportWritten(const std::string& path, std::ostream& out) {
    out << path << ": " << std::filesystem::file_size(path) << " bytes\n";
}

// Writes one file and says so; false when it could not be written.
bool writeFile(const SampleDocument& doc, const PlannedFile& file, std::ostream& out,
               std::ostream& err) {
    try {
        WriteSampleFile(doc, file.path, file.range.start, file.range.byteCount,
                        file.range.channelMode);
        reportWritten(file.path, out);
        return true;
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

// One failure ends the series: the files after it would leave gaps in the numbering.
bool writeSeries(const SampleDocument& doc, const ExportRequest& request, std::ostream& out,
                 std::ostream& err) {
    try {
        writeSegmentSeries(
            doc, *request.segments, request.smooth,
            {{}, [&out](const SeriesFile& file) { reportWritten(file.fileName, out); }});
        return true;
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

} // namespace

int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ExportRequest request;
    try {
        request = parseRequest(args);
    } catch (const std::invalid_argument& e) {
        err << "tolvane export: " << e.what() << "\n";
        return kExitUsage;
    }

    SampleDocument doc;
    if (const int status =
            openAndScan(request.file, request.viewWidth, request.split, doc, out, err);
        status != kExitOk)
        return status;
    std::vector<PlannedFile> files;
    try {
        applyRequest(request, doc);
        files = planFiles(request, doc);
    } catch (const std::invalid_argument& e) {
        err << "tolvane export: " << e.what() << "\n";
        return kExitUsage;
    }

    bool ok = true;
    for (const PlannedFile& file : files)
        ok &= writeFile(doc, file, out, err);
    if (request.segments)
        ok &= writeSeries(doc, request, out, err);
    return ok ? kExitOk : kExitCannotWrite;
}

} // namespace tolvane::cli
