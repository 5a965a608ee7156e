#pragma once

#include "fakes/SocketScsiTarget.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane::test {

// An Akai S2000-family sampler as a processor-type SCSI target on a Unix socket, with the
// family's "MIDI over SCSI": once SCSI exclusive mode is on, System Exclusive messages go to
// the sampler in SCSI commands instead of over a MIDI cable, and its answers wait until they
// are fetched. The commands (6-byte CDBs, lengths as 24-bit big-endian in bytes 2 to 4, byte 5
// 0x80 for sample data instead of messages):
//   0x09  exclusive mode: 09 00 01 01 00 00 on, 09 00 00 00 00 00 off
//   0x0C  send: messages (a message may span several sends), or sample data
//   0x0D  byte count: data in, 3 bytes big-endian, how many answer (or sample data) bytes wait
//   0x0E  receive: data in, up to the transfer length of the waiting bytes
// Without exclusive mode 0x0C to 0x0E end in check condition.
//
// The messages are the S1000 family's (F0 47 cc op 48 … F7, cc the exclusive channel) as the
// family documents them, with 192-byte headers sent as low/high nibble pairs:
//   RSTAT 00 -> STAT 01 (version, blocks, maximum and free sample words, channel)
//   RPLIST 02 -> PLIST 03, RSLIST 04 -> SLIST 05 (count in two 7-bit groups low first, then
//     each name as 12 codes of the sampler's character set)
//   PDATA 07 (program p): p past the last program creates one with GROUPS keygroups;
//     a program of the same name is deleted first; REPLY 16 with 0 (ok) or 1 (error)
//   KDATA 09 (program p or 255 = the program created last, keygroup k): k past the last adds a
//     keygroup, else replaces it; REPLY
//   RSDATA 0A -> SDATA 0B; or REPLY error past the last sample
//   SDATA 0B (sample s): s past the last creates a sample of SLNGTH words, answered with the
//     dump handshake ACK (F0 7E cc 7F 00 F7); its data then arrives in sample-data sends;
//     REPLY error when no slot is free or the memory is too small
//   RSPACK 0C (sample, offset, words): the sample's words wait as sample data
// The sample data is kept as it arrived: 16-bit words, big-endian.
// Anything else is kept in `received` for the test to look at.
class AkaiS2000Sampler {
public:
    using Header = std::array<std::uint8_t, 192>;
    struct Sample {
        Header header{};
        std::vector<std::uint8_t> data; // big-endian words
        std::string name() const;
        std::uint32_t lengthWords() const;
        std::uint32_t rate() const; // the rate field
    };
    struct Program {
        Header header{};
        std::vector<Header> keygroups;
        std::string name() const;
    };

    explicit AkaiS2000Sampler(const std::string& socketPath);

    const std::string& path() const { return m_target.path(); }
    bool exclusiveMode() const;
    std::vector<std::vector<std::uint8_t>> received() const;

    // Memory.
    void addSample(const std::string& name, const std::vector<std::int16_t>& words,
                   std::uint32_t rate, bool rateValid = true);
    // A sample whose header claims `claimedWords` while it holds only `words`.
    void addLyingSample(const std::string& name, const std::vector<std::int16_t>& words,
                        std::uint32_t claimedWords);
    void addProgram(const std::string& name);
    std::vector<Sample> samples() const;
    std::vector<Program> programs() const;
    void setFreeWords(std::uint32_t words);

    // Faults.
    void failDataBlock(int block);  // that sample-data send (from 0) ends in check condition
    void failDataReads(bool on);    // reading sample data ends in check condition
    void refuseNewSamples(bool on); // no free sample slot
    void setSilent(bool on);        // messages are taken and never answered
    void setHanging(bool on);       // SCSI commands get no answer at all
    // A new sample's header is answered with `waits` WAITs (F0 7E cc 7C 00 F7) before the ACK,
    // all waiting to be fetched together, as a sampler busy making room answers.
    void waitBeforeAck(int waits);
    std::vector<std::size_t> dataBlocks() const; // the sizes of the sample-data sends seen

    // A name in the sampler's 12-character set: 0-9, space, A-Z, '#', '+', '-', '.'.
    static std::vector<std::uint8_t> akaiName(const std::string& name);
    static std::string fromAkaiName(const std::uint8_t* chars);

private:
    SocketScsiTarget::Reply handle(const ScsiCommand& command, ScsiAnswer& answer);
    void takeBytes(const std::vector<std::uint8_t>& bytes);
    void takeSysEx(const std::vector<std::uint8_t>& message);
    void takeSampleData(const std::vector<std::uint8_t>& bytes, ScsiAnswer& answer);
    void takeSampleHeader(int number, const Header& header);
    void takeProgram(int number, const Header& header);
    void takeKeygroup(int program, int keygroup, const Header& header);
    void answer(std::uint8_t op, const std::vector<std::uint8_t>& data);
    void reply(bool ok);
    std::vector<std::uint8_t> status() const;
    template <typename T> std::vector<std::uint8_t> nameList(const std::vector<T>& items) const;
    std::uint32_t usedWords() const;

    mutable std::mutex m_mutex;
    bool m_exclusive = false;
    std::uint8_t m_channel = 0;
    std::vector<std::uint8_t> m_message; // a message arriving over several sends
    std::deque<std::uint8_t> m_out;      // answers waiting
    std::deque<std::uint8_t> m_dataOut;  // sample data waiting
    std::vector<std::vector<std::uint8_t>> m_received;
    std::vector<Sample> m_samples;
    std::vector<Program> m_programs;
    int m_lastCreatedProgram = -1;
    int m_receiving = -1; // the sample whose data is arriving
    std::uint32_t m_maxWords = 8 * 1024 * 1024;
    int m_failBlock = -1;
    bool m_failDataReads = false;
    std::vector<std::size_t> m_blocks;
    bool m_refuseNewSamples = false;
    bool m_silent = false;
    bool m_hanging = false;
    int m_waitsBeforeAck = 0;
    SocketScsiTarget m_target;
};

} // namespace tolvane::test
