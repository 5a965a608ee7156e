// A full-view redraw of a ten-minute stereo sample at 1000 pixels, against the memory floor:
// one plain pass that sums every sample, timed in the same run.
#include "BenchSupport.h"
#include "view/WaveformRenderer.h"

#include <cstdio>
#include <vector>

int main() {
    tolvane::SampleDocument doc;
    tolvane::bench::makeTenMinutesOfStereo(doc);
    constexpr std::size_t kFrames = tolvane::bench::kTenMinutesOfFrames;
    tolvane::ViewState view;
    tolvane::showWholeSample(view, doc);
    const tolvane::WaveformOptions options;

    volatile std::int64_t sink = 0;
    const double floor = tolvane::bench::medianMilliseconds(7, [&] {
        const std::uint8_t* p = doc.SampleData.data();
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < kFrames * 2; ++i)
            sum +=
                static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2 * i] | p[2 * i + 1] << 8));
        sink = sum;
    });
    const double redraw = tolvane::bench::medianMilliseconds(7, [&] {
        const QImage picture = tolvane::renderWaveform(doc, view, options, 1000, 300);
        sink = picture.pixel(500, 150);
    });
    const double ratio = redraw / floor;
    std::printf("waveform: full view of ten minutes of stereo at 1000 pixels\n");
    std::printf("  redraw            %8.2f ms\n", redraw);
    std::printf("  summing pass      %8.2f ms (the memory floor)\n", floor);
    std::printf("  ratio redraw / floor: %.2f (target <= 4: %s)\n", ratio,
                ratio <= 4 ? "met" : "MISSED");
    return ratio <= 4 ? 0 : 1;
}
