#include "cli/SamplerStation.h"

#include "cli/Tolvane.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "samplers/AkaiS2000Protocol.h"
#include "samplers/ProfileStore.h"
#include "samplers/TransferRuns.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace tolvane::cli {
namespace {

bool usesMidi(int protocol) {
    return protocol == kProtocolSds || protocol == kProtocolYamahaA3000 ||
           protocol == kProtocolYamahaEx;
}

bool usesScsi(int protocol) {
    return protocol != kProtocolSds;
}

// The size column of the request window: words of one channel.
std::string sizeText(std::uint32_t lengthWords) {
    const std::uint64_t words = lengthWords;
    return words > 1023 ? std::to_string(words / 1024 * 2) + "kb"
                        : std::to_string(words * 2) + " bytes";
}

} // namespace

const std::set<std::string>& samplerOptions() {
    static const std::set<std::string> names{"--profile", "--settings", "--socket",
                                             "--target",  "--port",     "--scsi-sockets"};
    return names;
}

// The drivers' boxes and progress on the terminal; remembers whether a box was shown.
class SamplerStation::Terminal : public DriverMessages, public StatusPanel {
public:
    Terminal(const std::string& command, std::ostream& out, std::ostream& err)
        : m_command(command), m_out(out), m_err(err) {}
    void error(const std::string& text) override { say("error: " + text); }
    void warning(const std::string& text) override { say("warning: " + text); }
    // The commands say what they did; of the progress only each end is printed, since the
    // steps in between would flood a log.
    void setText(const std::string&) override {}
    void setProgress(const TransferProgress& progress) override {
        std::lock_guard lock(m_mutex);
        if (progress.finished())
            m_out << terminalText(progress.text) << "\n";
    }
    bool failed() const {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }
    void say(const std::string& text) {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        m_err << "tolvane " << m_command << ": " << terminalText(text) << "\n";
    }

private:
    std::string m_command;
    std::ostream& m_out;
    std::ostream& m_err;
    mutable std::mutex m_mutex;
    bool m_failed = false;
};

SamplerStation::SamplerStation(std::string command, std::ostream& out, std::ostream& err)
    : m_command(std::move(command)), m_out(out), m_err(err),
      m_terminal(std::make_unique<Terminal>(m_command, out, err)) {}

SamplerStation::~SamplerStation() {
    *m_alive = false;
    // The drivers go before the ports and the bus they use.
    m_table.reset();
    m_drivers = {};
}

int SamplerStation::open(const Options& options, const std::vector<int>& types,
                         std::optional<int> type) {
    const auto name = options.value("--profile");
    const auto socket = options.value("--socket");
    const auto target = options.value("--target");
    const auto port = options.value("--port");
    if (socket && target)
        throw std::invalid_argument("give --socket PATH or --target ADAPTOR:ID, not both");
    std::optional<std::pair<int, int>> scsiTarget;
    if (target) {
        const std::size_t colon = target->find(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("--target wants ADAPTOR:ID");
        scsiTarget = {
            static_cast<int>(parseWholeNumber("--target", target->substr(0, colon), 0, 254)),
            static_cast<int>(parseWholeNumber("--target", target->substr(colon + 1), 0, 7))};
    }
    const auto allowed = [&](int protocol) {
        return types.empty() || std::find(types.begin(), types.end(), protocol) != types.end();
    };

    if (name) {
        const SamplerProfileStore store(
            profileStoreBeside(options.value("--settings").value_or(defaultSettingsFile())));
        std::optional<SamplerProfile> stored;
        try {
            stored = store.read(*name);
        } catch (const EProfileReadError& e) {
            m_terminal->say(e.what());
            return kExitBadProfile;
        }
        if (!stored) {
            m_terminal->say("no profile named '" + printableProfileName(*name) + "'");
            return kExitBadProfile;
        }
        profile = *stored;
        if (!type && !allowed(profile.protocol)) {
            m_terminal->say("the profile '" + printableProfileName(*name) + "' is for \"" +
                            kSamplerTypes[profile.protocol].text + "\"");
            return kExitBadProfile;
        }
    } else {
        if (!type)
            throw std::invalid_argument("name the sampler with --profile NAME");
        if (usesScsi(*type) && !socket && !target)
            throw std::invalid_argument("name the sampler with --profile NAME, --socket PATH or "
                                        "--target ADAPTOR:ID");
        profile = SamplerProfile{};
    }
    if (type)
        profile.protocol = static_cast<std::uint8_t>(*type);

    if (socket) {
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({*socket}));
        m_bus = std::make_unique<ScsiBus>(std::move(adaptors));
        profile.adaptor = 0;
        profile.target = 0;
        profile.scsiInUse = 1;
    } else {
        m_bus = makeSystemScsiBus(options.value("--scsi-sockets").value_or(""));
        if (scsiTarget) {
            profile.adaptor = static_cast<std::uint8_t>(scsiTarget->first);
            profile.target = static_cast<std::uint8_t>(scsiTarget->second);
            profile.scsiInUse = 1;
        }
    }

    if (usesMidi(profile.protocol)) {
        try {
            m_midi = makeRtMidiBackend();
        } catch (const MidiBackendError& e) {
            if (profile.protocol == kProtocolSds) {
                m_terminal->say(e.what());
                return kExitUnavailable;
            }
            // The Yamaha samplers take their samples over SCSI; only the keymap needs MIDI.
            m_midi = makeNoMidiBackend(e.what());
        }
    } else {
        m_midi = makeNoMidiBackend("not used");
    }
    try {
        m_input = std::make_unique<TMidiInput>(*m_midi, m_jobs.poster());
        m_input->Capacity = 4096;
        m_input->setSysexBufferSize(4096);
        m_output = std::make_unique<TMidiOutput>(*m_midi, m_jobs.poster());
    } catch (const std::exception& e) {
        m_terminal->say(e.what());
        return kExitUnavailable;
    }
    if (port) {
        const auto in = findPortByName(m_input->devices(), *port);
        const auto out = findPortByName(m_output->devices(), *port);
        if (!out) {
            m_terminal->say("no MIDI output port named '" + *port + "' (tolvane ports lists them)");
            return kExitUnavailable;
        }
        // A port that only takes messages serves an open loop; the handshake says why not.
        profile.midiInput = in ? static_cast<std::uint8_t>(*in) : SamplerProfile::kNothingSelected;
        profile.midiOutput = static_cast<std::uint8_t>(*out);
        profile.midiOutputInUse = 1;
    }
    m_drivers = makeSamplerDrivers(*m_bus, *m_input, *m_output, m_jobs.poster(), m_terminal.get());
    m_table =
        std::make_unique<SamplerDriverTable>(*m_drivers.sds, *m_drivers.smdi, *m_drivers.akai);
    return kExitOk;
}

bool SamplerStation::choose(MemoryStream* stream) {
    m_driver =
        chooseDriver(*m_table, profile, {m_terminal.get(), stream, m_input.get(), m_output.get()});
    if (!m_driver) {
        m_terminal->say("the profile's sampler type " + std::to_string(profile.protocol) +
                        " is not known");
        return false;
    }
    m_driver->SetSmoother(&smoother);
    m_driver->ClearAbort();
    return true;
}

int SamplerStation::ended(const TransferOutcome& outcome) {
    if (outcome.completed())
        return kExitOk;
    // The driver has said why, unless it had nothing to say.
    if (!m_terminal->failed()) {
        std::string text = outcome.message;
        if (text.empty())
            text = outcome.kind == TransferOutcome::Kind::StoppedBySampler
                       ? "the sampler stopped the transfer"
                   : outcome.kind == TransferOutcome::Kind::CancelledByUser
                       ? "the transfer was cancelled"
                       : "the transfer failed";
        m_terminal->say(text);
    }
    return kExitUnavailable;
}

int SamplerStation::send(SampleDocument& doc, SendRunRequest request) {
    if (!choose(&doc.SampleData))
        return kExitBadProfile;
    const std::size_t count = request.samples.size();
    const bool mapping = request.autoMap && !request.region;
    const KeymapSettings keymap = request.keymap;
    std::optional<SendRunResult> result;
    std::optional<TransferOutcome> notConnected;
    SendRun run(
        *m_driver, m_jobs.poster(), [] { return true; },
        [&](const SendRunResult& r) { result = r; });
    connectDriver(
        *m_driver, m_jobs.poster(), m_alive, [&run, &request] { run.start(std::move(request)); },
        [&](const TransferOutcome& outcome) { notConnected = outcome; });
    m_jobs.runUntil([&] { return result || notConnected; });
    if (notConnected)
        return ended(*notConnected);
    for (const SentSample& sample : result->sent) {
        m_out << "sent: " << sample.name;
        if (profile.protocol != kProtocolAkai) // the S2000 takes the next free slot
            m_out << " as sample " << sample.number;
        if (sample.rootKey != 0)
            m_out << " on key " << int(sample.rootKey);
        m_out << "\n";
    }
    m_out << "sent " << result->samplesSent << " of " << count << " samples\n";
    if (mapping && result->outcome.completed()) {
        if (profile.protocol == kProtocolAkai)
            m_out << "program: " << akai::decodeName(akai::encodeName(keymap.bankName).data())
                  << " with " << result->samplesSent << " keygroups\n";
        else if (profile.protocol != kProtocolEmu)
            m_out << "keymap: " << result->samplesSent << " samples from key " << keymap.baseNote()
                  << "\n";
    }
    return ended(result->outcome);
}

int SamplerStation::sendFiles(BatchRequest request) {
    for (const std::string& file : request.files)
        if (const BatchFileProblem problem = batchFileProblem(file);
            problem != BatchFileProblem::None) {
            m_err << "tolvane " << m_command << ": " << terminalText(batchAddMessage(problem, file))
                  << "\n";
            return problem == BatchFileProblem::Corrupted ? kExitWrongFormat : kExitUnreadable;
        }
    if (!choose(nullptr))
        return kExitBadProfile;
    std::optional<BatchResult> result;
    std::optional<TransferOutcome> notConnected;
    BatchRun batch(*m_driver, m_jobs.poster(), [&](const BatchResult& r) { result = r; });
    connectDriver(
        *m_driver, m_jobs.poster(), m_alive, [&batch, &request] { batch.start(request); },
        [&](const TransferOutcome& outcome) { notConnected = outcome; });
    m_jobs.runUntil([&] { return result || notConnected; });
    if (notConnected)
        return ended(*notConnected);
    if (!result->error.empty())
        m_terminal->say(result->error);
    m_out << "sent " << result->filesSent << " files\n";
    return ended(result->outcome);
}

int SamplerStation::receive(int number, const std::string& file, bool roundRate) {
    if (!choose(nullptr))
        return kExitBadProfile;
    std::optional<ReceiveResult> result;
    ReceiveRun run(*m_driver, m_jobs.poster(), [&](const ReceiveResult& r) { result = r; });
    run.start(number, true, nullptr);
    m_jobs.runUntil([&] { return result.has_value(); });
    if (const int status = ended(result->outcome); status != kExitOk)
        return status;
    const ReceivedCheck check =
        checkReceivedSample(result->format, run.received().size(), roundRate);
    if (!check.sample) {
        m_terminal->say(check.error);
        return kExitUnavailable;
    }
    const ReceivedSample& sample = *check.sample;
    SampleDocument doc = receivedDocument(run.received(), sample);
    m_out << "received "
          << (result->name.empty() ? std::string("a sample") : "'" + result->name + "'") << ": "
          << sample.lengthBytes / (2u * sample.channels) << " frames, " << sample.channels
          << (sample.channels == 2 ? " channels, " : " channel, ") << sample.rate << " Hz\n";
    return writeWholeDocument(doc, file, m_out, m_err);
}

int SamplerStation::list() {
    if (!choose(nullptr))
        return kExitBadProfile;
    std::optional<ListResult> result;
    ListRun run(*m_driver, m_jobs.poster(), {}, [&](const ListResult& r) { result = r; });
    run.start();
    m_jobs.runUntil([&] { return result.has_value(); });
    if (result->samples.empty() && result->outcome.completed())
        m_out << "no samples\n";
    for (const ListedSample& row : result->samples) {
        const SampleDirectoryEntry entry =
            static_cast<std::size_t>(row.number) < result->directory.size()
                ? result->directory[static_cast<std::size_t>(row.number)]
                : SampleDirectoryEntry{};
        m_out << row.number << "\t" << row.name << "\t" << sizeText(entry.lengthWords) << "\t"
              << int(entry.bitsPerWord) << "\t" << (entry.channels == 2 ? "stereo" : "mono") << "\t"
              << entry.rate << " Hz\n";
    }
    return ended(result->outcome);
}

} // namespace tolvane::cli
