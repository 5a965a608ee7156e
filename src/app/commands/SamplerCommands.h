#pragma once

#include "app/commands/CommandContext.h"
#include "processing/TWaveSmoother.h"
#include "samplers/SamplerTypes.h"

#include <memory>
#include <string>

namespace tolvane {

class MidiBackend;
class SamplerProfileStore;
class ScsiBus;
class TMidiInput;
class TMidiOutput;
class TSamplerClass;

// The sampler side of the window: the MIDI input and output (`MidiInput1`, `MidiOutput1`),
// the SCSI bus and the stored profiles, which the drivers reach through a profile, and the
// profile manager. The ports are made when first needed: the system's (RtMidi, SG_IO and the
// sockets of the "ScsiSockets" setting) unless the window was given others.
class SamplerCommands {
public:
    explicit SamplerCommands(CommandContext& ctx);
    ~SamplerCommands();

    void Transmit1Click(); // "&Profile Manager"

    void setPorts(std::unique_ptr<MidiBackend> midi, std::unique_ptr<ScsiBus> bus);
    void setProfileFile(const std::string& file);
    // The system's MIDI ports (or those the window was given).
    MidiBackend& midiBackend();
    TMidiInput& midiInput();
    TMidiOutput& midiOutput();
    ScsiBus& scsiBus();
    SamplerProfileStore& profiles();
    // The three drivers (`SDST`, `SMIDIT`, `AkaiSTwoDrv`) and the table of them by protocol:
    // the real ones on the window's ports unless the window was given others.
    void setDrivers(std::unique_ptr<TSamplerClass> sds, std::unique_ptr<TSamplerClass> smdi,
                    std::unique_ptr<TSamplerClass> akai);
    const SamplerDriverTable& driverTable();
    // The packet source the drivers read their data through (`WaveSmoother`).
    TWaveSmoother& smoother() { return m_smoother; }

private:
    void makePorts();
    void makeDrivers();
    QWidget* managerParent() const;

    CommandContext& m_ctx;
    std::unique_ptr<MidiBackend> m_midi;
    std::unique_ptr<TMidiInput> m_input;
    std::unique_ptr<TMidiOutput> m_output;
    std::unique_ptr<ScsiBus> m_bus;
    std::unique_ptr<SamplerProfileStore> m_profiles;
    TWaveSmoother m_smoother;
    std::unique_ptr<TSamplerClass> m_sds, m_smdi, m_akai;
    std::unique_ptr<SamplerDriverTable> m_table;
    std::unique_ptr<DriverMessages> m_messages;
};

} // namespace tolvane
