#pragma once

// The messages of the S2000-family samplers (S2000, S3000XL, S3200XL) as the driver sends and
// reads them: System Exclusive messages F0 47 cc op 48 … F7 with headers of 192 bytes sent as
// low/high nibble pairs, the sampler's 12-character name code, and the replies the driver
// reads back. Pure functions, so that the driver's threading stays out of their way.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane::akai {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kManufacturer = 0x47;
inline constexpr std::uint8_t kModel = 0x48;
inline constexpr std::size_t kHeaderSize = 192; // program, keygroup and sample headers
inline constexpr std::size_t kNameLength = 12;
inline constexpr std::size_t kBlockSize = 1024; // bytes of sample data per SCSI transfer

// Operation codes.
enum Op : std::uint8_t {
    kRequestStatus = 0x00,
    kStatus = 0x01,
    kRequestProgramList = 0x02,
    kProgramList = 0x03,
    kRequestSampleList = 0x04,
    kSampleList = 0x05,
    kRequestProgram = 0x06,
    kProgramHeader = 0x07,
    kRequestKeygroup = 0x08,
    kKeygroupHeader = 0x09,
    kRequestSampleHeader = 0x0A,
    kSampleHeader = 0x0B,
    kRequestSampleData = 0x0C,
    kReply = 0x16,
};

// Keygroups sent to this program number go to the program created last.
inline constexpr int kLastCreatedProgram = 255;

// --- Names ---------------------------------------------------------------------------------

using NameCodes = std::array<std::uint8_t, kNameLength>;
// Each character (UTF-8) as the samplers' set has it (samplerText: "ü" is "u"), upper case,
// its index in "0-9 blank A-Z # + - ."; anything else is a blank (10); filled with blanks or cut
// to 12.
NameCodes encodeName(std::string_view name);
// Each code through the table (codes past it become blanks), trailing blanks dropped.
std::string decodeName(const std::uint8_t* codes);
// The name of sample `position` (from 1) of a run: the file name without folder and extension,
// cut to 9 characters, then the position as three digits ("Kick 1.wav", 2 -> "Kick 1002").
std::string runSampleName(std::string_view fileName, int position);

// --- Nibbles and numbers -------------------------------------------------------------------

// Each byte as two bytes, low nibble first.
void appendNibbles(Bytes& out, const std::uint8_t* bytes, std::size_t count);
// Bytes from low/high nibble pairs; count bytes from `nibbles`.
Bytes fromNibbles(const std::uint8_t* nibbles, std::size_t count);
// 7-bit groups, least significant first.
void appendSevenBit(Bytes& out, std::uint32_t value, int groups);
std::uint32_t sevenBit(const std::uint8_t* groups, int count);

// --- Headers -------------------------------------------------------------------------------

// The fields of a sample header the driver writes; every other byte is 0.
struct SampleHeaderFields {
    std::string name;
    std::uint8_t pitch = 60; // original pitch: the key the sample plays at its own pitch
    std::uint32_t lengthWords = 0;
    std::uint32_t rate = 44100;
};
std::array<std::uint8_t, kHeaderSize> sampleHeader(const SampleHeaderFields& fields);

// What the driver reads from a sample header.
struct SampleInfo {
    std::string name;
    std::uint8_t pitch = 0;
    std::uint32_t lengthWords = 0;
    bool rateValid = false; // the header says its rate field holds the rate
    std::uint32_t rate = 0; // the rate field, in hertz
};
SampleInfo readSampleHeader(const std::uint8_t* header);

struct ProgramFields {
    std::string name;
    std::uint8_t lowKey = 0; // the play range
    std::uint8_t highKey = 127;
};
std::array<std::uint8_t, kHeaderSize> programHeader(const ProgramFields& fields);

struct KeygroupFields {
    std::uint8_t lowKey = 0;
    std::uint8_t highKey = 0;
    std::string sampleName; // played in velocity zone 1, over the whole velocity range
};
std::array<std::uint8_t, kHeaderSize> keygroupHeader(const KeygroupFields& fields);

// Offsets of the fields the tests and the driver read back.
namespace offset {
inline constexpr std::size_t kName = 3;          // program and sample headers
inline constexpr std::size_t kPlayLow = 19;      // program
inline constexpr std::size_t kPlayHigh = 20;     // program
inline constexpr std::size_t kGroups = 42;       // program: number of keygroups
inline constexpr std::size_t kLowNote = 3;       // keygroup
inline constexpr std::size_t kHighNote = 4;      // keygroup
inline constexpr std::size_t kZone1Sample = 34;  // keygroup
inline constexpr std::size_t kPitch = 2;         // sample
inline constexpr std::size_t kRateValid = 15;    // sample: 0x80 when the rate field is valid
inline constexpr std::size_t kSampleLength = 26; // sample, 32 bits
inline constexpr std::size_t kSampleRate = 138;  // sample, 16 bits
} // namespace offset

// --- Messages ------------------------------------------------------------------------------

Bytes request(Op op); // status, program list, sample list
Bytes requestSampleHeader(int sample);
Bytes requestSampleData(int sample, std::uint32_t lengthWords);
// A header message: F0 47 00 op 48, the numbers (two 7-bit groups each for program or sample,
// one byte for a keygroup), the header in nibbles, F7.
Bytes sampleHeaderMessage(int sample, const std::array<std::uint8_t, kHeaderSize>& header);
Bytes programHeaderMessage(int program, const std::array<std::uint8_t, kHeaderSize>& header);
Bytes keygroupMessage(int program, int keygroup,
                      const std::array<std::uint8_t, kHeaderSize>& header);
// A header message in the two SCSI transfers it goes in. The cut falls between two nibble pairs,
// so that a sampler joining the transfers finds every header byte where it belongs.
std::pair<Bytes, Bytes> inTwoTransfers(const Bytes& message);

// --- Replies -------------------------------------------------------------------------------

// The number of entries of a program or sample list (bytes 5 and 6); nothing when the reply
// is not that list.
std::optional<int> listCount(const Bytes& reply, Op listOp);
// The free sample memory in words of a status reply (bytes 15 to 18).
std::optional<std::uint32_t> freeWords(const Bytes& reply);
// All of the sample memory in words of a status reply (bytes 11 to 14): no sample is longer.
std::optional<std::uint32_t> maxWords(const Bytes& reply);
// The sample header of a sample-header reply.
std::optional<SampleInfo> sampleHeaderReply(const Bytes& reply);
// The sampler's answer to a header: the dump handshake (acknowledge or wait) or its command
// reply (ok or error).
enum class Answer { None, Acknowledge, Wait, Ok, Refused };
Answer answerOf(const Bytes& reply);

// 16-bit samples swapped between little- and big-endian, in place.
void swapBytePairs(std::uint8_t* data, std::size_t size);

} // namespace tolvane::akai
