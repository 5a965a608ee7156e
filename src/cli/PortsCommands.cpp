// `tolvane ports` and `tolvane profiles`: what the profile manager shows, from a terminal.
#include "cli/Tolvane.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiBackend.h"
#include "platform/ScsiBus.h"
#include "samplers/ProfileStore.h"
#include "samplers/SamplerTypes.h"
#include "samplers/ScsiEnumeration.h"

#include <algorithm>
#include <iomanip>
#include <stdexcept>

namespace tolvane::cli {
namespace {

void printDevices(const char* title, const std::vector<std::string>& names, std::ostream& out) {
    out << "  " << title << ":\n";
    if (names.empty())
        out << "    (none)\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        out << "    " << i << " " << names[i] << "\n";
}

void printMidi(std::ostream& out) {
    std::unique_ptr<MidiBackend> backend;
    try {
        backend = makeRtMidiBackend();
    } catch (const MidiBackendError& e) {
        out << "MIDI: unavailable (" << e.what() << ")\n";
        return;
    }
    // The lists the profile manager fills, from the same components.
    TMidiInput input(*backend, {});
    TMidiOutput output(*backend, {});
    out << "MIDI (" << backend->apiName() << "):\n";
    printDevices("inputs", input.devices(), out);
    printDevices("outputs", output.devices(), out);
}

void printScsi(const std::string& sockets, std::ostream& out) {
    const std::unique_ptr<ScsiBus> bus = makeSystemScsiBus(sockets);
    out << "SCSI:\n";
    const std::vector<std::string> adaptors = enumerateAdaptors(bus->entry());
    if (adaptors.empty())
        out << "  " << kNoHostAdaptorFound << "\n";
    TargetEnumeration targets(bus->entry());
    for (std::size_t a = 0; a < adaptors.size(); ++a) {
        out << "  " << adaptors[a] << "\n";
        for (const std::string& item : targets.run(static_cast<std::uint8_t>(a)))
            out << "    " << item << "\n";
    }
    if (const std::string hints = bus->accessHints(); !hints.empty())
        out << "hint: " << hints << "\n";
}

std::string indexText(std::uint8_t index) {
    return index == SamplerProfile::kNothingSelected ? "none" : std::to_string(index);
}

void printProfile(const std::string& name, const SamplerProfile& p, std::ostream& out) {
    const bool known = p.protocol < kSamplerTypes.size();
    out << "name: " << name << "\n"
        << "protocol: " << int(p.protocol) << " "
        << (known ? kSamplerTypes[p.protocol].text : "(unknown)") << "\n"
        << "MIDI input: " << indexText(p.midiInput) << "\n"
        << "MIDI output: " << indexText(p.midiOutput) << (p.midiOutputInUse ? "" : " (not in use)")
        << "\n"
        << "channel: " << int(p.channel) << "\n"
        << "SCSI adaptor: " << indexText(p.adaptor) << "\n"
        << "SCSI target: " << indexText(p.target) << (p.scsiInUse ? "" : " (not in use)") << "\n"
        << "sysex ID: " << int(p.sysexId) << "\n"
        << "offset: " << p.offset << "\n"
        << "open loop: " << (p.openLoop ? "yes" : "no") << "\n"
        << "bytes:";
    for (std::uint8_t b : p.toBytes())
        out << " " << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << int(b);
    out << std::dec << std::setfill(' ') << "\n";
}

} // namespace

int runPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string sockets;
    try {
        const Options options(args, {"--scsi-sockets"}, {});
        if (!options.positional().empty())
            throw std::invalid_argument("unexpected argument '" + options.positional().front() +
                                        "'");
        sockets = options.value("--scsi-sockets").value_or("");
    } catch (const std::invalid_argument& e) {
        err << "tolvane ports: " << e.what() << "\n";
        return kExitUsage;
    }
    printMidi(out);
    printScsi(sockets, out);
    return kExitOk;
}

int runProfiles(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string action = "list";
    std::string name;
    std::string settings;
    try {
        const Options options(args, {"--settings"}, {});
        const auto& words = options.positional();
        if (!words.empty())
            action = words[0];
        const std::size_t wanted = action == "list" ? 1 : 2;
        if ((action != "list" && action != "show" && action != "delete") || words.size() > wanted ||
            (wanted == 2 && words.size() < 2))
            throw std::invalid_argument("expected list, show NAME or delete NAME");
        if (wanted == 2)
            name = words[1];
        settings = options.value("--settings").value_or(defaultSettingsFile());
    } catch (const std::invalid_argument& e) {
        err << "tolvane profiles: " << e.what() << "\n";
        return kExitUsage;
    }
    SamplerProfileStore store(profileStoreBeside(settings));
    if (action == "list") {
        const std::vector<std::string> names = store.names();
        if (names.empty())
            out << kNoPresetsStored << "\n";
        for (const std::string& n : names)
            out << n << "\n";
        return kExitOk;
    }
    if (action == "delete") {
        const auto names = store.names();
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            err << "tolvane profiles: no profile named '" << name << "'\n";
            return kExitBadProfile;
        }
        if (!store.remove(name)) {
            err << "tolvane profiles: cannot write " << store.file() << "\n";
            return kExitCannotWrite;
        }
        out << "deleted: " << name << "\n";
        return kExitOk;
    }
    try {
        const auto profile = store.read(name);
        if (!profile) {
            err << "tolvane profiles: no profile named '" << name << "'\n";
            return kExitBadProfile;
        }
        printProfile(name, *profile, out);
        return kExitOk;
    } catch (const EProfileReadError& e) {
        err << e.what() << "\n";
        return kExitBadProfile;
    }
}

} // namespace tolvane::cli
