#pragma once

#include "cli/JobQueue.h"
#include "cli/Options.h"
#include "document/SampleDocument.h"
#include "processing/TWaveSmoother.h"
#include "samplers/BatchRun.h"
#include "samplers/SamplerDrivers.h"
#include "samplers/SamplerTypes.h"
#include "samplers/SendRun.h"

#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace tolvane {
class MidiBackend;
class ScsiBus;
class TMidiInput;
class TMidiOutput;
} // namespace tolvane

namespace tolvane::cli {

// The options that name the sampler, the same for every transfer command: --profile NAME
// (with --settings FILE), --socket PATH, --target ADAPTOR:ID (with --scsi-sockets LIST) and
// --port NAME.
const std::set<std::string>& samplerOptions();

// A sampler from the terminal: the profile the options name (or make up), the drivers on its
// ports, and the transfer runs of the windows over them, waited for on the command's own job
// queue. Each run prints what it did and returns the command's exit status.
class SamplerStation {
public:
    SamplerStation(std::string command, std::ostream& out, std::ostream& err);
    ~SamplerStation();
    SamplerStation(const SamplerStation&) = delete;
    SamplerStation& operator=(const SamplerStation&) = delete;

    // Reads the sampler options. `types` are the sampler types the command takes (every type
    // when empty); `type` is the one to use without a profile, or over the profile's. Returns
    // kExitOk, or kExitBadProfile after saying why; throws std::invalid_argument for options that
    // do not add up.
    int open(const Options& options, const std::vector<int>& types, std::optional<int> type);

    // The profile in use; a command may set the channel or the open loop before a run.
    SamplerProfile profile;
    // The packet source with the command's smoothing.
    TWaveSmoother smoother;

    // The runs. The document's data is what the driver reads.
    int send(SampleDocument& doc, SendRunRequest request);
    int sendFiles(BatchRequest request);
    // Receives sample `number` (without connecting first for "Wait For Send") into `file`.
    int receive(int number, const std::string& file, bool roundRate);
    int list();

    // The driver the profile chooses (for its own report after a run).
    TSamplerClass* driver() const { return m_driver; }

private:
    class Terminal;
    bool choose(MemoryStream* stream);
    int ended(const TransferOutcome& outcome);
    bool connectFailed(const std::optional<TransferOutcome>& failure);

    std::string m_command;
    std::ostream& m_out;
    std::ostream& m_err;
    JobQueue m_jobs;
    std::unique_ptr<Terminal> m_terminal;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<MidiBackend> m_midi;
    std::unique_ptr<ScsiBus> m_bus;
    std::unique_ptr<TMidiInput> m_input;
    std::unique_ptr<TMidiOutput> m_output;
    SamplerDrivers m_drivers;
    std::unique_ptr<SamplerDriverTable> m_table;
    TSamplerClass* m_driver = nullptr;
};

} // namespace tolvane::cli
