// `tolvane akai list|send|receive`: an S2000-family sampler over SCSI, through the same driver
// the editor uses.
#include "cli/DocumentRequest.h"
#include "cli/KeymapOptions.h"
#include "cli/Tolvane.h"
#include "fileio/WaveFileWriter.h"
#include "platform/ScsiBus.h"
#include "processing/TWaveSmoother.h"
#include "samplers/AkaiS2000Protocol.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "samplers/TAkaiS2000Driver.h"
#include "slicing/LoopSegments.h"

#include <mutex>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr int kAkaiProtocol = 5; // "Akai S2000 / S3000XL / S3200XL SCSI"

// Where the sampler is: a bus and an adaptor and target on it.
struct Connection {
    std::unique_ptr<ScsiBus> bus;
    SamplerProfile profile;
};

struct TargetOptions {
    std::optional<std::string> profile;
    std::string settings;
    std::optional<std::string> socket;
    std::optional<std::string> target; // "ADAPTOR:ID"
    std::string sockets;               // extra socket targets of the system bus
};

const std::set<std::string> kTargetValued = {"--profile", "--settings", "--socket", "--target",
                                             "--scsi-sockets"};

TargetOptions readTarget(const Options& options) {
    TargetOptions t;
    t.profile = options.value("--profile");
    t.settings = options.value("--settings").value_or(defaultSettingsFile());
    t.socket = options.value("--socket");
    t.target = options.value("--target");
    t.sockets = options.value("--scsi-sockets").value_or("");
    const int given =
        int(t.profile.has_value()) + int(t.socket.has_value()) + int(t.target.has_value());
    if (given != 1)
        throw std::invalid_argument("give one of --profile NAME, --socket PATH or --target "
                                    "ADAPTOR:ID");
    if (t.target) {
        const std::size_t colon = t.target->find(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("--target wants ADAPTOR:ID");
        parseWholeNumber("--target", t.target->substr(0, colon), 0, 254);
        parseWholeNumber("--target", t.target->substr(colon + 1), 0, 7);
    }
    return t;
}

// The bus and target; nothing (after printing why) when the profile cannot be used.
std::optional<Connection> connect(const TargetOptions& t, std::ostream& err) {
    Connection c;
    if (t.socket) {
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({*t.socket}));
        c.bus = std::make_unique<ScsiBus>(std::move(adaptors));
        c.profile.adaptor = 0;
        c.profile.target = 0;
    } else if (t.target) {
        const std::size_t colon = t.target->find(':');
        c.bus = makeSystemScsiBus(t.sockets);
        c.profile.adaptor = static_cast<std::uint8_t>(std::stoi(t.target->substr(0, colon)));
        c.profile.target = static_cast<std::uint8_t>(std::stoi(t.target->substr(colon + 1)));
    } else {
        const SamplerProfileStore store(profileStoreBeside(t.settings));
        const std::optional<SamplerProfile> profile = store.read(*t.profile);
        if (!profile) {
            err << "tolvane akai: no profile named '" << *t.profile << "'\n";
            return std::nullopt;
        }
        if (profile->protocol != kAkaiProtocol) {
            err << "tolvane akai: profile '" << *t.profile << "' is not for \""
                << kSamplerTypes[kAkaiProtocol].text << "\"\n";
            return std::nullopt;
        }
        c.bus = makeSystemScsiBus(t.sockets);
        c.profile = *profile;
    }
    c.profile.protocol = kAkaiProtocol;
    return c;
}

// The driver's boxes and status texts on the terminal; remembers whether anything failed.
class Terminal : public TAkaiS2000Driver::Messages, public StatusPanel {
public:
    Terminal(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}
    void error(const std::string& text) override { say("error: " + text); }
    void warning(const std::string& text) override { say("warning: " + text); }
    void setText(const std::string& text) override {
        // Only the ends of the progress: the percentages would flood a log.
        if (text.ends_with(": 100.00%") || text == "Sending # 100.00%" ||
            text == "Receiving: 100.00%") {
            std::lock_guard lock(m_mutex);
            m_out << text << "\n";
        }
    }
    bool failed() const { return m_failed; }

private:
    void say(const std::string& text) {
        std::lock_guard lock(m_mutex);
        m_failed = true;
        m_err << "tolvane akai: " << terminalText(text) << "\n";
    }
    std::ostream& m_out;
    std::ostream& m_err;
    std::mutex m_mutex;
    bool m_failed = false;
};

bool connected(TAkaiS2000Driver& driver) {
    bool ok = false;
    driver.Connect([&ok] { ok = true; });
    driver.waitIdle(); // the driver calls back before its operation ends
    return ok;
}

class ListPrinter : public SampleListView {
public:
    void clear() override {}
    void addSample(int number, const std::string& name) override {
        rows.emplace_back(number, name);
    }
    std::vector<std::pair<int, std::string>> rows;
};

std::string sizeText(std::uint32_t lengthWords) {
    const std::uint64_t bytes = 2ull * lengthWords;
    return bytes >= 1024 ? std::to_string(bytes / 1024) + "kb" : std::to_string(bytes) + " bytes";
}

int list(TAkaiS2000Driver& driver, Terminal& terminal, std::ostream& out) {
    ListPrinter printer;
    driver.ListSamples({}, &printer);
    driver.waitIdle();
    if (terminal.failed())
        return kExitUnavailable;
    SampleDirectory directory;
    driver.GetSampleList(directory);
    if (printer.rows.empty())
        out << "no samples\n";
    for (const auto& [number, name] : printer.rows) {
        const auto& entry = directory[static_cast<std::size_t>(number) % kSampleDirectorySize];
        out << number << " " << name << " " << sizeText(entry.lengthWords) << " " << entry.rate
            << " Hz 16 mono\n";
    }
    return kExitOk;
}

int receive(TAkaiS2000Driver& driver, Terminal& terminal, int number, const std::string& file,
            std::ostream& out, std::ostream& err) {
    MemoryStream stream;
    driver.SetSampleStream(&stream);
    ReceivedFormat format;
    driver.ReceiveSample(number, [&format](const ReceivedFormat& f) { format = f; });
    driver.waitIdle();
    if (terminal.failed() || format.lengthBytes == 0)
        return kExitUnavailable;
    try {
        writeWaveFile(file, 1, format.rate, stream.data(), format.lengthBytes);
    } catch (const std::exception& e) {
        err << "tolvane akai: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << "received: " << driver.GetReceivedName() << " " << format.lengthBytes << " bytes "
        << format.rate << " Hz mono -> " << file << "\n";
    return kExitOk;
}

// The segments as the sampler takes them: one channel each (it holds no stereo samples).
std::vector<LoopSegment> monoSegments(const SampleDocument& doc, const std::string& channel) {
    std::vector<LoopSegment> segments;
    for (const LoopSegment& s : loopSegmentSeries(doc))
        segments.push_back(doc.Channels == 2 && s.sourceLayout == 1
                               ? channelOfStereoSegment(s, channel == "right" ? 2 : 1)
                               : s);
    return segments;
}

struct SendRequest {
    DocumentRequest document;
    KeymapSettings keymap;
    bool map = true;
};

int send(TAkaiS2000Driver& driver, Terminal& terminal, const SendRequest& request,
         std::ostream& out, std::ostream& err) {
    SampleDocument doc;
    if (const int status = prepareDocument("akai", request.document, doc, out, err);
        status != kExitOk)
        return status;
    const std::vector<LoopSegment> segments = monoSegments(doc, request.document.channel);
    if (segments.empty()) {
        err << "tolvane akai: no segments between the locators\n";
        return kExitUsage;
    }
    TWaveSmoother smoother;
    smoother.enabled = request.keymap.smoothEndPoints;
    smoother.amount = request.keymap.smoothLevel;
    driver.SetSmoother(&smoother);
    driver.SetSampleStream(&doc.SampleData);
    const KeymapSettings& keymap = request.keymap;
    int position = 0;
    for (const LoopSegment& segment : segments) {
        ++position;
        SampleSendArguments a;
        a.name = akai::runSampleName(request.document.file, position);
        const auto key = static_cast<std::uint8_t>(keyForSample(keymap, position - 1).key);
        a.lowKey = a.highKey = a.rootKey = key;
        a.positionInRun = position;
        a.sourceChannels = doc.Channels;
        a.channelsSent = 1;
        a.sampleRate = doc.SampleRate;
        a.startOffset = segment.start;
        a.lengthBytes = segment.byteCount * static_cast<std::uint32_t>(segment.sourceLayout);
        driver.SendSample(a);
        driver.waitIdle();
        if (terminal.failed() || driver.Aborted())
            return kExitUnavailable;
        out << "sent: " << a.name << " on key " << int(key) << "\n";
    }
    if (!request.map)
        return kExitOk;
    driver.MapSamples(keymap.bankName, request.document.file, {}, 1, position, keymap.whiteKeysOnly,
                      keymap.interval, keymap.baseNote());
    driver.waitIdle();
    if (terminal.failed())
        return kExitUnavailable;
    out << "program: " << akai::decodeName(akai::encodeName(keymap.bankName).data()) << " with "
        << position << " keygroups\n";
    return kExitOk;
}

} // namespace

int runAkai(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || (args[0] != "list" && args[0] != "send" && args[0] != "receive")) {
        err << "tolvane akai: expected list, send FILE or receive NUMBER OUT\n";
        return kExitUsage;
    }
    const std::string action = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    TargetOptions target;
    SendRequest sendRequest;
    int number = 0;
    std::string file;
    try {
        if (action == "send") {
            OptionPairs pairs;
            std::set<std::string> valued = kTargetValued;
            valued.insert(keymapValuedOptions().begin(), keymapValuedOptions().end());
            valued.insert("--smooth");
            std::set<std::string> flags{"--no-program"};
            flags.insert(keymapFlags().begin(), keymapFlags().end());
            const Options options = readDocumentCommand(rest, {}, valued, flags, pairs);
            sendRequest.document = readDocumentRequest(options, pairs);
            sendRequest.keymap = readKeymapOptions(options);
            if (const auto level = options.wholeNumber("--smooth", 0, 60)) {
                sendRequest.keymap.smoothEndPoints = *level > 0;
                sendRequest.keymap.smoothLevel = static_cast<int>(*level);
            }
            sendRequest.map = !options.has("--no-program");
            target = readTarget(options);
        } else {
            const Options options(rest, kTargetValued, {});
            const auto& words = options.positional();
            const std::size_t wanted = action == "list" ? 0 : 2;
            if (words.size() != wanted)
                throw std::invalid_argument(action == "list" ? "list takes no file"
                                                             : "expected receive NUMBER OUT");
            if (action == "receive") {
                number = static_cast<int>(parseWholeNumber("NUMBER", words[0], 0, 16383));
                file = words[1];
            }
            target = readTarget(options);
        }
    } catch (const std::invalid_argument& e) {
        err << "tolvane akai: " << e.what() << "\n";
        return kExitUsage;
    }

    std::optional<Connection> connection = connect(target, err);
    if (!connection)
        return kExitBadProfile;
    Terminal terminal(out, err);
    TAkaiS2000Driver driver(connection->bus->entry(), &terminal);
    driver.SetProfile(connection->profile);
    driver.SetStatusPanel(&terminal);
    if (!connected(driver))
        return kExitUnavailable;
    if (action == "list")
        return list(driver, terminal, out);
    if (action == "receive")
        return receive(driver, terminal, number, file, out, err);
    return send(driver, terminal, sendRequest, out, err);
}

} // namespace tolvane::cli
