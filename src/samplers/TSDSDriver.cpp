#include "samplers/TSDSDriver.h"

#include "document/MemoryStream.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {

using Clock = std::chrono::steady_clock;
using sds::Op;

namespace {
// SysEx buffers of the input while a transfer runs (the messages of a second's dump and more).
constexpr std::size_t kInputSysexBuffers = 512;
constexpr const char* kMsgInputOverflowed =
    "MIDI messages from the sampler were lost (the input overflowed)";
} // namespace

// The words of the sample being sent, taken from the packet source a block at a time.
struct TSDSDriver::Words {
    TWaveSmoother& source;
    std::uint32_t total = 0;
    std::vector<std::uint8_t> block;
    std::size_t blockUsed = 0;

    explicit Words(TWaveSmoother& s) : source(s), total(s.outputLength() / 2) {}
    // Up to `count` words; fewer only at the end.
    std::vector<std::int16_t> take(std::size_t count) {
        std::vector<std::int16_t> words;
        while (words.size() < count) {
            if (blockUsed + 1 >= block.size()) {
                block.resize(kSmootherBlockSize);
                source.blockSize = block.size();
                block.resize(source.nextBlock(block.data()));
                blockUsed = 0;
                if (block.empty())
                    break;
            }
            words.push_back(static_cast<std::int16_t>(
                static_cast<std::uint16_t>(block[blockUsed] | block[blockUsed + 1] << 8)));
            blockUsed += 2;
        }
        return words;
    }
};

// The sending thread of the Part is the driver's runner: `TMidiSend` is the operation that
// sends one sample, `TMidiReceive` the one that receives one.
class TSDSDriver::TMidiSend {
public:
    static TransferOutcome run(TSDSDriver& driver, const SampleSendArguments& arguments) {
        return driver.runSend(arguments);
    }
};

class TSDSDriver::TMidiReceive {
public:
    static TransferOutcome run(TSDSDriver& driver, int number, bool request) {
        return driver.runReceive(number, request);
    }
};

TSDSDriver::TSDSDriver(Poster post, SdsTimings timings)
    : m_post(std::move(post)), m_timings(timings) {
    // An abort wakes the wait for the sampler's next message.
    runner().setAbortHook([this] {
        {
            std::lock_guard lock(m_mutex);
            m_abort = true;
        }
        m_changed.notify_all();
    });
}

TSDSDriver::TSDSDriver(TMidiInput& input, TMidiOutput& output, Poster post, SdsTimings timings)
    : TSDSDriver(std::move(post), timings) {
    SetMidiPorts(&input, &output);
}

TSDSDriver::~TSDSDriver() {
    runner().stop();
    if (m_input)
        m_input->OnMidiInput = nullptr;
    m_input->OnOverflow = nullptr;
}

void TSDSDriver::SetMidiPorts(TMidiInput* input, TMidiOutput* output) {
    m_input = input;
    m_output = output;
}

void TSDSDriver::Abort() {
    runner().abort();
}

void TSDSDriver::ClearAbort() {
    m_abort = false;
    runner().clearAbort();
}

void TSDSDriver::GetSampleList(SampleDirectory& destination) {
    destination.fill({}); // the standard has no way to list a sampler's samples
}

void TSDSDriver::Connect(SamplerCallback continuation) {
    if (continuation)
        continuation(); // nothing to check before a dump
}

SdsTransferReport TSDSDriver::lastReport() const {
    std::lock_guard lock(m_mutex);
    return m_report;
}

std::uint8_t TSDSDriver::channelByte() const {
    return static_cast<std::uint8_t>(std::clamp<int>(m_profile.channel, 1, 16) - 1);
}

void TSDSDriver::post(std::function<void()> job) {
    auto guarded = [job = std::move(job), alive = std::weak_ptr<int>(m_alive)] {
        if (alive.lock())
            job();
    };
    if (m_post)
        m_post(std::move(guarded));
    else
        guarded();
}

void TSDSDriver::startTransfer() {
    std::lock_guard lock(m_mutex);
    m_replies.clear();
    m_partial.clear();
    m_inputOverflowed = false;
    m_report = {};
}

std::string TSDSDriver::openPorts(bool input, bool output) {
    try {
        if (output) {
            if (!m_output)
                throw EmidioutputError(kMsgOutputNotOpen);
            m_output->setDeviceID(m_profile.midiOutput);
            m_output->OpenPort();
        }
        if (input) {
            if (!m_input)
                throw EMidiInputError("Invalid device ID");
            m_input->OnMidiInput = [this] { onMidiInput(); };
            m_input->OnOverflow = [this] { onInputOverflow(); };
            // Each message takes a buffer until the window's thread takes it; a sampler that
            // goes on without our answers (and the clock and sensing beside it) must not run
            // out of them while that thread is busy.
            if (m_input->SysexBufferCount() < kInputSysexBuffers)
                m_input->setSysexBufferCount(kInputSysexBuffers);
            m_input->setDeviceID(m_profile.midiInput);
            m_input->OpenPort();
            m_input->StartInput();
        }
        return {};
    } catch (const std::runtime_error& e) {
        closePorts(input, output);
        return std::string(kMsgErrorOpeningMidi) + " (" + e.what() + ")";
    }
}

// The input's event: takes what arrived, puts SysEx pieces together and hands the
// Sample Dump messages for our channel (or all-call) to the transfer thread. Anything else on
// the cable is dropped here.
void TSDSDriver::onMidiInput() {
    if (!m_input)
        return;
    while (auto event = m_input->TakeEvent()) {
        if (event->MidiMessage != kSysexStatus || event->Sysex.empty())
            continue;
        if (event->Sysex.front() == kSysexStatus)
            m_partial.clear();
        m_partial.insert(m_partial.end(), event->Sysex.begin(), event->Sysex.end());
        if (m_partial.back() != 0xF7)
            continue;
        sds::Bytes message = std::exchange(m_partial, {});
        const auto kind = sds::classify(message);
        if (kind && (kind->channel == channelByte() || kind->channel == sds::kAllCall))
            queueReply(std::move(message));
    }
}

// Messages were dropped on the way in: the dump may have lost a packet or an answer, so the
// transfer ends instead of going on with a gap.
void TSDSDriver::onInputOverflow() {
    {
        std::lock_guard lock(m_mutex);
        m_inputOverflowed = true;
    }
    m_changed.notify_all();
}

void TSDSDriver::queueReply(sds::Bytes message) {
    {
        std::lock_guard lock(m_mutex);
        m_replies.push_back(std::move(message));
    }
    m_changed.notify_all();
}

std::optional<sds::Bytes> TSDSDriver::waitForMessage(Clock::time_point deadline, Wait& why) {
    std::unique_lock lock(m_mutex);
    const bool woken = m_changed.wait_until(
        lock, deadline, [&] { return m_abort || m_inputOverflowed || !m_replies.empty(); });
    if (m_inputOverflowed && !m_abort)
        throw std::runtime_error(kMsgInputOverflowed);
    if (m_abort) {
        why = Wait::Aborted;
        return std::nullopt;
    }
    if (!woken) {
        why = Wait::TimedOut;
        return std::nullopt;
    }
    why = Wait::Reply;
    sds::Bytes message = std::move(m_replies.front());
    m_replies.pop_front();
    return message;
}

// Sends a message and returns when the output has passed it on. The header and the packets of a
// send wait until the device has them: the wait for their answer, and the pacing of an open loop,
// are measured from there. Replies and cancels need only be on their way, so that a receive's
// answers are never held up by a late cycle.
void TSDSDriver::transmit(const sds::Bytes& message, Delivery delivery) {
    m_output->SendSysEx(message);
    if (delivery == Delivery::ToDevice)
        m_output->flushToDevice();
    else
        m_output->flush();
}

void TSDSDriver::closePorts(bool input, bool output) {
    if (input && m_input) {
        m_input->ClosePort();
        m_input->OnMidiInput = nullptr;
        m_input->OnOverflow = nullptr;
    }
    if (output && m_output) {
        try {
            m_output->ClosePort();
        } catch (const EmidioutputError&) {
            // closing flushes; a port that failed already said so
        }
    }
}

// --- sending -----------------------------------------------------------------------------

void TSDSDriver::SendSample(const SampleSendArguments& arguments) {
    runner().run([this, arguments] { return TMidiSend::run(*this, arguments); },
                 [this, arguments](const TransferOutcome& outcome) {
                     endOfSend(arguments, outcome.completed());
                 });
}

SdsSendHandshake::Step TSDSDriver::awaitGoAhead(SdsSendHandshake& handshake,
                                                const sds::Bytes& last) {
    using Step = SdsSendHandshake::Step;
    auto deadline = Clock::now() + handshake.replyTimeout();
    for (;;) {
        Wait why = Wait::Reply;
        const auto message = waitForMessage(deadline, why);
        if (why == Wait::Aborted)
            return Step::Cancelled;
        if (why == Wait::TimedOut)
            return handshake.onTimeout();
        const bool wasHolding = handshake.holding();
        const Step step = handshake.onMessage(*message);
        if (step == Step::Resend) {
            setStatus("Resending packet " + std::to_string(handshake.outstanding()));
            transmit(last, Delivery::ToDevice);
            handshake.resent();
            deadline = Clock::now() + handshake.replyTimeout();
            continue;
        }
        if (step != Step::Keep)
            return step;
        if (handshake.holding() && !wasHolding)
            deadline = Clock::now() + handshake.replyTimeout(); // WAIT: hold without the time-out
    }
}

std::string TSDSDriver::progressText(const SampleSendArguments& arguments, int packets,
                                     int total) const {
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.2f", total > 0 ? 100.0 * packets / total : 100.0);
    if (arguments.region)
        return std::string("Sending: ") + percent + "%";
    return "Sending # " + std::to_string(arguments.positionInRun) + ": " + percent + "%";
}

// Takes the sample's words from the packet source: one 16-bit value per frame, of one channel of
// a stereo pair (the start offset picks it) or the first of a frame sent as stereo.
TransferOutcome TSDSDriver::runSend(const SampleSendArguments& arguments) {
    using Step = SdsSendHandshake::Step;
    startTransfer();
    MemoryStream* stream = arguments.batch ? m_batchStream : m_sampleStream;
    TWaveSmoother& source = m_smoother ? *m_smoother : m_plainSmoother;
    source.source = stream ? stream->data() : nullptr;
    source.sourceSize = stream ? stream->size() : 0;
    source.start = arguments.startOffset;
    // The length covers whole frames of the source; one value of each frame goes.
    const bool stereoSource = arguments.sourceChannels >= 2;
    source.length = (stereoSource ? arguments.lengthBytes / 2 : arguments.lengthBytes) & ~1u;
    source.sourceLayout = stereoSource ? 2 : 1;
    source.outputChannels = 1;
    source.swapInput = arguments.byteOrder != 0;
    source.swapOutput = false;
    source.prepare();
    Words words(source);

    const bool openLoop = m_profile.openLoop != 0;
    if (const std::string failure = openPorts(!openLoop, true); !failure.empty()) {
        {
            std::lock_guard lock(m_mutex);
            m_report.message = failure;
        }
        setStatus(kMsgErrorOpeningMidi);
        return TransferOutcome::failed(failure);
    }

    const std::uint8_t channel = channelByte();
    SdsSendHandshake handshake(channel, m_timings);
    sds::DumpHeader header;
    header.sampleNumber = std::clamp(arguments.sampleNumber, 0, 0x3FFF);
    header.periodNs = sds::periodForRate(arguments.sampleRate);
    header.lengthWords = words.total;
    header.loopEnd = words.total;
    const int totalPackets =
        static_cast<int>((words.total + sds::kWordsPerPacket - 1) / sds::kWordsPerPacket);

    int packets = 0;
    Step step = Step::Next;
    std::string message;
    std::uint8_t number = 0;
    try {
        sds::Bytes last = sds::encodeHeader(channel, header);
        transmit(last, Delivery::ToDevice);
        handshake.headerSent();
        step = awaitGoAhead(handshake, last);
        // Every packet, the short last one too, waits for its answer (or its time).
        while (step == Step::Next && packets < totalPackets) {
            const std::vector<std::int16_t> chunk = words.take(sds::kWordsPerPacket);
            last = sds::encodePacket(channel, number, chunk);
            transmit(last, Delivery::ToDevice);
            handshake.packetSent(number);
            step = awaitGoAhead(handshake, last);
            if (step != Step::Next)
                break;
            ++packets;
            number = sds::nextPacketNumber(number);
            if (packets % 5 == 0 || packets == totalPackets)
                runner().progress(
                    {TransferProgress::Activity::Sending, static_cast<std::uint64_t>(packets) * 80,
                     static_cast<std::uint64_t>(totalPackets) * 80, arguments.positionInRun,
                     arguments.samplesInRun, progressText(arguments, packets, totalPackets)});
        }
        if (step != Step::Next)
            transmit(sds::encodeReply(Op::Cancel, channel, number));
    } catch (const std::runtime_error& e) {
        step = Step::Failed;
        message = e.what();
    }

    // Packets a handshaking sampler never answered may not have arrived: the transfer is not
    // confirmed.
    const bool ok = step == Step::Next && packets == totalPackets && handshake.unconfirmed() == 0;
    SdsTransferReport report;
    {
        std::lock_guard lock(m_mutex);
        m_report.ok = ok;
        m_report.packets = packets;
        m_report.resends = handshake.resends();
        m_report.unconfirmed = handshake.unconfirmed();
        m_report.openLoop = m_profile.openLoop != 0 || handshake.openLoop();
        m_report.words = words.total;
        m_report.cancelledBySampler = step == Step::Cancelled && !m_abort;
        if (!message.empty())
            m_report.message = message;
        else if (step == Step::Failed)
            m_report.message = handshake.failure();
        else if (m_report.cancelledBySampler)
            m_report.message = "The sampler cancelled the dump at packet " + std::to_string(number);
        else if (step == Step::Cancelled)
            m_report.message = "Aborted";
        else if (handshake.unconfirmed() > 0)
            m_report.message =
                "The sampler did not answer " + std::to_string(handshake.unconfirmed()) + " of " +
                std::to_string(totalPackets) + " packets - the sample may not have arrived whole";
        report = m_report;
    }
    // The sampler files the sample away; a CANCEL it sends meanwhile still ends the dump.
    if (!arguments.batch && !listenForCancel(handshake, m_timings.settle) && ok) {
        std::lock_guard lock(m_mutex);
        m_report.ok = false;
        m_report.cancelledBySampler = true;
        m_report.message = "The sampler cancelled the dump after its last packet";
        report = m_report;
    }
    closePorts(!openLoop, true);
    setStatus(report.message.empty() ? kMsgInactive : report.message);
    return outcomeOf(report);
}

// Waits out `duration` (less after an abort); false when the sampler cancelled meanwhile.
bool TSDSDriver::listenForCancel(SdsSendHandshake& handshake, std::chrono::milliseconds duration) {
    const auto deadline = Clock::now() + duration;
    for (;;) {
        Wait why = Wait::Reply;
        std::optional<sds::Bytes> message;
        try {
            message = waitForMessage(deadline, why);
        } catch (const std::runtime_error&) {
            return true; // every packet was answered already; nothing here can be told apart
        }
        if (why != Wait::Reply)
            return true;
        if (handshake.onMessage(*message) == SdsSendHandshake::Step::Cancelled)
            return false;
    }
}

TransferOutcome TSDSDriver::outcomeOf(const SdsTransferReport& report) const {
    if (report.ok)
        return TransferOutcome::done();
    if (report.cancelledBySampler)
        return TransferOutcome::stoppedBySampler(report.message);
    if (m_abort)
        return TransferOutcome::cancelled();
    return TransferOutcome::failed(report.message);
}

// The end of a sample on the window's thread: its callbacks.
void TSDSDriver::endOfSend(const SampleSendArguments& arguments, bool ok) {
    post([this, arguments, ok] {
        reportFailure(ok);
        if (arguments.batch) {
            if (ok && arguments.onDone)
                arguments.onDone();
            else if (!ok && arguments.onError)
                arguments.onError();
            else if (arguments.onDone)
                arguments.onDone();
        } else {
            // A failed sample ends the run: the sending thread must not count it as sent.
            if (!ok && arguments.onError)
                arguments.onError();
            if (m_waitingThread)
                m_waitingThread->Resume();
        }
    });
}

void TSDSDriver::reportFailure(bool ok) {
    if (ok || m_abort || !m_messages)
        return;
    const std::string message = lastReport().message;
    if (!message.empty())
        m_messages->error(message);
}

// --- receiving ---------------------------------------------------------------------------

void TSDSDriver::ReceiveSample(int sampleNumber, ReceiveCallback onDone) {
    ClearAbort();
    const bool request = sampleNumber < kWaitForSendBase;
    const int number = request ? sampleNumber : sampleNumber - kWaitForSendBase;
    runner().run([this, number, request] { return TMidiReceive::run(*this, number, request); },
                 [this, onDone = std::move(onDone)](const TransferOutcome&) {
                     const SdsTransferReport report = lastReport();
                     post([this, report, onDone] {
                         reportFailure(report.ok);
                         if (onDone)
                             onDone(report.ok ? ReceivedFormat{report.rate, 16, 1, report.words * 2}
                                              : ReceivedFormat{0, 0, 0, 0});
                     });
                 });
}

TransferOutcome TSDSDriver::runReceive(int number, bool request) {
    startTransfer();
    const std::uint8_t channel = channelByte();
    const bool openLoop = m_profile.openLoop != 0;
    // The output is needed for the replies, and for the request even in an open loop.
    const bool needOutput = !openLoop || request;
    if (const std::string failure = openPorts(true, needOutput); !failure.empty()) {
        {
            std::lock_guard lock(m_mutex);
            m_report.message = failure;
        }
        setStatus(kMsgErrorOpeningMidi);
        return TransferOutcome::failed(failure);
    }

    SdsReceiveSession session(channel, openLoop);
    std::string message;
    bool timedOut = false;
    try {
        if (request)
            transmit(sds::encodeRequest(channel, std::clamp(number, 0, 0x3FFF)));
        setStatus(kMsgWaiting);
        auto deadline = Clock::now() + (request ? m_timings.requestReply : m_timings.startLimit);
        int taken = 0;
        while (!session.complete() && !session.cancelled() && session.failure().empty()) {
            Wait why = Wait::Reply;
            const auto received = waitForMessage(deadline, why);
            if (why == Wait::Aborted)
                break;
            if (why == Wait::TimedOut) {
                timedOut = true;
                break;
            }
            const bool headerWasSeen = session.headerSeen();
            const auto outcome = session.onMessage(*received);
            if (outcome.reply && m_output && m_output->isOpen())
                transmit(*outcome.reply);
            if (session.headerSeen() && !headerWasSeen)
                // A sender we do not answer waits its header time before the first packet.
                deadline = Clock::now() + m_timings.headerReply + m_timings.silence;
            else if (session.headerSeen())
                deadline = Clock::now() + m_timings.silence;
            if (outcome.badPacket)
                setStatus("Error in packet:" + std::to_string(*outcome.badPacket));
            if (outcome.packetTaken && ++taken % 5 == 0) {
                const std::uint64_t words = session.words().size();
                const std::uint64_t total = session.header()->lengthWords;
                runner().progress({TransferProgress::Activity::Receiving, words * 2, total * 2, 1,
                                   1, "Receiving: " + percentText(words, total) + "%"});
            }
        }
        const bool stopped = !session.complete() && !session.cancelled();
        if (stopped && !openLoop && m_output && m_output->isOpen())
            transmit(sds::encodeReply(
                Op::Cancel, channel,
                session.headerSeen() ? sds::nextPacketNumber(session.lastPacket()) : 0));
    } catch (const std::runtime_error& e) {
        message = e.what();
    }

    const bool ok = session.complete() && message.empty();
    if (message.empty()) {
        if (!session.failure().empty())
            message = session.failure();
        else if (session.cancelled())
            message = "The sampler cancelled the dump";
        else if (timedOut && !session.headerSeen())
            message = request ? "The sampler did not answer the dump request"
                              : "The sampler did not start a dump";
        else if (timedOut)
            message = "The dump stopped: nothing came from the sampler for " +
                      std::to_string(m_timings.silence.count()) + " ms";
        else if (!ok)
            message = "Aborted";
        else if (session.badChecksums() > 0)
            message = std::to_string(session.badChecksums()) +
                      " packets came with checksum errors and were kept as they were";
    }
    SdsTransferReport report;
    report.ok = ok;
    report.cancelledBySampler = session.cancelled();
    report.openLoop = openLoop;
    report.message = message;
    report.badChecksums = session.badChecksums();
    report.duplicates = session.duplicates();
    report.words = static_cast<std::uint32_t>(session.words().size());
    report.rate = session.header() ? sds::rateForPeriod(session.header()->periodNs) : 0;
    report.packets = static_cast<int>((session.words().size() + sds::kWordsPerPacket - 1) /
                                      sds::kWordsPerPacket);
    {
        std::lock_guard lock(m_mutex);
        m_report = report;
    }
    closePorts(true, needOutput);
    if (report.ok)
        storeReceived(session.words());
    setStatus(report.message.empty() ? kMsgInactive : report.message);
    return outcomeOf(report);
}

void TSDSDriver::storeReceived(const std::vector<std::int16_t>& words) {
    if (!m_sampleStream)
        return;
    std::vector<std::uint8_t> bytes(words.size() * 2);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(words[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    m_sampleStream->assign(bytes);
    m_sampleStream->seek(0, SeekOrigin::Begin);
}

} // namespace tolvane
