#pragma once

#include "document/SampleDocument.h"
#include "slicing/Keymap.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

// The record the track-file library takes: its documented fields lie within the first
// kTrackRecordSize bytes; the library's "InitTrkAssets" fills the rest with its defaults.
inline constexpr std::size_t kTrackRecordSize = 2048;
// A track holds at most this many samples (slice points between the locators + 1).
inline constexpr int kMaxTrackSamples = 128;

// What the record points at: the note stream and each sample's bytes, as the library sees
// them (32-bit addresses: the caller puts them where such an address reaches).
struct TrackAddresses {
    std::uint32_t noteStream = 0;
    std::vector<std::uint32_t> samples;
};

// One sample of the track: a segment between the locators (the segments of a series).
struct TrackSample {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};
std::vector<TrackSample> trackSamples(const SampleDocument& doc);

// The loop's rhythm for the library: delta time, note on/off on channel 1, note, velocity 75,
// the notes 0, I + 1, 2 (I + 1), ... (reversed as in the MIDI template). Notes above 127 are
// left out and counted in `notesLeftOut`.
std::vector<std::uint8_t> trackNoteStream(const SampleDocument& doc, const KeymapSettings& keymap,
                                          int* notesLeftOut = nullptr);

// Fills the documented fields of `record` (at least kTrackRecordSize bytes) for the samples
// trackSamples gave; everything else is left as it is.
void fillTrackRecord(std::span<std::uint8_t> record, const SampleDocument& doc,
                     const KeymapSettings& keymap, const std::vector<TrackSample>& samples,
                     std::uint32_t noteStreamLength, const TrackAddresses& addresses);

// The refusals before anything is asked, or nothing.
std::string trackRefusal(const SampleDocument& doc);

inline constexpr const char* kMsgTrackNeedsMono =
    "Mixman Track Files can only be created from mono samples!";
inline constexpr const char* kMsgTrackTooManySamples =
    "Too many samples - try reducing the sensitivity or saving a smaller section of the sample!";
inline constexpr const char* kMsgTrackWriteFailed =
    "An error occurred when creating the track file!\r\nCheck that the file is not in use or "
    "read-only, and that there is sufficient disk space";

} // namespace tolvane
