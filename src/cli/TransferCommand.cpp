// `tolvane send` and `tolvane request`: the transfer window's flows from a terminal, on the
// same drivers, runs and checks, for any sampler a profile names.
#include "cli/DocumentRequest.h"
#include "cli/JobQueue.h"
#include "cli/KeymapOptions.h"
#include "cli/Tolvane.h"
#include "fileio/WaveFileWriter.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "processing/TWaveSmoother.h"
#include "samplers/BatchRun.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerDrivers.h"
#include "samplers/SamplerTypes.h"
#include "samplers/SendRun.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tolvane::cli {
namespace {

constexpr long long kMaxPosition = 32767;
constexpr auto kConnectLimit = std::chrono::seconds(60);

// The drivers' boxes and progress on the terminal; remembers whether anything failed.
class Terminal : public DriverMessages, public StatusPanel {
public:
    Terminal(const std::string& command, std::ostream& out, std::ostream& err)
        : m_command(command), m_out(out), m_err(err) {}
    void error(const std::string& text) override { say("error: " + text); }
    void warning(const std::string& text) override { say("warning: " + text); }
    void setText(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        // The percentages in between would flood a log.
        if (text != m_last && (text.find('%') == std::string::npos || text.ends_with("100%") ||
                               text.ends_with("100.00%")))
            m_out << terminalText(text) << "\n";
        m_last = text;
    }
    bool failed() const {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }

private:
    void say(const std::string& text) {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        m_err << "tolvane " << m_command << ": " << terminalText(text) << "\n";
    }
    std::string m_command;
    std::ostream& m_out;
    std::ostream& m_err;
    mutable std::mutex m_mutex;
    std::string m_last;
    bool m_failed = false;
};

const std::set<std::string> kStationValued = {"--profile", "--settings", "--scsi-sockets"};

// A profile's sampler with every port a driver may need, as the editor holds them.
class Station {
public:
    Station(const std::string& command, std::ostream& out, std::ostream& err)
        : terminal(command, out, err), m_command(command) {}

    // Nothing but false (after printing why) when the profile or its ports cannot be used.
    bool open(const Options& options, std::ostream& err) {
        const auto name = options.value("--profile");
        if (!name)
            throw std::invalid_argument("name the sampler with --profile NAME");
        const SamplerProfileStore store(
            profileStoreBeside(options.value("--settings").value_or(defaultSettingsFile())));
        std::optional<SamplerProfile> stored;
        try {
            stored = store.read(*name);
        } catch (const EProfileReadError&) {
        }
        if (!stored || stored->protocol >= kSamplerTypes.size()) {
            err << "tolvane " << m_command << ": no usable profile named '" << *name << "'\n";
            return false;
        }
        profile = *stored;
        // Only the SDS and the Yamaha samplers use MIDI.
        const bool usesMidi =
            profile.protocol <= kProtocolYamahaEx && profile.protocol != kProtocolSmdi;
        m_midi = usesMidi ? makeMidiBackendOrNone() : makeNoMidiBackend("not used");
        m_bus = makeSystemScsiBus(options.value("--scsi-sockets").value_or(""));
        m_input = std::make_unique<TMidiInput>(*m_midi, jobs.poster());
        m_input->Capacity = 4096;
        m_input->setSysexBufferSize(4096);
        m_output = std::make_unique<TMidiOutput>(*m_midi, jobs.poster());
        m_drivers = makeSamplerDrivers(*m_bus, *m_input, *m_output, jobs.poster(), &terminal);
        m_table =
            std::make_unique<SamplerDriverTable>(*m_drivers.sds, *m_drivers.smdi, *m_drivers.akai);
        return true;
    }

    // The profile's driver on `stream`, connected; nothing (after the driver's report) when
    // the sampler does not answer.
    TSamplerClass* connect(MemoryStream* stream) {
        TSamplerClass* driver =
            chooseDriver(*m_table, profile, {&terminal, stream, m_input.get(), m_output.get()});
        if (!driver)
            return nullptr;
        driver->SetSmoother(&smoother);
        driver->ClearAbort();
        bool connected = false;
        driver->Connect([this, &connected] { jobs.poster()([&connected] { connected = true; }); });
        jobs.runUntil([&] { return connected || terminal.failed(); }, kConnectLimit);
        return connected ? driver : nullptr;
    }

    JobQueue jobs;
    Terminal terminal;
    SamplerProfile profile;
    TWaveSmoother smoother;

private:
    std::string m_command;
    std::unique_ptr<MidiBackend> m_midi;
    std::unique_ptr<ScsiBus> m_bus;
    std::unique_ptr<TMidiInput> m_input;
    std::unique_ptr<TMidiOutput> m_output;
    SamplerDrivers m_drivers;
    std::unique_ptr<SamplerDriverTable> m_table;
};

int sendDocument(Station& station, TSamplerClass& driver, SendRunRequest request,
                 std::ostream& out) {
    std::optional<SendRunResult> result;
    SendRun run(
        driver, station.jobs.poster(), [] { return true; },
        [&](const SendRunResult& r) { result = r; });
    const std::size_t count = request.samples.size();
    run.start(std::move(request));
    station.jobs.runUntil([&] { return result.has_value(); });
    if (result->aborted || station.terminal.failed())
        return kExitUnavailable;
    out << "sent " << result->samplesSent << " of " << count << " samples\n";
    return kExitOk;
}

int sendBatch(Station& station, TSamplerClass& driver, BatchRequest request, std::ostream& out,
              std::ostream& err) {
    for (const std::string& file : request.files)
        if (const BatchFileProblem problem = batchFileProblem(file);
            problem != BatchFileProblem::None) {
            err << "tolvane send: " << terminalText(batchAddMessage(problem, file)) << "\n";
            return problem == BatchFileProblem::Corrupted ? kExitWrongFormat : kExitUnreadable;
        }
    std::optional<BatchResult> result;
    BatchRun batch(driver, station.jobs.poster(), [&](const BatchResult& r) { result = r; });
    batch.start(std::move(request));
    station.jobs.runUntil([&] { return result.has_value(); });
    if (!result->error.empty())
        err << "tolvane send: " << terminalText(result->error) << "\n";
    if (result->aborted || !result->error.empty() || station.terminal.failed())
        return kExitUnavailable;
    out << "sent " << result->filesSent << " files\n";
    return kExitOk;
}

} // namespace

int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = kStationValued;
    valued.insert({"--position", "--smooth"});
    valued.insert(keymapValuedOptions().begin(), keymapValuedOptions().end());
    std::set<std::string> flags = {"--segments", "--region", "--whole", "--automap", "--batch"};
    flags.insert(keymapFlags().begin(), keymapFlags().end());
    Station station("send", out, err);
    OptionPairs pairs;
    int position = 0;
    bool batch = false;
    KeymapSettings keymap;
    std::optional<DocumentRequest> documentRequest;
    std::vector<std::string> files;
    try {
        const Options options = readDocumentCommand(args, {}, valued, flags, pairs);
        position = static_cast<int>(options.wholeNumber("--position", 0, kMaxPosition).value_or(0));
        batch = options.has("--batch");
        const int modes = int(options.has("--segments")) + int(options.has("--region")) +
                          int(options.has("--whole"));
        if (modes > 1 || (batch && modes > 0))
            throw std::invalid_argument("give one of --segments, --region, --whole or --batch");
        keymap = readKeymapOptions(options);
        keymap.smoothLevel = static_cast<int>(options.wholeNumber("--smooth", 0, 60).value_or(30));
        keymap.smoothEndPoints =
            !options.has("--region") && !options.has("--whole") && !batch && keymap.smoothLevel > 0;
        if (batch) {
            files = options.positional();
            if (files.empty())
                throw std::invalid_argument("no files to send");
        } else {
            documentRequest = readDocumentRequest(options, pairs);
        }
        if (!station.open(options, err))
            return kExitBadProfile;
        const bool autoMap = options.has("--automap");
        const int protocol = station.profile.protocol;
        const int first = position + station.profile.offset;
        station.smoother.enabled = keymap.smoothEndPoints;
        station.smoother.amount = keymap.smoothLevel;
        if (batch) {
            TSamplerClass* driver = station.connect(nullptr);
            if (!driver)
                return kExitUnavailable;
            BatchRequest request{protocol, first, autoMap && protocol != kProtocolSds, keymap,
                                 files};
            return sendBatch(station, *driver, std::move(request), out, err);
        }
        SampleDocument doc;
        if (const int status = prepareDocument("send", *documentRequest, doc, out, err);
            status != kExitOk)
            return status;
        TSamplerClass* driver = station.connect(&doc.SampleData);
        if (!driver)
            return kExitUnavailable;
        SendRunRequest request;
        request.protocol = protocol;
        request.source = sendSourceOf(doc, doc.FirstChannel == 2 && doc.LastChannel == 2 ? 2 : 1);
        request.region = options.has("--region") || options.has("--whole");
        if (options.has("--whole")) {
            doc.LocatorL = 0;
            doc.LocatorR = static_cast<std::uint32_t>(doc.DataLength);
        }
        request.samples = request.region
                              ? std::vector<OutgoingSample>{regionSampleToSend(doc, request.source)}
                              : loopSamplesToSend(doc, request.source);
        request.firstSampleNumber = first;
        request.baseName = transferBaseName(doc.FileName);
        request.fileName = doc.FileName;
        request.sampleRate = doc.SampleRate;
        request.sourceChannels = doc.Channels;
        request.autoMap = autoMap && protocol >= kProtocolYamahaA3000 &&
                          !samplesExceedNotes(keymap, static_cast<int>(request.samples.size()));
        if (autoMap && !request.autoMap && protocol >= kProtocolYamahaA3000)
            err << "tolvane send: " << terminalText(kMsgSamplesExceedNotes)
                << "; the samples go without mapping\n";
        request.keymap = keymap;
        return sendDocument(station, *driver, std::move(request), out);
    } catch (const std::invalid_argument& e) {
        err << "tolvane send: " << e.what() << "\n";
        return kExitUsage;
    }
}

int runRequest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = kStationValued;
    valued.insert("--position");
    Station station("request", out, err);
    try {
        const Options options(args, valued, {"--wait", "--round-rate"});
        if (options.positional().size() != 1)
            throw std::invalid_argument("expected one output file");
        const std::string target = options.positional().front();
        const int position =
            static_cast<int>(options.wholeNumber("--position", 0, kMaxPosition).value_or(0));
        if (!station.open(options, err))
            return kExitBadProfile;
        MemoryStream received;
        TSamplerClass* driver = station.connect(&received);
        if (!driver)
            return kExitUnavailable;
        // "Wait For Send": the sampler starts the dump itself.
        const int number =
            position + station.profile.offset + (options.has("--wait") ? kWaitForSendOffset : 0);
        std::optional<ReceivedFormat> format;
        driver->ReceiveSample(number, [&station, &format](const ReceivedFormat& f) {
            station.jobs.poster()([&format, f] { format = f; });
        });
        station.jobs.runUntil([&] { return format.has_value(); });
        const ReceivedCheck check =
            checkReceivedSample(*format, received.size(), options.has("--round-rate"));
        if (!check.sample) {
            if (format->lengthBytes != 0 || !station.terminal.failed())
                err << "tolvane request: " << check.error << "\n";
            return kExitUnavailable;
        }
        const ReceivedSample& sample = *check.sample;
        std::uint32_t written = 0;
        writeSampleStream(target, sample.channels, sample.rate, sample.lengthBytes,
                          [&](std::uint8_t* block, std::size_t capacity) {
                              const std::size_t n =
                                  std::min<std::size_t>(capacity, sample.lengthBytes - written);
                              std::copy_n(received.data() + written, n, block);
                              written += static_cast<std::uint32_t>(n);
                              return n;
                          });
        const std::string name = driver->GetReceivedName();
        out << "received " << (name.empty() ? std::string("a sample") : "'" + name + "'") << ": "
            << sample.lengthBytes / (2u * sample.channels) << " frames, " << sample.channels
            << (sample.channels == 2 ? " channels, " : " channel, ") << sample.rate << " Hz\n";
        return kExitOk;
    } catch (const std::invalid_argument& e) {
        err << "tolvane request: " << e.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        err << "tolvane request: " << e.what() << "\n";
        return kExitCannotWrite;
    }
}

} // namespace tolvane::cli
