#pragma once

#include "document/SampleDocument.h"
#include "view/SegmentBounds.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

inline constexpr double kMaxZoom = 512.0;

// Which byte range of the sample is on screen, and the state that goes with it. All
// positions are byte offsets into SampleData.
struct ViewState {
    std::int32_t viewStart = 0;
    std::int32_t viewEnd = 0;
    std::int32_t viewLength = 0;
    double zoom = 1.0;
    bool zoomLimitReached = false; // the last zoom in stopped at 512
    // The last pointer x in the waveform as a pixel on a full-file scale of the same width.
    std::int32_t pointerFull = 0;
    // 2 for the upper trace (left channel), 1 for the lower (right) or mono.
    std::uint8_t workingChannel = 1;
    std::uint32_t playCursorX = 0;
    int cursorMultiplier = 1;
    int playTimerInterval = 0; // milliseconds
    bool redrawPending = true;
    // The selected segment's bounds (SelectedSegment holds its number); none after a load.
    std::optional<SegmentSpan> selected;
};

// What a zoom command leaves enabled, and the zoom panel's text.
struct ZoomOutcome {
    bool zoomInEnabled = true;
    bool zoomOutEnabled = true;
    std::string statusText;
};

// The whole sample at zoom 1.0.
void showWholeSample(ViewState& view, const SampleDocument& doc);

// The pointer's pixel on a full-file scale: round(length / DataLength * x + start / DataLength *
// W).
std::int32_t pointerOnFullScale(const ViewState& view, const SampleDocument& doc, int x, int width);

// Whether the view is not yet at the largest zoom.
bool canZoomIn(const ViewState& view);

ZoomOutcome zoomIn(ViewState& view, const SampleDocument& doc, int width);
ZoomOutcome zoomOut(ViewState& view, const SampleDocument& doc, int width);
ZoomOutcome zoomWhole(ViewState& view, const SampleDocument& doc, int width);
// Zooms to the segment under the pointer of the working channel and selects it. Returns
// nothing when there is no such segment.
std::optional<ZoomOutcome> zoomToSegment(ViewState& view, SampleDocument& doc, int width);

// Zoom panel texts: "x 4.0" after a zoom in, "x2.0" / "x1.0" after a zoom out or 1:1.
std::string zoomInStatusText(double zoom);
std::string zoomOutStatusText(double zoom);

// Keeps the range inside the data (shifting, not shrinking) and a stereo start on a frame.
void clampView(ViewState& view, const SampleDocument& doc);

// Moves the view by `bytes` (negative toward the start), keeping its length.
void scrollView(ViewState& view, const SampleDocument& doc, std::int64_t bytes, int width);

// Region bar: a press outside the visible range pages by one view length.
void pageRegion(ViewState& view, const SampleDocument& doc, int x, int width);
// Region bar: dragging the visible range with the left button (grab from regionGrab).
int regionGrab(const ViewState& view, const SampleDocument& doc, int x, int width);
void dragRegion(ViewState& view, const SampleDocument& doc, int x, int grab, int width);
// Region bar: dragging one edge with the right button; the other edge stays.
void resizeRegion(ViewState& view, const SampleDocument& doc, int x, bool keepStart, int width);
// Pixel range of the visible range in the region bar.
int regionBarX(std::int64_t position, const SampleDocument& doc, int width);

// Who sets the play-cursor timer: a zoom or scroll, "Play", or "Loop".
enum class CursorTimerFor { View, Play, Loop };

// The play-cursor refresh multiplier and timer interval for the current view.
void updatePlayTimer(ViewState& view, const SampleDocument& doc, int width,
                     CursorTimerFor purpose = CursorTimerFor::View);
// Maps the play cursor column from an old view onto the current one.
void remapPlayCursor(ViewState& view, std::int32_t oldStart, std::int32_t oldLength, int width);

// The x of a position in the waveform (round((position - start) / length * W)).
int positionToX(std::int64_t position, const ViewState& view, int width);
// The byte position under a pixel: round(x / W * length + start).
std::int64_t xToPosition(double x, const ViewState& view, int width);
// The pointer's position on a whole 16-bit sample: 2 * round((x / W * length + start) / 2).
std::uint32_t pointerBytePosition(double x, const ViewState& view, int width);

// Selects the segment of a channel that holds `position` (SelectedSegment and the bounds).
bool selectSegmentAt(ViewState& view, SampleDocument& doc, std::int64_t position,
                     std::uint8_t channel);
// "-": the segment before the selected one, or from the left locator back to the loop's last.
bool selectPreviousSegment(ViewState& view, SampleDocument& doc);
// "+": the segment after the selected one, or from the right locator back to the loop's first.
bool selectNextSegment(ViewState& view, SampleDocument& doc);

// Locator buttons: x of the button's left edge relative to the waveform, or nothing when the
// locator lies outside the view (its end included). `buttonWidth` shifts the right locator's button
// left.
std::optional<int> locatorButtonX(std::uint32_t locator, const ViewState& view, int width,
                                  int buttonWidth = 0);

} // namespace tolvane
