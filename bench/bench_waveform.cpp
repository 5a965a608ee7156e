// A full-view redraw of a ten-minute stereo sample at 1000 pixels, on an ordinary screen and on
// one of two device pixels per logical pixel (twice the columns and rows), against the memory
// floor: one plain pass that sums every sample, timed in the same run.
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

    volatile std::int64_t sink = 0;
    const double floor = tolvane::bench::medianMilliseconds(7, [&] {
        const std::uint8_t* p = doc.SampleData.data();
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < kFrames * 2; ++i)
            sum +=
                static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2 * i] | p[2 * i + 1] << 8));
        sink = sum;
    });
    auto redrawAt = [&](double pixelRatio) {
        tolvane::WaveformOptions options;
        options.pixelRatio = pixelRatio;
        return tolvane::bench::medianMilliseconds(7, [&] {
            const QImage picture = tolvane::renderWaveform(doc, view, options, 1000, 300);
            sink = picture.pixel(500, 150);
        });
    };
    const double redraw = redrawAt(1.0);
    const double sharp = redrawAt(2.0);
    std::printf("waveform: full view of ten minutes of stereo at 1000 pixels\n");
    std::printf("  redraw            %8.2f ms\n", redraw);
    std::printf("  redraw at ratio 2 %8.2f ms\n", sharp);
    std::printf("  summing pass      %8.2f ms (the memory floor)\n", floor);
    bool met = true;
    for (const auto& [name, ms] :
         {std::pair{"redraw", redraw}, std::pair{"redraw at ratio 2", sharp}}) {
        const double ratio = ms / floor;
        std::printf("  ratio %s / floor: %.2f (target <= 4: %s)\n", name, ratio,
                    ratio <= 4 ? "met" : "MISSED");
        met = met && ratio <= 4;
    }
    return met ? 0 : 1;
}
