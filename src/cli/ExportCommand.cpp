#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/SafeFileWriter.h"
#include "fileio/SampleFileReader.h"
#include "processing/SegmentSeries.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/SliceSelection.h"
#include "slicing/StereoCandidates.h"
#include "slicing/TransientScan.h"

#include <filesystem>
#include <stdexcept>

namespace tolvane::cli {
namespace {

struct ExportRequest {
    int viewWidth = kDefaultWaveformWidth;
    std::optional<double> sensitivity;
    bool split = false;
    std::string channel = "both";
    std::optional<std::pair<std::uint32_t, std::uint32_t>> locators;
    int smooth = 0;
};

std::uint32_t parseOffset(const std::string& text) {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used);
    if (used != text.size())
        throw std::invalid_argument("a locator must be a byte offset, not '" + text + "'");
    return static_cast<std::uint32_t>(value);
}

// Writes one file and says so; false when it could not be written.
bool writeOne(const SampleDocument& doc, const std::string& path, std::uint32_t start,
              std::uint32_t count, int mode, int smooth, std::ostream& out, std::ostream& err) {
    try {
        WriteSampleFile(doc, path, start, count, mode, smooth);
        out << path << ": " << std::filesystem::file_size(path) << " bytes\n";
        return true;
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

int stereoMode(const SampleDocument& doc) {
    return doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel;
}

} // namespace

int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ExportRequest request;
    std::vector<std::string> positional;
    std::optional<std::string> segmentsOut, regionOut, wholeOut;
    std::optional<std::pair<int, std::string>> selected;
    try {
        // "--locators L R" and "--selected N OUT" take two values: take them out first.
        std::vector<std::string> rest;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if ((args[i] == "--locators" || args[i] == "--selected") && i + 2 < args.size() + 0) {
                if (args[i] == "--locators")
                    request.locators = {parseOffset(args[i + 1]), parseOffset(args[i + 2])};
                else
                    selected = {std::stoi(args[i + 1]), args[i + 2]};
                i += 2;
            } else if (args[i] == "--locators" || args[i] == "--selected") {
                throw std::invalid_argument(args[i] + " needs two values");
            } else {
                rest.push_back(args[i]);
            }
        }
        const Options options(rest,
                              {"--view-width", "--sensitivity", "--channel", "--smooth",
                               "--segments", "--region", "--whole"},
                              {"--split"});
        positional = options.positional();
        if (positional.size() != 1)
            throw std::invalid_argument("give exactly one FILE");
        request.viewWidth =
            static_cast<int>(options.integer("--view-width").value_or(request.viewWidth));
        request.sensitivity = options.number("--sensitivity");
        request.split = options.has("--split");
        request.channel = options.value("--channel").value_or("both");
        request.smooth = static_cast<int>(options.integer("--smooth").value_or(0));
        segmentsOut = options.value("--segments");
        regionOut = options.value("--region");
        wholeOut = options.value("--whole");
        if (request.channel != "left" && request.channel != "right" && request.channel != "both")
            throw std::invalid_argument("--channel is left, right or both");
        if (request.smooth < 0 || request.smooth > 60)
            throw std::invalid_argument("--smooth must lie between 0 and 60");
        if (segmentsOut && !splitSeriesName(*segmentsOut))
            throw std::invalid_argument("--segments needs a name like OUT.wav, OUT.aif or "
                                        "OUT.aiff");
    } catch (const std::exception& e) {
        err << "tolvane export: " << e.what() << "\n";
        return kExitUsage;
    }

    SampleDocument doc;
    if (const int status =
            openAndScan(positional.front(), request.viewWidth, request.split, doc, out, err);
        status != kExitOk)
        return status;
    if (request.sensitivity)
        doc.Threshold = thresholdForSliderPosition(sliderPositionForPercent(*request.sensitivity));
    rebuildSliceTable(doc);
    doc.FirstChannel = request.channel == "right" ? 2 : 1;
    doc.LastChannel = request.channel == "left" ? 1 : 2;
    if (request.locators) {
        doc.LocatorL = std::min<std::uint32_t>(request.locators->first, doc.DataLength);
        doc.LocatorR = std::min<std::uint32_t>(request.locators->second, doc.DataLength);
    }

    bool ok = true;
    if (wholeOut)
        ok &= writeOne(doc, *wholeOut, 0, static_cast<std::uint32_t>(doc.DataLength),
                       stereoMode(doc), 0, out, err);
    if (regionOut) {
        const std::uint32_t start = doc.LocatorL & ~3u;
        const std::uint32_t count = (doc.LocatorR - std::min(doc.LocatorL, doc.LocatorR)) & ~3u;
        ok &= writeOne(doc, *regionOut, start, count, stereoMode(doc), 0, out, err);
    }
    if (selected) {
        const int n = selected->first;
        if (n < 1 || n > doc.SliceCount + 1) {
            err << "tolvane export: --selected " << n << ": there are " << doc.SliceCount + 1
                << " segments\n";
            return kExitUsage;
        }
        const bool merged = doc.Channels == 1 || doc.MergeChannels;
        const std::uint32_t selStart = doc.SliceTable[n - 1].Position;
        const std::uint32_t selEnd = doc.SliceTable[n].Position;
        if (merged) {
            ok &= writeOne(doc, selected->second, selStart,
                           (selEnd - selStart) / (doc.MergeChannels ? 1 : doc.Channels),
                           doc.MergeChannels ? kWriteBothChannels : kWriteOneChannel, 0, out, err);
        } else {
            const std::uint8_t tag = doc.SliceTable[n - 1].Channel == kChannelLeftSplit ? 2 : 1;
            ok &= writeOne(doc, selected->second, (selStart & ~3u) + 2 * (2 - tag),
                           ((selEnd - selStart) / 2) & ~3u, kWriteOneChannel, 0, out, err);
        }
    }
    if (segmentsOut) {
        // One failure ends the series: the files after it would leave gaps in the numbering.
        try {
            writeSegmentSeries(doc, *splitSeriesName(*segmentsOut), request.smooth,
                               {{}, [&out](const SeriesFile& file) {
                                    out << file.fileName << ": "
                                        << std::filesystem::file_size(file.fileName) << " bytes\n";
                                }});
        } catch (const std::exception& e) {
            err << "tolvane: " << e.what() << "\n";
            ok = false;
        }
    }
    return ok ? kExitOk : kExitCannotWrite;
}

} // namespace tolvane::cli
