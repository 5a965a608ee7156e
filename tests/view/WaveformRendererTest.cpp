// Pixel checks of the waveform, markers and bars.
#include "view/WaveformRenderer.h"

#include "slicing/SliceSelection.h"
#include "view/Icons.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

SampleDocument documentWithSamples(int channels, const std::vector<std::int16_t>& samples) {
    SampleDocument doc;
    doc.DocumentOpen = true;
    doc.Channels = static_cast<std::uint16_t>(channels);
    doc.BitsPerSample = 16;
    doc.SampleRate = 44100;
    doc.DataLength = static_cast<std::int32_t>(samples.size() * 2);
    doc.SampleData.setSize(samples.size() * 2 + kSpareBytes);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        doc.SampleData.data()[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
        doc.SampleData.data()[2 * i + 1] = static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF);
    }
    doc.MergeChannels = channels == 2;
    return doc;
}

ViewState wholeView(const SampleDocument& doc) {
    ViewState view;
    showWholeSample(view, doc);
    return view;
}

std::vector<int> rowsOfColour(const QImage& image, int x, QRgb colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == colour)
            rows.push_back(y);
    return rows;
}

const WaveformOptions kOptions;
const QRgb kWave = toQRgb(kOptions.colours.wave);

TEST(WaveformRenderer, EmptyViewIsAFrameOnTheWorkspaceColour) {
    SampleDocument doc;
    const QImage image = renderWaveform(doc, ViewState{}, kOptions, 100, 60);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(99, 59), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(50, 30), toQRgb(kWorkspaceColour));
}

TEST(WaveformRenderer, SilenceDrawsTheFlatZeroLine) {
    SampleDocument doc = documentWithSamples(1, std::vector<std::int16_t>(5000, 0));
    const int width = 200, height = 100;
    const QImage image = renderWaveform(doc, wholeView(doc), kOptions, width, height);
    for (int x = 1; x < width - 4; ++x)
        ASSERT_EQ(rowsOfColour(image, x, kWave), std::vector<int>{height / 2}) << "column " << x;
    EXPECT_EQ(image.pixel(width / 2, 10), toQRgb(kOptions.colours.background));
}

TEST(WaveformRenderer, ZoomedInColumnsRepeatTheirFrameAsSteps) {
    // Ten frames over ~100 columns: each frame's value holds for about ten columns.
    std::vector<std::int16_t> samples(10);
    for (int i = 0; i < 10; ++i)
        samples[i] = static_cast<std::int16_t>(i % 2 == 0 ? 20000 : -20000);
    SampleDocument doc = documentWithSamples(1, samples);
    const int width = 103, height = 101;
    const QImage image = renderWaveform(doc, wholeView(doc), kOptions, width, height);
    // Each column shows one wave pixel; the height changes only where a new frame begins,
    // so the ten frames come out as runs of about ten columns.
    std::vector<int> heights;
    for (int x = 2; x < width - 3; ++x) {
        const auto rows = rowsOfColour(image, x, kWave);
        if (rows.size() == 1)
            heights.push_back(rows.front());
    }
    ASSERT_GT(heights.size(), 60u);
    int changes = 0;
    for (std::size_t i = 1; i < heights.size(); ++i)
        changes += heights[i] != heights[i - 1];
    EXPECT_GE(changes, 7);
    EXPECT_LE(changes, 9);
    const int base = height / 2;
    EXPECT_TRUE(std::count_if(heights.begin(), heights.end(), [&](int y) { return y < base; }) >
                20);
    EXPECT_TRUE(std::count_if(heights.begin(), heights.end(), [&](int y) { return y > base; }) >
                20);
}

TEST(WaveformRenderer, ChannelsNotInUseTakeTheDisabledColour) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 4000; ++i) {
        samples.push_back(static_cast<std::int16_t>((i * 37) % 20000 - 10000));
        samples.push_back(static_cast<std::int16_t>((i * 53) % 20000 - 10000));
    }
    SampleDocument doc = documentWithSamples(2, samples);
    doc.MergeChannels = false;
    doc.FirstChannel = 1;
    doc.LastChannel = 1; // left only
    const int width = 120, height = 100;
    const QImage image = renderWaveform(doc, wholeView(doc), kOptions, width, height);
    const QRgb disabled = toQRgb(kOptions.colours.disabled);
    bool upperWave = false, lowerDisabled = false, lowerWave = false;
    for (int x = 2; x < width - 3; ++x) {
        for (int y = 1; y < height - 1; ++y) {
            const QRgb p = image.pixel(x, y);
            upperWave |= y < height / 2 && p == kWave;
            lowerDisabled |= y > height / 2 && p == disabled;
            lowerWave |= y > height / 2 && p == kWave;
        }
    }
    EXPECT_TRUE(upperWave);
    EXPECT_TRUE(lowerDisabled);
    EXPECT_FALSE(lowerWave);

    doc.LastChannel = 2; // both in use: every trace in the waveform colour
    const QImage both = renderWaveform(doc, wholeView(doc), kOptions, width, height);
    EXPECT_TRUE(rowsOfColour(both, width / 2, disabled).empty());
}

TEST(WaveformRenderer, TraceIsLeftOutWhileTheSliderIsDisabled) {
    SampleDocument doc = documentWithSamples(1, std::vector<std::int16_t>(1000, 12000));
    WaveformOptions busy = kOptions;
    busy.traceEnabled = false;
    const QImage image = renderWaveform(doc, wholeView(doc), busy, 100, 80);
    for (int x = 1; x < 99; ++x)
        ASSERT_TRUE(rowsOfColour(image, x, kWave).empty());
}

TEST(Markers, SliceLinesSpanTheirChannelsHalfInSplitStereo) {
    SampleDocument doc = documentWithSamples(2, std::vector<std::int16_t>(2000, 0));
    doc.MergeChannels = false;
    doc.CandidateCount = 2;
    doc.CandidateTable[1] = PointRecord{1000, 500, 1, 0, 2, 0};
    doc.CandidateTable[2] = PointRecord{3002, 500, 1, 1, 1, 0};
    doc.Threshold = 0;
    const int width = 400, height = 100;
    const ViewState view = wholeView(doc);
    QImage image = renderWaveform(doc, view, kOptions, width, height);
    drawMarkers(image, doc, view, kOptions);
    EXPECT_EQ(doc.SliceCount, 2);
    const QRgb div = toQRgb(kOptions.colours.div);
    const auto left = rowsOfColour(image, positionToX(1000, view, width), div);
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.front(), 1);
    EXPECT_EQ(left.back(), height / 2 - 1) << "the divider is drawn over the line's end";
    const auto right = rowsOfColour(image, positionToX(3002, view, width), div);
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(right.front(), height / 2 + 1) << "the divider is drawn over the line's top";
    EXPECT_EQ(right.back(), height - 2);
}

// On a screen of two device pixels per logical pixel the pictures keep their logical size and
// carry twice the detail: the trace has a column per device pixel (the same picture as one
// twice the size on an ordinary screen), lines stay one device pixel thin, icons keep their
// logical size, and the bars keep their logical heights.
TEST(HiDpi, PicturesAreMadeAtTheDevicesResolution) {
    std::vector<std::int16_t> samples(8000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 7919) % 60000 - 30000);
    SampleDocument doc = documentWithSamples(1, samples);
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{8000, 500, 1, 0, 1, 0};
    doc.Threshold = 0;
    const ViewState view = wholeView(doc);
    WaveformOptions sharp = kOptions;
    sharp.pixelRatio = 2.0;
    const int width = 300, height = 120;

    QImage picture = renderWaveform(doc, view, sharp, width, height);
    EXPECT_EQ(picture.size(), QSize(2 * width, 2 * height));
    EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(width, height));
    const QImage doubled = renderWaveform(doc, view, kOptions, 2 * width, 2 * height);
    EXPECT_TRUE(std::equal(picture.constBits(), picture.constBits() + picture.sizeInBytes(),
                           doubled.constBits()))
        << "a column per device pixel";

    drawMarkers(picture, doc, view, sharp);
    const int x = positionToX(8000, view, 2 * width);
    const QRgb div = toQRgb(kOptions.colours.div);
    EXPECT_EQ(picture.pixel(x, 2 * height / 2), div);
    EXPECT_NE(picture.pixel(x + 1, 2 * height / 2), div) << "a line one device pixel thin";
    // The unlocked icon sits above the line's foot at twice its size in device pixels.
    const int iconTop = 2 * height - devicePixels(kIconSize + 1, 2.0);
    int iconRows = 0;
    for (int y = iconTop; y < 2 * height; ++y)
        iconRows += picture.pixel(x + 2, y) != picture.pixel(x + 2, iconTop - 4) ? 1 : 0;
    EXPECT_GT(iconRows, kIconSize) << "drawn at its logical size";

    const QImage bars = renderBars(doc, view, sharp, width);
    EXPECT_EQ(bars.size(), QSize(2 * width, 2 * 17));
    EXPECT_EQ(bars.deviceIndependentSize(), QSizeF(width, 17));
    EXPECT_EQ(bars.pixel(2 * width - 1, 2 * 17 - 1), toQRgb(kOptions.colours.regSeg));
}

TEST(Bars, RegionBarShowsTheVisibleRange) {
    SampleDocument doc = documentWithSamples(1, std::vector<std::int16_t>(10000, 0));
    ViewState view = wholeView(doc);
    view.viewStart = 5000;
    view.viewEnd = 10000;
    view.viewLength = 5000;
    const int width = 200;
    const QImage bars = renderBars(doc, view, kOptions, width);
    ASSERT_EQ(bars.height(), 17);
    const QRgb region = toQRgb(kOptions.colours.regSeg);
    EXPECT_NE(bars.pixel(40, 12), region);
    EXPECT_EQ(bars.pixel(60, 12), region);
    EXPECT_EQ(bars.pixel(99, 16), region);
    EXPECT_NE(bars.pixel(100, 12), region);
    // The segment bar follows the view: segment 1 runs to the slice point at 7500, which is
    // halfway through the visible range.
    doc.CandidateCount = 1;
    doc.CandidateTable[1] = PointRecord{7500, 100, 1, 0, 1, 0};
    doc.Threshold = 0;
    rebuildSliceTable(doc);
    selectSegmentAt(view, doc, 6000, 1);
    const QImage selected = renderBars(doc, view, kOptions, width);
    EXPECT_EQ(selected.pixel(40, 2), toQRgb(kOptions.colours.seg));
    EXPECT_EQ(selected.pixel(150, 2), toQRgb(kOptions.colours.bar));
}

} // namespace
} // namespace tolvane
