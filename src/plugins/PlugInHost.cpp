#include "plugins/PlugInHost.h"

#include "slicing/SliceSelection.h"
#include "slicing/TransientScan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tolvane {
namespace {

constexpr int kCpuReadings = 20;

// Writes `count` bytes of `from`-channel frames as `to`-channel frames at `out` (mono doubled,
// stereo mixed); returns the bytes written.
std::size_t convertFrames(std::uint8_t* out, const std::uint8_t* bytes, std::size_t count, int from,
                          int to) {
    if (from == to) {
        std::memcpy(out, bytes, count);
        return count;
    }
    std::uint8_t* p = out;
    if (from == 1) {
        for (std::size_t i = 0; i + 1 < count; i += 2, p += 4) {
            p[0] = p[2] = bytes[i];
            p[1] = p[3] = bytes[i + 1];
        }
        return static_cast<std::size_t>(p - out);
    }
    for (std::size_t i = 0; i + 3 < count; i += 4, p += 2) {
        const auto left = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
        const auto right = static_cast<std::int16_t>(bytes[i + 2] | bytes[i + 3] << 8);
        const auto mixed =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(left / 2 + right / 2));
        p[0] = static_cast<std::uint8_t>(mixed & 0xFF);
        p[1] = static_cast<std::uint8_t>(mixed >> 8);
    }
    return static_cast<std::size_t>(p - out);
}

std::size_t convertedSize(std::size_t count, int from, int to) {
    return count / (2U * static_cast<unsigned>(from)) * 2U * static_cast<unsigned>(to);
}

std::uint32_t scaledPosition(std::uint32_t position, int from, int to, std::uint32_t length) {
    const std::uint64_t frame = position / (2U * static_cast<unsigned>(from));
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frame * 2U * static_cast<unsigned>(to), length));
}

// The new sample data as it is filled: the data before the region (in the output's channels),
// the plug-in's output as it arrives, then the rest. It is allocated once, at its final size,
// and becomes the document's data.
class OutputData {
public:
    OutputData(const SampleDocument& doc, const ByteRegion& region, int channels)
        : m_doc(doc), m_region(region), m_from(doc.Channels), m_to(channels) {
        const auto rest = static_cast<std::size_t>(doc.DataLength) - region.length;
        m_outputEnd =
            convertedSize(region.start, m_from, m_to) + convertedSize(region.length, m_from, m_to);
        m_data.resize(m_outputEnd + convertedSize(rest, m_from, m_to) + kSpareBytes);
        m_written = convertFrames(m_data.data(), doc.SampleData.data(), region.start, m_from, m_to);
    }
    // Takes processed bytes; false when they would overrun the room for the output.
    bool append(const std::uint8_t* bytes, std::size_t count) {
        if (count > m_outputEnd - m_written)
            return false;
        std::memcpy(m_data.data() + m_written, bytes, count);
        m_written += count;
        return true;
    }
    // Adds the rest after the output; returns the data's length.
    std::uint32_t finish() {
        const std::uint32_t end = m_region.start + m_region.length;
        m_written += convertFrames(m_data.data() + m_written, m_doc.SampleData.data() + end,
                                   static_cast<std::size_t>(m_doc.DataLength) - end, m_from, m_to);
        std::fill_n(m_data.data() + m_written, kSpareBytes, std::uint8_t{0});
        m_data.resize(m_written + kSpareBytes);
        return static_cast<std::uint32_t>(m_written);
    }
    ByteBuffer take() { return std::move(m_data); }

private:
    const SampleDocument& m_doc;
    ByteRegion m_region;
    int m_from, m_to;
    ByteBuffer m_data;
    std::size_t m_outputEnd = 0; // where the room for the output ends
    std::size_t m_written = 0;
};

// Puts the new data in place; the format follows the output's channel count and rate.
void commitOutput(SampleDocument& doc, ByteBuffer data, std::uint32_t length, int channels,
                  std::uint32_t rate) {
    const int from = doc.Channels;
    doc.SampleData.adopt(std::move(data));
    doc.DataLength = static_cast<std::int32_t>(length);
    doc.SampleRate = rate;
    if (channels != from) {
        // Positions keep their time; the candidates of the old format are found again.
        doc.LocatorL = scaledPosition(doc.LocatorL, from, channels, length);
        doc.LocatorR = scaledPosition(doc.LocatorR, from, channels, length);
        doc.Channels = static_cast<std::uint16_t>(channels);
        doc.MergeChannels = channels == 2;
        doc.FirstChannel = 1;
        doc.LastChannel = static_cast<std::uint8_t>(channels);
        doc.CandidateCount = 0;
        closeCandidateTable(doc);
        rebuildSliceTable(doc);
        doc.SelectedSegment = 1;
        doc.KeepCandidates = false;
    }
    doc.BytesPerSecond = static_cast<std::uint32_t>(doc.frameBytes()) * doc.SampleRate;
    doc.LocatorR = std::min(doc.LocatorR, length);
    doc.LocatorL = std::min(doc.LocatorL, doc.LocatorR);
    doc.DetectPending = true;
}

} // namespace

ByteRegion plugInRegion(const SampleDocument& doc, PlugInMode mode) {
    const auto length = static_cast<std::uint32_t>(std::max(doc.DataLength, 0));
    if (mode == PlugInMode::All)
        return {0, length - length % static_cast<std::uint32_t>(std::max(doc.frameBytes(), 2))};
    const std::uint32_t left = std::min(doc.LocatorL & ~3U, length);
    const std::uint32_t right = std::clamp(doc.LocatorR, left, length);
    return {left, (right - left) & ~3U};
}

PlugInOutcome processThroughPlugIn(TDLib& lib, SampleDocument& doc, UndoRecord& undo,
                                   PlugInMode mode, const std::atomic<bool>& cancelled,
                                   const std::function<void(int percent)>& progress) {
    const ByteRegion region = plugInRegion(doc, mode);
    std::uint32_t remaining = region.length;
    if (lib.Connect() < 0)
        return PlugInOutcome::ConnectFailed;
    // The plug-in's output goes straight into the new data, a delivery at a time.
    OutputData output(doc, region, lib.GetNumOutChans());
    bool overrun = false;
    lib.SetCallback([&](const std::uint8_t* data, std::uint32_t length) {
        overrun = !output.append(data, length) || overrun;
        if (progress && region.length > 0)
            progress(static_cast<int>(std::lround(static_cast<double>(region.length - remaining) *
                                                  100.0 / region.length)));
        return 0;
    });
    lib.StartGraph();
    std::uint32_t position = region.start;
    bool failed = false;
    while (remaining > 0 && !cancelled && !overrun) {
        std::uint8_t* buffer = lib.GetDevBuf(lib.GetNumOutChans());
        if (buffer == nullptr) {
            failed = true;
            break;
        }
        const std::uint32_t n = std::min(lib.GetBufferSize(), remaining);
        std::memcpy(buffer, doc.SampleData.data() + position, n);
        remaining -= n;
        position += n;
        if (lib.Deliver(static_cast<std::uint16_t>(n)) < 0) {
            failed = true;
            break;
        }
    }
    lib.StopGraph();
    const int channels = lib.GetNumOutChans();
    const std::uint32_t rate = lib.GetOutRate();
    lib.Disconnect();
    lib.SetCallback(nullptr);
    if (failed || overrun)
        return PlugInOutcome::DeliverFailed;
    if (cancelled)
        return PlugInOutcome::Cancelled;
    recordWholeSample(undo, doc, kUndoWholeSample);
    const std::uint32_t length = output.finish();
    commitOutput(doc, output.take(), length, channels, rate);
    return PlugInOutcome::Processed;
}

PlugInPreview::PlugInPreview(TDLib& lib, const SampleDocument& doc, Events events)
    : m_lib(lib), m_doc(doc), m_events(std::move(events)), m_outputChannels(doc.Channels) {}

PlugInPreview::~PlugInPreview() {
    join();
}

void PlugInPreview::start() {
    join();
    m_stop = false;
    m_finished = false;
    m_thread = std::thread([this] { run(); });
}

void PlugInPreview::join() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void PlugInPreview::deliverToSink(const std::uint8_t* data, std::uint32_t length) {
    if (m_stop || !m_events.sink || m_lib.GetNumOutChans() != m_outputChannels)
        return;
    if (m_outputChannels == 2) {
        m_events.sink(data, length);
        return;
    }
    m_stereo.resize(static_cast<std::size_t>(length) * 2);
    m_events.sink(m_stereo.data(), convertFrames(m_stereo.data(), data, length, 1, 2));
}

void PlugInPreview::run() {
    m_lib.SetCallback([this](const std::uint8_t* data, std::uint32_t length) {
        deliverToSink(data, length);
        return 0;
    });
    if (m_lib.Connect() < 0) {
        m_finished = true;
        if (m_events.connectFailed)
            m_events.connectFailed();
        return;
    }
    m_lib.StartGraph();
    const ByteRegion region = plugInRegion(m_doc, PlugInMode::Loop);
    std::uint32_t position = region.start;
    std::uint32_t remaining = region.length;
    double cpuSum = 0.0;
    int readings = 0;
    while (!m_stop && region.length > 0) {
        if (m_lib.GetNumOutChans() != m_outputChannels) {
            m_lib.ReConnectSink(m_outputChannels);
            m_outputChannels = m_lib.GetNumOutChans();
            continue;
        }
        std::uint8_t* buffer = m_lib.GetDevBuf(m_outputChannels);
        if (buffer == nullptr)
            break;
        const std::uint32_t n = std::min(m_lib.GetBufferSize(), remaining);
        std::memcpy(buffer, m_doc.SampleData.data() + position, n);
        if (m_lib.Deliver(static_cast<std::uint16_t>(n)) < 0)
            break;
        position += n;
        remaining -= n;
        cpuSum += m_lib.cpuLoad();
        if (++readings == kCpuReadings) {
            if (m_events.cpu)
                m_events.cpu(static_cast<int>(std::lround(cpuSum / kCpuReadings)));
            cpuSum = 0.0;
            readings = 0;
        }
        if (remaining == 0) {
            position = region.start;
            remaining = region.length;
        }
    }
    m_stop = true; // the plug-in's tail is not played
    m_lib.StopGraph();
    m_lib.Disconnect();
    m_lib.SetCallback(nullptr);
    m_finished = true;
}

} // namespace tolvane
