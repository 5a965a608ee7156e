#include "fakes/SdsSampler.h"

#include <jack/midiport.h>
#include <utility>

namespace tolvane::test {
namespace {

constexpr std::uint8_t kNonRealTime = 0x7E;
constexpr std::uint8_t kAllCall = 0x7F;
constexpr std::uint8_t kHeader = 0x01, kPacket = 0x02, kRequest = 0x03;
constexpr std::uint8_t kAck = 0x7F, kNak = 0x7E, kCancel = 0x7D, kWait = 0x7C;
constexpr std::size_t kPacketData = 120;
constexpr std::size_t kRingBytes = 1 << 16;

void put7(std::vector<std::uint8_t>& out, std::uint32_t v, int groups) {
    for (int i = 0; i < groups; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (7 * i) & 0x7F));
}

std::uint32_t get7(const std::uint8_t* p, int groups) {
    std::uint32_t v = 0;
    for (int i = groups - 1; i >= 0; --i)
        v = v << 7 | p[i];
    return v;
}

// The exclusive-or of everything after F0 up to `end`: 7E cc 02 kk and the data.
std::uint8_t checksum(const std::vector<std::uint8_t>& m, std::size_t end) {
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < end; ++i)
        sum ^= m[i];
    return sum & 0x7F;
}

} // namespace

SdsSampler::SdsSampler(const std::string& name, std::uint8_t channel)
    : m_name(name), m_channel(channel) {
    m_client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!m_client)
        return;
    m_inPort = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_outPort = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_ring = jack_ringbuffer_create(kRingBytes);
    m_ok = m_inPort && m_outPort && m_ring &&
           jack_set_process_callback(m_client, &SdsSampler::process, this) == 0 &&
           jack_activate(m_client) == 0;
    if (!m_ok)
        closeClient();
}

// JACK stops calling in first, so that no message starts a thread while they are joined; the
// threads may still queue replies, which go nowhere.
SdsSampler::~SdsSampler() {
    if (m_client)
        jack_deactivate(m_client);
    if (m_ackLater.joinable())
        m_ackLater.join();
    if (m_dumpThread.joinable()) {
        m_dumpThread.request_stop();
        m_dumpThread.join();
    }
    closeClient();
}

void SdsSampler::closeClient() {
    if (m_client)
        jack_client_close(m_client); // deactivates first: no cycle runs after this
    m_client = nullptr;
    if (m_ring)
        jack_ringbuffer_free(m_ring);
    m_ring = nullptr;
}

std::string SdsSampler::inputPort() const {
    return m_name + ":in";
}

std::string SdsSampler::outputPort() const {
    return m_name + ":out";
}

void SdsSampler::setFaults(const SdsFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_naksForFault = 0;
    m_silent = false;
}

void SdsSampler::store(int number, SdsSample sample) {
    std::lock_guard lock(m_mutex);
    m_samples[number] = std::move(sample);
}

std::optional<SdsSample> SdsSampler::sample(int number) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_samples.find(number);
    return found == m_samples.end() ? std::nullopt : std::optional<SdsSample>(found->second);
}

bool SdsSampler::busy() const {
    std::lock_guard lock(m_mutex);
    return m_incoming.has_value() || m_dumping;
}

int SdsSampler::naksSent() const {
    std::lock_guard lock(m_mutex);
    return m_naks;
}

int SdsSampler::duplicatesReceived() const {
    std::lock_guard lock(m_mutex);
    return m_duplicates;
}

int SdsSampler::packetsLost() const {
    std::lock_guard lock(m_mutex);
    return m_lost;
}

int SdsSampler::cancelsReceived() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_cancelPackets.size());
}

std::vector<std::uint8_t> SdsSampler::cancelPackets() const {
    std::lock_guard lock(m_mutex);
    return m_cancelPackets;
}

int SdsSampler::messagesSent() const {
    std::lock_guard lock(m_sendMutex);
    return m_sent;
}

std::vector<std::chrono::steady_clock::time_point> SdsSampler::packetTimes() const {
    std::lock_guard lock(m_mutex);
    return m_packetTimes;
}

bool SdsSampler::lastDumpHandshaken() const {
    std::lock_guard lock(m_mutex);
    return m_dumpHandshaken;
}

bool SdsSampler::lastDumpFinished() const {
    std::lock_guard lock(m_mutex);
    return m_dumpFinished;
}

std::vector<std::uint8_t> SdsSampler::dumpHeader(std::uint8_t channel, int number,
                                                 const SdsSample& s) {
    std::vector<std::uint8_t> m;
    m.reserve(21);
    m.insert(m.end(), {0xF0, kNonRealTime, channel, kHeader});
    put7(m, static_cast<std::uint32_t>(number), 2);
    m.push_back(s.bits);
    put7(m, s.periodNs, 3);
    put7(m, s.lengthWords, 3);
    put7(m, s.loopStart, 3);
    put7(m, s.loopEnd, 3);
    m.push_back(s.loopType);
    m.push_back(0xF7);
    return m;
}

std::vector<std::uint8_t> SdsSampler::dataPacket(std::uint8_t channel, std::uint8_t packet,
                                                 const std::uint8_t* bytes) {
    std::vector<std::uint8_t> m;
    m.reserve(127);
    m.insert(m.end(),
             {0xF0, kNonRealTime, channel, kPacket, static_cast<std::uint8_t>(packet & 0x7F)});
    m.insert(m.end(), bytes, bytes + kPacketData);
    m.push_back(checksum(m, m.size()));
    m.push_back(0xF7);
    return m;
}

std::vector<std::uint8_t> SdsSampler::packedWords(const std::vector<std::int16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::int16_t w : words) {
        const std::uint32_t u = static_cast<std::uint16_t>(w) ^ 0x8000u; // offset binary
        bytes.push_back(static_cast<std::uint8_t>(u >> 9 & 0x7F));
        bytes.push_back(static_cast<std::uint8_t>(u >> 2 & 0x7F));
        bytes.push_back(static_cast<std::uint8_t>(u << 5 & 0x60));
    }
    bytes.resize((bytes.size() + kPacketData - 1) / kPacketData * kPacketData, 0);
    return bytes;
}

// The JACK thread: what came in is handled (its replies join the ring), then as many waiting
// messages as this cycle's buffer holds go out, in order.
int SdsSampler::process(std::uint32_t frames, void* self) {
    auto* sampler = static_cast<SdsSampler*>(self);
    void* in = jack_port_get_buffer(sampler->m_inPort, frames);
    const std::uint32_t count = jack_midi_get_event_count(in);
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) == 0)
            sampler->takeEvent(event.buffer, event.size);
    }
    void* out = jack_port_get_buffer(sampler->m_outPort, frames);
    jack_midi_clear_buffer(out);
    std::uint8_t message[kRingBytes / 4];
    for (;;) {
        std::uint32_t length = 0;
        if (jack_ringbuffer_peek(sampler->m_ring, reinterpret_cast<char*>(&length), sizeof length) <
                sizeof length ||
            length > jack_midi_max_event_size(out) ||
            jack_ringbuffer_read_space(sampler->m_ring) < sizeof length + length)
            break;
        jack_ringbuffer_read_advance(sampler->m_ring, sizeof length);
        jack_ringbuffer_read(sampler->m_ring, reinterpret_cast<char*>(message), length);
        jack_midi_event_write(out, 0, message, length);
    }
    if (sampler->m_lateBy.count() > 0)
        std::this_thread::sleep_for(std::exchange(sampler->m_lateBy, {}));
    return 0;
}

// One JACK event: a whole message, or a piece of a SysEx that ends with the piece that holds F7.
// Only SysEx matters to a sample dump. Realtime messages may come between the pieces; any other
// status ends an unfinished SysEx, as on a cable.
void SdsSampler::takeEvent(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0 || bytes[0] >= 0xF8)
        return;
    if (bytes[0] == 0xF0) {
        m_assembling.clear();
    } else if (m_assembling.empty() || (bytes[0] & 0x80 && bytes[0] != 0xF7)) {
        m_assembling.clear();
        return;
    }
    m_assembling.insert(m_assembling.end(), bytes, bytes + size);
    if (m_assembling.back() == 0xF7) {
        handle(m_assembling);
        m_assembling.clear();
    }
}

void SdsSampler::send(std::vector<std::uint8_t> message) {
    std::lock_guard lock(m_sendMutex);
    const auto length = static_cast<std::uint32_t>(message.size());
    if (length < kRingBytes / 4 && jack_ringbuffer_write_space(m_ring) >= sizeof length + length) {
        jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(&length), sizeof length);
        jack_ringbuffer_write(m_ring, reinterpret_cast<const char*>(message.data()), length);
    }
    ++m_sent;
}

// What a busy MIDI cable carries besides the dump: none of it may be taken for an answer.
void SdsSampler::sendJunk(std::uint8_t packet, bool withPacket) {
    send({0xF8});
    send({0xFE});
    send({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
    const auto other = static_cast<std::uint8_t>((m_channel + 1) & 0x0F);
    send({0xF0, kNonRealTime, other, kNak, packet, 0xF7});
    send({0xF0, kNonRealTime, m_channel, kNak, static_cast<std::uint8_t>((packet - 1) & 0x7F),
          0xF7});
    if (withPacket) {
        const std::vector<std::uint8_t> noise(kPacketData, 0x55);
        send(dataPacket(other, packet, noise.data()));
    }
    send({0xF8});
}

void SdsSampler::reply(std::uint8_t op, std::uint8_t packet) {
    if (m_faults.interleave)
        sendJunk(packet, false);
    send({0xF0, kNonRealTime, m_channel, op, static_cast<std::uint8_t>(packet & 0x7F), 0xF7});
}

// Runs on the JACK thread.
void SdsSampler::handle(const std::vector<std::uint8_t>& m) {
    if (m.size() < 6 || m[0] != 0xF0 || m[1] != kNonRealTime || m.back() != 0xF7 ||
        (m[2] != m_channel && m[2] != kAllCall))
        return;
    std::unique_lock lock(m_mutex);
    switch (m[3]) {
    case kHeader:
        takeHeader(m);
        return;
    case kPacket:
        takePacket(m);
        return;
    case kRequest:
        if (m.size() == 7)
            startDump(static_cast<int>(get7(&m[4], 2)));
        return;
    case kAck:
    case kNak:
    case kWait:
    case kCancel:
        if (m.size() != 6)
            return;
        if (m[3] == kCancel) {
            m_cancelPackets.push_back(m[4]);
            m_incoming.reset();
        }
        if (m_dumping) {
            m_answers.push_back(m);
            m_answered.notify_all();
        }
        return;
    default:
        return;
    }
}

void SdsSampler::takeHeader(const std::vector<std::uint8_t>& m) {
    if (m.size() != 21)
        return;
    SdsSample s;
    s.bits = m[6];
    s.periodNs = get7(&m[7], 3);
    s.lengthWords = get7(&m[10], 3);
    s.loopStart = get7(&m[13], 3);
    s.loopEnd = get7(&m[16], 3);
    s.loopType = m[19];
    m_incoming = std::make_pair(static_cast<int>(get7(&m[4], 2)), s);
    m_incomingBytes.clear();
    m_incomingPackets = 0;
    m_lastAccepted.reset();
    m_naksForFault = 0;
    m_silent = false;
    m_acking = false;
    m_packetTimes.clear();
    if (handshake)
        reply(kAck, 0);
}

void SdsSampler::takePacket(const std::vector<std::uint8_t>& m) {
    if (m.size() != 127 || !m_incoming)
        return;
    const std::uint8_t packet = m[4];
    const auto index = static_cast<int>(m_incomingPackets);
    const bool answer = handshake && !m_silent;
    if (m_acking) { // still busy with the last packet: this one is lost
        ++m_lost;
        return;
    }
    if (m_lastAccepted && packet == *m_lastAccepted) {
        ++m_duplicates; // our ACK was lost or ignored: keep the first, acknowledge again
        if (answer)
            reply(kAck, packet);
        return;
    }
    if (checksum(m, 125) != m[125]) {
        ++m_naks;
        if (answer)
            reply(kNak, packet);
        return;
    }
    if (answer && index == m_faults.silentFrom) {
        m_silent = true;
    } else if (answer && index == m_faults.cancelAtPacket) {
        reply(kCancel, packet);
        m_incoming.reset();
        return;
    } else if (answer && index == m_faults.nakPacket && m_naksForFault < m_faults.nakTimes) {
        ++m_naksForFault;
        ++m_naks;
        reply(kNak, packet);
        return;
    }
    m_incomingBytes.insert(m_incomingBytes.end(), m.begin() + 5, m.begin() + 125);
    m_lastAccepted = packet;
    ++m_incomingPackets;
    m_packetTimes.push_back(std::chrono::steady_clock::now());
    if (index == m_faults.lateCycleAtPacket)
        m_lateBy = m_faults.lateCycleBy;
    if (handshake && !m_silent) {
        if (m_faults.ackDelay.count() > 0) {
            m_acking = true;
            if (m_ackLater.joinable())
                m_ackLater.join(); // it has sent its ACK: m_acking was clear
            m_ackLater = std::jthread([this, packet, delay = m_faults.ackDelay] {
                std::this_thread::sleep_for(delay);
                {
                    std::lock_guard lock(m_mutex);
                    m_acking = false;
                }
                send({0xF0, kNonRealTime, m_channel, kAck, packet, 0xF7});
            });
        } else if (index == m_faults.waitAtPacket) {
            reply(kWait, packet);
            // The ACK follows later from a thread of its own, as a sampler busy with its disk.
            if (m_ackLater.joinable())
                m_ackLater.join();
            m_ackLater = std::jthread([this, packet, delay = m_faults.waitFor] {
                std::this_thread::sleep_for(delay);
                send({0xF0, kNonRealTime, m_channel, kAck, packet, 0xF7});
            });
        } else {
            reply(kAck, packet);
        }
    }
    SdsSample& s = m_incoming->second;
    if (m_incomingBytes.size() >= std::size_t(s.lengthWords) * 3) {
        for (std::uint32_t i = 0; i < s.lengthWords; ++i) {
            const std::uint8_t* b = &m_incomingBytes[std::size_t(i) * 3];
            const auto u = static_cast<std::uint16_t>(b[0] << 9 | b[1] << 2 | b[2] >> 5);
            s.words.push_back(static_cast<std::int16_t>(u ^ 0x8000));
        }
        m_samples[m_incoming->first] = std::move(s);
        m_incoming.reset();
    }
}

void SdsSampler::startDump(int number) {
    const auto found = m_samples.find(number);
    if (found == m_samples.end() || m_dumping)
        return; // not a sample it holds: the standard has it ignore the request
    m_dumping = true;
    m_dumpHandshaken = false;
    m_dumpFinished = false;
    m_answers.clear();
    if (m_dumpThread.joinable())
        m_dumpThread.join(); // it has ended: m_dumping was clear
    m_dumpThread = std::jthread([this, number, sample = found->second](std::stop_token stop) {
        dump(stop, number, sample);
    });
}

std::optional<std::vector<std::uint8_t>> SdsSampler::nextAnswer(std::stop_token stop,
                                                                std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    if (!m_answered.wait_for(lock, stop, limit, [&] { return !m_answers.empty(); }))
        return std::nullopt;
    auto answer = std::move(m_answers.front());
    m_answers.pop_front();
    return answer;
}

// The dump thread: the standard's master.
void SdsSampler::dump(std::stop_token stop, int number, SdsSample sample) {
    SdsFaults faults;
    {
        std::lock_guard lock(m_mutex);
        faults = m_faults;
    }
    const std::vector<std::uint8_t> bytes = packedWords(sample.words);
    const std::size_t packets = bytes.size() / kPacketData;
    if (faults.interleave)
        sendJunk(0, true);
    send(dumpHeader(m_channel, number, sample));
    bool closedLoop = false;
    bool cancelled = false;
    // After the header: an ACK starts, a CANCEL stops, nothing for the wait means open loop.
    for (auto answer = nextAnswer(stop, headerWait); answer;
         answer = nextAnswer(stop, headerWait)) {
        closedLoop = true;
        if ((*answer)[3] == kAck)
            break;
        if ((*answer)[3] == kCancel) {
            cancelled = true;
            break;
        }
    }
    bool corrupt = std::exchange(corruptNextChecksum, false);
    std::size_t index = 0;
    bool repeated = false;
    while (!cancelled && !stop.stop_requested() && index < packets) {
        if (static_cast<int>(index) == faults.silentFrom)
            break;
        if (static_cast<int>(index) == faults.cancelAtPacket) {
            send({0xF0, kNonRealTime, m_channel, kCancel, static_cast<std::uint8_t>(index & 0x7F),
                  0xF7});
            cancelled = true;
            break;
        }
        if (faults.interleave)
            sendJunk(static_cast<std::uint8_t>(index & 0x7F), true);
        const auto kk = static_cast<std::uint8_t>(index & 0x7F);
        std::vector<std::uint8_t> m = dataPacket(m_channel, kk, &bytes[index * kPacketData]);
        if (static_cast<int>(index) == faults.corruptPacket) {
            faults.corruptPacket = -1;
            corrupt = true;
        }
        if (std::exchange(corrupt, false))
            m[125] ^= 0x01;
        send(m);
        if (static_cast<int>(index) == faults.repeatPacket && !repeated) {
            repeated = true;
            m[125] = checksum(m, 125);
            send(m);
        }
        // The answer: ACK goes on, NAK sends the packet again, WAIT holds, CANCEL stops;
        // nothing within the packet wait goes on (open loop).
        bool next = false;
        bool holding = false;
        while (!next && !cancelled && !stop.stop_requested()) {
            const auto wait = holding      ? std::chrono::milliseconds(std::chrono::minutes(1))
                              : closedLoop ? answeredPacketWait
                                           : packetWait;
            const auto answer = nextAnswer(stop, wait);
            if (!answer) {
                next = true;
                break;
            }
            closedLoop = true;
            const std::uint8_t op = (*answer)[3];
            if ((*answer)[4] != kk && op != kCancel)
                continue; // not about this packet
            if (op == kAck) {
                next = true;
            } else if (op == kNak) {
                break; // sent again below
            } else if (op == kWait) {
                holding = true;
            } else if (op == kCancel) {
                cancelled = true;
            }
        }
        if (next)
            ++index;
    }
    std::lock_guard lock(m_mutex);
    m_dumpHandshaken = closedLoop;
    m_dumpFinished = index == packets && !cancelled;
    m_dumping = false;
}

} // namespace tolvane::test
