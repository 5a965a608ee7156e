#include "cli/DocumentRequest.h"
#include "cli/KeymapOptions.h"
#include "cli/Options.h"
#include "cli/Tolvane.h"
#include "document/SafeFileWriter.h"
#include "export/MidiTemplate.h"
#include "export/SoundBank.h"
#include "export/TrackFile.h"
#include "export/TrackFileLibrary.h"
#include "fileio/SampleFileReader.h"
#include "processing/SegmentSeries.h"
#include "processing/SliceMarkerFile.h"
#include "processing/WriteSampleFile.h"
#include "slicing/LoopSegments.h"
#include "slicing/SegmentRanges.h"
#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

namespace tolvane::cli {
namespace {

struct ExportRequest {
    DocumentRequest document;
    int smooth = 0;
    std::optional<SeriesName> segments;
    std::optional<std::string> region;
    std::optional<std::string> whole;
    std::optional<std::string> markers;
    std::optional<std::pair<int, std::string>> selected;
    std::optional<std::string> bank;
    KeymapSettings keymap;
    std::optional<std::string> midi;
    MidiTemplateOptions midiOptions;
    std::optional<std::string> track;
    std::string trackLibrary;
};

// One file to write besides the series.
struct PlannedFile {
    std::string path;
    WriteRange range;
};

bool isBankFileName(const std::string& name) {
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* extension : {".sf2", ".dls", ".gig", ".pbf", ".sfz"})
        if (lower.size() > 4 && lower.ends_with(extension))
            return true;
    return false;
}

// Reads the request; throws std::invalid_argument naming what is wrong.
ExportRequest parseRequest(const std::vector<std::string>& args) {
    ExportRequest request;
    OptionPairs pairs;
    std::set<std::string> valued{"--smooth", "--segments", "--region", "--whole",
                                 "--midi",   "--format",   "--track",  "--track-library",
                                 "--bank",   "--markers"};
    valued.insert(keymapValuedOptions().begin(), keymapValuedOptions().end());
    std::set<std::string> flags{"--filter-enable"};
    flags.insert(keymapFlags().begin(), keymapFlags().end());
    const Options options = readDocumentCommand(args, {"--selected"}, valued, flags, pairs);
    request.document = readDocumentRequest(options, pairs);
    request.keymap = readKeymapOptions(options);
    request.midi = options.value("--midi");
    if (request.midi)
        requireLoopLength(request.document, "--midi");
    request.midiOptions.format =
        static_cast<int>(options.wholeNumber("--format", 0, 1).value_or(0));
    request.midiOptions.filterEnable = options.has("--filter-enable");
    request.track = options.value("--track");
    if (request.track)
        requireLoopLength(request.document, "--track");
    const char* library = std::getenv("TOLVANE_TRACK_LIBRARY");
    request.trackLibrary = options.value("--track-library").value_or(library ? library : "");
    if (const auto selected = pairs.find("--selected"); selected != pairs.end()) {
        const auto n =
            parseWholeNumber("--selected", selected->second.first, 1, kMaxCandidates + 1);
        request.selected = {static_cast<int>(n), selected->second.second};
    }
    request.smooth = readSmoothOption(options);
    // The track file records the smoothing its samples are to get: the same as the files'.
    request.keymap.smoothEndPoints = request.smooth > 0;
    request.keymap.smoothLevel = request.smooth;
    if (const auto segments = options.value("--segments")) {
        request.segments = splitSeriesName(*segments);
        if (!request.segments)
            throw std::invalid_argument("--segments needs a name like OUT.wav, OUT.aif or "
                                        "OUT.aiff, not '" +
                                        *segments + "'");
    }
    request.region = options.value("--region");
    request.whole = options.value("--whole");
    request.markers = options.value("--markers");
    if (request.markers && !isWaveFileName(*request.markers))
        throw std::invalid_argument("--markers needs a name like OUT.wav, not '" +
                                    *request.markers + "'");
    request.bank = options.value("--bank");
    const bool keyed = request.bank || request.midi || request.track;
    for (const std::string& option : keymapValuedOptions())
        if (!keyed && options.has(option))
            throw std::invalid_argument(option + " goes with --bank, --midi or --track");
    for (const std::string& flag : keymapFlags())
        if (!keyed && options.has(flag))
            throw std::invalid_argument(flag + " goes with --bank, --midi or --track");
    if (request.bank && !isBankFileName(*request.bank))
        throw std::invalid_argument("--bank needs a name like OUT.sf2, OUT.dls, OUT.gig, OUT.pbf "
                                    "or OUT.sfz, not '" +
                                    *request.bank + "'");
    return request;
}

// The channel tag of --selected: split stereo needs one channel named.
std::uint8_t selectedChannelTag(const ExportRequest& request, const SampleDocument& doc) {
    if (doc.Channels != 2 || doc.MergeChannels)
        return kChannelMonoOrRight;
    if (request.document.channel == "both")
        throw std::invalid_argument("--selected of split stereo needs --channel left or right");
    return request.document.channel == "left" ? kChannelLeftSplit : kChannelMonoOrRight;
}

BankSettings bankSettings(const ExportRequest& request, const SampleDocument& doc) {
    BankSettings settings;
    settings.keymap = request.keymap;
    settings.smoothAmount = request.smooth;
    settings.presetName = std::filesystem::path(doc.FileName).stem().string();
    settings.creationDate = soundFontDateToday();
    settings.tempo = doc.LoopTempo;
    return settings;
}

// The bank's files as the editor would plan them, within the format's limits and with a key for
// every segment; throws std::invalid_argument.
std::vector<BankFile> plannedBank(const ExportRequest& request, const SampleDocument& doc) {
    const BankFormat format = bankFormatOf(*request.bank);
    try {
        std::vector<BankFile> files = planBankFiles(doc, *request.bank, format);
        checkBankLimits(files, request.keymap, format);
        return files;
    } catch (const BankRefused& e) {
        throw std::invalid_argument("--bank: " + terminalText(e.what()));
    }
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
    if (request.markers && !sliceMarkers(doc))
        throw std::invalid_argument("--markers: no whole frame lies between the locators");
    if (request.track) {
        if (const std::string refusal = trackRefusal(doc); !refusal.empty())
            throw std::invalid_argument("--track: " + refusal);
    }
    if (request.segments && loopSegmentSeries(doc).empty())
        throw std::invalid_argument("--segments: no segment lies between the locators");
    if (request.midi) {
        if (const std::string refusal = midiTempoRefusal(doc.LoopTempo); !refusal.empty())
            throw std::invalid_argument("--midi: " + refusal);
    }
    if (request.bank)
        plannedBank(request, doc);
    return files;
}

// The name of every file the request writes, the series' and the banks' wave files too.
std::vector<std::string> outputNames(const ExportRequest& request, const SampleDocument& doc,
                                     const std::vector<PlannedFile>& files) {
    std::vector<std::string> names;
    for (const PlannedFile& file : files)
        names.push_back(file.path);
    if (request.markers)
        names.push_back(*request.markers);
    if (request.segments)
        for (const std::string& name : segmentSeriesFileNames(doc, *request.segments))
            names.push_back(name);
    if (request.midi)
        for (const std::string& name : midiTemplatePaths(doc, *request.midi))
            names.push_back(name);
    if (request.track)
        names.push_back(*request.track);
    if (request.bank)
        for (const std::string& name :
             bankOutputFiles(plannedBank(request, doc), bankFormatOf(*request.bank)))
            names.push_back(name);
    return names;
}

void reportWritten(const std::string& path, std::ostream& out) {
    out << path << ": " << std::filesystem::file_size(path) << " bytes\n";
}

// Writes the bank and says which files it wrote; false when any could not be written.
bool writeBank(const SampleDocument& doc, const ExportRequest& request, std::ostream& out,
               std::ostream& err) {
    bool ok = true;
    for (const BankFileResult& result :
         writeSoundBank(doc, *request.bank, bankSettings(request, doc))) {
        for (const std::string& wave : result.sampleFiles)
            reportWritten(wave, out);
        if (result.written) {
            reportWritten(result.fileName, out);
        } else {
            err << "tolvane: " << result.error << "\n";
            ok = false;
        }
    }
    return ok;
}

// Writes one file with `write` and says so; false when it could not be written.
bool writeReported(const std::string& path, const std::function<void()>& write, std::ostream& out,
                   std::ostream& err) {
    try {
        write();
        reportWritten(path, out);
        return true;
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

// Writes one file and says so; false when it could not be written.
bool writeFile(const SampleDocument& doc, const PlannedFile& file, std::ostream& out,
               std::ostream& err) {
    return writeReported(
        file.path,
        [&] {
            WriteSampleFile(doc, file.path, file.range.start, file.range.byteCount,
                            file.range.channelMode);
        },
        out, err);
}

// The template (one file, or one per channel of split stereo); false when one could not be
// written.
bool writeTemplate(const SampleDocument& doc, const ExportRequest& request, std::ostream& out,
                   std::ostream& err) {
    try {
        const auto files =
            midiTemplateFiles(doc, *request.midi, request.keymap, request.midiOptions);
        if (const int leftOut = writeMidiTemplates(files); leftOut > 0)
            err << "tolvane: " << leftOut
                << " notes lie above the top key (127) and were left out of the MIDI file\n";
        for (const MidiTemplateFile& file : files)
            reportWritten(file.path, out);
        return true;
    } catch (const std::exception& e) {
        err << "tolvane: " << e.what() << "\n";
        return false;
    }
}

// The track-file library, loaded before anything is written; nothing after printing why it
// cannot be used.
std::unique_ptr<SharedTrackFileLibrary> loadTrackLibrary(const ExportRequest& request,
                                                         std::ostream& err) {
    auto library = std::make_unique<SharedTrackFileLibrary>(request.trackLibrary);
    if (library->status() == TrackLibraryStatus::Loaded)
        return library;
    err << "tolvane: "
        << (library->status() == TrackLibraryStatus::CannotLoad ? kMsgTrackLibraryMissing
                                                                : kMsgTrackLibraryEntryMissing)
        << " (--track-library or TOLVANE_TRACK_LIBRARY: '" << request.trackLibrary << "'"
        << (library->error().empty() ? "" : ": " + library->error()) << ")\n";
    return nullptr;
}

// The track file, through the track-file library; false when it could not be written.
bool writeTrack(const SampleDocument& doc, const ExportRequest& request,
                SharedTrackFileLibrary& library, std::ostream& out, std::ostream& err) {
    try {
        const TrackWriteResult result =
            writeTrackFile(library, doc, request.keymap, *request.track);
        if (!result.written) {
            err << "tolvane: " << terminalText(kMsgTrackWriteFailed) << "\n";
            return false;
        }
        if (result.notesLeftOut > 0)
            err << "tolvane: " << result.notesLeftOut
                << " notes lie above the top key (127) and were left out of the track file\n";
        out << *request.track << ": written by the track-file library\n";
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
    if (const int status = prepareDocument("export", request.document, doc, out, err);
        status != kExitOk)
        return status;
    std::vector<PlannedFile> files;
    std::vector<std::string> outputs;
    try {
        files = planFiles(request, doc);
        outputs = outputNames(request, doc, files);
    } catch (const std::invalid_argument& e) {
        err << "tolvane export: " << e.what() << "\n";
        return kExitUsage;
    }
    if (const int status = checkOutputs(outputs, &request.document.file, err); status != kExitOk)
        return status;
    std::unique_ptr<SharedTrackFileLibrary> library;
    if (request.track && !(library = loadTrackLibrary(request, err)))
        return kExitCannotWrite;
    if (request.bank && request.keymap.baseNoteOnly)
        err << "tolvane export: --base-note-only does not apply to a bank: each segment gets a "
               "key of its own\n";

    bool ok = true;
    for (const PlannedFile& file : files)
        ok &= writeFile(doc, file, out, err);
    if (request.markers)
        ok &= writeReported(
            *request.markers, [&] { writeSliceMarkerFile(doc, *request.markers); }, out, err);
    if (request.segments)
        ok &= writeSeries(doc, request, out, err);
    if (request.midi)
        ok &= writeTemplate(doc, request, out, err);
    if (request.track)
        ok &= writeTrack(doc, request, *library, out, err);
    if (request.bank)
        ok &= writeBank(doc, request, out, err);
    return ok ? kExitOk : kExitCannotWrite;
}

} // namespace tolvane::cli
