#include "export/NoteStream.h"

#include "slicing/LoopSegments.h"

#include <algorithm>
#include <cmath>

namespace tolvane {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr int kTicksPerBar = 1920;

// The channel's locators as a series sees them: whole frames, each channel on its own sample.
struct ChannelSpan {
    std::int64_t left;
    std::int64_t right;
};

ChannelSpan channelSpan(const SampleDocument& doc, int c) {
    if (doc.Channels != 2 || doc.MergeChannels)
        return {doc.LocatorL, doc.LocatorR};
    const std::int64_t left = doc.LocatorL & ~3u;
    const std::int64_t right = doc.LocatorR & ~3u;
    return c == 1 ? ChannelSpan{left, right - 2} : ChannelSpan{left + 2, right};
}

} // namespace

std::int64_t loopTicks(const SampleDocument& doc) {
    return std::llround((doc.LoopBars + doc.LoopBeats / 4.0) * kTicksPerBar);
}

std::vector<std::int64_t> segmentStartTicks(const SampleDocument& doc, int c) {
    const std::int64_t total = loopTicks(doc);
    const ChannelSpan span = channelSpan(doc, c);
    const double width = static_cast<double>(std::max<std::int64_t>(span.right - span.left, 1));
    const auto segments = loopSegments(doc, c);
    std::vector<std::int64_t> starts{0};
    for (std::size_t k = 1; k < segments.size(); ++k)
        starts.push_back(
            std::llrint(double(total) * double(segments[k].start - span.left) / width));
    return starts;
}

std::vector<NoteEvent> segmentNoteEvents(const std::vector<std::int64_t>& starts,
                                         std::int64_t total, const std::vector<int>& notes,
                                         bool reversed) {
    const int count = static_cast<int>(starts.size());
    std::vector<NoteEvent> events;
    std::int64_t tick = 0;
    for (int i = 0; i < count; ++i) {
        const int k = reversed ? count - 1 - i : i;
        const std::int64_t length = (k + 1 < count ? starts[k + 1] : total) - starts[k];
        events.push_back({tick, kNoteOn, notes[k]});
        tick += length;
        events.push_back({tick, kNoteOff, notes[k]});
    }
    std::stable_sort(events.begin(), events.end(), [](const NoteEvent& a, const NoteEvent& b) {
        return a.tick < b.tick || (a.tick == b.tick && a.status == kNoteOff && b.status == kNoteOn);
    });
    return events;
}

int appendNoteEvents(std::vector<std::uint8_t>& out, const std::vector<NoteEvent>& events,
                     std::uint8_t velocity, std::int64_t* lastTick) {
    int leftOut = 0;
    std::int64_t previous = 0;
    for (const NoteEvent& event : events) {
        if (event.note < 0 || event.note > 127) {
            leftOut += event.status == kNoteOn;
            continue;
        }
        putVariableLength(out, static_cast<std::uint64_t>(event.tick - previous));
        previous = event.tick;
        out.push_back(event.status);
        out.push_back(static_cast<std::uint8_t>(event.note));
        out.push_back(velocity);
    }
    if (lastTick)
        *lastTick = previous;
    return leftOut;
}

void putVariableLength(std::vector<std::uint8_t>& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1)
        out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

std::string cutText(const std::string& text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string withoutControlCharacters(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) { // U+0080 to U+009F in UTF-8
            kept += ' ';
            ++i;
        } else {
            kept += byte < 0x20 || byte == 0x7F ? ' ' : text[i];
        }
    }
    return kept;
}

} // namespace tolvane
