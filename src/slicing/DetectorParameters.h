#pragma once

#include <cstdint>

namespace tolvane {

// Tuning of the block scan (pass 1); every scan starts from these values.
struct DetectorParameters {
    int FindSize = 205;   // block length of pass 1, in frames
    int BlockSize = 280;  // initial window length, replaced by the pass windows before use
    double lfac = 0.5;    // weight of the block's own level in the mixed level
    double pfac = 0.495;  // weight of the smoothed history in the mixed level
    double oprec = 0.495; // weight of a new peak in the envelope followers
    double nprec = 0.5;   // weight of the old envelope value in the envelope followers
    double sndl = 0.459;  // weight of the block level in the smoothed history
    double sndp = 0.4;    // weight of the previous mixed level in the smoothed history
    double sndp2 = 0.3;   // weight of the previous smoothed history in the smoothed history
};

// The refinement windows, in frames, scaled from their 44100 Hz sizes to the sample rate.
struct PassWindows {
    int W2 = 240; // quiet start
    int W3 = 192; // quiet pair
    int W5 = 300; // snap to a low sample
    int S = 20;   // step of the quiet-start search
};

PassWindows passWindowsForRate(std::uint32_t sampleRate);

} // namespace tolvane
