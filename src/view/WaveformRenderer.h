#pragma once

#include "document/SampleDocument.h"
#include "view/ViewState.h"

#include <QImage>
#include <cstdint>
#include <optional>

namespace tolvane {

// The nine colours of the view, as 0x00BBGGRR colour values (the stored form).
struct ViewColours {
    std::uint32_t background = 0x804000;
    std::uint32_t line = 0x000000;
    std::uint32_t wave = 0x0080FF;
    std::uint32_t div = 0x0000FF;
    std::uint32_t disabled = 0x808080;
    std::uint32_t bar = 0x804000;
    std::uint32_t seg = 0xC08000;
    std::uint32_t regBar = 0xA04000;
    std::uint32_t regSeg = 0x0080FF;

    friend bool operator==(const ViewColours&, const ViewColours&) = default;
};

// The colour of the empty view before a file is loaded (the application workspace).
inline constexpr std::uint32_t kWorkspaceColour = 0xABABAB;

QRgb toQRgb(std::uint32_t colourValue);

// A logical length in device pixels, rounded.
int devicePixels(int logical, double ratio);

struct DisplaySwitches {
    bool showIcon = true;
    bool showLock = true;
    bool showEnable = true;
    bool showSegmentBar = true;
    bool showRegionBar = true;
};

struct WaveformOptions {
    ViewColours colours;
    DisplaySwitches switches;
    bool traceEnabled = true;            // the sensitivity slider is enabled: a file, and idle
    bool bothChannelItemsChecked = true; // "L&eft Channel" and "Ri&ght Channel" both checked
    // A slice point being dragged: its marker is left out, the drag line stands for it.
    struct HiddenPoint {
        std::uint32_t position = 0;
        std::uint8_t channel = 0;
    };
    std::optional<HiddenPoint> hiddenPoint;
    // Device pixels per logical pixel of the screen the pictures are shown on. The pictures are
    // made at the device's resolution (and say so), so that a HiDPI screen shows a sharp trace
    // instead of a magnified one; sizes given to the renderers stay logical.
    double pixelRatio = 1.0;
};

// The bare waveform of the view: frame, background, zero lines and one min/max column per
// device pixel for each channel, read once front to back. With no document open, only the frame on
// the workspace colour.
QImage renderWaveform(const SampleDocument& doc, const ViewState& view,
                      const WaveformOptions& options, int width, int height);

// Rebuilds the slice table and draws the markers over a waveform picture: disabled-candidate
// icons, slice lines with their sample or lock icons, and the stereo divider.
void drawMarkers(QImage& picture, SampleDocument& doc, const ViewState& view,
                 const WaveformOptions& options);

// Heights of the bar control below the waveform and where the region bar begins.
struct BarLayout {
    int height = 17;
    int boundary = 9;
};
BarLayout barLayout(const DisplaySwitches& switches);

// The segment bar and region bar (`PaintBox2`), and the strip above the waveform
// (`Paintbox3`) that shows the selected segment of the left channel in split stereo.
QImage renderBars(const SampleDocument& doc, const ViewState& view, const WaveformOptions& options,
                  int width);
QImage renderStrip(const SampleDocument& doc, const ViewState& view, const WaveformOptions& options,
                   int width, int height);

// Whether a channel's trace (1 = left/upper, 2 = right/lower) is drawn in the waveform colour.
bool channelInUse(const SampleDocument& doc, int channel, bool bothChannelItemsChecked);

} // namespace tolvane
