#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/OutputFiles.h"
#include "document/PointFile.h"
#include "document/SafeFileWriter.h"
#include "fileio/ConvertedSample.h"
#include "fileio/CuePoints.h"
#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"
#include "processing/WriteSampleFile.h"
#include "slicing/ChannelMode.h"
#include "slicing/MarkerPoints.h"
#include "slicing/SliceSelection.h"
#include "slicing/StereoCandidates.h"
#include "slicing/TransientScan.h"

#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxViewWidth = 100000;

} // namespace

void printSlicePoints(const SampleDocument& doc, std::ostream& out) {
    out << "slice points: " << doc.SliceCount << "\n";
    for (int i = 1; i <= doc.SliceCount; ++i) {
        const PointRecord& p = doc.SliceTable[i];
        out << i << ' ' << p.Position << ' ' << p.Strength << ' ' << int(p.Enabled) << ' '
            << int(p.Locked) << ' ' << int(p.Channel) << "\n";
    }
}

int viewWidthOption(const Options& options) {
    return static_cast<int>(
        options.wholeNumber("--view-width", 1, kMaxViewWidth).value_or(kDefaultWaveformWidth));
}

std::optional<double> sensitivityOption(const Options& options) {
    return options.number("--sensitivity", 0, 100);
}

int checkOutputs(const std::vector<std::string>& outputs, const std::string* input,
                 std::ostream& err) {
    try {
        for (const std::string& output : outputs)
            checkOutputBeforeWriting(output, input);
    } catch (const FileWriteError& e) {
        err << "tolvane: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    return kExitOk;
}

int writeWholeDocument(const SampleDocument& doc, const std::string& file, std::ostream& out,
                       std::ostream& err) {
    try {
        WriteSampleFile(doc, file, 0, static_cast<std::uint32_t>(doc.DataLength),
                        doc.Channels == 2 ? kWriteBothChannels : kWriteOneChannel);
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << file << ": " << std::filesystem::file_size(file) << " bytes, "
        << formatStatusText(doc.BitsPerSample, doc.SampleRate, doc.Channels) << "\n";
    return kExitOk;
}

namespace {

// A file the own reader refuses, converted to 16 bits when the command was given --convert;
// kExitOk, or the exit status after printing why not.
int openConverted(const std::string& file, const AcceptanceReport& report,
                  const ConvertibleReport& convertible, bool convert, SampleDocument& doc,
                  std::ostream& out, std::ostream& err) {
    if (!convert) {
        // Without agreement the refusal of a file that is not 16-bit PCM stands, FLAC or not.
        AcceptanceReport refused = report;
        refused.result = Acceptance::WrongFormat;
        const int status = reportRefusal(file, refused, out, err);
        err << "tolvane: " << file << " is " << convertible.format->description
            << "; --convert converts it to 16 bits\n";
        return status;
    }
    SampleDocument converted;
    try {
        loadConvertedSample(converted, file);
    } catch (const std::bad_alloc&) {
        err << "tolvane: " << file << ": there is not enough memory for the sample\n";
        return kExitNoMemory;
    } catch (const std::exception& e) {
        out << file << ": unreadable (2)\n" << terminalText(kMsgUnableToLoad) << "\n";
        err << "tolvane: " << e.what() << "\n";
        return kExitUnreadable;
    }
    adoptConvertedSample(doc, std::move(converted), file);
    err << "tolvane: " << file << ": converted from " << convertible.format->description
        << " to 16-bit\n";
    return kExitOk;
}

} // namespace

int openDocument(const std::string& file, SampleDocument& doc, std::ostream& out, std::ostream& err,
                 bool convert) {
    const AcceptanceReport report = testSampleFile(file);
    if (report.result != Acceptance::Accepted) {
        const ConvertibleReport convertible = convertibleFormat(file);
        if (convertible.format)
            return openConverted(file, report, convertible, convert, doc, out, err);
        const int status = reportRefusal(file, report, out, err);
        if (convert)
            err << "tolvane: " << file << ": cannot be converted either: " << convertible.refusal
                << "\n";
        return status;
    }
    try {
        openSampleDocument(doc, file);
    } catch (const std::bad_alloc&) {
        err << "tolvane: " << file << ": there is not enough memory for the sample\n";
        return kExitNoMemory;
    } catch (const std::exception& e) {
        return reportRefusal(file, AcceptanceReport{Acceptance::Unreadable, {}, false, e.what()},
                             out, err);
    }
    return kExitOk;
}

int openAndScan(const std::string& file, int viewWidth, bool split, SampleDocument& doc,
                std::ostream& out, std::ostream& err, bool convert) {
    if (const int status = openDocument(file, doc, out, err, convert); status != kExitOk)
        return status;
    const ScanReport report = scanTransients(doc, ScanOptions{viewWidth});
    // The table's size is fixed (the point file's layout): a long recording can fill it.
    if (const std::string limit = scanLimitText(doc, report); !limit.empty())
        err << "tolvane: " << file << ": " << limit << "\n";
    if (split && !splitStereoCandidates(doc))
        err << "tolvane: " << terminalText(kMsgTooManyPoints) << "\n";
    return kExitOk;
}

int openWithMarkers(const std::string& file, bool split, SampleDocument& doc, std::ostream& out,
                    std::ostream& err, bool convert) {
    if (const int status = openDocument(file, doc, out, err, convert); status != kExitOk)
        return status;
    CuePointReading cues;
    try {
        cues = readCuePoints(file, static_cast<std::uint64_t>(doc.DataLength / doc.frameBytes()));
    } catch (const std::exception& e) {
        err << "tolvane: " << file << ": " << e.what() << "\n";
        return kExitUnreadable;
    }
    for (const std::string& problem : cues.problems)
        err << "tolvane: " << file << ": " << problem << "\n";
    if (cues.frames.empty()) {
        err << "tolvane: " << file << ": the file has no cue points to use as slice points\n";
        return kExitWrongFormat;
    }
    useMarkersAsSlicePoints(doc, cues.frames);
    if (split && !splitStereoCandidates(doc))
        err << "tolvane: " << terminalText(kMsgTooManyPoints) << "\n";
    return kExitOk;
}

int runDetect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::unique_ptr<Options> options;
    int viewWidth = kDefaultWaveformWidth;
    std::optional<double> sensitivity;
    try {
        options = std::make_unique<Options>(
            args, std::set<std::string>{"--view-width", "--sensitivity", "--tlp"},
            std::set<std::string>{"--split", "--from-markers", "--convert"});
        if (options->positional().size() != 1)
            throw std::invalid_argument("give exactly one FILE");
        viewWidth = viewWidthOption(*options);
        sensitivity = sensitivityOption(*options);
    } catch (const std::invalid_argument& e) {
        err << "tolvane detect: " << e.what() << "\n";
        return kExitUsage;
    }

    const std::string& file = options->positional().front();
    const auto tlp = options->value("--tlp");
    if (tlp) {
        if (const int status = checkOutputs({*tlp}, &file, err); status != kExitOk)
            return status;
    }
    SampleDocument doc;
    const bool fromMarkers = options->has("--from-markers");
    const bool split = options->has("--split");
    const bool convert = options->has("--convert");
    const int status = fromMarkers ? openWithMarkers(file, split, doc, out, err, convert)
                                   : openAndScan(file, viewWidth, split, doc, out, err, convert);
    if (status != kExitOk)
        return status;
    out << "candidates: " << doc.CandidateCount << "\n";

    if (sensitivity || fromMarkers) {
        if (sensitivity)
            doc.Threshold = thresholdForSliderPosition(sliderPositionForPercent(*sensitivity));
        rebuildSliceTable(doc);
        printSlicePoints(doc, out);
    }
    if (tlp) {
        try {
            savePointFile(doc, *tlp);
        } catch (const FileWriteError& e) {
            err << "tolvane: " << e.what() << "\n";
            return kExitCannotWrite;
        }
    }
    return kExitOk;
}

} // namespace tolvane::cli
