#pragma once

#include "document/SampleDocument.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// The loop's rhythm as note events, shared by the MIDI template and the track file: one note
// per segment between the locators, at 480 ticks a quarter note.

struct NoteEvent {
    std::int64_t tick;
    std::uint8_t status; // 0x90 note on, 0x80 note off (channel 1)
    int note;
};

// The loop's length in ticks: round((LoopBars + LoopBeats / 4) x 1920).
std::int64_t loopTicks(const SampleDocument& doc);

// The tick each segment of channel c starts on (the segments of a series, see loopSegments),
// the first at 0.
std::vector<std::int64_t> segmentStartTicks(const SampleDocument& doc, int c);

// Segment k plays notes[k] from its start tick to the next one's (the last to `total`);
// reversed, the segments play last first, each as long as it is. A note's off comes before the
// next note's on at the same tick.
std::vector<NoteEvent> segmentNoteEvents(const std::vector<std::int64_t>& starts,
                                         std::int64_t total, const std::vector<int>& notes,
                                         bool reversed);

// Appends the events as delta time, status, note, velocity (no running status). Notes above 127
// are no MIDI: they are left out and the others keep their times. Returns the notes left out;
// `lastTick` gets the tick of the last event written (0 when none was).
int appendNoteEvents(std::vector<std::uint8_t>& out, const std::vector<NoteEvent>& events,
                     std::uint8_t velocity, std::int64_t* lastTick = nullptr);

// A standard variable-length quantity.
void putVariableLength(std::vector<std::uint8_t>& out, std::uint64_t value);

// Cut to at most `limit` bytes without splitting a UTF-8 character.
std::string cutText(const std::string& text, std::size_t limit);

// A name for a text a reader takes apart by lines or controls: every control character (C0,
// DEL and the C1 controls U+0080 to U+009F) becomes a blank, so that a name never starts a line
// of its own.
std::string withoutControlCharacters(const std::string& text);

} // namespace tolvane
