#include "view/PointHitTest.h"

#include "view/Icons.h"

namespace tolvane {
namespace {

bool isSplitStereo(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

bool inIconZone(const PointRecord& p, const ViewState& view, int width, int height, double x,
                int y) {
    if (p.Channel != 1 && p.Channel != 2)
        return false;
    const double lineX =
        (static_cast<double>(p.Position) - view.viewStart) / view.viewLength * width;
    const int stripBottom = height / p.Channel;
    return lineX - 1 < x && x <= lineX + kIconSize && y >= stripBottom - kIconSize - 1 &&
           y < stripBottom;
}

} // namespace

std::optional<HoveredPoint> findHoveredPoint(const SampleDocument& doc, const ViewState& view,
                                             int width, int height, double x, int y, Tool tool) {
    if (!doc.DocumentOpen || view.viewLength <= 0)
        return std::nullopt;
    std::optional<HoveredPoint> hovered;
    for (int i = doc.SliceCount; i >= 1; --i) {
        const PointRecord& slice = doc.SliceTable[i];
        const double lineX =
            (static_cast<double>(slice.Position) - view.viewStart) / view.viewLength * width;
        if (!(lineX - 1 < x && x <= lineX + kIconSize))
            continue;
        for (int c = std::min(doc.CandidateCount, kMaxCandidates); c >= 0; --c) {
            const PointRecord& candidate = doc.CandidateTable[c];
            if (candidate.Position == slice.Position &&
                inIconZone(candidate, view, width, height, x, y)) {
                hovered = HoveredPoint{c, HoverKind::Active};
                break;
            }
        }
        // In split stereo a left point's right twin sits 2 bytes later on the same pixel, with
        // its icon in the other half: the search goes on to a point of the half the pointer
        // is in. Otherwise the first record under the pointer decides.
        if (hovered || !isSplitStereo(doc))
            break;
    }
    if (tool == Tool::LockUnlock || tool == Tool::EnableDisable) {
        for (int c = std::min(doc.CandidateCount, kMaxCandidates); c >= 0; --c) {
            const PointRecord& candidate = doc.CandidateTable[c];
            const bool wanted =
                tool == Tool::LockUnlock ? candidate.Locked != 0 : candidate.Enabled == 0;
            if (wanted && inIconZone(candidate, view, width, height, x, y)) {
                hovered = HoveredPoint{c, tool == Tool::LockUnlock ? HoverKind::Locked
                                                                   : HoverKind::Disabled};
                break;
            }
        }
    }
    return hovered;
}

} // namespace tolvane
