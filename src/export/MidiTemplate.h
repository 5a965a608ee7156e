#pragma once

#include "document/SampleDocument.h"
#include "export/NoteStream.h"
#include "slicing/Keymap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

// The ticks of a quarter note in the template; a bar of four quarters is 1920.
inline constexpr int kTicksPerQuarter = 480;

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
// bars and beats at LoopTempo. Notes above 127 are left out and the others keep their times.
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
