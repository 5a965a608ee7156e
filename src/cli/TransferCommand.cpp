// The transfer commands: `tolvane send` and `tolvane request` for the sampler of any profile,
// and `tolvane smdi|akai|sds`, option front-ends for one kind of sampler. All of them are the
// transfer windows' runs on the editor's drivers, through one reader of the sampler options.
#include "cli/DocumentRequest.h"
#include "cli/KeymapOptions.h"
#include "cli/SamplerStation.h"
#include "cli/Tolvane.h"
#include "samplers/TSDSDriver.h"

#include <filesystem>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxPosition = 32767;

std::set<std::string> withSamplerOptions(std::set<std::string> valued) {
    valued.insert(samplerOptions().begin(), samplerOptions().end());
    return valued;
}

std::set<std::string> withKeymap(std::set<std::string> names, const std::set<std::string>& more) {
    names.insert(more.begin(), more.end());
    return names;
}

// The segments between the locators, the last one ending at the right locator. A stereo
// sample goes as stereo when the sampler takes it (`stereo`), else as the channels the request
// names (split stereo: those of the channel choice; merged: --channel, left unless right).
struct Segments {
    SendSource source;
    std::vector<OutgoingSample> samples;
};

Segments segmentsToSend(const SampleDocument& doc, const std::string& channel, bool stereo) {
    if (doc.Channels != 2)
        return {{false, 1}, loopSamplesToSend(doc, {false, 1})};
    if (doc.MergeChannels) {
        const SendSource both{true, 1};
        std::vector<OutgoingSample> samples = loopSamplesToSend(doc, both);
        if (stereo)
            return {both, samples};
        const bool right = channel == "right";
        for (OutgoingSample& sample : samples)
            sample.startOffset += right ? 2 : 0;
        return {{false, right ? 2 : 1}, samples};
    }
    Segments segments{{false, doc.FirstChannel}, {}};
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c) {
        const auto part = loopSamplesToSend(doc, sendSourceOf(doc, c));
        segments.samples.insert(segments.samples.end(), part.begin(), part.end());
    }
    return segments;
}

// The whole sample as one: both channels together, or one (`channel` 1 or 2) of stereo.
Segments wholeSample(SampleDocument& doc, int channel) {
    doc.LocatorL = 0;
    doc.LocatorR = static_cast<std::uint32_t>(std::max(doc.DataLength, 0));
    const SendSource source = doc.Channels == 2 && channel == 0
                                  ? SendSource{true, 1}
                                  : SendSource{false, channel ? channel : 1};
    return {source, {regionSampleToSend(doc, source)}};
}

SendRunRequest sendRequest(const SampleDocument& doc, const SamplerStation& station,
                           const Segments& segments, bool region, int position) {
    SendRunRequest request;
    request.protocol = station.profile.protocol;
    request.region = region;
    request.source = segments.source;
    request.samples = segments.samples;
    request.firstSampleNumber = position + station.profile.offset;
    request.baseName = transferBaseName(doc.FileName);
    request.fileName = doc.FileName;
    request.sampleRate = doc.SampleRate;
    request.sourceChannels = doc.Channels;
    return request;
}

// Keys and a keymap for the samplers that take them, when they fit.
void mapIfAsked(SendRunRequest& request, bool autoMap, const KeymapSettings& keymap,
                std::ostream& err, const std::string& command) {
    request.keymap = keymap;
    request.autoMap = autoMap && request.protocol >= kProtocolYamahaA3000 &&
                      !samplesExceedNotes(keymap, static_cast<int>(request.samples.size()));
    if (autoMap && !request.autoMap && request.protocol >= kProtocolYamahaA3000)
        err << "tolvane " << command << ": " << terminalText(kMsgSamplesExceedNotes)
            << "; the samples go without mapping\n";
}

// Segments are smoothed as the keymap settings say; a region or a whole sample never is.
void smoothSegments(SamplerStation& station, bool segments, int level) {
    station.smoother.enabled = segments && level > 0;
    station.smoother.amount = level;
}

int sendSegments(SamplerStation& station, const DocumentRequest& documentRequest,
                 const std::string& command, int position, bool stereo, bool autoMap,
                 const KeymapSettings& keymap, std::ostream& out, std::ostream& err) {
    SampleDocument doc;
    if (const int status = prepareDocument(command, documentRequest, doc, out, err);
        status != kExitOk)
        return status;
    const Segments segments = segmentsToSend(doc, documentRequest.channel, stereo);
    if (segments.samples.empty()) {
        err << "tolvane " << command << ": no segment lies between the locators\n";
        return kExitUsage;
    }
    SendRunRequest request = sendRequest(doc, station, segments, false, position);
    mapIfAsked(request, autoMap, keymap, err, command);
    return station.send(doc, std::move(request));
}

int sendWhole(SamplerStation& station, const std::string& file, int channel, int position,
              const std::optional<std::string>& name, std::ostream& out, std::ostream& err,
              bool convert = false) {
    SampleDocument doc;
    if (const int status = openDocument(file, doc, out, err, convert); status != kExitOk)
        return status;
    if (channel == 2 && doc.Channels != 2)
        throw std::invalid_argument(file + " has one channel");
    SendRunRequest request = sendRequest(doc, station, wholeSample(doc, channel), true, position);
    if (name)
        request.baseName = *name;
    return station.send(doc, std::move(request));
}

int requireOne(const Options& options, const char* what) {
    if (options.positional().size() != 1)
        throw std::invalid_argument(std::string("expected ") + what);
    return 0;
}

} // namespace

int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::set<std::string> valued =
        withSamplerOptions(withKeymap({"--position", "--smooth"}, keymapValuedOptions()));
    const std::set<std::string> flags =
        withKeymap({"--segments", "--region", "--whole", "--automap", "--batch"}, keymapFlags());
    SamplerStation station("send", out, err);
    try {
        OptionPairs pairs;
        const Options options = readDocumentCommand(args, {}, valued, flags, pairs);
        const bool batch = options.has("--batch");
        const int modes = int(options.has("--segments")) + int(options.has("--region")) +
                          int(options.has("--whole"));
        if (modes > 1 || (batch && modes > 0))
            throw std::invalid_argument("give one of --segments, --region, --whole or --batch");
        KeymapSettings keymap = readKeymapOptions(options);
        const int level = readSmoothOption(options);
        std::optional<DocumentRequest> documentRequest;
        if (batch && options.positional().empty())
            throw std::invalid_argument("no files to send");
        if (!batch)
            documentRequest = readDocumentRequest(options, pairs);
        if (const int status = station.open(options, {}, std::nullopt); status != kExitOk)
            return status;
        const int position =
            static_cast<int>(options.wholeNumber("--position", 0, kMaxPosition).value_or(0));
        const bool autoMap = options.has("--automap");
        const int protocol = station.profile.protocol;
        if (batch) {
            // The batch window keeps its own smoothing, off unless asked for.
            station.smoother.enabled = options.has("--smooth") && level > 0;
            station.smoother.amount = level;
            return station.sendFiles({protocol, position + station.profile.offset,
                                      autoMap && protocol != kProtocolSds, keymap,
                                      options.positional()});
        }
        const bool segments = !options.has("--region") && !options.has("--whole");
        smoothSegments(station, segments, level);
        if (segments)
            return sendSegments(station, *documentRequest, "send", position,
                                protocol != kProtocolAkai, autoMap, keymap, out, err);
        SampleDocument doc;
        if (const int status = prepareDocument("send", *documentRequest, doc, out, err);
            status != kExitOk)
            return status;
        if (options.has("--whole")) {
            doc.LocatorL = 0;
            doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
        }
        const SendSource source =
            sendSourceOf(doc, doc.FirstChannel == 2 && doc.LastChannel == 2 ? 2 : 1);
        SendRunRequest request =
            sendRequest(doc, station, {source, {regionSampleToSend(doc, source)}}, true, position);
        return station.send(doc, std::move(request));
    } catch (const std::invalid_argument& e) {
        err << "tolvane send: " << e.what() << "\n";
        return kExitUsage;
    }
}

int runRequest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SamplerStation station("request", out, err);
    try {
        const Options options(args, withSamplerOptions({"--position"}), {"--wait", "--round-rate"});
        requireOne(options, "one output file");
        if (const int status = station.open(options, {}, std::nullopt); status != kExitOk)
            return status;
        const int position =
            static_cast<int>(options.wholeNumber("--position", 0, kMaxPosition).value_or(0));
        // "Wait For Send": the sampler starts the dump itself.
        const int number =
            position + station.profile.offset + (options.has("--wait") ? kWaitForSendOffset : 0);
        return station.receive(number, options.positional().front(), options.has("--round-rate"));
    } catch (const std::invalid_argument& e) {
        err << "tolvane request: " << e.what() << "\n";
        return kExitUsage;
    }
}

int runSmdi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SamplerStation station("smdi", out, err);
    try {
        const std::string action = args.empty() ? "" : args[0];
        if (action != "list" && action != "send" && action != "receive")
            throw std::invalid_argument("expected list, send FILE or receive NUMBER OUT");
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        const std::set<std::string> valued = withSamplerOptions(
            withKeymap({"--protocol", "--number", "--name", "--smooth"}, keymapValuedOptions()));
        const std::set<std::string> flags =
            withKeymap({"--split-stereo", "--segments"}, keymapFlags());
        OptionPairs pairs;
        const Options options = action == "send"
                                    ? readDocumentCommand(rest, {}, valued, flags, pairs)
                                    : Options(rest, withSamplerOptions({"--protocol"}), {});
        std::optional<int> type;
        if (const auto protocol = options.wholeNumber("--protocol", 1, 4))
            type = static_cast<int>(*protocol);
        else if (!options.has("--profile"))
            type = kProtocolSmdi;
        const std::vector<std::string>& words = options.positional();
        if (action == "list" && !words.empty())
            throw std::invalid_argument("list takes no arguments");
        if (action == "receive" && words.size() != 2)
            throw std::invalid_argument("receive wants NUMBER OUT");
        if (action == "receive")
            parseWholeNumber("NUMBER", words[0], 0, 0xFFFFFF);
        const std::optional<DocumentRequest> documentRequest =
            action == "send" ? std::optional(readDocumentRequest(options, pairs)) : std::nullopt;
        if (const int status = station.open(
                options, {kProtocolSmdi, kProtocolYamahaA3000, kProtocolYamahaEx, kProtocolEmu},
                type);
            status != kExitOk)
            return status;
        if (action == "list")
            return station.list();
        if (action == "receive")
            return station.receive(
                static_cast<int>(parseWholeNumber("NUMBER", words[0], 0, 0xFFFFFF)), words[1],
                false);
        // Without --number the sample goes to the sampler type's first number (1 on E-mu).
        const int number =
            static_cast<int>(options.wholeNumber("--number", 0, 0xFFFFFF)
                                 .value_or(sampleNumberRange(station.profile.protocol).first));
        const bool segments = options.has("--segments");
        smoothSegments(station, segments, readSmoothOption(options));
        if (segments) {
            const bool yamaha = station.profile.protocol == kProtocolYamahaA3000 ||
                                station.profile.protocol == kProtocolYamahaEx;
            const DocumentRequest& request = *documentRequest;
            SampleDocument doc;
            if (const int status = prepareDocument("smdi", request, doc, out, err);
                status != kExitOk)
                return status;
            const Segments parts = segmentsToSend(doc, request.channel, true);
            if (parts.samples.empty())
                throw std::invalid_argument("--segments: no segment lies between the locators");
            SendRunRequest run = sendRequest(doc, station, parts, false, number);
            run.firstSampleNumber = number; // the number given, as listed
            if (const auto name = options.value("--name"))
                run.baseName = *name;
            mapIfAsked(run, yamaha, readKeymapOptions(options), err, "smdi");
            return station.send(doc, std::move(run));
        }
        SampleDocument doc;
        if (const int status =
                openDocument(documentRequest->file, doc, out, err, documentRequest->convert);
            status != kExitOk)
            return status;
        const std::string name = options.value("--name").value_or(
            std::filesystem::path(documentRequest->file).stem().string());
        Segments whole = wholeSample(doc, 0);
        if (options.has("--split-stereo") && doc.Channels == 2) {
            const OutgoingSample both = whole.samples.front();
            whole = {{false, 1}, {both, {both.startOffset + 2, both.lengthBytes}}};
        }
        SendRunRequest run = sendRequest(doc, station, whole, true, number);
        run.firstSampleNumber = number;
        run.baseName = name;
        return station.send(doc, std::move(run));
    } catch (const std::invalid_argument& e) {
        err << "tolvane smdi: " << e.what() << "\n";
        return kExitUsage;
    }
}

int runAkai(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SamplerStation station("akai", out, err);
    try {
        const std::string action = args.empty() ? "" : args[0];
        if (action != "list" && action != "send" && action != "receive")
            throw std::invalid_argument("expected list, send FILE or receive NUMBER OUT");
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        OptionPairs pairs;
        const Options options =
            action == "send"
                ? readDocumentCommand(
                      rest, {}, withSamplerOptions(withKeymap({"--smooth"}, keymapValuedOptions())),
                      withKeymap({"--no-program"}, keymapFlags()), pairs)
                : Options(rest, samplerOptions(), {});
        const std::vector<std::string>& words = options.positional();
        if (action == "list" && !words.empty())
            throw std::invalid_argument("list takes no file");
        if (action == "receive" && words.size() != 2)
            throw std::invalid_argument("expected receive NUMBER OUT");
        if (action == "receive")
            parseWholeNumber("NUMBER", words[0], 0, 16383);
        const std::optional<DocumentRequest> documentRequest =
            action == "send" ? std::optional(readDocumentRequest(options, pairs)) : std::nullopt;
        const KeymapSettings keymap =
            action == "send" ? readKeymapOptions(options) : KeymapSettings{};
        const std::optional<int> type =
            options.has("--profile") ? std::nullopt : std::optional(kProtocolAkai);
        if (const int status = station.open(options, {kProtocolAkai}, type); status != kExitOk)
            return status;
        if (action == "list")
            return station.list();
        if (action == "receive")
            return station.receive(static_cast<int>(parseWholeNumber("NUMBER", words[0], 0, 16383)),
                                   words[1], false);
        smoothSegments(station, true, readSmoothOption(options));
        return sendSegments(station, *documentRequest, "akai", 0, false,
                            !options.has("--no-program"), keymap, out, err);
    } catch (const std::invalid_argument& e) {
        err << "tolvane akai: " << e.what() << "\n";
        return kExitUsage;
    }
}

int runSds(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SamplerStation station("sds", out, err);
    try {
        const Options options(args, withSamplerOptions({"--id", "--sample", "--channel"}),
                              {"--open-loop", "--convert"});
        const auto& words = options.positional();
        if (words.size() != 2 || (words[0] != "send" && words[0] != "receive"))
            throw std::invalid_argument("expected send FILE or receive OUT");
        const bool sending = words[0] == "send";
        // Receiving from kWaitForSendBase on waits for the sampler to start the dump itself.
        const long long maxSample = sending ? 16383 : kWaitForSendBase + 16383;
        const auto sample = options.wholeNumber("--sample", 0, maxSample);
        const auto id = options.wholeNumber("--id", 1, 16);
        int channel = 1;
        if (const auto choice = options.value("--channel")) {
            if (*choice != "L" && *choice != "R")
                throw std::invalid_argument("--channel: expected L or R");
            channel = *choice == "R" ? 2 : 1;
        }
        const std::optional<int> type =
            options.has("--profile") ? std::nullopt : std::optional(kProtocolSds);
        if (const int status = station.open(options, {kProtocolSds}, type); status != kExitOk)
            return status;
        if (id)
            station.profile.channel = static_cast<std::uint8_t>(*id);
        if (options.has("--open-loop"))
            station.profile.openLoop = 1;
        if (!sending)
            return station.receive(static_cast<int>(sample.value_or(0)), words[1], false);
        const int status =
            sendWhole(station, words[1], channel, static_cast<int>(sample.value_or(0)),
                      std::nullopt, out, err, options.has("--convert"));
        if (auto* sds = dynamic_cast<TSDSDriver*>(station.driver()); sds && status == kExitOk) {
            const SdsTransferReport report = sds->lastReport();
            out << "sent " << report.words << " words in " << report.packets << " packets"
                << (report.openLoop ? " without handshake" : "") << ", " << report.resends
                << " sent again\n";
        }
        return status;
    } catch (const std::invalid_argument& e) {
        err << "tolvane sds: " << e.what() << "\n";
        return kExitUsage;
    }
}

} // namespace tolvane::cli
