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
#include <array>
#include <cstdlib>
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
    out << "name: " << printableProfileName(name) << "\n"
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

namespace {

// The sampler types by the names `profiles add --type` takes, in protocol order.
constexpr std::array<const char*, kSamplerTypes.size()> kTypeNames = {"sds", "smdi", "a3000",
                                                                      "ex",  "emu",  "akai"};

const std::set<std::string> kProfileValued = {
    "--settings", "--type", "--midi-in", "--midi-out", "--channel",
    "--sysex-id", "--scsi", "--socket",  "--offset",   "--scsi-sockets"};
const std::set<std::string> kProfileFlags = {"--open-loop", "--closed-loop"};

int typeByName(const std::string& name) {
    for (std::size_t i = 0; i < kTypeNames.size(); ++i)
        if (name == kTypeNames[i])
            return static_cast<int>(i);
    throw std::invalid_argument("--type is one of sds, smdi, a3000, ex, emu or akai, not '" + name +
                                "'");
}

// A MIDI port as `tolvane ports` lists it: its number, its name, or a part of its name.
std::uint8_t portIndex(const std::string& option, const std::string& port,
                       const std::vector<std::string>& ports) {
    if (!port.empty() && port.find_first_not_of("0123456789") == std::string::npos) {
        const long long index = parseWholeNumber(option, port, 0, 254);
        if (static_cast<std::size_t>(index) >= ports.size())
            throw std::invalid_argument(option + ": there is no port " + port +
                                        " (tolvane ports lists them)");
        return static_cast<std::uint8_t>(index);
    }
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i] == port)
            return static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].find(port) != std::string::npos)
            return static_cast<std::uint8_t>(i);
    throw std::invalid_argument(option + ": no port named '" + port +
                                "' (tolvane ports lists them)");
}

// The MIDI ports the profile manager would list.
struct MidiPortNames {
    std::vector<std::string> inputs, outputs;
};
MidiPortNames midiPortNames() {
    MidiPortNames names;
    try {
        const auto backend = makeRtMidiBackend();
        names.inputs = TMidiInput(*backend, {}).devices();
        names.outputs = TMidiOutput(*backend, {}).devices();
    } catch (const MidiBackendError&) {
    }
    return names;
}

// The options of `profiles add` and `profiles set` over `profile`.
void applyProfileOptions(const Options& options, SamplerProfile& profile) {
    if (const auto type = options.value("--type"))
        profile.protocol = static_cast<std::uint8_t>(typeByName(*type));
    if (options.has("--midi-in") || options.has("--midi-out")) {
        const MidiPortNames ports = midiPortNames();
        if (const auto in = options.value("--midi-in"))
            profile.midiInput = portIndex("--midi-in", *in, ports.inputs);
        if (const auto outPort = options.value("--midi-out"))
            profile.midiOutput = portIndex("--midi-out", *outPort, ports.outputs);
    }
    if (const auto channel = options.wholeNumber("--channel", 1, 16))
        profile.channel = static_cast<std::uint8_t>(*channel);
    if (const auto id = options.wholeNumber("--sysex-id", 1, 16))
        profile.sysexId = static_cast<std::uint8_t>(*id);
    if (options.has("--open-loop") && options.has("--closed-loop"))
        throw std::invalid_argument("give --open-loop or --closed-loop, not both");
    if (options.has("--open-loop"))
        profile.openLoop = 1;
    if (options.has("--closed-loop"))
        profile.openLoop = 0;
    if (options.has("--scsi") && options.has("--socket"))
        throw std::invalid_argument("give --scsi HOST:TARGET or --socket PATH, not both");
    if (const auto scsi = options.value("--scsi")) {
        const std::size_t colon = scsi->find(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("--scsi wants HOST:TARGET");
        profile.adaptor =
            static_cast<std::uint8_t>(parseWholeNumber("--scsi", scsi->substr(0, colon), 0, 254));
        profile.target =
            static_cast<std::uint8_t>(parseWholeNumber("--scsi", scsi->substr(colon + 1), 0, 7));
    }
    if (const auto socket = options.value("--socket")) {
        // The socket adaptor comes after the machine's own SCSI hosts; its targets are the
        // sockets named as `tolvane ports` takes them.
        const char* env = std::getenv("TOLVANE_SCSI_SOCKETS");
        const std::vector<std::string> sockets =
            splitSocketList(env ? std::string(env) : options.value("--scsi-sockets").value_or(""));
        const auto at = std::find(sockets.begin(), sockets.end(), *socket);
        if (at == sockets.end() || at - sockets.begin() > 7)
            throw std::invalid_argument("--socket: " + *socket +
                                        " is not one of the first eight SCSI sockets "
                                        "(TOLVANE_SCSI_SOCKETS or --scsi-sockets)");
        profile.adaptor = static_cast<std::uint8_t>(linuxScsiAdaptors().size());
        profile.target = static_cast<std::uint8_t>(at - sockets.begin());
    }
    if (const auto offset =
            options.wholeNumber("--offset", SamplerProfile::kMinOffset, SamplerProfile::kMaxOffset))
        profile.offset = static_cast<std::int32_t>(*offset);
    // What the profile manager's controls would have been when it was stored.
    const ProtocolControls controls = controlsForSamplerType(kSamplerTypes[profile.protocol].text);
    profile.scsiInUse = controls.scsi ? 1 : 0;
    profile.midiOutputInUse = controls.midiOutput ? 1 : 0;
}

int storeProfile(const std::string& action, const std::string& name, const Options& options,
                 SamplerProfileStore& store, std::ostream& out, std::ostream& err) {
    if (!storableProfileName(name))
        throw std::invalid_argument("a profile name holds no control characters");
    const std::vector<std::string> names = store.names();
    const bool exists = std::find(names.begin(), names.end(), name) != names.end();
    SamplerProfile profile;
    if (action == "add") {
        if (exists) {
            err << "tolvane profiles: a profile named '" << printableProfileName(name)
                << "' exists already (profiles set changes it)\n";
            return kExitUsage;
        }
        if (!options.has("--type"))
            throw std::invalid_argument("add wants --type sds|smdi|a3000|ex|emu|akai");
    } else {
        if (!exists) {
            err << "tolvane profiles: no profile named '" << printableProfileName(name) << "'\n";
            return kExitBadProfile;
        }
        try {
            profile = store.read(name).value_or(SamplerProfile{});
        } catch (const EProfileReadError&) {
            // A damaged record is replaced by what the options give.
        }
    }
    applyProfileOptions(options, profile);
    if (!store.write(name, profile)) {
        err << "tolvane profiles: cannot store '" << printableProfileName(name) << "' in "
            << store.file() << "\n";
        return kExitCannotWrite;
    }
    printProfile(name, profile, out);
    return kExitOk;
}

} // namespace

int runProfiles(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        const Options options(args, kProfileValued, kProfileFlags);
        const auto& words = options.positional();
        const std::string action = words.empty() ? "list" : words[0];
        const bool named =
            action == "show" || action == "delete" || action == "add" || action == "set";
        const std::size_t wanted = named ? 2 : 1;
        if ((action != "list" && !named) || words.size() > wanted ||
            (named && words.size() < wanted))
            throw std::invalid_argument(
                "expected list, show NAME, add NAME, set NAME or delete NAME");
        const bool storing = action == "add" || action == "set";
        for (const std::string& option : kProfileValued)
            if (options.has(option) && option != "--settings" && !storing)
                throw std::invalid_argument(option + " goes with add or set");
        if ((options.has("--open-loop") || options.has("--closed-loop")) && !storing)
            throw std::invalid_argument("--open-loop goes with add or set");
        SamplerProfileStore store(
            profileStoreBeside(options.value("--settings").value_or(defaultSettingsFile())));
        const std::string name = named ? words[1] : std::string();
        try {
            if (storing)
                return storeProfile(action, name, options, store, out, err);
            if (action == "list") {
                const std::vector<std::string> names = store.names();
                if (names.empty())
                    out << kNoPresetsStored << "\n";
                for (const std::string& n : names)
                    out << printableProfileName(n) << "\n";
                return kExitOk;
            }
            if (action == "delete") {
                const auto names = store.names();
                if (std::find(names.begin(), names.end(), name) == names.end()) {
                    err << "tolvane profiles: no profile named '" << printableProfileName(name)
                        << "'\n";
                    return kExitBadProfile;
                }
                if (!store.remove(name)) {
                    err << "tolvane profiles: cannot write " << store.file() << "\n";
                    return kExitCannotWrite;
                }
                out << "deleted: " << printableProfileName(name) << "\n";
                return kExitOk;
            }
            const auto profile = store.read(name);
            if (!profile) {
                err << "tolvane profiles: no profile named '" << printableProfileName(name)
                    << "'\n";
                return kExitBadProfile;
            }
            printProfile(name, *profile, out);
            return kExitOk;
        } catch (const EProfileReadError& e) {
            err << e.what() << "\n";
            return kExitBadProfile;
        }
    } catch (const std::invalid_argument& e) {
        err << "tolvane profiles: " << e.what() << "\n";
        return kExitUsage;
    }
}

} // namespace tolvane::cli
