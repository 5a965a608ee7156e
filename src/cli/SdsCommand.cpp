// `tolvane sds send FILE | receive OUT`: a sample to or from a sampler over MIDI by the Sample
// Dump Standard, through the editor's driver.
#include "cli/JobQueue.h"
#include "cli/Tolvane.h"
#include "document/SampleDocument.h"
#include "fileio/WaveFileWriter.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "samplers/TSDSDriver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tolvane::cli {
namespace {

class PrintingPanel : public StatusPanel {
public:
    explicit PrintingPanel(std::ostream& out) : m_out(out) {}
    void setText(const std::string& text) override {
        if (text != m_last)
            m_out << text << "\n";
        m_last = text;
    }

private:
    std::ostream& m_out;
    std::string m_last;
};

// The device whose name is `name`, else the first that contains it; the first device when no
// name is given.
int findDevice(const std::vector<std::string>& devices, const std::optional<std::string>& name,
               const char* direction) {
    if (devices.empty())
        throw std::runtime_error(std::string("no MIDI ") + direction + " ports");
    if (!name)
        return 0;
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i] == *name)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].find(*name) != std::string::npos)
            return static_cast<int>(i);
    throw std::runtime_error(std::string("no MIDI ") + direction + " port named '" + *name + "'");
}

struct SdsRequest {
    bool sending = true;
    std::string file;
    std::optional<std::string> port;
    int id = 1;
    bool openLoop = false;
    int sample = 0;
    int channel = 0; // of a stereo file
};

SdsRequest readRequest(const std::vector<std::string>& args) {
    const Options options(args, {"--port", "--id", "--sample", "--channel"}, {"--open-loop"});
    const auto& words = options.positional();
    if (words.size() != 2 || (words[0] != "send" && words[0] != "receive"))
        throw std::invalid_argument("expected send FILE or receive OUT");
    SdsRequest r;
    r.sending = words[0] == "send";
    r.file = words[1];
    r.port = options.value("--port");
    r.id = static_cast<int>(options.wholeNumber("--id", 1, 16).value_or(1));
    r.openLoop = options.has("--open-loop");
    // Receiving from kWaitForSendBase on waits for the sampler to start the dump itself.
    const long long maxSample = r.sending ? 16383 : kWaitForSendBase + 16383;
    r.sample = static_cast<int>(options.wholeNumber("--sample", 0, maxSample).value_or(0));
    if (const auto channel = options.value("--channel")) {
        if (*channel != "L" && *channel != "R")
            throw std::invalid_argument("--channel: expected L or R");
        r.channel = *channel == "R" ? 1 : 0;
    }
    return r;
}

} // namespace

int runSds(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    SdsRequest request;
    try {
        request = readRequest(args);
    } catch (const std::invalid_argument& e) {
        err << "tolvane sds: " << e.what() << "\n";
        return kExitUsage;
    }

    SampleDocument doc;
    if (request.sending) {
        if (const int status = openDocument(request.file, doc, out, err); status != kExitOk)
            return status;
    }

    std::unique_ptr<MidiBackend> backend;
    JobQueue jobs;
    std::unique_ptr<TMidiInput> input;
    std::unique_ptr<TMidiOutput> output;
    SamplerProfile profile;
    try {
        backend = makeRtMidiBackend();
        input = std::make_unique<TMidiInput>(*backend, jobs.poster());
        output = std::make_unique<TMidiOutput>(*backend, jobs.poster());
        input->Capacity = 4096;
        profile.midiInput =
            static_cast<std::uint8_t>(findDevice(input->devices(), request.port, "input"));
        profile.midiOutput =
            static_cast<std::uint8_t>(findDevice(output->devices(), request.port, "output"));
    } catch (const std::exception& e) {
        err << "tolvane sds: " << e.what() << "\n";
        return kExitUnavailable;
    }
    profile.channel = static_cast<std::uint8_t>(request.id);
    profile.openLoop = request.openLoop ? 1 : 0;

    SdsTimings timings;
    timings.settle = std::chrono::milliseconds(0); // no sample follows
    PrintingPanel panel(out);
    MemoryStream received;
    TSDSDriver driver(*input, *output, jobs.poster(), timings);
    driver.SetProfile(profile);
    driver.SetStatusPanel(&panel);
    driver.ClearAbort();

    bool ended = false;
    ReceivedFormat format{};
    if (request.sending) {
        const int channels = std::max<int>(doc.Channels, 1);
        const std::uint32_t frames = static_cast<std::uint32_t>(doc.DataLength) / (2 * channels);
        if (request.channel >= channels) {
            err << "tolvane sds: " << request.file << " has one channel\n";
            return kExitUsage;
        }
        driver.SetSampleStream(&doc.SampleData);
        SampleSendArguments a;
        a.sampleNumber = request.sample;
        a.region = true;
        a.sampleRate = doc.SampleRate;
        a.sourceChannels = channels;
        a.lengthBytes = frames * 2 * static_cast<std::uint32_t>(channels);
        a.startOffset = static_cast<std::uint32_t>(2 * request.channel);
        struct Waiter : WaitingThread {
            bool& ended;
            explicit Waiter(bool& e) : ended(e) {}
            void Resume() override { ended = true; }
        } waiter(ended);
        driver.SetWaitingThread(&waiter);
        driver.SendSample(a);
        jobs.runUntil([&] { return ended; });
    } else {
        driver.SetSampleStream(&received);
        driver.ReceiveSample(request.sample, [&](const ReceivedFormat& f) {
            format = f;
            ended = true;
        });
        jobs.runUntil([&] { return ended; });
    }

    const SdsTransferReport report = driver.lastReport();
    if (!report.ok) {
        err << "tolvane sds: " << (report.message.empty() ? "the transfer failed" : report.message)
            << "\n";
        return kExitUnavailable;
    }
    if (request.sending) {
        out << "sent " << report.words << " words in " << report.packets << " packets"
            << (report.openLoop ? " without handshake" : "") << ", " << report.resends
            << " sent again\n";
        return kExitOk;
    }
    try {
        writeWaveFile(request.file, 1, format.rate, received.data(), format.lengthBytes);
    } catch (const std::exception& e) {
        err << "tolvane sds: " << e.what() << "\n";
        return kExitCannotWrite;
    }
    out << "received " << report.words << " words at " << format.rate << " Hz";
    if (report.badChecksums > 0)
        out << ", " << report.badChecksums << " packets with checksum errors kept";
    out << "\n";
    return kExitOk;
}

} // namespace tolvane::cli
