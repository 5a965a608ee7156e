#include "slicing/Tempo.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {

double loopTempo(const SampleDocument& doc, int bars, int beats) {
    const double bytesPerSecond = static_cast<double>(std::max(doc.BitsPerSample / 8, 1)) *
                                  std::max<int>(doc.Channels, 1) * doc.SampleRate;
    const double span = static_cast<double>(doc.LocatorR) - static_cast<double>(doc.LocatorL);
    if (bytesPerSecond <= 0 || span <= 0)
        return 0.0; // no region: no tempo rather than an infinite one
    const double seconds = span / bytesPerSecond;
    return 60.0 / seconds * (beats + 4.0 * bars);
}

void setLoopLength(SampleDocument& doc, int bars, int beats) {
    doc.LoopBars = static_cast<std::uint16_t>(std::clamp(bars, 0, kMaxLoopBarsOrBeats));
    doc.LoopBeats = static_cast<std::int16_t>(std::clamp(beats, 0, kMaxLoopBarsOrBeats));
    updateLoopTempo(doc);
}

void updateLoopTempo(SampleDocument& doc) {
    doc.LoopTempo = loopTempo(doc, doc.LoopBars, doc.LoopBeats);
}

std::string tempoText(double tempo) {
    char text[400]; // room for any double: "%f" never truncates
    std::snprintf(text, sizeof text, "%4.2f BPM", tempo);
    return text;
}

bool loopLengthUnset(const SampleDocument& doc) {
    return doc.LoopBars == 0 && doc.LoopBeats == 0;
}

} // namespace tolvane
