#include "samplers/SmdiSession.h"

#include "document/MemoryStream.h"
#include "processing/TWaveSmoother.h"
#include "samplers/ScsiEnumeration.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {
namespace {

using R = ScsiRequestBlock;
using smdi::Message;

constexpr std::uint8_t kTestUnitReady = 0x00, kReceive = 0x08, kSend = 0x0A, kInquiry = 0x12;
constexpr std::uint8_t kProcessorDevice = 3;
constexpr std::uint8_t kNotReadyStatusBits = 0x3E; // check condition, busy, reservation, …
constexpr std::size_t kControlReplySize = 64;      // any reply that is not a data packet
constexpr std::size_t kHeaderReplySize = smdi::kMessageHeaderSize + smdi::kExtendedHeaderDataSize;
constexpr std::uint32_t kMaxPacketLength = 0x20000;
constexpr std::uint32_t kEmuPacketLength = 0x4000;
constexpr std::uint32_t kReceivePacketLength = 0x8000;
constexpr std::uint64_t kMaxReceiveBytes = 0x7FFF'FFFFull; // what a document can hold
constexpr int kEmuProtocol = 4;
constexpr const char* kNoAnswer = "The sampler stopped answering.";

std::string percent(std::uint64_t part, std::uint64_t whole) {
    return percentText(part, whole);
}

bool is(const Message& m, std::uint16_t id, std::uint16_t sub) {
    return m.id == id && m.sub == sub;
}

// The packets of an outgoing sample, by number. The source hands them out in order; a packet
// asked for again is taken from the last one sent, or the source is read again from the start.
class PacketSource {
public:
    PacketSource(TWaveSmoother& source, std::uint32_t packetLength) : m_source(source) {
        m_source.blockSize = packetLength;
        m_source.prepare();
        m_buffer.resize(packetLength);
    }

    const std::vector<std::uint8_t>& packet(std::uint32_t number) {
        if (m_last && *m_last == number)
            return m_data;
        if (number < m_next) {
            m_source.prepare();
            m_next = 0;
        }
        while (m_next <= number) {
            const std::size_t n = m_source.nextBlock(m_buffer.data());
            m_data.assign(m_buffer.begin(), m_buffer.begin() + static_cast<long>(n));
            ++m_next;
        }
        m_last = number;
        return m_data;
    }

private:
    TWaveSmoother& m_source;
    std::vector<std::uint8_t> m_buffer, m_data;
    std::uint32_t m_next = 0;
    std::optional<std::uint32_t> m_last;
};

} // namespace

SmdiSession::SmdiSession(ScsiEntry entry, std::uint8_t adaptor, std::uint8_t target, int protocol)
    : m_entry(std::move(entry)), m_adaptor(adaptor), m_target(target), m_protocol(protocol) {}

void SmdiSession::cancel() {
    {
        std::lock_guard lock(m_sleepMutex);
        m_cancel = true;
    }
    m_sleepWake.notify_all();
    // A command under way ends now: a sampler that stopped answering is not waited on.
    std::lock_guard lock(m_commandMutex);
    if (m_underWay && m_entry) {
        R abort;
        abort.command = R::kAbortRequest;
        abort.adaptor = m_adaptor;
        abort.target = m_target;
        abort.requestToAbort = m_underWay;
        m_entry(abort);
    }
}

void SmdiSession::clearCancel() {
    m_cancel = false;
}

void SmdiSession::status(const std::string& text) const {
    if (m_status)
        m_status(text);
}

void SmdiSession::progress(const TransferProgress& progress) const {
    if (m_progress)
        m_progress(progress);
    else
        status(progress.text);
}

void SmdiSession::pause(std::chrono::milliseconds duration) {
    if (m_sleeper) {
        m_sleeper(duration);
        return;
    }
    std::unique_lock lock(m_sleepMutex);
    m_sleepWake.wait_for(lock, duration, [this] { return m_cancel.load(); });
}

std::uint8_t SmdiSession::command(std::uint8_t opcode, bool dataIn, std::uint8_t* data,
                                  std::uint32_t length, std::uint8_t* targetStatus) {
    R request;
    prepareScsiCommand(request, m_adaptor, m_target, opcode, dataIn, data, length);
    request.flags &= static_cast<std::uint8_t>(~R::kPosting); // ends before it returns
    request.completion = nullptr;
    request.timeoutMs = m_timings.commandTimeoutMs;
    {
        // After a cancel only the steps that end the procedure with the sampler go out.
        std::lock_guard lock(m_commandMutex);
        m_refused = m_cancel && !m_ending;
        if (m_refused)
            return R::kAborted;
        m_underWay = &request;
    }
    const std::uint8_t result = m_entry ? m_entry(request) : R::kNoDevice;
    {
        std::lock_guard lock(m_commandMutex);
        m_underWay = nullptr;
    }
    if (targetStatus)
        *targetStatus = request.targetStatus;
    return result;
}

bool SmdiSession::sendMessage(const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> out = message;
    if (command(kSend, false, out.data(), static_cast<std::uint32_t>(out.size())) ==
        R::kCompleted) {
        m_replyPending = true; // every message the sampler takes it answers
        return true;
    }
    m_failure = kNoAnswer;
    return false;
}

std::optional<Message> SmdiSession::receiveMessage(std::size_t capacity) {
    std::vector<std::uint8_t> in(capacity, 0);
    std::uint8_t targetStatus = 0;
    if (command(kReceive, true, in.data(), static_cast<std::uint32_t>(in.size()), &targetStatus) !=
        R::kCompleted) {
        // A sampler that refused the RECEIVE has no reply waiting; one that did not answer may.
        if (targetStatus != 0)
            m_replyPending = false;
        m_failure = kNoAnswer;
        return std::nullopt;
    }
    auto message = smdi::parseMessage(in.data(), in.size());
    // After "wait" the real reply waits to be fetched.
    m_replyPending = message && message->id == smdi::kWait;
    if (!message)
        m_failure = "The reply was not an SMDI message.";
    return message;
}

bool SmdiSession::waitUntilReady(std::chrono::milliseconds& waited) {
    for (;;) {
        if (m_cancel)
            return true; // the caller ends the procedure
        std::uint8_t targetStatus = 0;
        const std::uint8_t result = command(kTestUnitReady, false, nullptr, 0, &targetStatus);
        if (result != R::kCompleted && (targetStatus & kNotReadyStatusBits) == 0) {
            m_failure = kNoAnswer;
            return false;
        }
        if ((targetStatus & kNotReadyStatusBits) == 0)
            return true;
        if (waited >= m_timings.waitLimit) {
            m_failure = "The sampler stayed busy for " +
                        std::to_string(m_timings.waitLimit.count() / 1000) + " seconds.";
            return false;
        }
        status("Waiting...");
        pause(m_timings.pollInterval);
        waited += m_timings.pollInterval;
    }
}

std::optional<Message> SmdiSession::exchange(const std::vector<std::uint8_t>& message,
                                             std::size_t capacity) {
    m_failure.clear();
    if (!sendMessage(message))
        return std::nullopt;
    auto reply = receiveMessage(capacity);
    std::chrono::milliseconds waited{0};
    int waitReplies = 0;
    const auto start = std::chrono::steady_clock::now();
    while (reply && reply->id == smdi::kWait && !m_cancel) {
        ++waitReplies;
        status("Waiting...");
        if (!waitUntilReady(waited))
            return std::nullopt;
        // A wait reply of its own counts as one poll, so that a sampler that answers "wait"
        // again and again while it is ready is given up on as well, and told so.
        waited += m_timings.pollInterval;
        if (waited > m_timings.waitLimit) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", took.count());
            m_failure = "The sampler answered \"wait\" " + std::to_string(waitReplies) +
                        " times in " + seconds + " seconds without sending its reply.";
            return std::nullopt;
        }
        reply = receiveMessage(capacity); // the whole reply that was waited for
    }
    return reply;
}

// Only a reply left unread by an interrupted procedure is fetched: a RECEIVE with nothing
// pending breaks the sampler's exchange.
void SmdiSession::drain() {
    if (!m_replyPending)
        return;
    std::vector<std::uint8_t> in(kControlReplySize, 0);
    command(kReceive, true, in.data(), static_cast<std::uint32_t>(in.size()));
    m_replyPending = false;
}

void SmdiSession::abortProcedure() {
    // Nothing answers: no point waiting on it again. (A step refused after a cancel never went
    // out, so it says nothing of the sampler.)
    if (m_failure == kNoAnswer && !m_refused) {
        status("Inactive");
        return;
    }
    m_ending = true;
    const std::string failure = m_failure; // the reason the caller reports
    drain();                               // a reply still held back behind a "wait"
    if (sendMessage(smdi::buildMessage(smdi::kAbortProcedure, 0)))
        receiveMessage(kControlReplySize);
    m_ending = false;
    m_failure = failure;
    status("Inactive");
}

SmdiOutcome SmdiSession::failed(const std::string& detail) const {
    if (m_cancel) // the user's abort ended the step that failed
        return {SmdiOutcome::Kind::Cancelled, {}};
    std::string text = kMsgSamplerCommunication;
    if (!detail.empty())
        text += "\r\n\r\n" + detail;
    return {SmdiOutcome::Kind::Failed, text};
}

SmdiOutcome SmdiSession::unexpected(const Message& reply, const char* base) {
    std::string text = base;
    if (reply.id == smdi::kMessageReject)
        text += "\r\n\r\n" + smdi::rejectMeaning(reply);
    return {SmdiOutcome::Kind::Failed, text};
}

SmdiOutcome SmdiSession::connect() {
    SmdiOutcome outcome = identify();
    if (!outcome.done() && m_cancel)
        return {SmdiOutcome::Kind::Cancelled, {}};
    return outcome;
}

SmdiOutcome SmdiSession::identify() {
    std::vector<std::uint8_t> inquiry(96, 0);
    if (command(kInquiry, true, inquiry.data(), 96) != R::kCompleted ||
        (inquiry[0] & 0x1F) != kProcessorDevice)
        return {SmdiOutcome::Kind::Failed, kMsgNotSmdiCompliant};
    drain();
    if (!sendMessage(smdi::buildMessage(smdi::kIdentify, 0)))
        return {SmdiOutcome::Kind::Failed, kMsgNotSmdiCompliant};
    const auto reply = receiveMessage(kControlReplySize);
    if ((reply && is(*reply, smdi::kIdentify, 1)) || m_protocol == 0)
        return {};
    if (!reply)
        return {SmdiOutcome::Kind::Failed, kMsgNotSmdiCompliant};
    return {SmdiOutcome::Kind::Failed, kMsgSamplerCommunication};
}

SmdiOutcome SmdiSession::sendSample(const SmdiSendJob& job, TWaveSmoother& source) {
    drain();
    const std::uint32_t total = source.outputLength();
    if (total < 2)
        return failed("There is no sample data to send.");
    const std::uint8_t channels = std::max<std::uint8_t>(job.channels, 1);
    smdi::SampleHeader header;
    header.number = job.number;
    header.bitsPerWord = job.bitsPerWord;
    header.channels = channels;
    header.periodNs = smdi::periodForRate(job.sampleRate);
    header.lengthWords = total / 2 / channels; // per channel
    header.loopEnd = header.lengthWords > 0 ? header.lengthWords - 1 : 0;
    header.name = job.name;
    header.rootKey = job.rootKey;
    header.lowKey = job.lowKey;
    header.highKey = job.highKey;
    const bool extended = m_protocol == kEmuProtocol && job.rootKey != 0;
    const auto ack = exchange(smdi::buildMessage(smdi::kSampleHeader, extended ? 1 : 0,
                                                 smdi::buildHeaderData(header, extended)),
                              kControlReplySize);
    if (!ack) {
        abortProcedure();
        return failed(m_failure);
    }
    if (!is(*ack, smdi::kBeginTransfer, 1)) {
        if (ack->id == smdi::kAbortProcedure)
            return {SmdiOutcome::Kind::Aborted, kMsgOperationAborted};
        abortProcedure();
        return unexpected(*ack, kMsgSamplerCommunication);
    }
    // Packets as long as the sampler takes (whole 16-bit words, so an odd length loses a byte);
    // one that takes less than a word at a time cannot be sent to.
    std::uint32_t packetLength = m_protocol == kEmuProtocol ? kEmuPacketLength : ack->number(3, 3);
    if (packetLength < 2) {
        m_failure = "The sampler takes packets of " + std::to_string(packetLength) +
                    (packetLength == 1 ? " byte" : " bytes") + "; 16-bit samples need at least 2.";
        abortProcedure();
        return failed(m_failure);
    }
    packetLength = std::min<std::uint32_t>(packetLength & ~1u, kMaxPacketLength);
    PacketSource packets(source, packetLength);

    auto reply = exchange(smdi::buildBeginTransfer(0, job.number, packetLength), kControlReplySize);
    std::uint64_t sent = 0; // bytes acknowledged by the sampler's next request
    for (;;) {
        if (m_cancel) {
            abortProcedure();
            return {SmdiOutcome::Kind::Cancelled, {}};
        }
        if (!reply) {
            abortProcedure();
            return failed(m_failure);
        }
        if (reply->id == smdi::kEndOfProcedure)
            return {};
        if (reply->id == smdi::kAbortProcedure) {
            abortProcedure();
            return {SmdiOutcome::Kind::Aborted, kMsgOperationAborted};
        }
        if (reply->id != smdi::kSendNextPacket) {
            abortProcedure();
            return unexpected(*reply, kMsgSamplerCommunication);
        }
        // The packet the sampler asks for, by its number: after a lost packet it asks for the
        // same one again.
        const std::uint32_t number = reply->number(0, 3);
        const std::uint64_t offset = std::uint64_t(number) * packetLength;
        if (offset >= total) {
            abortProcedure();
            return failed("The sampler asked for packet " + std::to_string(number) +
                          ", past the end of the sample.");
        }
        const std::vector<std::uint8_t>& data = packets.packet(number);
        std::vector<std::uint8_t> body;
        body.reserve(3 + data.size());
        body.push_back(static_cast<std::uint8_t>(number >> 16));
        body.push_back(static_cast<std::uint8_t>(number >> 8));
        body.push_back(static_cast<std::uint8_t>(number));
        body.insert(body.end(), data.begin(), data.end());
        sent = std::max<std::uint64_t>(sent, offset + data.size());
        const bool fullPacket = data.size() == packetLength;
        TransferProgress shown{TransferProgress::Activity::Sending,
                               sent,
                               total,
                               job.positionInRun,
                               job.samplesInRun,
                               {}};
        if (job.batch || !job.regionOnly) {
            if (fullPacket) {
                shown.text = "Sending # " + std::to_string(job.positionInRun) + ": " +
                             percent(sent, total) + "%";
                progress(shown);
            }
        } else {
            shown.text = fullPacket && sent < total ? "Sending: " + percent(sent, total) + "%"
                                                    : std::string("Sending: 100%");
            progress(shown);
        }
        reply = exchange(smdi::buildMessage(smdi::kDataPacket, 0, body), kControlReplySize);
    }
}

SmdiOutcome SmdiSession::receiveSample(std::uint32_t number, MemoryStream& into,
                                       ReceivedFormat& format, std::string& name) {
    drain();
    format = {};
    const auto headerReply =
        exchange(smdi::buildNumbered(smdi::kHeaderRequest, 0, number), kHeaderReplySize);
    if (!headerReply)
        return failed(m_failure);
    const auto header = is(*headerReply, smdi::kSampleHeader, 0)
                            ? smdi::parseHeaderData(headerReply->data)
                            : std::nullopt;
    if (!header) {
        SmdiOutcome outcome{SmdiOutcome::Kind::Failed, kMsgSampleOutOfRange};
        if (headerReply->id == smdi::kMessageReject)
            outcome.message += "\r\n\r\n" + smdi::rejectMeaning(*headerReply);
        return outcome;
    }
    name = header->name;
    const std::uint64_t total = std::uint64_t(header->lengthWords) * header->channels * 2;
    if (header->channels < 1 || header->channels > 2 || header->bitsPerWord != 16 ||
        header->periodNs == 0 || total == 0 || total > kMaxReceiveBytes)
        return failed("The sample's header cannot be used: " + std::to_string(header->channels) +
                      " channels, " + std::to_string(header->bitsPerWord) + " bits, a period of " +
                      std::to_string(header->periodNs) + " ns, " +
                      std::to_string(header->lengthWords) + " words.");

    const auto ack =
        exchange(smdi::buildBeginTransfer(0, number, kReceivePacketLength), kControlReplySize);
    if (!ack)
        return failed(m_failure);
    if (!is(*ack, smdi::kBeginTransfer, 1)) {
        abortProcedure();
        return unexpected(*ack, kMsgSamplerCommunication);
    }
    const std::uint32_t packetLength =
        std::clamp<std::uint32_t>(ack->number(3, 3), 1, kMaxPacketLength);

    into.clear();
    into.setSize(static_cast<std::size_t>(total));
    std::uint64_t received = 0;
    for (std::uint32_t packet = 0; received < total; ++packet) {
        if (m_cancel) {
            abortProcedure();
            return {SmdiOutcome::Kind::Cancelled, {}};
        }
        const auto reply = exchange(smdi::buildNumbered(smdi::kSendNextPacket, 0, packet),
                                    smdi::kMessageHeaderSize + 3 + packetLength);
        if (!reply) {
            abortProcedure();
            return failed(m_failure);
        }
        if (reply->id == smdi::kEndOfProcedure)
            break; // the sampler has no more: what arrived is the sample
        if (reply->id == smdi::kAbortProcedure) {
            if (sendMessage(smdi::buildMessage(smdi::kAcknowledge, 0)))
                receiveMessage(kControlReplySize);
            return {SmdiOutcome::Kind::Aborted, kMsgOperationAborted};
        }
        if (reply->id != smdi::kDataPacket) {
            abortProcedure();
            return unexpected(*reply, kMsgSamplerCommunication);
        }
        if (reply->data.size() < 3 || reply->number(0, 3) != packet) {
            abortProcedure();
            return failed("The sampler sent packet " + std::to_string(reply->number(0, 3)) +
                          " when packet " + std::to_string(packet) + " was asked for.");
        }
        // Never more than the header announced, whatever the packet holds. The words are put
        // in order once all have arrived: a packet of an odd length ends inside one.
        const std::size_t bytes = static_cast<std::size_t>(
            std::min<std::uint64_t>(reply->data.size() - 3, total - received));
        into.seek(static_cast<std::int64_t>(received), SeekOrigin::Begin);
        into.write(reply->data.data() + 3, bytes);
        received += bytes;
        progress({TransferProgress::Activity::Receiving, received, total, 1, 1,
                  "Receiving: " + percent(received, total) + "%"});
        if (bytes == 0)
            break; // an empty packet: nothing more will come
    }
    into.setSize(static_cast<std::size_t>(received));
    smdi::swapWords(into.data(), into.size());
    into.seek(0, SeekOrigin::Begin);
    format.rate = smdi::rateForPeriod(header->periodNs);
    format.bitsPerSample = 16;
    format.channels = header->channels;
    format.lengthBytes = static_cast<std::uint32_t>(received);
    status("Inactive");
    return {};
}

SmdiOutcome SmdiSession::listSamples(const std::function<void(const smdi::SampleHeader&)>& each,
                                     std::uint32_t limit) {
    drain();
    std::uint32_t listed = 0;
    for (std::uint32_t number = m_protocol == kEmuProtocol ? 1 : 0; number < limit; ++number) {
        if (m_cancel)
            return {SmdiOutcome::Kind::Cancelled, {}};
        status("Retrieving info #" + std::to_string(number));
        const auto reply =
            exchange(smdi::buildNumbered(smdi::kHeaderRequest, 0, number), kHeaderReplySize);
        if (!reply)
            return failed(m_failure);
        const auto header =
            is(*reply, smdi::kSampleHeader, 0) ? smdi::parseHeaderData(reply->data) : std::nullopt;
        if (!header) {
            if (listed == 0 && reply->id == smdi::kMessageReject)
                return {SmdiOutcome::Kind::Failed, kMsgNoSamplesAvailable};
            break;
        }
        each(*header);
        ++listed;
    }
    status("Inactive");
    return {};
}

} // namespace tolvane
