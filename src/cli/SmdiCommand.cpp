// `tolvane smdi list|send|receive`: samples to and from an SMDI sampler on the SCSI bus,
// through the same driver the transfer windows use.
#include "cli/Tolvane.h"
#include "document/SampleDocument.h"
#include "platform/ScsiBus.h"
#include "processing/WriteSampleFile.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "samplers/TSMIDIDriver.h"
#include "slicing/ChannelMode.h"

#include <filesystem>
#include <future>
#include <stdexcept>

namespace tolvane::cli {
namespace {

constexpr int kExitSamplerFailed = 69; // the sampler could not be reached or refused

struct Connection {
    std::unique_ptr<ScsiBus> bus;
    SamplerProfile profile;
};

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

// Connects; false (after the driver's report) when the sampler is no SMDI device.
bool connect(TSMIDIDriver& driver) {
    std::promise<bool> connected;
    driver.Connect([&] { connected.set_value(true); });
    driver.Wait();
    auto result = connected.get_future();
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready && result.get();
}

int sendFile(TSMIDIDriver& driver, const Options& options, const std::vector<std::string>& words,
             std::ostream& out, std::ostream& err) {
    if (words.size() != 2)
        throw std::invalid_argument("send wants FILE");
    const int number = static_cast<int>(options.wholeNumber("--number", 0, 0xFFFFFF).value_or(0));
    SampleDocument doc;
    if (const int status = openDocument(words[1], doc, out, err); status != kExitOk)
        return status;
    if (!connect(driver))
        return kExitSamplerFailed;
    driver.SetSampleStream(&doc.SampleData);
    const bool split = options.has("--split-stereo") && doc.Channels == 2;
    std::string name =
        options.value("--name").value_or(std::filesystem::path(words[1]).stem().string());
    for (int part = 0; part < (split ? 2 : 1); ++part) {
        Resumed thread;
        driver.SetWaitingThread(&thread);
        driver.ClearAbort();
        SampleSendArguments arguments;
        arguments.name = split ? name + (part == 0 ? "-L" : "-R") : name;
        arguments.sampleNumber = number + part;
        arguments.region = true;
        arguments.stereoAsStereo = !split;
        arguments.sampleRate = doc.SampleRate;
        arguments.sourceChannels = doc.Channels;
        arguments.lengthBytes = static_cast<std::uint32_t>(doc.DataLength);
        arguments.startOffset = static_cast<std::uint32_t>(2 * part);
        driver.SendSample(arguments);
        thread.resumed.get_future().wait();
        driver.Wait();
        if (!driver.lastReport().empty())
            return kExitSamplerFailed;
        out << "sent: " << arguments.name << " as sample " << arguments.sampleNumber << "\n";
    }
    return kExitOk;
}

int receiveFile(TSMIDIDriver& driver, const std::vector<std::string>& words, std::ostream& out,
                std::ostream& err) {
    if (words.size() != 3)
        throw std::invalid_argument("receive wants NUMBER OUT");
    const auto number = static_cast<int>(parseWholeNumber("NUMBER", words[1], 0, 0xFFFFFF));
    if (!connect(driver))
        return kExitSamplerFailed;
    SampleDocument doc;
    driver.SetSampleStream(&doc.SampleData);
    ReceivedFormat format;
    driver.ReceiveSample(number, [&](const ReceivedFormat& f) { format = f; });
    driver.Wait();
    if (format.lengthBytes == 0)
        return kExitSamplerFailed;
    doc.DataLength = static_cast<std::int32_t>(format.lengthBytes);
    doc.SampleRate = format.rate;
    doc.BitsPerSample = 16;
    doc.Channels = format.channels;
    doc.BytesPerSecond = format.rate * 2u * format.channels;
    doc.SampleData.setSize(format.lengthBytes + kSpareBytes);
    try {
        WriteSampleFile(doc, words[2], 0, format.lengthBytes,
                        format.channels == 2 ? kWriteBothChannels : kWriteOneChannel);
    } catch (const std::exception& e) {
        err << "tolvane smdi: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << "received: " << driver.GetReceivedName() << " (" << format.lengthBytes << " bytes, "
        << format.rate << " Hz, " << (format.channels == 1 ? "mono" : "stereo") << ") into "
        << words[2] << "\n";
    return kExitOk;
}

} // namespace

int runSmdi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const Options options(
            args,
            {"--profile", "--settings", "--socket", "--target", "--protocol", "--number", "--name"},
            {"--split-stereo"});
        const auto& words = options.positional();
        const std::string action = words.empty() ? "" : words[0];
        if (action != "list" && action != "send" && action != "receive")
            throw std::invalid_argument("expected list, send FILE or receive NUMBER OUT");
        if (action == "list" && words.size() != 1)
            throw std::invalid_argument("list takes no arguments");
        int status = kExitOk;
        Connection connection = connectionOf(options, err, status);
        if (status != kExitOk)
            return status;
        TSMIDIDriver driver(*connection.bus);
        driver.SetProfile(connection.profile);
        driver.setReportSink([&err](const std::string& text, bool warning) {
            err << (warning ? "warning: " : "error: ") << terminalText(text) << "\n";
        });
        if (action == "send")
            return sendFile(driver, options, words, out, err);
        if (action == "receive")
            return receiveFile(driver, words, out, err);
        if (!connect(driver))
            return kExitSamplerFailed;
        PrintedList list(out, driver);
        driver.ListSamples({}, &list);
        driver.Wait();
        list.print();
        return driver.lastReport().empty() ? kExitOk : kExitSamplerFailed;
    } catch (const std::invalid_argument& e) {
        err << "tolvane smdi: " << e.what() << "\n";
        return kExitUsage;
    }
}

} // namespace tolvane::cli
