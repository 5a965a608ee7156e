#include "export/MidiTemplate.h"

#include "document/SafeFileWriter.h"
#include "export/NoteStream.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace tolvane {
namespace {

constexpr std::uint8_t kVelocity = 0x60;
// A meta event's length is one byte here: a longer name is cut to what one byte can say.
constexpr std::size_t kMaxNameBytes = 127;

void putBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t microsecondsPerQuarter(double tempo) {
    if (!(tempo > 0))
        return 500000; // no tempo: 120 BPM, the default of the format
    // midiTempoRefusal keeps the value within the field.
    const double value = std::round(60000000.0 / tempo);
    return static_cast<std::uint32_t>(std::clamp(value, 1.0, double(0xFFFFFF)));
}

// Segment k's key; "Use base note only" plays every segment on the base note.
std::vector<int> segmentNotes(const KeymapSettings& keymap, std::size_t count) {
    std::vector<int> notes;
    for (std::size_t k = 0; k < count; ++k)
        notes.push_back(keymap.baseNoteOnly ? keymap.baseNote()
                                            : keyForSample(keymap, static_cast<int>(k)).key);
    return notes;
}

} // namespace

std::string midiTempoRefusal(double tempo) {
    if (!(tempo > 0) || (tempo >= kMinMidiTempo && tempo <= kMaxMidiTempo))
        return {};
    char text[200];
    std::snprintf(text, sizeof text,
                  "The loop's tempo, %.2f BPM, lies outside what a MIDI file can hold: %.4f to "
                  "%.0f BPM. Give the loop another length in bars and beats.",
                  tempo, kMinMidiTempo, kMaxMidiTempo);
    return text;
}

MidiTemplate midiTemplate(const SampleDocument& doc, int c, const KeymapSettings& keymap,
                          const MidiTemplateOptions& options) {
    if (const std::string refusal = midiTempoRefusal(doc.LoopTempo); !refusal.empty())
        throw TemplateRefused(refusal);
    const std::vector<std::int64_t> starts = segmentStartTicks(doc, c);
    const std::int64_t total = loopTicks(doc);
    std::vector<std::uint8_t> events;
    putBigEndian(events, 0x00FF5804, 4); // time signature 4/4, 24 clocks a click, 8 32nds
    putBigEndian(events, 0x04021808, 4);
    putBigEndian(events, 0x00FF5103, 4); // tempo
    putBigEndian(events, microsecondsPerQuarter(doc.LoopTempo), 3);
    if (options.filterEnable) // NRPN 99 = 127, 98 = 21 on channel 1
        putBigEndian(events, 0x00B0637F00B06215, 8);
    MidiTemplate result;
    const bool reversed = keymap.reverseNotes && !keymap.baseNoteOnly;
    std::int64_t lastTick = 0;
    result.notesLeftOut = appendNoteEvents(
        events, segmentNoteEvents(starts, total, segmentNotes(keymap, starts.size()), reversed),
        kVelocity, &lastTick);
    // The end of the track at the loop's end, also when the last notes were left out.
    putVariableLength(events,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(total - lastTick, 0)));
    putBigEndian(events, 0xFF2F00, 3);

    const std::string name = cutText(withoutControlCharacters(keymap.bankName), kMaxNameBytes);
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

std::vector<std::string> midiTemplatePaths(const SampleDocument& doc,
                                           const std::string& chosenName) {
    if (doc.Channels != 2 || doc.MergeChannels)
        return {chosenName};
    std::string base = chosenName;
    if (base.size() >= 4) {
        std::string extension = base.substr(base.size() - 4);
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        if (extension == ".mid")
            base.resize(base.size() - 4);
    }
    std::vector<std::string> paths;
    for (int c = doc.FirstChannel; c <= doc.LastChannel; ++c)
        paths.push_back(base + (c == 1 ? "L.mid" : "R.mid"));
    return paths;
}

std::vector<MidiTemplateFile> midiTemplateFiles(const SampleDocument& doc,
                                                const std::string& chosenName,
                                                const KeymapSettings& keymap,
                                                const MidiTemplateOptions& options) {
    const std::vector<std::string> paths = midiTemplatePaths(doc, chosenName);
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    std::vector<MidiTemplateFile> files;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int c = split ? doc.FirstChannel + static_cast<int>(i) : 1;
        files.push_back({paths[i], midiTemplate(doc, c, keymap, options)});
    }
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
