// `tolvane smdi list|send|receive`: samples to and from an SMDI sampler on the SCSI bus,
// through the same driver the transfer windows use.
#include "cli/DocumentRequest.h"
#include "cli/KeymapOptions.h"
#include "cli/Tolvane.h"
#include "document/SampleDocument.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "processing/WriteSampleFile.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "samplers/TSMIDIDriver.h"
#include "slicing/ChannelMode.h"
#include "slicing/LoopSegments.h"

#include <filesystem>
#include <future>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr long long kMaxSmoothAmount = 60;

struct Connection {
    std::unique_ptr<ScsiBus> bus;
    SamplerProfile profile;
};

const std::set<std::string>& connectionOptions() {
    static const std::set<std::string> names{"--profile", "--settings", "--socket", "--target",
                                             "--protocol"};
    return names;
}

// The sampler the options name: a stored profile, a socket (target 0 of an adaptor of its
// own) or a target of the machine's SCSI bus. Throws std::invalid_argument for bad options.
Connection connectionOf(const Options& options, std::ostream& err, int& status) {
    Connection c;
    c.profile.protocol = 1;
    if (const auto name = options.value("--profile")) {
        const std::string settings = options.value("--settings").value_or(defaultSettingsFile());
        SamplerProfileStore store(profileStoreBeside(settings));
        std::optional<SamplerProfile> stored;
        try {
            stored = store.read(*name);
        } catch (const EProfileReadError& e) {
            err << e.what() << "\n";
        }
        if (!stored) {
            err << "tolvane smdi: no usable profile named '" << *name << "'\n";
            status = kExitBadProfile;
            return c;
        }
        if (stored->protocol < 1 || stored->protocol > 4) {
            err << "tolvane smdi: the profile '" << *name << "' is not for an SMDI sampler\n";
            status = kExitBadProfile;
            return c;
        }
        c.profile = *stored;
    }
    if (const auto protocol = options.wholeNumber("--protocol", 1, 4))
        c.profile.protocol = static_cast<std::uint8_t>(*protocol);
    if (const auto socket = options.value("--socket")) {
        std::vector<std::unique_ptr<ScsiAdaptor>> adaptors;
        adaptors.push_back(makeSocketScsiAdaptor({*socket}));
        c.bus = std::make_unique<ScsiBus>(std::move(adaptors));
        c.profile.adaptor = 0;
        c.profile.target = 0;
        return c;
    }
    if (const auto target = options.value("--target")) {
        const std::size_t colon = target->find(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("--target wants ADAPTOR:ID");
        c.profile.adaptor = static_cast<std::uint8_t>(
            parseWholeNumber("--target", target->substr(0, colon), 0, 254));
        c.profile.target = static_cast<std::uint8_t>(
            parseWholeNumber("--target", target->substr(colon + 1), 0, 7));
    } else if (!options.has("--profile")) {
        throw std::invalid_argument("name the sampler with --profile, --socket or --target");
    }
    c.bus = makeSystemScsiBus("");
    return c;
}

// The sample list as the request window shows it.
class PrintedList : public SampleListView {
public:
    PrintedList(std::ostream& out, TSMIDIDriver& driver) : m_out(out), m_driver(driver) {}
    void clear() override {}
    void addSample(int number, const std::string& name) override {
        m_rows.emplace_back(number, name);
    }
    void print() {
        SampleDirectory directory;
        m_driver.GetSampleList(directory);
        for (const auto& [number, name] : m_rows) {
            const SampleDirectoryEntry entry = static_cast<std::size_t>(number) < directory.size()
                                                   ? directory[static_cast<std::size_t>(number)]
                                                   : SampleDirectoryEntry{};
            const std::string size = entry.lengthWords > 1023
                                         ? std::to_string(entry.lengthWords / 1024 * 2) + "kb"
                                         : std::to_string(entry.lengthWords * 2) + " bytes";
            m_out << number << "\t" << name << "\t" << size << "\t" << int(entry.bitsPerWord)
                  << "\t" << (entry.channels == 1 ? "mono" : "stereo") << "\n";
        }
    }

private:
    std::ostream& m_out;
    TSMIDIDriver& m_driver;
    std::vector<std::pair<int, std::string>> m_rows;
};

struct Resumed : WaitingThread {
    std::promise<void> resumed;
    void Resume() override { resumed.set_value(); }
};

// The Yamaha keymap of what was sent, through the profile's MIDI output.
int mapSamples(TSMIDIDriver& driver, const KeymapSettings& keymap, const std::string& name,
               int first, int count, std::ostream& out, std::ostream& err) {
    std::unique_ptr<MidiBackend> backend;
    try {
        backend = makeRtMidiBackend();
    } catch (const MidiBackendError& e) {
        err << "tolvane smdi: no MIDI for the keymap (" << e.what() << ")\n";
        return kExitUnavailable;
    }
    TMidiOutput output(*backend, {});
    driver.SetMidiPorts(nullptr, &output);
    driver.SetWaitingThread(nullptr); // the command waits for the driver's thread instead
    driver.MapSamples(keymap.bankName, name, {}, first, count, keymap.whiteKeysOnly,
                      keymap.interval, keymap.baseNote());
    driver.Wait();
    driver.SetMidiPorts(nullptr, nullptr);
    if (!driver.lastReport().empty())
        return kExitUnavailable;
    out << "keymap: " << count << " samples from key " << keymap.baseNote() << "\n";
    return kExitOk;
}

// Connects; false (after the driver's report) when the sampler is no SMDI device.
bool connect(TSMIDIDriver& driver) {
    std::promise<bool> connected;
    driver.Connect([&] { connected.set_value(true); });
    driver.Wait();
    auto result = connected.get_future();
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready && result.get();
}

// One sample's worth of the document: where it starts, how many bytes, how it is laid out.
struct Piece {
    std::string name;
    std::uint32_t start = 0;
    std::uint32_t lengthBytes = 0; // in the source
    bool wholeFrames = true;       // false: one channel of stereo
};

bool sendPiece(TSMIDIDriver& driver, const SampleDocument& doc, const Piece& piece, int number,
               int position, bool batch, std::ostream& out) {
    Resumed thread;
    driver.SetWaitingThread(&thread);
    driver.ClearAbort();
    SampleSendArguments arguments;
    arguments.name = piece.name;
    arguments.sampleNumber = number;
    arguments.region = !batch;
    arguments.positionInRun = position;
    arguments.stereoAsStereo = piece.wholeFrames;
    arguments.sampleRate = doc.SampleRate;
    arguments.sourceChannels = doc.Channels;
    arguments.lengthBytes = piece.lengthBytes;
    arguments.startOffset = piece.start;
    driver.SendSample(arguments);
    thread.resumed.get_future().wait();
    driver.Wait();
    if (!driver.lastReport().empty())
        return false;
    out << "sent: " << piece.name << " as sample " << number << "\n";
    return true;
}

// The pieces to send: the whole sample (or its two channels), or the segments between the
// locators as the editor's segment commands take them.
std::vector<Piece> piecesOf(const SampleDocument& doc, const std::string& name, bool split,
                            bool segments) {
    std::vector<Piece> pieces;
    const auto length = static_cast<std::uint32_t>(doc.DataLength);
    if (!segments) {
        if (split && doc.Channels == 2)
            return {{name + "-L", 0, length, false}, {name + "-R", 2, length, false}};
        return {{name, 0, length, true}};
    }
    for (const LoopSegment& segment : loopSegmentSeries(doc)) {
        const bool oneChannel = segment.sourceLayout == 2;
        pieces.push_back({seriesFileName({name, ""}, segment), segment.start,
                          oneChannel ? 2 * segment.byteCount : segment.byteCount, !oneChannel});
    }
    return pieces;
}

int sendFile(TSMIDIDriver& driver, const SamplerProfile& profile,
             const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    OptionPairs pairs;
    std::set<std::string> valued = connectionOptions();
    valued.insert({"--number", "--name", "--smooth"});
    valued.insert(keymapValuedOptions().begin(), keymapValuedOptions().end());
    std::set<std::string> flags{"--split-stereo", "--segments"};
    flags.insert(keymapFlags().begin(), keymapFlags().end());
    const Options options = readDocumentCommand(args, {}, valued, flags, pairs);
    const DocumentRequest request = readDocumentRequest(options, pairs);
    const KeymapSettings keymap = readKeymapOptions(options);
    const int number = static_cast<int>(options.wholeNumber("--number", 0, 0xFFFFFF).value_or(0));
    const int smooth =
        static_cast<int>(options.wholeNumber("--smooth", 0, kMaxSmoothAmount).value_or(0));
    const bool segments = options.has("--segments");
    SampleDocument doc;
    if (const int status = segments ? prepareDocument("smdi", request, doc, out, err)
                                    : openDocument(request.file, doc, out, err);
        status != kExitOk)
        return status;
    const std::string name =
        options.value("--name").value_or(std::filesystem::path(request.file).stem().string());
    const std::vector<Piece> pieces = piecesOf(doc, name, options.has("--split-stereo"), segments);
    if (pieces.empty())
        throw std::invalid_argument("--segments: no segment lies between the locators");
    if (!connect(driver))
        return kExitUnavailable;
    driver.SetSampleStream(&doc.SampleData);
    TWaveSmoother smoother;
    smoother.enabled = smooth > 0;
    smoother.amount = smooth;
    driver.SetSmoother(&smoother);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!sendPiece(driver, doc, pieces[i], number + static_cast<int>(i),
                       static_cast<int>(i) + 1, pieces.size() > 1, out))
            return kExitUnavailable;
    if (profile.protocol != TSMIDIDriver::kA3000Protocol &&
        profile.protocol != TSMIDIDriver::kExProtocol)
        return kExitOk;
    return mapSamples(driver, keymap, name, number, static_cast<int>(pieces.size()), out, err);
}

int receiveFile(TSMIDIDriver& driver, const std::vector<std::string>& words, std::ostream& out,
                std::ostream& err) {
    if (words.size() != 2)
        throw std::invalid_argument("receive wants NUMBER OUT");
    const auto number = static_cast<int>(parseWholeNumber("NUMBER", words[0], 0, 0xFFFFFF));
    if (!connect(driver))
        return kExitUnavailable;
    SampleDocument doc;
    driver.SetSampleStream(&doc.SampleData);
    ReceivedFormat format;
    driver.ReceiveSample(number, [&](const ReceivedFormat& f) { format = f; });
    driver.Wait();
    if (format.lengthBytes == 0)
        return kExitUnavailable;
    doc.DataLength = static_cast<std::int32_t>(format.lengthBytes);
    doc.SampleRate = format.rate;
    doc.BitsPerSample = 16;
    doc.Channels = format.channels;
    doc.BytesPerSecond = format.rate * 2u * format.channels;
    doc.SampleData.setSize(format.lengthBytes + kSpareBytes);
    try {
        WriteSampleFile(doc, words[1], 0, format.lengthBytes,
                        format.channels == 2 ? kWriteBothChannels : kWriteOneChannel);
    } catch (const std::exception& e) {
        err << "tolvane smdi: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << "received: " << driver.GetReceivedName() << " (" << format.lengthBytes << " bytes, "
        << format.rate << " Hz, " << (format.channels == 1 ? "mono" : "stereo") << ") into "
        << words[1] << "\n";
    return kExitOk;
}

} // namespace

int runSmdi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const std::string action = args.empty() ? "" : args[0];
        if (action != "list" && action != "send" && action != "receive")
            throw std::invalid_argument("expected list, send FILE or receive NUMBER OUT");
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        // The connection options are read apart from the command's own.
        std::vector<std::string> connectionArgs;
        for (std::size_t i = 0; i < rest.size(); ++i)
            if (connectionOptions().contains(rest[i]) && i + 1 < rest.size()) {
                connectionArgs.push_back(rest[i]);
                connectionArgs.push_back(rest[++i]);
            }
        const Options connectionOnly(connectionArgs, connectionOptions(), {});
        int status = kExitOk;
        Connection connection = connectionOf(connectionOnly, err, status);
        if (status != kExitOk)
            return status;
        TSMIDIDriver driver(*connection.bus);
        driver.SetProfile(connection.profile);
        driver.setReportSink([&err](const std::string& text, bool warning) {
            err << (warning ? "warning: " : "error: ") << terminalText(text) << "\n";
        });
        if (action == "send")
            return sendFile(driver, connection.profile, rest, out, err);
        const Options options(rest, connectionOptions(), {});
        const auto& words = options.positional();
        if (action == "receive")
            return receiveFile(driver, words, out, err);
        if (!words.empty())
            throw std::invalid_argument("list takes no arguments");
        if (!connect(driver))
            return kExitUnavailable;
        PrintedList list(out, driver);
        driver.ListSamples({}, &list);
        driver.Wait();
        list.print();
        return driver.lastReport().empty() ? kExitOk : kExitUnavailable;
    } catch (const std::invalid_argument& e) {
        err << "tolvane smdi: " << e.what() << "\n";
        return kExitUsage;
    }
}

} // namespace tolvane::cli
