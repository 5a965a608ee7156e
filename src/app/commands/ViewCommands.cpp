#include "app/commands/ViewCommands.h"

#include "app/WaveformDisplay.h"
#include "app/commands/PlayCommands.h"
#include "app/commands/TempoCommands.h"
#include "app/controls/TWaveBox.h"
#include "slicing/SliceSelection.h"

#include <QAction>
#include <QMouseEvent>
#include <algorithm>
#include <utility>

namespace tolvane {

void ViewCommands::applyZoom(const ZoomOutcome& outcome) {
    m_ctx.controls.PopupZin->setEnabled(outcome.zoomInEnabled && canZoomIn(m_ctx.view));
    m_ctx.controls.PopUpZout->setEnabled(outcome.zoomOutEnabled);
    m_ctx.setStatus(3, QString::fromStdString(outcome.statusText));
    viewMoved();
}

// The visible range changed: redraw, and a running play cursor takes its new pace.
void ViewCommands::viewMoved() {
    updatePlayTimer(m_ctx.view, m_ctx.doc, m_ctx.window.waveWidth());
    m_ctx.display.redrawAll();
    m_ctx.window.placeLocatorButtons();
    m_play.cursorFollowsView();
}

void ViewCommands::showWholeSample() {
    tolvane::showWholeSample(m_ctx.view, m_ctx.doc);
    m_ctx.view.selected.reset();
    m_ctx.setStatus(3, "x1.0");
    m_ctx.controls.PopUpZout->setEnabled(false);
}

void ViewCommands::PopupZinClick() {
    // The zoom tool and Shift-clicks come here too: they stop where the menu item does.
    if (m_ctx.doc.DocumentOpen && !m_ctx.busy() && m_ctx.controls.PopupZin->isEnabled())
        applyZoom(zoomIn(m_ctx.view, m_ctx.doc, m_ctx.window.waveWidth()));
}

void ViewCommands::PopUpZoutClick() {
    if (m_ctx.doc.DocumentOpen && !m_ctx.busy())
        applyZoom(zoomOut(m_ctx.view, m_ctx.doc, m_ctx.window.waveWidth()));
}

void ViewCommands::PopUp11Click() {
    if (m_ctx.doc.DocumentOpen && !m_ctx.busy())
        applyZoom(zoomWhole(m_ctx.view, m_ctx.doc, m_ctx.window.waveWidth()));
}

void ViewCommands::PopUpZtsClick() {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    const double zoomBefore = m_ctx.view.zoom;
    if (const auto outcome = zoomToSegment(m_ctx.view, m_ctx.doc, m_ctx.window.waveWidth())) {
        applyZoom(*outcome);
        m_ctx.window.updateCommandStates(); // a segment is selected now
        m_ctx.controls.PopupZin->setEnabled(zoomBefore < 128 && canZoomIn(m_ctx.view));
    }
}

void ViewCommands::SelectionBar1Click() {
    m_ctx.window.relayout();
}

void ViewCommands::Regionbar1Click() {
    m_ctx.window.relayout();
}

void ViewCommands::mnuPpanelClick() {
    m_ctx.settings.PanelAtTop = m_ctx.controls.mnuPpanel->isChecked();
    m_ctx.window.relayout();
}

void ViewCommands::SpeedButton5Click() {
    m_ctx.settings.ShowIcon = m_ctx.controls.SpeedButton5->isChecked();
    m_ctx.display.redrawAll();
}

void ViewCommands::SpeedButton6Click() {
    m_ctx.settings.ShowLock = m_ctx.controls.SpeedButton6->isChecked();
    m_ctx.display.redrawAll();
}

void ViewCommands::SpeedButton7Click() {
    m_ctx.settings.ShowEnable = m_ctx.controls.SpeedButton7->isChecked();
    m_ctx.display.redrawAll();
}

void ViewCommands::scrollByWheel(int delta) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy() || delta == 0)
        return;
    // A wheel notch (120) moves 120 pixels' worth; a touchpad's small deltas move as little.
    const int width = m_ctx.window.waveWidth();
    const std::int64_t bytesPerPixel = m_ctx.view.viewLength / width;
    scrollView(m_ctx.view, m_ctx.doc, delta * bytesPerPixel, width);
    viewMoved();
}

void ViewCommands::pointAt(int x) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    const int width = m_ctx.window.waveWidth();
    m_ctx.view.pointerFull = pointerOnFullScale(m_ctx.view, m_ctx.doc, x, width);
    const std::int64_t frame = xToPosition(x, m_ctx.view, width) / m_ctx.doc.frameBytes();
    m_ctx.setStatus(2, QString("s: %1").arg(frame));
}

void ViewCommands::PaintBox2MouseDown(QMouseEvent* event) {
    m_regionDrag = RegionDrag::None;
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    const BarLayout layout = barLayout(m_ctx.display.options().switches);
    const int x = static_cast<int>(event->position().x());
    const int width = m_ctx.window.waveWidth();
    if (event->position().y() < layout.boundary && m_ctx.controls.SelectionBar1->isChecked()) {
        m_regionDrag = RegionDrag::Segment;
        return;
    }
    if (!m_ctx.controls.Regionbar1->isChecked())
        return;
    const int startX = regionBarX(m_ctx.view.viewStart, m_ctx.doc, width);
    const int endX = regionBarX(m_ctx.view.viewEnd, m_ctx.doc, width);
    if (event->button() == Qt::LeftButton) {
        if (x < startX || x > endX) {
            pageRegion(m_ctx.view, m_ctx.doc, x, width);
            m_regionDrag = RegionDrag::Page;
        } else {
            m_regionGrab = regionGrab(m_ctx.view, m_ctx.doc, x, width);
            m_regionDrag = RegionDrag::Move;
        }
    } else if (event->button() == Qt::RightButton) {
        m_regionKeepStart = x > (startX + endX) / 2;
        m_regionDrag = RegionDrag::Resize;
        resizeRegion(m_ctx.view, m_ctx.doc, x, m_regionKeepStart, width);
        m_ctx.setStatus(3, QString::fromStdString(zoomInStatusText(m_ctx.view.zoom)));
    }
    viewMoved();
}

void ViewCommands::PaintBox2MouseMove(QMouseEvent* event) {
    if (m_regionDrag != RegionDrag::Move && m_regionDrag != RegionDrag::Resize)
        return;
    const int x = static_cast<int>(event->position().x());
    const int width = m_ctx.window.waveWidth();
    if (m_regionDrag == RegionDrag::Move) {
        dragRegion(m_ctx.view, m_ctx.doc, x, m_regionGrab, width);
    } else {
        resizeRegion(m_ctx.view, m_ctx.doc, x, m_regionKeepStart, width);
        m_ctx.setStatus(3, QString::fromStdString(zoomInStatusText(m_ctx.view.zoom)));
    }
    viewMoved();
}

void ViewCommands::PaintBox2MouseUp(QMouseEvent* event) {
    const RegionDrag drag = std::exchange(m_regionDrag, RegionDrag::None);
    if (drag == RegionDrag::Segment)
        segmentBarClicked(event, kChannelMonoOrRight);
}

void ViewCommands::Paintbox3MouseUp(QMouseEvent* event) {
    segmentBarClicked(event, kChannelLeftSplit);
}

// A click on the segment bar (the right channel's, or mono) or the strip (the left channel's):
// the left button zooms to the segment there, the right one to the whole sample.
void ViewCommands::segmentBarClicked(QMouseEvent* event, std::uint8_t channel) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    m_ctx.view.workingChannel = channel;
    m_ctx.view.pointerFull = pointerOnFullScale(
        m_ctx.view, m_ctx.doc, static_cast<int>(event->position().x()), m_ctx.window.waveWidth());
    if (event->button() == Qt::LeftButton)
        PopUpZtsClick();
    else if (event->button() == Qt::RightButton)
        PopUp11Click();
}

void ViewCommands::locatorReleased(bool left, int x) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy()) {
        m_ctx.window.placeLocatorButtons();
        return;
    }
    const std::int64_t p =
        xToPosition(x - m_ctx.controls.wave->x(), m_ctx.view, m_ctx.window.waveWidth());
    if (left)
        m_ctx.doc.LocatorL = snapLeftLocator(m_ctx.doc, p);
    else
        m_ctx.doc.LocatorR = snapRightLocator(m_ctx.doc, p);
    m_ctx.window.placeLocatorButtons();
    m_tempo.recomputeTempo();
    m_play.loopFollowsLocators(); // a running loop follows the new region
}

} // namespace tolvane
