#pragma once

#include "app/commands/CommandContext.h"

#include <memory>
#include <string>

namespace tolvane {

class MidiBackend;
class SamplerProfileStore;
class ScsiBus;
class TMidiInput;
class TMidiOutput;

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
    TMidiInput& midiInput();
    TMidiOutput& midiOutput();
    ScsiBus& scsiBus();
    SamplerProfileStore& profiles();
    // The profile chosen when the manager was last closed with "OK".
    int lastProfile() const { return m_lastProfile; }

private:
    void makePorts();

    CommandContext& m_ctx;
    std::unique_ptr<MidiBackend> m_midi;
    std::unique_ptr<TMidiInput> m_input;
    std::unique_ptr<TMidiOutput> m_output;
    std::unique_ptr<ScsiBus> m_bus;
    std::unique_ptr<SamplerProfileStore> m_profiles;
    int m_lastProfile = 0;
};

} // namespace tolvane
