#pragma once

#include "document/SampleDocument.h"
#include "slicing/DetectorParameters.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

// The width in pixels of the waveform in the main window at its default size (a 640-pixel
// panel less its 4-pixel frame). The stereo merge spaces candidates by the bytes per pixel.
inline constexpr int kDefaultWaveformWidth = 636;

// What pass 3 leaves for pass 5: the level q(1) and the chosen offset (frames) of the last
// candidate it visited.
struct QuietPairTrace {
    int level = 0;
    int offset = 0;
};

// The passes of the scan, in order. Each works on the candidate table in place; candidates
// that a pass would move before the data go to 0, and those it would move to or past the
// end go to the last frame.

// Where pass 1 stopped because the candidate table was full while blocks were left to scan.
struct TableFull {
    std::uint32_t reachedBytes = 0; // the data scanned up to there, in bytes of the whole sample
    int channelPass = 1;            // 1: right channel (or mono); 2: left channel of stereo
};

// Pass 1: the block scan of every channel; fills candidates 1.. (at most 8192, the point
// file's fixed layout). Says where it stopped when the table filled before the end.
std::optional<TableFull> blockScan(SampleDocument& doc, const DetectorParameters& parameters);
// Pass 2: each candidate moves back to the quiet start of its attack.
void findQuietStarts(SampleDocument& doc, const PassWindows& windows);
// Pass 3 on one candidate: onto the quietest pair of samples before it.
QuietPairTrace findQuietPair(SampleDocument& doc, int candidate, const PassWindows& windows);
// Pass 4a / 4b on one candidate: walk back / forward while the 4-frame peak keeps falling.
void settleBackward(SampleDocument& doc, int candidate);
void settleForward(SampleDocument& doc, int candidate);
// Passes 3 and 4 together, as the scan runs them (see the .cpp for why this is exact).
QuietPairTrace refineAndSettle(SampleDocument& doc, const PassWindows& windows);
// Pass 5: each candidate snaps to a low sample near it.
void snapToLowSamples(SampleDocument& doc, const PassWindows& windows, QuietPairTrace trace);
// Ascending positions, then the start and end records.
void sortCandidates(SampleDocument& doc);
void closeCandidateTable(SampleDocument& doc);
// Pass 6: the swing over the segment that follows each candidate, into Strength.
void measureSwingAfter(SampleDocument& doc);
// Pass 7: Strength compares that swing with the swing 700 to 201 frames before.
void measureStrengths(SampleDocument& doc);

struct ScanOptions {
    int viewWidth = kDefaultWaveformWidth; // waveform width for the stereo merge
};

struct ScanReport {
    bool scanned = false;               // DetectPending was set, so the table was rebuilt
    int found = 0;                      // candidates the passes found, before any stereo merge
    bool merged = false;                // the stereo merge ran at the end
    std::optional<TableFull> tableFull; // pass 1 did not reach the end of the data
};

// What to tell the user when the table filled before the end: "the table is full at 20:00 of
// 60:00; later hits were not scanned" (minutes and seconds of the sample); empty otherwise.
std::string scanLimitText(const SampleDocument& doc, const ScanReport& report);

// The whole scan the `tpseek` worker runs: when DetectPending is set, passes 1 to 7 (pass 1
// skipped when KeepCandidates is set), then the stereo merge when MergeChannels is set.
// Clears DetectPending and KeepCandidates.
ScanReport scanTransients(SampleDocument& doc, const ScanOptions& options = {});

} // namespace tolvane
