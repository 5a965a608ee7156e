#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"

#include <cstdint>

namespace tolvane {

// "&Convert channels" and "A&djust sample rate": changes of the document's format. The channel
// conversions record the whole sample for undo (kind 2, which brings the format back too), the
// rate change records the rate (kind 18); a failure to record (UndoFileError) leaves the document
// as it was. Synchronous; the window runs the conversions on its worker `TChannelThread`.

// Where the samples of a mono sample come from: the list items of the dialog, in order.
enum class MonoSource { Left = 0, Right = 1, Mix = 2 };

inline constexpr std::uint32_t kMinSampleRate = 1;

// Stereo to mono: the left or the right sample of every frame, or both mixed as
// trunc(L / 2) + trunc(R / 2). The document becomes mono with one channel chosen. Throws
// ProcessingRefused for a mono sample.
void convertToMono(SampleDocument& doc, UndoRecord& undo, MonoSource source);

// Mono to stereo: every sample s becomes the frame (s, s); the channels start merged, both
// chosen. Throws ProcessingRefused for a stereo sample, or one too long to double.
void convertToStereo(SampleDocument& doc, UndoRecord& undo);

// After either conversion the locators span the data, the candidates are gone (their positions
// belong to the old format) and a scan is pending.

// The rate the document carries and plays at; the samples stay as they are (no resampling).
// Throws ProcessingRefused for a rate outside kMinSampleRate to kMaxSampleRate.
void changeSampleRate(SampleDocument& doc, UndoRecord& undo, std::uint32_t rate);

} // namespace tolvane
