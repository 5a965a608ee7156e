#pragma once

#include "document/SampleDocument.h"
#include "slicing/Keymap.h"
#include "slicing/LoopSegments.h"

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {

// The bank formats of "Save To Sound Bank &File", chosen by the file's extension.
enum class BankFormat { SoundFont, Dls, GigaSampler, Pinnacle, Sfz };

// The format a chosen name asks for, by its extension in any case: ".dls", ".gig", ".pbf",
// ".sfz"; ".sf2" and every other name: SoundFont.
BankFormat bankFormatOf(const std::string& fileName);

// A bank the document cannot give; nothing has been written.
class BankRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kMsgDlsStereo = "DLS does not support stereo samples at this "
                                             "time!\r\n\r\nConver sample to mono or select "
                                             "individual channels.";

using Guid = std::array<std::uint8_t, 16>;

// A new random GUID (version 4), for the ids of GigaSampler files.
Guid randomGuid();

// Everything a bank takes besides the document.
struct BankSettings {
    KeymapSettings keymap;    // the keys of the segments and the bank's name
    int smoothAmount = 0;     // end-point smoothing, 0 to 60 (0: none)
    std::string presetName;   // the SoundFont preset: the sample's file name without extension
    std::string creationDate; // the SoundFont's creation date, "December 8 ,2026"
    std::function<Guid()> newGuid = randomGuid; // GigaSampler file and instrument ids
    double tempo = 0.0;                         // the loop's tempo for the SFZ comment (0: unknown)
};

// The creation date as a SoundFont records it: "mmmm d ,yyyy" (month name, day, year).
std::string soundFontDate(int year, int month, int day);
// Today's date in that form.
std::string soundFontDateToday();

// One file of a bank and the segments it holds, one key each.
struct BankFile {
    std::string fileName;
    std::vector<LoopSegment> segments;
    bool stereo = false;    // merged stereo: every segment holds both channels
    std::string seriesBase; // the chosen name without its extension: wave files beside the bank
};

// The files a bank of `format` under `chosen` writes: one for mono and merged stereo; one per
// chosen channel for split stereo, and for merged stereo with one channel chosen (its points
// then stand for that channel alone), named with "L" or "R" before the bank's own extension.
// Throws BankRefused for merged stereo in a DLS bank and when no segment lies between the
// locators.
std::vector<BankFile> planBankFiles(const SampleDocument& doc, const std::string& chosen,
                                    BankFormat format);

// The most samples a SoundFont bank addresses (four generators each in 16-bit indices).
inline constexpr int kMaxSoundFontSamples = 16383;

// What a bank must keep, checked before anything is written: a key of its own for every
// segment up to the top key (whatever "Use base note only" says: a bank never stacks segments
// on one key), the samples a SoundFont addresses, and, for an SFZ instrument, wave file names
// its lines can hold. Throws BankRefused.
void checkBankLimits(const std::vector<BankFile>& files, const KeymapSettings& keymap,
                     BankFormat format);

// "N segments exceed the available notes (the last key K lies above 127)".
std::string keysExceededText(const KeymapSettings& keymap, int segments);

// Every file a bank writes: the wave files of a Pinnacle bank or an SFZ instrument, then the
// bank files.
std::vector<std::string> bankOutputFiles(const std::vector<BankFile>& files, BankFormat format);

// The sample name of sample n (from 1): "KQ" and n with leading zeros up to `digits`.
std::string bankSampleName(int n, int digits);

// The per-format writers of one planned file. Each writes through SafeFileWriter (the file it
// would replace survives a failure) and throws FileWriteError or std::length_error.
void writeSoundFont(const SampleDocument& doc, const BankFile& file, const BankSettings& settings);
void writeDls(const SampleDocument& doc, const BankFile& file, const BankSettings& settings);
void writeGigaSampler(const SampleDocument& doc, const BankFile& file,
                      const BankSettings& settings);

// One wave file of a series as a Pinnacle bank names it.
struct PinnacleSample {
    std::string fileName;
    std::uint32_t length = 0; // bytes of sample data in the file
};

// A Pinnacle bank over wave files already written: one layer of samples, or two (left, right)
// for merged stereo; each layer's samples in key order.
struct PinnacleBank {
    std::vector<std::vector<PinnacleSample>> layers;
    std::uint32_t sampleRate = 0;
    KeymapSettings keymap;
};

// The bank file's bytes.
std::vector<std::uint8_t> pinnacleBankImage(const PinnacleBank& bank);

// Writes the wave files of the file's segments beside it (its name without the extension, the
// index and channel suffix, ".wav"), stopping at the first that fails, then the Pinnacle bank
// over them. Returns the wave files written.
std::vector<std::string> writePinnacleBankWithSeries(const SampleDocument& doc,
                                                     const BankFile& file,
                                                     const BankSettings& settings);

// The same for an SFZ instrument: the wave files, then one region per segment on its keys.
std::vector<std::string> writeSfzWithSeries(const SampleDocument& doc, const BankFile& file,
                                            const BankSettings& settings);

// The text of an SFZ instrument whose regions play the given files.
std::string sfzText(const std::vector<std::string>& sampleFiles, const BankSettings& settings,
                    const std::string& sourceName);

// What writing a bank came to, file by file.
struct BankFileResult {
    std::string fileName;
    bool written = false;
    std::string error;                    // why it was not
    std::vector<std::string> sampleFiles; // wave files written beside it (Pinnacle, SFZ)
};

// "Save To Sound Bank &File" after its dialogs: every planned file of the format the name asks
// for. A failed file does not stop the next channel's. Throws BankRefused before anything is
// written (planBankFiles and checkBankLimits). This is also the bank half of "Save Midi Template
// And Sound Bank".
std::vector<BankFileResult> writeSoundBank(const SampleDocument& doc, const std::string& chosen,
                                           const BankSettings& settings);

} // namespace tolvane
