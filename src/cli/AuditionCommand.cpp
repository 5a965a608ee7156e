#include "audition/Audition.h"
#include "audition/AuditionKeys.h"
#include "cli/DocumentRequest.h"
#include "cli/KeymapOptions.h"
#include "cli/Tolvane.h"
#include "midi/MidiDevices.h"
#include "platform/AudioBackend.h"
#include "platform/MidiBackend.h"

#include <array>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <stdexcept>

namespace tolvane::cli {
namespace {

// SIGINT, SIGTERM and SIGHUP held for the whole command, so that the threads the audio and MIDI
// services start hold them too and the command's own thread takes them with sigwait: the
// command then ends cleanly (ports closed, exit status 0) instead of as the signal would.
class HeldSignals {
public:
    HeldSignals() {
        sigemptyset(&m_set);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&m_set, signal);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_before);
    }
    ~HeldSignals() {
        // A signal that came while the command ended is taken here, not left to end the process.
        const timespec none{};
        while (sigtimedwait(&m_set, nullptr, &none) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    int wait() const {
        int signal = 0;
        sigwait(&m_set, &signal);
        return signal;
    }

private:
    sigset_t m_set{};
    sigset_t m_before{};
};

// What each key plays, as the command reports a note: "segment 2" or "segment 2 L, 3 R".
std::array<std::string, kAuditionKeys> keyTexts(const SampleDocument& doc,
                                                const KeymapSettings& keymap) {
    std::array<std::string, kAuditionKeys> texts;
    for (int note = 0; note < kAuditionKeys; ++note) {
        std::string text;
        for (const KeySegment& key : segmentsOnKey(doc, keymap, note)) {
            text += text.empty() ? "segment " : ", ";
            text += std::to_string(key.k + 1);
            if (key.segment.suffix)
                text += std::string(" ") + key.segment.suffix;
        }
        texts[static_cast<std::size_t>(note)] = text.empty() ? "no segment" : text;
    }
    return texts;
}

int outputDevice(AudioBackend& audio, const std::optional<std::string>& name) {
    if (!name)
        return kDefaultOutputDevice;
    const std::vector<std::string> devices = audio.outputDevices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i] == *name)
            return static_cast<int>(i);
    std::string known;
    for (const std::string& device : devices)
        if (!device.empty())
            known += (known.empty() ? "" : ", ") + device;
    throw std::invalid_argument("no audio output named '" + *name + "' (there are: " + known + ")");
}

} // namespace

int runAudition(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = keymapValuedOptions();
    valued.insert({"--port", "--device"});
    std::set<std::string> flags = keymapFlags();
    flags.insert("--play-through");
    const HeldSignals signals;
    try {
        OptionPairs pairs;
        const Options options = readDocumentCommand(args, {}, valued, flags, pairs);
        const KeymapSettings keymap = readKeymapOptions(options);
        const DocumentRequest request = readDocumentRequest(options, pairs);
        const std::optional<std::string> port = options.value("--port");
        if (!port)
            throw std::invalid_argument("--port NAME is needed (tolvane ports lists the inputs)");

        SampleDocument doc;
        if (const int status = prepareDocument("audition", request, doc, out, err);
            status != kExitOk)
            return status;

        std::unique_ptr<MidiBackend> midi;
        try {
            midi = makeRtMidiBackend();
        } catch (const MidiBackendError& e) {
            err << "tolvane audition: " << e.what() << "\n";
            return kExitUnavailable;
        }
        const std::vector<std::string> inputs = midi->inputs();
        const std::optional<int> input = findPortByName(inputs, *port);
        if (!input) {
            err << "tolvane audition: no MIDI input port named '" << *port
                << "' (tolvane ports lists them)\n";
            return kExitUnavailable;
        }
        const std::unique_ptr<AudioBackend> audio = makePortAudioBackend();
        if (!audio) {
            err << "tolvane audition: the audio output could not be started\n";
            return kExitUnavailable;
        }
        const int device = outputDevice(*audio, options.value("--device"));
        AudioOpenError openError;
        const std::unique_ptr<AudioOutput> output =
            audio->open(device, doc.Channels, static_cast<int>(doc.SampleRate), openError);
        if (!output) {
            err << "tolvane audition: the audio output cannot play this sample: " << openError.text
                << "\n";
            return kExitUnavailable;
        }

        const auto texts = keyTexts(doc, keymap);
        std::mutex printing;
        try {
            Audition audition(*midi, *input, *output, doc.SampleRate, [&](int note) {
                const std::lock_guard lock(printing);
                out << "note " << note << ": " << texts[static_cast<std::size_t>(note)]
                    << std::endl;
            });
            audition.setProgram(makeAuditionProgram(doc, keymap, options.has("--play-through")));
            {
                const std::lock_guard lock(printing);
                out << "playing the segments from " << inputs[static_cast<std::size_t>(*input)]
                    << " (Ctrl+C ends)" << std::endl;
            }
            signals.wait();
        } catch (const std::exception& e) {
            err << "tolvane audition: " << e.what() << "\n";
            return kExitUnavailable;
        }
        out << "stopped\n";
        return kExitOk;
    } catch (const std::invalid_argument& e) {
        err << "tolvane audition: " << e.what() << "\n";
        return kExitUsage;
    }
}

} // namespace tolvane::cli
