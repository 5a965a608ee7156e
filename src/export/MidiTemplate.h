#pragma once

#include "document/SampleDocument.h"
#include "export/NoteStream.h"
#include "slicing/Keymap.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

// The ticks of a quarter note in the template; a bar of four quarters is 1920.
inline constexpr int kTicksPerQuarter = 480;

// The tempi a template can hold: its tempo field holds 1 to 16777215 microseconds a quarter note.
inline constexpr double kMaxMidiTempo = 60000000.0;
inline constexpr double kMinMidiTempo = 60000000.0 / 16777215.0;

// Why a loop at `tempo` BPM cannot become a template (a tempo the field cannot hold would play
// at another speed), with the range it can; empty when it can.
std::string midiTempoRefusal(double tempo);

// A template the loop cannot give; nothing has been written.
class TemplateRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MidiTemplateOptions {
    int format = 0;            // the file's format number, 0 or 1 (one track either way)
    bool filterEnable = false; // "Save SoundFont filter enable in *.mid": NRPN 99/98 first
};

// One template: the Standard MIDI File's bytes and how many notes were left out because
// their key lies above 127.
struct MidiTemplate {
    std::vector<std::uint8_t> bytes;
    int notesLeftOut = 0;
};

// The timing template of channel c (1 = left, 2 = right; a mono or merged document has only
// channel 1): one note per segment between the locators (the segments of a series, so that
// the template plays exactly the keys a bank of the same loop holds), in time with the loop's
// bars and beats at LoopTempo. Notes above 127 are left out and the others keep their times; the
// track still ends at the loop's end. Throws TemplateRefused for a tempo out of range.
MidiTemplate midiTemplate(const SampleDocument& doc, int c, const KeymapSettings& keymap,
                          const MidiTemplateOptions& options);

// A template file to write: split stereo writes one per chosen channel, named after the chosen
// name with "L.mid" or "R.mid" in place of its ".mid".
std::vector<std::string> midiTemplatePaths(const SampleDocument& doc,
                                           const std::string& chosenName);
struct MidiTemplateFile {
    std::string path;
    MidiTemplate content;
};
std::vector<MidiTemplateFile> midiTemplateFiles(const SampleDocument& doc,
                                                const std::string& chosenName,
                                                const KeymapSettings& keymap,
                                                const MidiTemplateOptions& options);

// Writes every file through SafeFileWriter; throws FileWriteError at the first that fails.
// Returns the notes left out, all files together.
int writeMidiTemplates(const std::vector<MidiTemplateFile>& files);

inline constexpr const char* kMsgMidiSaveError =
    "Error saving midi file;\r\nMay be insufficent disk space\r\nor file of same name may be open";

} // namespace tolvane
