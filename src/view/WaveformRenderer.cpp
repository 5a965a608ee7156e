#include "view/WaveformRenderer.h"

#include "slicing/SliceSelection.h"
#include "view/Icons.h"
#include "view/SegmentBounds.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tolvane {
namespace {

int roundHalfEven(double v) {
    return static_cast<int>(std::lrint(v));
}

// Pixel drawing with the pen semantics of the classic window canvas: a line runs from the
// current point up to, but not including, its end point, which becomes the current point.
class Canvas {
public:
    // The image's pixels are taken once: QImage's per-row access checks for sharing each time.
    explicit Canvas(QImage& image)
        : m_bits(image.bits()), m_stride(image.bytesPerLine()), m_width(image.width()),
          m_height(image.height()) {}

    void setPen(QRgb colour) { m_pen = colour; }
    void moveTo(int x, int y) {
        m_x = x;
        m_y = y;
    }
    void lineTo(int x, int y) {
        int dx = std::abs(x - m_x);
        int dy = -std::abs(y - m_y);
        const int sx = m_x < x ? 1 : -1;
        const int sy = m_y < y ? 1 : -1;
        int error = dx + dy;
        int cx = m_x;
        int cy = m_y;
        while (cx != x || cy != y) {
            plot(cx, cy);
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                cx += sx;
            }
            if (twice <= dx) {
                error += dx;
                cy += sy;
            }
        }
        m_x = x;
        m_y = y;
    }
    // Fills left <= x < right, top <= y < bottom.
    void fillRect(int left, int top, int right, int bottom, QRgb colour) {
        left = std::max(left, 0);
        top = std::max(top, 0);
        right = std::min(right, m_width);
        bottom = std::min(bottom, m_height);
        for (int y = top; y < bottom; ++y) {
            QRgb* row = rowAt(y);
            std::fill(row + std::max(left, 0), row + std::max(right, left), colour);
        }
    }
    void frameRect(QRgb colour) {
        fillRect(0, 0, m_width, 1, colour);
        fillRect(0, m_height - 1, m_width, m_height, colour);
        fillRect(0, 0, 1, m_height, colour);
        fillRect(m_width - 1, 0, m_width, m_height, colour);
    }

private:
    QRgb* rowAt(int y) { return reinterpret_cast<QRgb*>(m_bits + std::ptrdiff_t(y) * m_stride); }
    void plot(int x, int y) {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height)
            rowAt(y)[x] = m_pen;
    }

    std::uint8_t* m_bits;
    qsizetype m_stride;
    int m_width;
    int m_height;
    QRgb m_pen = 0;
    int m_x = 0;
    int m_y = 0;
};

struct Extent {
    int min = 0;
    int max = 0;
};

// Smallest and largest sample of each channel over frames [first, last), reading them in one
// pass front to back. Plain loops over whole samples, which the compiler vectorises.
template <int Channels>
std::array<Extent, Channels> frameRange(const std::uint8_t* data, std::int64_t first,
                                        std::int64_t last) {
    static_assert(std::endian::native == std::endian::little, "samples are read as stored");
    const std::uint8_t* p = data + first * 2 * Channels;
    const std::int64_t count = last - first;
    int lo0 = 32767, hi0 = -32768, lo1 = 32767, hi1 = -32768;
    for (std::int64_t f = 0; f < count; ++f) {
        std::int16_t v[Channels];
        std::memcpy(v, p + f * 2 * Channels, sizeof v);
        lo0 = std::min<int>(lo0, v[0]);
        hi0 = std::max<int>(hi0, v[0]);
        if constexpr (Channels == 2) {
            lo1 = std::min<int>(lo1, v[1]);
            hi1 = std::max<int>(hi1, v[1]);
        }
    }
    if constexpr (Channels == 2)
        return {Extent{lo0, hi0}, Extent{lo1, hi1}};
    else
        return {Extent{lo0, hi0}};
}

// One min/max pair per pixel column for each channel, reading the view's frames once, front to
// back. Column k covers frames e(k - 1) .. e(k) - 1 with e(k) = round(k / span * length +
// start) div F; a column that covers no frame repeats the previous one (steps when zoomed in).
std::vector<std::vector<Extent>> columnExtents(const SampleDocument& doc, const ViewState& view,
                                               int columns, int span) {
    const int channels = doc.Channels;
    const int frameBytes = doc.frameBytes();
    std::vector<std::vector<Extent>> extents(channels, std::vector<Extent>(columns + 1));
    const std::uint8_t* data = doc.SampleData.data();
    const std::int64_t dataFrames = doc.DataLength / frameBytes;
    auto sample = [&](std::int64_t frame, int c) {
        const std::uint8_t* p = data + frame * frameBytes + 2 * c;
        return static_cast<int>(
            static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8)));
    };
    std::int64_t previous = std::min<std::int64_t>(view.viewStart / frameBytes, dataFrames);
    for (int c = 0; c < channels; ++c)
        extents[c][0] =
            previous < dataFrames ? Extent{sample(previous, c), sample(previous, c)} : Extent{};
    for (int k = 1; k <= columns; ++k) {
        const std::int64_t frame = std::min<std::int64_t>(
            std::llrint(static_cast<double>(k) / span * view.viewLength + view.viewStart) /
                frameBytes,
            dataFrames);
        for (int c = 0; c < channels; ++c)
            extents[c][k] = extents[c][k - 1];
        if (frame > previous) {
            if (channels == 1)
                extents[0][k] = frameRange<1>(data, previous, frame)[0];
            else {
                const auto both = frameRange<2>(data, previous, frame);
                extents[0][k] = both[0];
                extents[1][k] = both[1];
            }
            previous = frame;
        }
    }
    // The first column shows the first sample itself.
    for (int c = 0; c < channels && columns >= 1; ++c)
        extents[c][1] = extents[c][0];
    return extents;
}

void drawTrace(Canvas& canvas, const std::vector<Extent>& extents, int columns, int base, int span,
               int height, bool traceEnabled) {
    const double s0 = span / 65535.0;
    const double sMin = span / (65535.0 + 65535.0 * 3 / height);
    const double sMax = span / (65535.0 + 65535.0 * 2 / height);
    const int x0 = 1;
    canvas.moveTo(1, base - roundHalfEven(extents[0].min * s0));
    if (!traceEnabled)
        return;
    for (int k = 1; k <= columns; ++k) {
        const Extent& e = extents[k];
        if (e.min != 0 || e.max != 0) {
            canvas.lineTo(x0 + k, base - roundHalfEven(e.min * sMin));
            canvas.lineTo(x0 + k, base - roundHalfEven(e.max * sMax));
        } else {
            canvas.lineTo(x0 + k - 1, base); // silence: the flat zero line
        }
    }
}

// Icons keep their logical size: a painter on a HiDPI picture works in logical units, so the
// device position is given in them and the icon is scaled up pixel for pixel.
void drawIcon(QImage& picture, const QImage& icon, int x, int y, double ratio) {
    QPainter painter(&picture);
    painter.drawImage(QPointF(x / ratio, y / ratio), icon);
}

// A picture of a logical size, made at the device's resolution.
QImage devicePicture(int width, int height, double ratio) {
    QImage picture(std::max(devicePixels(width, ratio), 1),
                   std::max(devicePixels(height, ratio), 1), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    return picture;
}

} // namespace

int devicePixels(int logical, double ratio) {
    return static_cast<int>(std::lround(logical * ratio));
}

QRgb toQRgb(std::uint32_t c) {
    return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

bool channelInUse(const SampleDocument& doc, int channel, bool bothChannelItemsChecked) {
    return doc.Channels == 1 || (doc.FirstChannel == 1 && doc.LastChannel == 2) ||
           (doc.FirstChannel == channel && doc.LastChannel == channel) ||
           (doc.MergeChannels && bothChannelItemsChecked);
}

QImage renderWaveform(const SampleDocument& doc, const ViewState& view,
                      const WaveformOptions& options, int logicalWidth, int logicalHeight) {
    QImage picture = devicePicture(logicalWidth, logicalHeight, options.pixelRatio);
    // Everything below is drawn in device pixels: a column per device pixel.
    const int width = devicePixels(logicalWidth, options.pixelRatio);
    const int height = devicePixels(logicalHeight, options.pixelRatio);
    Canvas canvas(picture);
    const ViewColours& colours = options.colours;
    const bool loaded = doc.DocumentOpen && doc.Channels >= 1 && doc.Channels <= 2;
    picture.fill(toQRgb(loaded ? colours.background : kWorkspaceColour));
    canvas.frameRect(qRgb(0, 0, 0));
    if (!loaded || width < 4 || height < 4)
        return picture;

    canvas.setPen(toQRgb(colours.line));
    int span = height - 1;
    std::vector<int> bases{height / 2};
    if (doc.Channels == 1) {
        canvas.moveTo(1, height / 2);
        canvas.lineTo(width - 1, height / 2);
    } else {
        span = height / 2;
        bases = {height / 4, 3 * (height / 4) + 1};
        for (int y : bases) {
            canvas.moveTo(1, y);
            canvas.lineTo(width - 1, y);
        }
    }
    if (view.viewLength <= 0)
        return picture;
    const int columns = width - 3;
    const auto extents = columnExtents(doc, view, columns, width - 2);
    for (int c = 0; c < doc.Channels; ++c) {
        const bool inUse = channelInUse(doc, c + 1, options.bothChannelItemsChecked);
        canvas.setPen(toQRgb(inUse ? colours.wave : colours.disabled));
        drawTrace(canvas, extents[c], columns, bases[c], span, height, options.traceEnabled);
    }
    return picture;
}

void drawMarkers(QImage& picture, SampleDocument& doc, const ViewState& view,
                 const WaveformOptions& options) {
    rebuildSliceTable(doc);
    if (!doc.DocumentOpen || view.viewLength <= 0)
        return;
    const int width = picture.width();
    const int height = picture.height();
    const double ratio = options.pixelRatio;
    const PointIcons& icons = pointIcons();
    const DisplaySwitches& show = options.switches;
    const int candidates = std::min(doc.CandidateCount, kMaxCandidates);
    for (int i = 1; i <= candidates && show.showEnable; ++i) {
        const PointRecord& p = doc.CandidateTable[i];
        if (p.Enabled == 0 && p.Channel != 0)
            drawIcon(picture, icons.disabled, positionToX(p.Position, view, width),
                     height / p.Channel - devicePixels(15, ratio), ratio);
    }

    Canvas canvas(picture);
    canvas.setPen(toQRgb(options.colours.div));
    const bool split = doc.Channels == 2 && !doc.MergeChannels;
    for (int i = 1; i <= doc.SliceCount; ++i) {
        const PointRecord& p = doc.SliceTable[i];
        if (std::int64_t(p.Position) <= view.viewStart ||
            std::int64_t(p.Position) >= view.viewEnd || p.Channel == 0)
            continue;
        if (options.hiddenPoint && options.hiddenPoint->position == p.Position &&
            options.hiddenPoint->channel == p.Channel)
            continue;
        const int x = positionToX(p.Position, view, width);
        const int iconY = height / p.Channel - devicePixels(kIconSize + 1, ratio);
        if (p.Locked && show.showLock)
            drawIcon(picture, icons.lock, x, iconY, ratio);
        else if (!p.Locked && show.showIcon)
            drawIcon(picture, icons.sample, x, iconY, ratio);
        if (!split) {
            canvas.moveTo(x, 1);
            canvas.lineTo(x, height - 1);
        } else if (p.Channel == kChannelLeftSplit) {
            canvas.moveTo(x, 1);
            canvas.lineTo(x, height / 2 + 1);
        } else {
            canvas.moveTo(x, height / 2);
            canvas.lineTo(x, height - 1);
        }
    }
    if (doc.Channels == 2) {
        canvas.setPen(toQRgb(options.colours.line));
        canvas.moveTo(1, height / 2);
        canvas.lineTo(width - 1, height / 2);
    }
}

BarLayout barLayout(const DisplaySwitches& switches) {
    if (switches.showSegmentBar && switches.showRegionBar)
        return {17, 9};
    if (switches.showSegmentBar)
        return {9, 9};
    if (switches.showRegionBar)
        return {9, 1};
    return {0, 1};
}

namespace {

// The selected segment, clipped to the view, in the segment colour.
void drawSelectedSegment(Canvas& canvas, const ViewState& view, int width, int bottom,
                         std::uint8_t channel, const ViewColours& colours) {
    const auto& segment = view.selected;
    if (!segment || segment->channel != channel)
        return;
    const std::int64_t start = std::max<std::int64_t>(segment->start, view.viewStart);
    const std::int64_t end = std::min<std::int64_t>(segment->end, view.viewEnd);
    if (end <= start)
        return;
    canvas.fillRect(positionToX(start, view, width), 0, positionToX(end, view, width), bottom,
                    toQRgb(colours.seg));
}

} // namespace

QImage renderBars(const SampleDocument& doc, const ViewState& view, const WaveformOptions& options,
                  int logicalWidth) {
    const double ratio = options.pixelRatio;
    const BarLayout logical = barLayout(options.switches);
    QImage picture = devicePicture(logicalWidth, logical.height, ratio);
    const int width = devicePixels(logicalWidth, ratio);
    const BarLayout layout{devicePixels(logical.height, ratio),
                           devicePixels(logical.boundary, ratio)};
    picture.fill(toQRgb(options.colours.bar));
    Canvas canvas(picture);
    const ViewColours& colours = options.colours;
    if (options.switches.showSegmentBar) {
        canvas.fillRect(0, 0, width, layout.boundary, toQRgb(colours.bar));
        if (doc.DocumentOpen)
            drawSelectedSegment(canvas, view, width, layout.boundary, kChannelMonoOrRight, colours);
    }
    if (options.switches.showRegionBar) {
        canvas.fillRect(0, layout.boundary - 1, width, layout.height, toQRgb(colours.regBar));
        if (doc.DocumentOpen && doc.DataLength > 0)
            canvas.fillRect(regionBarX(view.viewStart, doc, width), layout.boundary - 1,
                            regionBarX(view.viewEnd, doc, width), layout.height,
                            toQRgb(colours.regSeg));
    }
    return picture;
}

QImage renderStrip(const SampleDocument& doc, const ViewState& view, const WaveformOptions& options,
                   int logicalWidth, int logicalHeight) {
    QImage picture = devicePicture(logicalWidth, logicalHeight, options.pixelRatio);
    const int width = devicePixels(logicalWidth, options.pixelRatio);
    const int height = devicePixels(logicalHeight, options.pixelRatio);
    picture.fill(toQRgb(options.colours.bar));
    if (options.switches.showSegmentBar && doc.DocumentOpen) {
        Canvas canvas(picture);
        drawSelectedSegment(canvas, view, width, height, kChannelLeftSplit, options.colours);
    }
    return picture;
}

} // namespace tolvane
