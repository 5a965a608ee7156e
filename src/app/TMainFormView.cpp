// The main window's view: painting, the scan, sensitivity, channels, zoom, bars, locators.
#include "app/LocatorButton.h"
#include "app/TMainForm.h"
#include "app/TSForm.h"
#include "app/TWaveBox.h"
#include "slicing/SliceSelection.h"
#include "slicing/StereoCandidates.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace tolvane {

int TMainForm::waveWidth() const {
    return std::max(m_wave->width(), 1);
}

WaveformOptions TMainForm::waveformOptions() const {
    WaveformOptions options;
    options.colours = m_settings.colours;
    options.switches = {m_settings.ShowIcon, m_settings.ShowLock, m_settings.ShowEnable,
                        SelectionBar1->isChecked(), Regionbar1->isChecked()};
    options.traceEnabled = m_doc.DocumentOpen && !m_doc.Busy;
    options.bothChannelItemsChecked = LeftChannel->isChecked() && RightChannel->isChecked();
    if (m_dragging && m_pointerMoved) {
        const PointRecord& dragged = m_doc.CandidateTable[m_dragIndex];
        options.hiddenPoint = WaveformOptions::HiddenPoint{dragged.Position, dragged.Channel};
    }
    return options;
}

void TMainForm::redrawAll() {
    m_view.redrawPending = true;
    // A pending scan starts from the paint; otherwise the picture (and the slice table) is
    // brought up to date now.
    if (!m_doc.DetectPending && !m_doc.DetectRunning)
        redrawWaveform();
    m_wave->update();
}

// The paint of the waveform: a pending scan starts instead of a drawing.
void TMainForm::Paintbox1Paint() {
    if (m_doc.DetectRunning)
        return;
    if (m_doc.DetectPending && m_doc.DocumentOpen && !m_loader) {
        m_doc.DetectRunning = true;
        QMetaObject::invokeMethod(
            this, [this] { startScan(m_scanFromRecut); }, Qt::QueuedConnection);
        return;
    }
    redrawWaveform();
}

void TMainForm::redrawWaveform() {
    const int width = m_wave->width();
    const int height = m_wave->height();
    if (width < 1 || height < 1)
        return;
    const WaveformOptions options = waveformOptions();
    if (m_view.redrawPending || m_bare.size() != m_wave->size()) {
        m_bare = renderWaveform(m_doc, m_view, options, width, height);
        m_view.redrawPending = false;
    }
    m_picture = m_bare.copy();
    if (!m_doc.Busy)
        drawMarkers(m_picture, m_doc, m_view, options);
    m_wave->setPicture(m_picture);
    drawBars();
}

void TMainForm::drawBars() {
    const WaveformOptions options = waveformOptions();
    m_bars->setPicture(renderBars(m_doc, m_view, options, m_bars->width()));
    if (m_strip->height() > 0)
        m_strip->setPicture(
            renderStrip(m_doc, m_view, options, m_strip->width(), m_strip->height()));
}

void TMainForm::startScan(bool fromRecut) {
    if (m_scanner)
        return;
    m_scanFromRecut = fromRecut;
    enterBusy();
    m_doc.DetectRunning = true;
    m_savedStatus = statusText(1);
    setStatus(1, "Cutting...");
    m_scanner = std::make_unique<tpseek>(m_doc, waveWidth());
    connect(m_scanner.get(), &QThread::finished, this, [this] { scanCompleted(); });
    m_scanner->start();
}

void TMainForm::scanCompleted() {
    const std::unique_ptr<tpseek> scanner = std::move(m_scanner);
    scanner->wait();
    setStatus(1, m_savedStatus);
    leaveBusy();
    m_doc.DetectRunning = false;
    m_doc.DetectPending = false;
    forgetPointUndo(m_undo); // the scan made a new table
    updateUndoCommand();
    if (scanner->report().merged)
        afterMerge(true);
    m_scanFromRecut = false;
    QApplication::restoreOverrideCursor();
    redrawAll();
    epImagePanel1Resize();
}

// The window's side of the stereo merge.
void TMainForm::afterMerge(bool fromScanEnd) {
    if (!m_scanFromRecut || !fromScanEnd) {
        LeftChannel->setChecked(true);
        RightChannel->setChecked(true);
        m_doc.FirstChannel = 1;
        m_doc.LastChannel = 2;
        m_doc.MergeChannels = true;
    }
    setSliderPosition(m_slider->value() - 1);
    showChannelMode(true);
}

void TMainForm::showChannelMode(bool merged) {
    LR1->setChecked(merged);
    LR2->setChecked(!merged);
    m_channelButton->setText(merged ? "L + R" : "L / R");
}

void TMainForm::setSliderPosition(int position) {
    m_slider->setValue(std::clamp(position, 0, kSliderMaximum));
}

void TMainForm::TrackBar1Change(int position) {
    m_doc.Threshold = thresholdForSliderPosition(position);
    m_sensitivityLabel->setText(QString("%1%").arg(sensitivityPercent(m_doc.Threshold)));
    redrawWaveform();
    if (m_doc.SliceCount > 0)
        PopUpZts->setEnabled(true);
}

void TMainForm::setSensitivityPercent(double percent) {
    setSliderPosition(sliderPositionForPercent(percent));
    TrackBar1Change(m_slider->value());
}

void TMainForm::showSensitivityDialog() {
    TSForm dialog(sensitivityPercent(m_doc.Threshold), this);
    if (dialog.exec() == QDialog::Accepted)
        setSensitivityPercent(dialog.value());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_sensitivityLabel && event->type() == QEvent::MouseButtonDblClick &&
        m_doc.DocumentOpen) {
        showSensitivityDialog();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::Recut1Click() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    m_doc.KeepCandidates = false;
    recordUndo([this] { recordCandidateTable(m_undo, m_doc, kUndoCandidateTable); });
    m_doc.DetectPending = true;
    resnapLocators(m_doc);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    startScan(true);
}

void TMainForm::LR1Click() {
    if (!m_doc.DocumentOpen || m_doc.Channels != 2 || isBusy())
        return;
    mergeStereoCandidates(m_doc, waveWidth());
    forgetPointUndo(m_undo);
    updateUndoCommand();
    afterMerge(false);
    redrawAll();
    epImagePanel1Resize();
}

void TMainForm::LR2Click() {
    if (!m_doc.DocumentOpen || m_doc.Channels != 2 || isBusy()) {
        LR2->setChecked(false);
        return;
    }
    LeftChannel->setChecked(true);
    RightChannel->setChecked(true);
    m_doc.FirstChannel = 1;
    m_doc.LastChannel = 2;
    setSliderPosition(m_slider->value() - 1);
    const bool complete = splitStereoCandidates(m_doc);
    forgetPointUndo(m_undo);
    updateUndoCommand();
    showChannelMode(false);
    rebuildSliceTable(m_doc);
    resnapLocators(m_doc);
    TrackBar1Change(m_slider->value());
    epImagePanel1Resize();
    redrawAll();
    if (!complete)
        m_dialogs.message(MessageKind::Warning, "", kMsgTooManyPoints);
}

void TMainForm::LeftChannelClick() {
    channelItemClicked(LeftChannel);
}

void TMainForm::RightChannelClick() {
    channelItemClicked(RightChannel);
}

// Unchecking the last checked item checks it again; otherwise the channel choice follows.
void TMainForm::channelItemClicked(QAction* clicked) {
    const bool left = LeftChannel->isChecked();
    const bool right = RightChannel->isChecked();
    if (!left && !right) {
        clicked->setChecked(true);
        return;
    }
    m_doc.FirstChannel = left ? 1 : 2;
    m_doc.LastChannel = right ? 2 : 1;
    if (m_doc.MergeChannels)
        resnapLocators(m_doc);
    if (m_player)
        m_player->channelMode(playbackChannelMode());
    redrawAll();
}

void TMainForm::applyZoom(const ZoomOutcome& outcome) {
    PopupZin->setEnabled(outcome.zoomInEnabled && canZoomIn(m_view));
    PopUpZout->setEnabled(outcome.zoomOutEnabled);
    setStatus(3, QString::fromStdString(outcome.statusText));
    viewMoved();
}

// The visible range changed: redraw, and a running play cursor takes its new pace.
void TMainForm::viewMoved() {
    updatePlayTimer(m_view, m_doc, waveWidth());
    redrawAll();
    placeLocatorButtons();
    if (m_cursorTimer->isActive())
        m_cursorTimer->start(std::max(m_view.playTimerInterval, 1));
}

void TMainForm::PopupZinClick() {
    // The zoom tool and Shift-clicks come here too: they stop where the menu item does.
    if (m_doc.DocumentOpen && !isBusy() && PopupZin->isEnabled())
        applyZoom(zoomIn(m_view, m_doc, waveWidth()));
}

void TMainForm::PopUpZoutClick() {
    if (m_doc.DocumentOpen && !isBusy())
        applyZoom(zoomOut(m_view, m_doc, waveWidth()));
}

void TMainForm::PopUp11Click() {
    if (m_doc.DocumentOpen && !isBusy())
        applyZoom(zoomWhole(m_view, m_doc, waveWidth()));
}

void TMainForm::PopUpZtsClick() {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const double zoomBefore = m_view.zoom;
    if (const auto outcome = zoomToSegment(m_view, m_doc, waveWidth())) {
        applyZoom(*outcome);
        updateCommandStates(); // a segment is selected now
        PopupZin->setEnabled(zoomBefore < 128 && canZoomIn(m_view));
    }
}

void TMainForm::SelectionBar1Click() {
    epImagePanel1Resize();
}

void TMainForm::Regionbar1Click() {
    epImagePanel1Resize();
}

void TMainForm::scrollByWheel(int delta) {
    if (!m_doc.DocumentOpen || isBusy() || delta == 0)
        return;
    // A wheel notch (120) moves 120 pixels' worth; a touchpad's small deltas move as little.
    const std::int64_t bytesPerPixel = m_view.viewLength / waveWidth();
    scrollView(m_view, m_doc, delta * bytesPerPixel, waveWidth());
    viewMoved();
}

void TMainForm::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    // Wheel up (or a swipe away) moves toward the end of the sample, down toward its start.
    scrollByWheel(angle.y() != 0 ? angle.y() : -angle.x());
    event->accept();
}

void TMainForm::pointAt(int x) {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    m_view.pointerFull = pointerOnFullScale(m_view, m_doc, x, waveWidth());
    const std::int64_t frame = xToPosition(x, m_view, waveWidth()) / m_doc.frameBytes();
    setStatus(2, QString("s: %1").arg(frame));
}

void TMainForm::PaintBox2MouseDown(QMouseEvent* event) {
    m_regionDrag = RegionDrag::None;
    if (!m_doc.DocumentOpen || isBusy())
        return;
    const BarLayout layout = barLayout(waveformOptions().switches);
    const int x = static_cast<int>(event->position().x());
    const int width = waveWidth();
    if (event->position().y() < layout.boundary && SelectionBar1->isChecked()) {
        m_regionDrag = RegionDrag::Segment;
        return;
    }
    if (!Regionbar1->isChecked())
        return;
    const int startX = regionBarX(m_view.viewStart, m_doc, width);
    const int endX = regionBarX(m_view.viewEnd, m_doc, width);
    if (event->button() == Qt::LeftButton) {
        if (x < startX || x > endX) {
            pageRegion(m_view, m_doc, x, width);
            m_regionDrag = RegionDrag::Page;
        } else {
            m_regionGrab = regionGrab(m_view, m_doc, x, width);
            m_regionDrag = RegionDrag::Move;
        }
    } else if (event->button() == Qt::RightButton) {
        m_regionKeepStart = x > (startX + endX) / 2;
        m_regionDrag = RegionDrag::Resize;
        resizeRegion(m_view, m_doc, x, m_regionKeepStart, width);
        setStatus(3, QString::fromStdString(zoomInStatusText(m_view.zoom)));
    }
    viewMoved();
}

void TMainForm::PaintBox2MouseMove(QMouseEvent* event) {
    if (m_regionDrag != RegionDrag::Move && m_regionDrag != RegionDrag::Resize)
        return;
    const int x = static_cast<int>(event->position().x());
    if (m_regionDrag == RegionDrag::Move) {
        dragRegion(m_view, m_doc, x, m_regionGrab, waveWidth());
    } else {
        resizeRegion(m_view, m_doc, x, m_regionKeepStart, waveWidth());
        setStatus(3, QString::fromStdString(zoomInStatusText(m_view.zoom)));
    }
    viewMoved();
}

void TMainForm::PaintBox2MouseUp(QMouseEvent* event) {
    const RegionDrag drag = std::exchange(m_regionDrag, RegionDrag::None);
    if (drag == RegionDrag::Segment)
        segmentBarClicked(event, kChannelMonoOrRight);
}

void TMainForm::Paintbox3MouseUp(QMouseEvent* event) {
    segmentBarClicked(event, kChannelLeftSplit);
}

// A click on the segment bar (the right channel's, or mono) or the strip (the left channel's):
// the left button zooms to the segment there, the right one to the whole sample.
void TMainForm::segmentBarClicked(QMouseEvent* event, std::uint8_t channel) {
    if (!m_doc.DocumentOpen || isBusy())
        return;
    m_view.workingChannel = channel;
    m_view.pointerFull =
        pointerOnFullScale(m_view, m_doc, static_cast<int>(event->position().x()), waveWidth());
    if (event->button() == Qt::LeftButton)
        PopUpZtsClick();
    else if (event->button() == Qt::RightButton)
        PopUp11Click();
}

void TMainForm::locatorReleased(bool left, int x) {
    if (!m_doc.DocumentOpen || isBusy()) {
        placeLocatorButtons();
        return;
    }
    const std::int64_t p = xToPosition(x - m_wave->x(), m_view, waveWidth());
    if (left)
        m_doc.LocatorL = snapLeftLocator(m_doc, p);
    else
        m_doc.LocatorR = snapRightLocator(m_doc, p);
    placeLocatorButtons();
    if (m_looping) {
        // A running loop follows the new region.
        Button20->setChecked(true);
        m_player->restartPending = true;
        Button20Click();
    }
}

void TMainForm::placeLocatorButtons() {
    const int left = m_wave->x();
    const int width = waveWidth();
    if (!m_doc.DocumentOpen) {
        m_locatorL->move(left, m_locatorL->y());
        m_locatorR->move(left + width - m_locatorR->width(), m_locatorR->y());
        m_locatorL->show();
        m_locatorR->show();
        return;
    }
    const auto l = locatorButtonX(m_doc.LocatorL, m_view, width);
    const auto r = locatorButtonX(m_doc.LocatorR, m_view, width, m_locatorR->width());
    m_locatorL->setVisible(l.has_value());
    m_locatorR->setVisible(r.has_value());
    if (l)
        m_locatorL->move(*l + left, m_locatorL->y());
    if (r)
        m_locatorR->move(*r + left, m_locatorR->y());
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_statusPanels[0]->setFixedWidth(std::max(width() - 310, 40));
    epImagePanel1Resize();
}

// Lays out the strip, the waveform, the bars and the locator buttons in the panel: from the
// waveform down, or with "Work from top" the locator buttons and bars first and the waveform
// under them.
void TMainForm::epImagePanel1Resize() {
    const int panelWidth = m_panel->width();
    const int panelHeight = m_panel->height();
    const int innerWidth = panelWidth - 4;
    const bool split = m_doc.DocumentOpen && m_doc.Channels == 2 && !m_doc.MergeChannels;
    const int stripHeight = split ? 9 : 0;
    const int barHeight = barLayout(waveformOptions().switches).height;
    const int buttonHeight = m_locatorL->height();
    const bool fromTop = mnuPpanel->isChecked();
    // The height the buttons and bars take, with their gaps.
    const int controlsHeight = buttonHeight + 2 + barHeight + 2;
    const int stripTop = fromTop ? controlsHeight : 0;
    m_strip->setGeometry(2, stripTop, innerWidth, stripHeight);
    m_strip->setVisible(stripHeight > 0);
    const int waveTop = stripTop + stripHeight + (split ? 1 : 0);
    const int waveHeight = std::max(panelHeight - waveTop - 2 - (fromTop ? 0 : controlsHeight), 8);
    m_wave->setGeometry(2, waveTop, innerWidth, waveHeight);
    const int barsTop = fromTop ? buttonHeight + 2 : m_wave->geometry().bottom() + 2;
    m_bars->setGeometry(2, barsTop, innerWidth, barHeight);
    m_bars->setVisible(barHeight > 0);
    const int buttonTop = fromTop ? 0 : barsTop + barHeight + 2;
    m_locatorL->move(m_locatorL->x(), buttonTop);
    m_locatorR->move(m_locatorR->x(), buttonTop);
    placeLocatorButtons();
    m_view.redrawPending = true;
    m_wave->update();
    m_bars->update();
}

} // namespace tolvane
