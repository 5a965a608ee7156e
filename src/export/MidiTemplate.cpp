#include "export/MidiTemplate.h"

#include "document/SafeFileWriter.h"
#include "slicing/LoopSegments.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace tolvane {
namespace {

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kVelocity = 0x60;
// A meta event's length is one byte here: a longer name is cut to what one byte can say.
constexpr std::size_t kMaxNameBytes = 127;

struct NoteEvent {
    std::int64_t tick;
    std::uint8_t status;
    int note;
};

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

void putBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Cut to at most `limit` bytes without splitting a UTF-8 character.
std::string cutName(const std::string& name, std::size_t limit) {
    if (name.size() <= limit)
        return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

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

// The note of segment k; "Use base note only" plays every segment on the base note.
int noteOf(const KeymapSettings& keymap, int k) {
    return keymap.baseNoteOnly ? keymap.baseNote() : keyForSample(keymap, k).key;
}

// Each segment's note from its start tick to the next one's (the last to `total`); reversed,
// the segments play last first, each as long as it is.
std::vector<NoteEvent> noteEvents(const std::vector<std::int64_t>& starts, std::int64_t total,
                                  const KeymapSettings& keymap) {
    const int count = static_cast<int>(starts.size());
    std::vector<std::int64_t> lengths(starts.size());
    for (int k = 0; k < count; ++k)
        lengths[k] = (k + 1 < count ? starts[k + 1] : total) - starts[k];
    const bool reversed = keymap.reverseNotes && !keymap.baseNoteOnly;
    std::vector<NoteEvent> events;
    std::int64_t tick = 0;
    for (int i = 0; i < count; ++i) {
        const int k = reversed ? count - 1 - i : i;
        const int note = noteOf(keymap, k);
        events.push_back({tick, kNoteOn, note});
        tick += lengths[k];
        events.push_back({tick, kNoteOff, note});
    }
    // A note's off comes before the next one's on at the same tick.
    std::stable_sort(events.begin(), events.end(), [](const NoteEvent& a, const NoteEvent& b) {
        return a.tick < b.tick || (a.tick == b.tick && a.status == kNoteOff && b.status == kNoteOn);
    });
    return events;
}

std::uint32_t microsecondsPerQuarter(double tempo) {
    if (!(tempo > 0))
        return 500000; // no tempo: 120 BPM, the default of the format
    const double value = std::round(60000000.0 / tempo);
    return static_cast<std::uint32_t>(std::clamp(value, 1.0, double(0xFFFFFF)));
}

} // namespace

std::int64_t loopTicks(const SampleDocument& doc) {
    return std::llround((doc.LoopBars + doc.LoopBeats / 4.0) * 4 * kTicksPerQuarter);
}

MidiTemplate midiTemplate(const SampleDocument& doc, int c, const KeymapSettings& keymap,
                          const MidiTemplateOptions& options) {
    const std::int64_t total = loopTicks(doc);
    const ChannelSpan span = channelSpan(doc, c);
    const double width = static_cast<double>(std::max<std::int64_t>(span.right - span.left, 1));
    const auto segments = loopSegments(doc, c);
    std::vector<std::int64_t> starts{0};
    for (std::size_t k = 1; k < segments.size(); ++k)
        starts.push_back(
            std::llrint(double(total) * double(segments[k].start - span.left) / width));

    std::vector<std::uint8_t> events;
    putBigEndian(events, 0x00FF5804, 4); // time signature 4/4, 24 clocks a click, 8 32nds
    putBigEndian(events, 0x04021808, 4);
    putBigEndian(events, 0x00FF5103, 4); // tempo
    putBigEndian(events, microsecondsPerQuarter(doc.LoopTempo), 3);
    if (options.filterEnable) // NRPN 99 = 127, 98 = 21 on channel 1
        putBigEndian(events, 0x00B0637F00B06215, 8);
    MidiTemplate result;
    std::int64_t previous = 0;
    for (const NoteEvent& event : noteEvents(starts, total, keymap)) {
        if (event.note > 127) {
            result.notesLeftOut += event.status == kNoteOn;
            continue;
        }
        putVariableLength(events, static_cast<std::uint64_t>(event.tick - previous));
        previous = event.tick;
        events.push_back(event.status);
        events.push_back(static_cast<std::uint8_t>(event.note));
        events.push_back(kVelocity);
    }
    putBigEndian(events, 0x00FF2F00, 4);

    const std::string name = cutName(keymap.bankName, kMaxNameBytes);
    std::vector<std::uint8_t>& out = result.bytes;
    out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<std::uint8_t>(options.format), 0, 1};
    putBigEndian(out, kTicksPerQuarter, 2);
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    putBigEndian(out, 4 + name.size() + events.size(), 4);
    putBigEndian(out, 0x00FF03, 3);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), events.begin(), events.end());
    return result;
}

std::vector<MidiTemplateFile> midiTemplateFiles(const SampleDocument& doc,
                                                const std::string& chosenName,
                                                const KeymapSettings& keymap,
                                                const MidiTemplateOptions& options) {
    if (doc.Channels != 2 || doc.MergeChannels)
        return {{chosenName, midiTemplate(doc, 1, keymap, options)}};
    std::string base = chosenName;
    if (base.size() >= 4) {
        std::string extension = base.substr(base.size() - 4);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        if (extension == ".mid")
            base.resize(base.size() - 4);
    }
    std::vector<MidiTemplateFile> files;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
        files.push_back(
            {base + (c == 1 ? "L.mid" : "R.mid"), midiTemplate(doc, c, keymap, options)});
    return files;
}

int writeMidiTemplates(const std::vector<MidiTemplateFile>& files) {
    int leftOut = 0;
    for (const MidiTemplateFile& file : files) {
        SafeFileWriter writer(file.path);
        writer.write(file.content.bytes.data(), file.content.bytes.size());
        writer.commit();
        leftOut += file.content.notesLeftOut;
    }
    return leftOut;
}

} // namespace tolvane
