#include "view/ViewState.h"

#include "view/SegmentBounds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tolvane {
namespace {

std::int64_t roundHalfEven(double v) {
    return std::llrint(v);
}

int bytesPerSample(const SampleDocument& doc) {
    return std::max(doc.BitsPerSample / 8, 1);
}

void setRange(ViewState& view, std::int64_t start, std::int64_t end) {
    view.viewStart = static_cast<std::int32_t>(start);
    view.viewEnd = static_cast<std::int32_t>(end);
    view.viewLength = view.viewEnd - view.viewStart;
}

// A range of the current zoom centred on the pointer.
void centreOnPointer(ViewState& view, const SampleDocument& doc, int width) {
    const int b = bytesPerSample(doc);
    const double samples = static_cast<double>(doc.DataLength) / b;
    const double pointer = static_cast<double>(view.pointerFull) / width * samples;
    const double half = static_cast<double>(doc.DataLength) / (view.zoom * 2 * b);
    setRange(view, roundHalfEven(pointer - half) * b, roundHalfEven(pointer + half) * b);
}

void finishZoom(ViewState& view, const SampleDocument& doc, int width, std::int32_t oldStart,
                std::int32_t oldLength) {
    updatePlayTimer(view, doc, width);
    remapPlayCursor(view, oldStart, oldLength, width);
    view.redrawPending = true;
}

} // namespace

void showWholeSample(ViewState& view, const SampleDocument& doc) {
    setRange(view, 0, doc.DataLength);
    view.zoom = 1.0;
    view.zoomLimitReached = false;
    view.redrawPending = true;
}

std::int32_t pointerOnFullScale(const ViewState& view, const SampleDocument& doc, int x,
                                int width) {
    if (doc.DataLength <= 0)
        return 0;
    const double length = doc.DataLength;
    return static_cast<std::int32_t>(
        roundHalfEven(view.viewLength / length * x + view.viewStart / length * width));
}

std::string zoomInStatusText(double zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "x%2.0f.0", zoom);
    return text;
}

std::string zoomOutStatusText(double zoom) {
    char text[32];
    std::snprintf(text, sizeof text, "x%2.1f", zoom);
    return text;
}

void clampView(ViewState& view, const SampleDocument& doc) {
    std::int64_t start = view.viewStart;
    std::int64_t end = view.viewEnd;
    if (start < 0) {
        end -= start;
        start = 0;
    }
    if (end > doc.DataLength) {
        start -= end - doc.DataLength;
        end = doc.DataLength;
    }
    start = std::max<std::int64_t>(start, 0);
    if (doc.Channels == 2)
        start -= start % 4;
    setRange(view, start, end);
}

bool canZoomIn(const ViewState& view) {
    // After a zoom in reached the limit the factor is recomputed from whole frames and may
    // read a little under 512: the flag, not the factor, says the limit was reached.
    return !view.zoomLimitReached && view.zoom < kMaxZoom;
}

ZoomOutcome zoomIn(ViewState& view, const SampleDocument& doc, int width) {
    ZoomOutcome outcome;
    const std::int32_t oldStart = view.viewStart;
    const std::int32_t oldLength = view.viewLength;
    view.zoom *= 2;
    if (view.zoom >= kMaxZoom) {
        view.zoom = kMaxZoom;
        outcome.zoomInEnabled = false;
    }
    view.zoomLimitReached = !outcome.zoomInEnabled;
    centreOnPointer(view, doc, width);
    clampView(view, doc);
    if (view.viewLength > 0)
        view.zoom = static_cast<double>(doc.DataLength) / view.viewLength;
    outcome.statusText = zoomInStatusText(view.zoom);
    finishZoom(view, doc, width, oldStart, oldLength);
    return outcome;
}

ZoomOutcome zoomOut(ViewState& view, const SampleDocument& doc, int width) {
    ZoomOutcome outcome;
    const std::int32_t oldStart = view.viewStart;
    const std::int32_t oldLength = view.viewLength;
    view.zoom = std::nearbyint(view.zoom / 2);
    view.zoomLimitReached = false;
    if (view.zoom >= 2) {
        centreOnPointer(view, doc, width);
    } else {
        setRange(view, 0, doc.DataLength);
        view.zoom = 1.0;
    }
    clampView(view, doc);
    outcome.statusText = zoomOutStatusText(view.zoom);
    outcome.zoomOutEnabled = view.zoom != 1.0;
    finishZoom(view, doc, width, oldStart, oldLength);
    return outcome;
}

ZoomOutcome zoomWhole(ViewState& view, const SampleDocument& doc, int width) {
    ZoomOutcome outcome;
    const std::int32_t oldStart = view.viewStart;
    const std::int32_t oldLength = view.viewLength;
    showWholeSample(view, doc);
    outcome.statusText = zoomOutStatusText(view.zoom);
    outcome.zoomOutEnabled = false;
    finishZoom(view, doc, width, oldStart, oldLength);
    return outcome;
}

std::optional<ZoomOutcome> zoomToSegment(ViewState& view, SampleDocument& doc, int width) {
    if (doc.DataLength <= 0)
        return std::nullopt;
    const double pointer = static_cast<double>(view.pointerFull) / width * doc.DataLength;
    const auto segment = segmentAt(doc, static_cast<std::int64_t>(pointer), view.workingChannel);
    if (!segment)
        return std::nullopt;
    const std::int64_t start = segment->start & ~3u;
    const std::int64_t end = segment->end & ~3u;
    if (end <= start)
        return std::nullopt;
    view.selected = segment;
    ZoomOutcome outcome;
    outcome.zoomInEnabled = view.zoom < 128;
    const std::int32_t oldStart = view.viewStart;
    const std::int32_t oldLength = view.viewLength;
    setRange(view, start, end);
    view.zoom = static_cast<double>(doc.DataLength) / view.viewLength;
    view.zoomLimitReached = false;
    doc.SelectedSegment = segment->number;
    outcome.statusText = zoomInStatusText(view.zoom);
    finishZoom(view, doc, width, oldStart, oldLength);
    return outcome;
}

void scrollView(ViewState& view, const SampleDocument& doc, std::int64_t bytes, int width) {
    const std::int32_t oldStart = view.viewStart;
    const std::int32_t oldLength = view.viewLength;
    setRange(view, view.viewStart + bytes, view.viewEnd + bytes);
    clampView(view, doc);
    updatePlayTimer(view, doc, width);
    remapPlayCursor(view, oldStart, oldLength, width);
    view.redrawPending = true;
}

int regionBarX(std::int64_t position, const SampleDocument& doc, int width) {
    if (doc.DataLength <= 0)
        return 0;
    return static_cast<int>(roundHalfEven(static_cast<double>(position) / doc.DataLength * width));
}

void pageRegion(ViewState& view, const SampleDocument& doc, int x, int width) {
    const std::int64_t step =
        x < regionBarX(view.viewStart, doc, width) ? -view.viewLength : view.viewLength;
    setRange(view, view.viewStart + step, view.viewEnd + step);
    clampView(view, doc);
    view.redrawPending = true;
}

int regionGrab(const ViewState& view, const SampleDocument& doc, int x, int width) {
    const int startX = regionBarX(view.viewStart, doc, width);
    return x - (startX - startX % 4);
}

void dragRegion(ViewState& view, const SampleDocument& doc, int x, int grab, int width) {
    const int frame = doc.frameBytes();
    const std::int64_t start =
        roundHalfEven(static_cast<double>(x - grab) / width * doc.DataLength) / frame * frame;
    setRange(view, start, start + view.viewLength);
    clampView(view, doc);
    view.redrawPending = true;
}

void resizeRegion(ViewState& view, const SampleDocument& doc, int x, bool keepStart, int width) {
    x = std::clamp(x, 0, width);
    const std::int64_t edge =
        roundHalfEven(static_cast<double>(x) / width * doc.DataLength) / 4 * 4;
    std::int64_t start = keepStart ? view.viewStart : std::min<std::int64_t>(edge, view.viewEnd);
    std::int64_t end = keepStart ? std::max<std::int64_t>(edge, view.viewStart) : view.viewEnd;
    if (end - start == 0)
        end = start + 4; // a zero view length is never kept
    setRange(view, start, end);
    clampView(view, doc);
    view.zoom = static_cast<double>(doc.DataLength) / view.viewLength;
    view.zoomLimitReached = false;
    view.redrawPending = true;
}

void updatePlayTimer(ViewState& view, const SampleDocument& doc, int width,
                     CursorTimerFor purpose) {
    const int b = bytesPerSample(doc);
    if (view.viewLength <= 0 || doc.SampleRate == 0 || width <= 0)
        return;
    // The multiplier counts the view in samples (in frames' halves for Loop); the interval of
    // Play and Loop is per byte of the view, the view commands' per sample.
    const double d = purpose == CursorTimerFor::Loop
                         ? std::max(doc.BitsPerSample / std::max<int>(doc.Channels, 1) / 8, 1)
                         : b;
    const double t = doc.SampleRate / (static_cast<double>(view.viewLength) / d);
    view.cursorMultiplier = t <= 0.1   ? 1
                            : t <= 0.4 ? 2
                            : t <= 0.8 ? 4
                            : t <= 1.4 ? 8
                            : t <= 2   ? 16
                                       : 32;
    double interval = static_cast<double>(view.viewLength) / doc.SampleRate / width * 1000 *
                      view.cursorMultiplier;
    if (purpose == CursorTimerFor::View)
        interval /= b;
    view.playTimerInterval = static_cast<int>(roundHalfEven(interval));
}

void remapPlayCursor(ViewState& view, std::int32_t oldStart, std::int32_t oldLength, int width) {
    if (view.viewLength <= 0 || width <= 0)
        return;
    const double position = static_cast<double>(view.playCursorX) / width * oldLength + oldStart;
    const std::int64_t x = roundHalfEven((position - view.viewStart) / view.viewLength * width);
    view.playCursorX = static_cast<std::uint32_t>(std::max<std::int64_t>(x, 0));
}

int positionToX(std::int64_t position, const ViewState& view, int width) {
    if (view.viewLength <= 0)
        return 0;
    return static_cast<int>(
        roundHalfEven(static_cast<double>(position - view.viewStart) / view.viewLength * width));
}

std::int64_t xToPosition(double x, const ViewState& view, int width) {
    return roundHalfEven(x / width * view.viewLength + view.viewStart);
}

std::uint32_t pointerBytePosition(double x, const ViewState& view, int width) {
    const double position = x / width * view.viewLength + view.viewStart;
    return static_cast<std::uint32_t>(std::max<std::int64_t>(2 * roundHalfEven(position / 2), 0));
}

bool selectSegmentAt(ViewState& view, SampleDocument& doc, std::int64_t position,
                     std::uint8_t channel) {
    const auto segment = segmentAt(doc, position, channel);
    if (!segment)
        return false;
    view.selected = segment;
    doc.SelectedSegment = segment->number;
    return true;
}

bool selectPreviousSegment(ViewState& view, SampleDocument& doc) {
    if (!view.selected)
        return false;
    const SegmentSpan current = *view.selected;
    if (current.start <= doc.LocatorL)
        return selectSegmentAt(view, doc, std::int64_t(doc.LocatorR) - 1, current.channel);
    return selectSegmentAt(view, doc, std::int64_t(current.start) - 1, current.channel);
}

bool selectNextSegment(ViewState& view, SampleDocument& doc) {
    if (!view.selected)
        return false;
    const SegmentSpan current = *view.selected;
    if (current.end >= doc.LocatorR)
        return selectSegmentAt(view, doc, doc.LocatorL, current.channel);
    return selectSegmentAt(view, doc, current.end, current.channel);
}

std::optional<int> locatorButtonX(std::uint32_t locator, const ViewState& view, int width,
                                  int buttonWidth) {
    // The end of the view is shown too: a right locator at the end of the data stays reachable.
    if (std::int64_t(locator) < view.viewStart || std::int64_t(locator) > view.viewEnd)
        return std::nullopt;
    return positionToX(locator, view, width) - buttonWidth;
}

} // namespace tolvane
