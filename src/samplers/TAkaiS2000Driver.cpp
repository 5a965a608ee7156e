#include "samplers/TAkaiS2000Driver.h"

#include "document/MemoryStream.h"
#include "processing/TWaveSmoother.h"
#include "samplers/AkaiS2000Protocol.h"
#include "slicing/Keymap.h"

#include <algorithm>
#include <memory>

namespace tolvane {

using akai::Bytes;
using Clock = std::chrono::steady_clock;

// Why an operation ended early: the text to show and whether it is a warning.
struct TAkaiS2000Driver::Failure {
    std::string text;
    bool warning = false;
};

namespace {

using R = ScsiRequestBlock;
using Cdb = std::array<std::uint8_t, 6>;

constexpr std::uint8_t kDataFlag = 0x80; // CDB byte 5: sample data rather than a message
constexpr std::uint64_t kMaxReceivedBytes = 0x7FFF'FFFFull; // what a document can hold

Cdb lengthCdb(std::uint8_t opcode, std::uint32_t length, bool sampleData) {
    return {opcode,
            0,
            static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length),
            sampleData ? kDataFlag : std::uint8_t(0)};
}

std::string percent(std::uint64_t done, std::uint64_t total) {
    return percentText(done, total);
}

std::uint8_t clampKey(int key) {
    return static_cast<std::uint8_t>(std::clamp(key, 0, 127));
}

// The keymap MapSamples is given, as the keymap settings the key assignment reads.
KeymapSettings keymapOf(int baseNote, bool whiteKeys, int keySpread) {
    KeymapSettings keymap;
    keymap.octave = baseNote / 12;
    keymap.note = baseNote % 12 + 1;
    keymap.interval = keySpread;
    keymap.whiteKeysOnly = whiteKeys;
    return keymap;
}

} // namespace

// The SCSI side of one operation: the requests, the exclusive mode and the message exchange,
// each bounded in time. Failures are thrown as Failure.
class TAkaiS2000Driver::Link {
public:
    Link(const ScsiEntry& entry, std::uint8_t adaptor, std::uint8_t target, const Timing& timing,
         const std::atomic<bool>& abort, TransferRunner& runner)
        : m_entry(entry), m_adaptor(adaptor), m_target(target), m_timing(timing), m_abort(abort),
          m_runner(runner) {}
    ~Link() { leaveExclusive(); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // One request, waited for; how it ended.
    enum class Outcome { Completed, Failed, Silent };
    Outcome execute(const Cdb& cdb, std::uint8_t* data, std::uint32_t length, bool in) {
        if (!m_entry)
            return Outcome::Failed;
        R request;
        request.command = R::kExecuteCommand;
        request.adaptor = m_adaptor;
        request.target = m_target;
        request.lun = 0;
        request.flags = in ? R::kDataIn : R::kDataOut; // no posting: done when it returns
        request.dataLength = length;
        request.data = length > 0 ? data : nullptr;
        request.cdbLength = 6;
        std::copy(cdb.begin(), cdb.end(), request.cdb.begin());
        request.timeoutMs = static_cast<std::uint32_t>(m_timing.request.count());
        m_entry(request);
        if (request.status == R::kCompleted && request.adaptorStatus == 0)
            return Outcome::Completed;
        // A request that timed out got no SCSI status at all.
        return request.status == R::kError && request.targetStatus == 0 ? Outcome::Silent
                                                                        : Outcome::Failed;
    }

    void require(Outcome outcome) const {
        if (outcome == Outcome::Silent)
            throw Failure{kMsgAkaiNoAnswer};
        if (outcome != Outcome::Completed)
            throw Failure{m_failedRequestAborts ? kMsgAkaiAborted : kMsgAkaiUnexpectedReply,
                          m_failedRequestAborts};
    }

    // From now on a request the sampler fails ends the operation as aborted (receiving does).
    void failedRequestsAbort() { m_failedRequestAborts = true; }

    void enterExclusive() {
        m_exclusive = true; // leave it again even when entering failed halfway
        require(execute({0x09, 0, 1, 1, 0, 0}, nullptr, 0, false));
    }
    void leaveExclusive() noexcept {
        if (std::exchange(m_exclusive, false))
            execute({0x09, 0, 0, 0, 0, 0}, nullptr, 0, false);
    }

    void checkAbort() const {
        if (m_abort)
            throw Failure{kMsgAkaiAborted, true};
    }

    void send(Bytes data, bool sampleData = false) {
        const auto length = static_cast<std::uint32_t>(data.size());
        require(execute(lengthCdb(0x0C, length, sampleData), data.data(), length, false));
    }

    std::uint32_t pending(bool sampleData) {
        std::array<std::uint8_t, 6> answer{};
        require(execute({0x0D, 0, 0, 0, 0, sampleData ? kDataFlag : std::uint8_t(0)}, answer.data(),
                        static_cast<std::uint32_t>(answer.size()), true));
        return std::uint32_t(answer[0]) << 16 | std::uint32_t(answer[1]) << 8 | answer[2];
    }

    void read(std::uint8_t* into, std::uint32_t length, bool sampleData) {
        require(execute(lengthCdb(0x0E, length, sampleData), into, length, true));
    }

    // Waits (bounded, and open to Abort) until at least `least` bytes are pending; how many
    // are (fewer only when the time ran out and `least` is above 1).
    std::uint32_t awaitPending(bool sampleData, std::uint32_t least = 1) {
        const auto deadline = Clock::now() + m_timing.reply;
        for (;;) {
            const std::uint32_t length = pending(sampleData);
            if (length >= least || (length > 0 && Clock::now() >= deadline))
                return length;
            checkAbort();
            if (Clock::now() >= deadline)
                throw Failure{kMsgAkaiNoAnswer};
            m_runner.pause(m_timing.poll);
        }
    }

    // The messages of the sampler's reply: waited for, then read until nothing more waits.
    std::vector<Bytes> awaitReply() {
        Bytes bytes;
        for (std::uint32_t length = awaitPending(false); length > 0; length = pending(false)) {
            const std::size_t at = bytes.size();
            bytes.resize(at + length);
            read(bytes.data() + at, length, false);
        }
        std::vector<Bytes> messages;
        for (std::uint8_t b : bytes) {
            if (b == 0xF0)
                messages.emplace_back();
            if (!messages.empty())
                messages.back().push_back(b);
        }
        if (messages.empty())
            throw Failure{kMsgAkaiUnexpectedReply};
        return messages;
    }

    // One message out, the first message of the reply back.
    Bytes ask(const Bytes& message) {
        send(message);
        std::vector<Bytes> reply = awaitReply();
        return reply.front();
    }

    // A header message in its two transfers, then the first message of the reply.
    Bytes askInTwo(const Bytes& message) { return askInTwoAll(message).front(); }
    // ... and every message of the reply, in order.
    std::vector<Bytes> askInTwoAll(const Bytes& message) {
        auto [first, second] = akai::inTwoTransfers(message);
        send(std::move(first));
        send(std::move(second));
        return awaitReply();
    }

private:
    const ScsiEntry& m_entry;
    std::uint8_t m_adaptor;
    std::uint8_t m_target;
    Timing m_timing;
    const std::atomic<bool>& m_abort;
    TransferRunner& m_runner;
    bool m_exclusive = false;
    bool m_failedRequestAborts = false;
};

TAkaiS2000Driver::TAkaiS2000Driver(ScsiEntry entry, Messages* messages, Timing timing)
    : m_entry(std::move(entry)), m_messages(messages), m_timing(timing) {}

TAkaiS2000Driver::~TAkaiS2000Driver() {
    runner().stop();
}

void TAkaiS2000Driver::Abort() {
    m_abort = true;
    runner().abort();
}

void TAkaiS2000Driver::begin() {
    m_abort = false;
    runner().clearAbort();
}

void TAkaiS2000Driver::SetProfile(const SamplerProfile& profile) {
    m_adaptor = profile.adaptor;
    m_target = profile.target;
}

void TAkaiS2000Driver::SetScsiEntry(ScsiEntry entry) {
    waitIdle();
    m_entry = std::move(entry);
}

void TAkaiS2000Driver::GetSampleList(SampleDirectory& destination) {
    std::lock_guard lock(m_stateMutex);
    destination = m_directory;
}

std::string TAkaiS2000Driver::GetReceivedName() {
    std::lock_guard lock(m_stateMutex);
    return m_receivedName;
}

TransferOutcome TAkaiS2000Driver::report(const Failure& failure) {
    m_abort = true;
    if (m_messages) {
        if (failure.warning)
            m_messages->warning(failure.text);
        else
            m_messages->error(failure.text);
    }
    if (failure.text == kMsgAkaiAborted && runner().abortRequested())
        return TransferOutcome::cancelled();
    if (failure.text == kMsgAkaiAborted) // a request failed: not the sampler's refusal
        return TransferOutcome::failed(failure.text);
    return failure.warning ? TransferOutcome::stoppedBySampler(failure.text)
                           : TransferOutcome::failed(failure.text);
}

// --- Operations ------------------------------------------------------------------------------

void TAkaiS2000Driver::Connect(SamplerCallback continuation) {
    begin();
    runner().run([this] { return runConnect(); },
                 [continuation = std::move(continuation)](const TransferOutcome& outcome) {
                     if (outcome.completed() && continuation)
                         continuation();
                 });
}

TransferOutcome TAkaiS2000Driver::runConnect() {
    Link link(m_entry, m_adaptor, m_target, m_timing, m_abort, runner());
    std::array<std::uint8_t, 10> inquiry{};
    const bool processor = link.execute({0x12, 0, 0, 0, 0x0A, 0}, inquiry.data(), 10, true) ==
                               Link::Outcome::Completed &&
                           (inquiry[0] & 0x1F) == 3;
    if (!processor ||
        link.execute({0x00, 0, 0, 0, 0, 0}, nullptr, 0, false) != Link::Outcome::Completed)
        return report(Failure{kMsgAkaiCommunication});
    return TransferOutcome::done();
}

void TAkaiS2000Driver::ListSamples(SamplerCallback onDone, SampleListView* view) {
    begin();
    // The done callback comes also for an empty list and after a failure, so that the window
    // goes on.
    runner().run([this, view] { return runList(view); },
                 [onDone = std::move(onDone)](const TransferOutcome&) {
                     if (onDone)
                         onDone();
                 });
}

TransferOutcome TAkaiS2000Driver::runList(SampleListView* view) {
    TransferOutcome outcome;
    {
        std::lock_guard lock(m_stateMutex);
        m_directory = {};
    }
    try {
        Link link(m_entry, m_adaptor, m_target, m_timing, m_abort, runner());
        link.enterExclusive();
        const auto count =
            akai::listCount(link.ask(akai::request(akai::kRequestSampleList)), akai::kSampleList);
        if (!count)
            throw Failure{kMsgAkaiUnexpectedReply};
        for (int n = 0; n < *count; ++n) {
            link.checkAbort();
            const auto info = akai::sampleHeaderReply(link.ask(akai::requestSampleHeader(n)));
            if (!info)
                throw Failure{kMsgAkaiUnexpectedReply};
            if (view)
                view->addSample(n, info->name);
            if (static_cast<std::size_t>(n) < kSampleDirectorySize) {
                std::lock_guard lock(m_stateMutex);
                m_directory[static_cast<std::size_t>(n)] = {info->lengthWords, info->rate, 16, 1};
            }
        }
    } catch (const Failure& failure) {
        outcome = report(failure);
    }
    status("Inactive");
    return outcome;
}

void TAkaiS2000Driver::ReceiveSample(int sampleNumber, ReceiveCallback onDone) {
    begin();
    auto format = std::make_shared<ReceivedFormat>();
    runner().run([this, sampleNumber, format] { return runReceive(sampleNumber, *format); },
                 [format, onDone = std::move(onDone)](const TransferOutcome&) {
                     if (onDone)
                         onDone(*format);
                 });
}

TransferOutcome TAkaiS2000Driver::runReceive(int sampleNumber, ReceivedFormat& format) {
    TransferOutcome outcome;
    try {
        if (!m_sampleStream)
            throw Failure{kMsgAkaiAborted, true};
        MemoryStream& stream = *m_sampleStream;
        stream.seek(0, SeekOrigin::Begin);
        Link link(m_entry, m_adaptor, m_target, m_timing, m_abort, runner());
        link.enterExclusive();
        link.failedRequestsAbort();
        const auto memory = akai::maxWords(link.ask(akai::request(akai::kRequestStatus)));
        const auto info =
            akai::sampleHeaderReply(link.ask(akai::requestSampleHeader(sampleNumber)));
        if (!info || !memory)
            throw Failure{kMsgAkaiUnexpectedReply};
        // The rate field holds the rate in hertz; without it the sample's speed is unknown.
        if (!info->rateValid || info->rate == 0)
            throw Failure{kMsgAkaiNoRate};
        {
            std::lock_guard lock(m_stateMutex);
            m_receivedName = info->name;
        }
        // The header's length is checked before anything is allocated: no sample is longer
        // than the sampler's memory, nor than a document holds.
        const std::uint64_t size = 2ull * info->lengthWords;
        if (info->lengthWords > *memory || size > kMaxReceivedBytes)
            throw Failure{"The sampler gives sample " + std::to_string(sampleNumber) +
                          " a length of " + std::to_string(info->lengthWords) +
                          " words, more than it holds (" + std::to_string(*memory) +
                          " words) - nothing received!"};
        stream.clear();
        stream.setSize(static_cast<std::size_t>(size));
        link.send(akai::requestSampleData(sampleNumber, info->lengthWords));
        std::uint64_t received = 0;
        while (received < size) {
            link.checkAbort();
            const auto block = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(akai::kBlockSize, size - received));
            // Every block must be there to be read: an empty or short one ends the receive.
            if (link.awaitPending(true, block) < block)
                throw Failure{"The sampler sent " + std::to_string(received + link.pending(true)) +
                              " of " + std::to_string(size) +
                              " bytes of the sample - nothing received!"};
            std::uint8_t* into = stream.data() + received;
            link.read(into, block, true);
            akai::swapBytePairs(into, block); // the sampler sends big-endian words
            received += block;
            runner().progress({TransferProgress::Activity::Receiving, received, size, 1, 1,
                               "Receiving: " + percent(received, size) + "%"});
        }
        stream.seek(static_cast<std::int64_t>(size), SeekOrigin::Begin);
        format = {info->rate, 16, 1, static_cast<std::uint32_t>(size)};
    } catch (const Failure& failure) {
        outcome = report(failure);
        if (m_sampleStream)
            m_sampleStream->clear(); // half a sample is no sample
        format = {0, 0, 0, 0};
    }
    status("Inactive");
    return outcome;
}

void TAkaiS2000Driver::SendSample(const SampleSendArguments& arguments) {
    begin();
    runner().run([this, arguments] { return runSend(arguments); },
                 [this, batch = arguments.batch, onDone = arguments.onDone](
                     const TransferOutcome&) { finishSend(batch, onDone); });
}

TransferOutcome TAkaiS2000Driver::runSend(const SampleSendArguments& a) {
    TransferOutcome outcome;
    try {
        if (a.stereoAsStereo && a.channelsSent == 2)
            throw Failure{kMsgAkaiStereo};
        MemoryStream* source = a.batch ? m_batchStream : m_sampleStream;
        if (!m_smoother || !source)
            throw Failure{kMsgAkaiNoSource};
        // The packet source: the whole stretch, or one channel of a stereo pair.
        TWaveSmoother& smoother = *m_smoother;
        const bool oneOfTwo = a.sourceChannels == 2 && a.channelsSent == 1;
        smoother.source = source->data();
        smoother.sourceSize = source->size();
        smoother.start = a.startOffset;
        smoother.length = (oneOfTwo ? a.lengthBytes / 2 : a.lengthBytes) & ~1u;
        smoother.sourceLayout = oneOfTwo ? 2 : 1;
        smoother.outputChannels = 1;
        smoother.swapInput = false;
        smoother.swapOutput = a.byteOrder == 0;
        smoother.blockSize = akai::kBlockSize;
        smoother.prepare();
        const std::uint32_t bytesToSend = smoother.outputLength();

        Link link(m_entry, m_adaptor, m_target, m_timing, m_abort, runner());
        link.enterExclusive();
        const auto free = akai::freeWords(link.ask(akai::request(akai::kRequestStatus)));
        if (!free)
            throw Failure{kMsgAkaiUnexpectedReply};
        if (bytesToSend >= 2 * std::uint64_t(*free))
            throw Failure{kMsgAkaiMemory};
        const auto count =
            akai::listCount(link.ask(akai::request(akai::kRequestSampleList)), akai::kSampleList);
        if (!count)
            throw Failure{kMsgAkaiUnexpectedReply};

        akai::SampleHeaderFields header;
        header.name = a.name;
        header.pitch = a.rootKey;
        header.lengthWords = bytesToSend / 2;
        header.rate = a.sampleRate;
        const Bytes message = akai::sampleHeaderMessage(*count, akai::sampleHeader(header));
        // Each message of a reply in order: WAITs hold the data back until the ACK.
        const auto deadline = Clock::now() + m_timing.reply;
        for (std::vector<Bytes> reply = link.askInTwoAll(message);; reply = link.awaitReply()) {
            bool acknowledged = false;
            for (const Bytes& part : reply) {
                const akai::Answer answer = akai::answerOf(part);
                if (answer == akai::Answer::Acknowledge) {
                    acknowledged = true;
                    break;
                }
                if (answer != akai::Answer::Wait)
                    throw Failure{kMsgAkaiUnexpectedReply};
            }
            if (acknowledged)
                break;
            link.checkAbort();
            if (Clock::now() >= deadline)
                throw Failure{kMsgAkaiNoAnswer};
        }
        sendData(link, bytesToSend, a);
    } catch (const Failure& failure) {
        if (failure.text == kMsgAkaiAborted) {
            m_abort = true; // a cancelled send is the user's choice: no box
            outcome = TransferOutcome::cancelled();
        } else {
            outcome = report(failure);
        }
    }
    status("Inactive");
    return outcome;
}

void TAkaiS2000Driver::sendData(Link& link, std::uint32_t bytesToSend,
                                const SampleSendArguments& a) {
    Bytes block(akai::kBlockSize);
    std::uint32_t sent = 0;
    while (sent < bytesToSend) {
        link.checkAbort();
        const std::size_t filled = m_smoother->nextBlock(block.data());
        if (filled == 0)
            throw Failure{kMsgAkaiUnexpectedReply}; // the source ran dry before its length
        link.send(Bytes(block.begin(), block.begin() + static_cast<long>(filled)), true);
        sent += static_cast<std::uint32_t>(filled);
        const std::string done = percent(sent, bytesToSend) + "%";
        runner().progress({TransferProgress::Activity::Sending, sent, bytesToSend, a.positionInRun,
                           a.samplesInRun,
                           a.region
                               ? "Sending # " + done
                               : "Sending # " + std::to_string(a.positionInRun) + ": " + done});
    }
}

void TAkaiS2000Driver::finishSend(bool batch, const SamplerCallback& onDone) {
    if (batch || !m_waiting) {
        if (onDone)
            onDone();
        return;
    }
    m_waiting->Resume();
}

void TAkaiS2000Driver::MapSamples(const std::string& programName, const std::string& baseName,
                                  SamplerCallback onDone, int /*firstSample*/, int count,
                                  bool whiteKeys, int keySpread, int baseNote) {
    begin();
    // A name list serves the one mapping after its batch.
    std::vector<std::string> names = std::exchange(m_names, {});
    const bool batch = !names.empty();
    runner().run(
        [=, this] {
            return runMap(programName, baseName, names, count, whiteKeys, keySpread, baseNote);
        },
        [this, batch, onDone = std::move(onDone)](const TransferOutcome&) {
            finishSend(batch, onDone);
        });
}

TransferOutcome TAkaiS2000Driver::runMap(const std::string& programName,
                                         const std::string& baseName,
                                         const std::vector<std::string>& names, int count,
                                         bool whiteKeys, int keySpread, int baseNote) {
    TransferOutcome outcome;
    const bool batch = !names.empty();
    if (batch)
        count = static_cast<int>(names.size());
    try {
        if (count <= 0)
            throw Failure{kMsgAkaiProgram};
        const KeymapSettings keymap = keymapOf(baseNote, whiteKeys, keySpread);
        Link link(m_entry, m_adaptor, m_target, m_timing, m_abort, runner());
        link.enterExclusive();
        const auto programs =
            akai::listCount(link.ask(akai::request(akai::kRequestProgramList)), akai::kProgramList);
        if (!programs)
            throw Failure{kMsgAkaiUnexpectedReply};
        // Programs are numbered from 0, so the count is the next free number.
        const int program = *programs;
        akai::ProgramFields fields;
        fields.name = programName;
        fields.lowKey = clampKey(keyForSample(keymap, 0).low);
        fields.highKey = clampKey(keyForSample(keymap, count - 1).high);
        const auto programAnswer = akai::answerOf(
            link.askInTwo(akai::programHeaderMessage(program, akai::programHeader(fields))));
        if (programAnswer != akai::Answer::Ok)
            throw Failure{kMsgAkaiProgram};
        for (int k = 0; k < count; ++k) {
            link.checkAbort();
            const KeyRange keys = keyForSample(keymap, k);
            akai::KeygroupFields group;
            group.lowKey = clampKey(keys.low);
            group.highKey = clampKey(keys.high);
            group.sampleName =
                batch ? names[static_cast<std::size_t>(k)] : akai::runSampleName(baseName, k + 1);
            const auto answer = akai::answerOf(
                link.askInTwo(akai::keygroupMessage(program, k, akai::keygroupHeader(group))));
            if (answer != akai::Answer::Ok)
                throw Failure{kMsgAkaiKeygroup};
        }
    } catch (const Failure& failure) {
        outcome = report(failure);
    }
    status("Inactive");
    return outcome;
}

} // namespace tolvane
