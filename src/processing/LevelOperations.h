#pragma once

#include "document/SampleDocument.h"
#include "document/UndoRecord.h"

namespace tolvane {

// Normalise, Invert and Quantise: whole-sample operations on the processed samples (every
// sample, or the chosen channel of stereo; see ProcessedSamples.h). Each records the whole
// sample for undo (kind 2) before it changes anything. They move no audio, so the points stay
// valid: whether a scan follows ("Re-cut sample") is the caller's choice, and DetectPending is
// left as it was. A failure to record (UndoFileError) leaves the document as it was.
// Synchronous; the window runs them on its workers (`TNormThread`, `TInvertThread`,
// `TQuantThread`).

struct NormaliseOptions {
    int percent = 100;    // of full scale (32767) for the largest distance from the centre
    bool dcCenter = true; // "D.C. center": measure and remove the mean first
};

// Scales the processed samples so that the largest |s - m| lands on percent of 32767, where m
// is the mean of the processed samples with "D.C. center" and 0 without:
// s' = trunc((s - m) * percent / 100 * 32767 / P). The arithmetic is exact (the peak at 100 %
// is exactly +-32767); results beyond 16 bits (above 100 %) are clipped. Throws
// ProcessingRefused for a sample with no distance from its centre (silence).
void normaliseSample(SampleDocument& doc, UndoRecord& undo, const NormaliseOptions& options);

// Every processed sample becomes its bitwise complement, s' = -s - 1.
void invertSample(SampleDocument& doc, UndoRecord& undo);

// Keeps `bits` bits of every processed sample: s' = trunc(s / q) * q with q = 2^(16 - bits),
// toward zero (0 bits: silence). The window's levels are 0 to 8. Throws ProcessingRefused for
// 16 bits (the sample's own depth: nothing to do) and std::invalid_argument outside 0 to 16.
void quantiseSample(SampleDocument& doc, UndoRecord& undo, int bits);

} // namespace tolvane
