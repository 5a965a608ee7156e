#include "samplers/SdsHandshake.h"

#include <algorithm>
#include <iterator>

namespace tolvane {

using sds::Op;

SdsSendHandshake::SdsSendHandshake(std::uint8_t channel, SdsTimings timings)
    : m_channel(channel), m_timings(timings) {}

void SdsSendHandshake::headerSent() {
    m_headerOutstanding = true;
    m_outstanding = 0; // the header's answer names packet 0
    m_holding = false;
    m_resends = 0;
}

void SdsSendHandshake::resent() {
    m_holding = false; // its resend count goes on
}

void SdsSendHandshake::packetSent(std::uint8_t number) {
    m_headerOutstanding = false;
    m_outstanding = number & 0x7F;
    m_holding = false;
    m_resends = 0;
}

bool SdsSendHandshake::forUs(const sds::Message& m) const {
    return (m.channel == m_channel || m.channel == sds::kAllCall) && m.packet == m_outstanding;
}

SdsSendHandshake::Step SdsSendHandshake::onMessage(std::span<const std::uint8_t> message) {
    const auto m = sds::classify(message);
    // A CANCEL for us ends the dump whichever packet it names: the sampler has stopped taking
    // it, also when its CANCEL comes after we went on.
    if (m && m->op == Op::Cancel && (m->channel == m_channel || m->channel == sds::kAllCall))
        return Step::Cancelled;
    if (m && confirmsLate(*m))
        return Step::Keep;
    if (!m || !forUs(*m))
        return Step::Keep;
    m_answered = true;
    switch (m->op) {
    case Op::Ack:
        m_holding = false;
        return Step::Next;
    case Op::Nak:
        m_holding = false;
        if (++m_resends > m_timings.resendLimit) {
            m_failure = "The sampler refused packet " + std::to_string(m_outstanding) + " " +
                        std::to_string(m_resends) + " times";
            return Step::Failed;
        }
        ++m_totalResends;
        return Step::Resend;
    case Op::Wait:
        m_holding = true;
        return Step::Keep;
    case Op::Cancel:
        return Step::Cancelled;
    default:
        return Step::Keep;
    }
}

// The standard's 20 ms after a packet is shorter than a round trip through a loaded system's
// MIDI: a receiver that has answered once gets the longer handshake time for each packet.
std::chrono::milliseconds SdsSendHandshake::replyTimeout() const {
    if (m_holding)
        return m_timings.waitLimit;
    if (m_headerOutstanding)
        return m_timings.headerReply;
    return m_answered ? m_timings.handshakeReply : m_timings.packetReply;
}

SdsSendHandshake::Step SdsSendHandshake::onTimeout() {
    if (m_holding) {
        m_failure = "The sampler asked to wait and did not go on";
        return Step::Failed;
    }
    if (m_headerOutstanding)
        m_openLoop = true;
    else if (m_answered) {
        m_unconfirmed.push_back(m_outstanding);
        if (m_unconfirmed.size() > 127) {
            m_unconfirmed.pop_front();
            ++m_unconfirmedForGood;
        }
    }
    return Step::Next;
}

// An answer slower than the wait for it still tells that the packet arrived: an ACK for us
// naming a packet whose time ran out confirms it (the newest packet of that number).
bool SdsSendHandshake::confirmsLate(const sds::Message& m) {
    if (m.op != Op::Ack || (m.channel != m_channel && m.channel != sds::kAllCall) ||
        m.packet == m_outstanding)
        return false;
    const auto late = std::find(m_unconfirmed.rbegin(), m_unconfirmed.rend(), m.packet);
    if (late == m_unconfirmed.rend())
        return false;
    m_unconfirmed.erase(std::next(late).base());
    return true;
}

SdsReceiveSession::SdsReceiveSession(std::uint8_t channel, bool openLoop)
    : m_channel(channel), m_openLoop(openLoop) {}

bool SdsReceiveSession::forUs(const sds::Message& m) const {
    return m.channel == m_channel || m.channel == sds::kAllCall;
}

SdsReceiveSession::Outcome SdsReceiveSession::onMessage(std::span<const std::uint8_t> message) {
    const auto m = sds::classify(message);
    if (!m || !forUs(*m) || m_cancelled || !m_failure.empty())
        return {};
    switch (m->op) {
    case Op::Cancel:
        m_cancelled = true;
        return {};
    case Op::Header: {
        if (m_header)
            return {}; // one header per dump
        const auto header = sds::decodeHeader(message);
        if (header->bits != sds::kSixteenBits) {
            m_failure = kMsgIncorrectFormat;
            return {};
        }
        m_header = header;
        m_words.reserve(header->lengthWords);
        Outcome outcome;
        if (!m_openLoop)
            outcome.reply = sds::encodeReply(Op::Ack, m_channel, 0);
        return outcome;
    }
    case Op::Packet:
        if (!m_header || complete())
            return {};
        return takePacket(message);
    default:
        return {};
    }
}

SdsReceiveSession::Outcome SdsReceiveSession::takePacket(std::span<const std::uint8_t> message) {
    const auto packet = sds::decodePacket(message);
    Outcome outcome;
    if (m_lastPacket && packet->number == *m_lastPacket) {
        // Sent again because our ACK was lost: it is already in the sample.
        ++m_duplicates;
        if (!m_openLoop)
            outcome.reply = sds::encodeReply(Op::Ack, m_channel, packet->number);
        return outcome;
    }
    // Packets come in order: one that skips a number means a packet was lost on the way (or
    // a NAKed one was never sent again), and taking it would put its words where the lost
    // packet's belong.
    const auto expected =
        static_cast<std::uint8_t>(m_lastPacket ? sds::nextPacketNumber(*m_lastPacket) : 0);
    if (packet->checksumOk && packet->number != expected) {
        m_failure = "Packet " + std::to_string(expected) + " never arrived (packet " +
                    std::to_string(packet->number) + " came in its place)";
        return outcome;
    }
    if (!packet->checksumOk) {
        if (!m_openLoop) {
            outcome.reply = sds::encodeReply(Op::Nak, m_channel, packet->number);
            outcome.badPacket = packet->number;
            return outcome;
        }
        ++m_badChecksums; // cannot be asked for again: kept, and reported at the end
    }
    const std::size_t missing = m_header->lengthWords - m_words.size();
    const std::size_t count = std::min(missing, sds::kWordsPerPacket);
    m_words.insert(m_words.end(), packet->words.begin(),
                   packet->words.begin() + static_cast<std::ptrdiff_t>(count));
    m_lastPacket = packet->number;
    outcome.packetTaken = true;
    if (!m_openLoop)
        outcome.reply = sds::encodeReply(Op::Ack, m_channel, packet->number);
    return outcome;
}

} // namespace tolvane
