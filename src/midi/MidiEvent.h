#pragma once

#include <cstdint>
#include <vector>

namespace tolvane {

// One received (or to be sent) MIDI event: a short message, or a SysEx whose bytes the event
// owns (status 240).
struct TMyMidiEvent {
    std::uint32_t Time = 0; // milliseconds since the input started
    std::uint8_t MidiMessage = 0;
    std::uint8_t Data1 = 0;
    std::uint8_t Data2 = 0;
    std::vector<std::uint8_t> Sysex;
    std::size_t SysexLength() const { return Sysex.size(); }
};

// A SysEx buffer handed to the device: room for `data.size()` bytes, `recorded` of them used.
struct TMyMidiHdr {
    explicit TMyMidiHdr(std::size_t size) : data(size) {}
    std::vector<std::uint8_t> data;
    std::size_t recorded = 0;
};

inline constexpr std::uint8_t kSysexStatus = 0xF0;
inline constexpr std::uint8_t kTimingClock = 0xF8;
inline constexpr std::uint8_t kActiveSensing = 0xFE;

} // namespace tolvane
