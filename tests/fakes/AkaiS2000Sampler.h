#pragma once

#include "fakes/SocketScsiTarget.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane::test {

// An Akai S2000-family sampler as a processor-type SCSI target on a Unix socket, with the
// family's "MIDI over SCSI": once SCSI exclusive mode is on, System Exclusive messages go to
// the sampler in SCSI commands instead of over a MIDI cable, and its answers wait until they
// are fetched. The commands (6-byte CDBs, lengths as 24-bit big-endian in bytes 2 to 4):
//   0x09  exclusive mode: CDB byte 4 bit 0 on (1) or off (0)
//   0x0C  send: the data out is one or more SysEx messages
//   0x0D  byte count: data in, 3 bytes big-endian, how many answer bytes wait
//   0x0E  receive: data in, up to the transfer length of the waiting answer bytes
// Without exclusive mode 0x0C to 0x0E end in check condition. The SysEx understood is the
// S1000 family's (F0 47 cc op 48 … F7, cc the exclusive channel):
//   RSTAT 0x00 -> STAT 0x01 (free memory and counts)
//   RSLIST 0x04 -> SLIST 0x05 (sample count, 2 bytes of 7 bits low first, then each name as
//                  12 characters of the sampler's character set)
//   RPLIST 0x02 -> PLIST 0x03 (the programs, likewise)
// and anything else is kept in `received` for the test to look at.
class AkaiS2000Sampler {
public:
    explicit AkaiS2000Sampler(const std::string& socketPath);

    const std::string& path() const { return m_target.path(); }
    std::vector<std::string> sampleNames; // what SLIST reports
    std::vector<std::string> programNames;
    bool exclusiveMode() const;
    std::vector<std::vector<std::uint8_t>> received() const;

    // A name in the sampler's 12-character set: 0-9, space, A-Z, '#', '+', '-', '.'.
    static std::vector<std::uint8_t> akaiName(const std::string& name);
    static std::string fromAkaiName(const std::uint8_t* chars);

private:
    SocketScsiTarget::Reply handle(const ScsiCommand& command, ScsiAnswer& answer);
    void takeSysEx(const std::vector<std::uint8_t>& message);
    void answer(std::uint8_t channel, std::uint8_t op, const std::vector<std::uint8_t>& data);
    std::vector<std::uint8_t> nameList(const std::vector<std::string>& names) const;

    mutable std::mutex m_mutex;
    bool m_exclusive = false;
    std::deque<std::uint8_t> m_out;
    std::vector<std::vector<std::uint8_t>> m_received;
    SocketScsiTarget m_target;
};

} // namespace tolvane::test
