#pragma once

#include "samplers/SdsCodec.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

// The times a Sample Dump Standard transfer waits, the standard's by default; tests shorten
// them.
struct SdsTimings {
    using Ms = std::chrono::milliseconds;
    Ms headerReply{2000};    // after the header: no answer means the receiver is open loop
    Ms packetReply{20};      // after a packet: no answer means go on with the next one
    Ms handshakeReply{1000}; // after a packet, once the sampler has answered one
    Ms waitLimit{20000};     // after WAIT: the longest hold before the sender gives up
    Ms requestReply{5000};   // after a dump request: the longest wait for the header
    Ms startLimit{120000};   // waiting for the sampler to start a dump by itself
    Ms silence{2000};        // mid-dump silence that ends a receive
    Ms settle{2000};         // after a sample, before the next one may start
    int resendLimit = 10;    // NAKs for one packet before the sender gives up
};

// The sender's side of the handshake: which reply to act on and what it means. Replies count
// only when they come for our channel (or the all-call 7F) and name the packet outstanding,
// except CANCEL, which ends the dump whatever packet it names, and a late ACK of a packet whose
// time ran out, which confirms that packet after all; everything else on the cable (other
// devices, stale replies, other SysEx) is ignored.
class SdsSendHandshake {
public:
    enum class Step {
        Keep,      // nothing new: keep waiting
        Next,      // send the next packet
        Resend,    // send the last message again
        Cancelled, // the receiver cancelled
        Failed,    // give up (see failure())
    };

    SdsSendHandshake(std::uint8_t channel, SdsTimings timings);

    void headerSent();
    void packetSent(std::uint8_t number);
    void resent(); // the last message went again after a NAK
    Step onMessage(std::span<const std::uint8_t> message);
    // How long to wait for an answer to what was sent last.
    std::chrono::milliseconds replyTimeout() const;
    // No answer came in time.
    Step onTimeout();

    // No answer came to the header: the receiver takes the packets without replies.
    bool openLoop() const { return m_openLoop; }
    // The receiver has answered: it is handshaking, and a packet it leaves unanswered was not
    // confirmed.
    bool handshaking() const { return m_answered; }
    int unconfirmed() const {
        return static_cast<int>(m_unconfirmed.size()) + m_unconfirmedForGood;
    }
    bool holding() const { return m_holding; }
    std::uint8_t outstanding() const { return m_outstanding; }
    int resends() const { return m_totalResends; }
    const std::string& failure() const { return m_failure; }

private:
    bool forUs(const sds::Message& m) const;
    bool confirmsLate(const sds::Message& m);

    std::uint8_t m_channel;
    SdsTimings m_timings;
    bool m_headerOutstanding = false;
    std::uint8_t m_outstanding = 0;
    bool m_holding = false; // a WAIT came: no time-out to the next packet
    bool m_openLoop = false;
    bool m_answered = false;
    // Numbers of the packets whose answer did not come in time, oldest first. Numbers repeat
    // every 128 packets, so only the last 127 can still be told apart; older ones stay counted.
    std::deque<std::uint8_t> m_unconfirmed;
    int m_unconfirmedForGood = 0; // too old to be confirmed by a late ACK
    int m_resends = 0;
    int m_totalResends = 0;
    std::string m_failure;
};

// The receiver's side: takes the header and the packets, answers each in a closed loop, drops
// a resent duplicate, and keeps what came with a bad checksum in an open loop (counting it).
class SdsReceiveSession {
public:
    SdsReceiveSession(std::uint8_t channel, bool openLoop);

    struct Outcome {
        std::optional<sds::Bytes> reply;       // to send back
        bool packetTaken = false;              // a packet was added (for the progress)
        std::optional<std::uint8_t> badPacket; // a closed-loop packet refused
    };
    Outcome onMessage(std::span<const std::uint8_t> message);

    bool headerSeen() const { return m_header.has_value(); }
    const std::optional<sds::DumpHeader>& header() const { return m_header; }
    bool complete() const { return m_header && m_words.size() >= m_header->lengthWords; }
    bool cancelled() const { return m_cancelled; }
    // A reason to stop (the format is not 16 bits); empty otherwise.
    const std::string& failure() const { return m_failure; }
    const std::vector<std::int16_t>& words() const { return m_words; }
    int badChecksums() const { return m_badChecksums; }
    int duplicates() const { return m_duplicates; }
    std::uint8_t lastPacket() const { return m_lastPacket.value_or(0); }

private:
    bool forUs(const sds::Message& m) const;
    Outcome takePacket(std::span<const std::uint8_t> message);

    std::uint8_t m_channel;
    bool m_openLoop;
    std::optional<sds::DumpHeader> m_header;
    std::vector<std::int16_t> m_words;
    std::optional<std::uint8_t> m_lastPacket; // the last packet accepted
    int m_badChecksums = 0;
    int m_duplicates = 0;
    bool m_cancelled = false;
    std::string m_failure;
};

inline constexpr const char* kMsgIncorrectFormat = "Incorrect sample format (must be 16 bit!)";

} // namespace tolvane
