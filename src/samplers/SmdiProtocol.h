#pragma once

#include "samplers/SampleRates.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::smdi {

// Message IDs (the sub-ID is 0 unless noted).
inline constexpr std::uint16_t kIdentify = 0x0001; // sub 1: the sampler's identify reply
inline constexpr std::uint16_t kMessageReject = 0x0002;
inline constexpr std::uint16_t kAcknowledge = 0x0100;
inline constexpr std::uint16_t kWait = 0x0102;
inline constexpr std::uint16_t kSendNextPacket = 0x0103;
inline constexpr std::uint16_t kEndOfProcedure = 0x0104;
inline constexpr std::uint16_t kAbortProcedure = 0x0105;
inline constexpr std::uint16_t kDataPacket = 0x0110;
inline constexpr std::uint16_t kHeaderRequest = 0x0120;
inline constexpr std::uint16_t kSampleHeader = 0x0121;  // sub 1: extended header
inline constexpr std::uint16_t kBeginTransfer = 0x0122; // sub 1: its acknowledge
inline constexpr std::size_t kMessageHeaderSize = 11;   // "SMDI", ID, sub-ID, length
inline constexpr std::size_t kHeaderDataSize = 0x119;   // 281: 26 bytes + a 255-byte name
inline constexpr std::size_t kExtendedHeaderDataSize = 0x11C;
inline constexpr std::size_t kNameCapacity = 255;

// One message as it travels: "SMDI", ID, sub-ID, 24-bit length, data (all big-endian).
struct Message {
    std::uint16_t id = 0;
    std::uint16_t sub = 0;
    std::vector<std::uint8_t> data;
    // The first `count` bytes of the data as a big-endian number (0 past the data's end).
    std::uint32_t number(std::size_t at, std::size_t count) const;
};

std::vector<std::uint8_t> buildMessage(std::uint16_t id, std::uint16_t sub,
                                       const std::vector<std::uint8_t>& data = {});
// A message with one 24-bit number as its data (sample number, packet number).
std::vector<std::uint8_t> buildNumbered(std::uint16_t id, std::uint16_t sub, std::uint32_t n);
// Begin sample transfer (sub 0) or its acknowledge (sub 1): sample number, packet length.
std::vector<std::uint8_t> buildBeginTransfer(std::uint16_t sub, std::uint32_t number,
                                             std::uint32_t packetLength);
// Nothing when the bytes do not begin with a message header. The data are those the length
// announces, cut at the end of what arrived (`truncated` then says so).
std::optional<Message> parseMessage(const std::uint8_t* bytes, std::size_t available,
                                    bool* truncated = nullptr);

// A sample header's fields.
struct SampleHeader {
    std::uint32_t number = 0;
    std::uint8_t bitsPerWord = 16;
    std::uint8_t channels = 1;
    std::uint32_t periodNs = 0;
    std::uint32_t lengthWords = 0; // per channel
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;
    std::uint8_t loopControl = 0x7F;
    std::uint8_t pitchInteger = 0x41;
    std::uint32_t pitchFraction = 0;
    std::string name;
    // The extended header also carries keys.
    std::uint8_t rootKey = 0, lowKey = 0, highKey = 0;
};

// The header data as sent: always the full size with a 255-byte name field.
std::vector<std::uint8_t> buildHeaderData(const SampleHeader& header, bool extended);
// The fields of a received header; a name that announces more than arrived is cut to what
// arrived. Nothing when the fixed fields are incomplete.
std::optional<SampleHeader> parseHeaderData(const std::vector<std::uint8_t>& data);

using tolvane::periodForRate;
using tolvane::rateForPeriod;

// What a Message Reject's code and sub-code mean, for the user.
std::string rejectMeaning(const Message& reject);

// 16-bit words swapped in place (big-endian <-> little-endian); an odd last byte is left.
void swapWords(std::uint8_t* bytes, std::size_t count);

} // namespace tolvane::smdi
