// The main window's playback: the transport buttons, segment audition and the play cursor.
#include "app/TMainForm.h"
#include "app/TWaveBox.h"

#include <QAction>
#include <QTimer>

namespace tolvane {
namespace {

constexpr const char* kMsgNoSoundcard = "Error! - no soundcard found - check system control panel";
constexpr int kSegmentCursorInterval = 5; // milliseconds

bool isSplit(const SampleDocument& doc) {
    return doc.Channels == 2 && !doc.MergeChannels;
}

} // namespace

bool TMainForm::openOutput() {
    if (!m_player || !m_doc.DocumentOpen)
        return false;
    m_player->DeviceID = m_settings.WaveID;
    m_player->setSeconds(m_settings.Seconds);
    m_player->setBufferCount(m_settings.Buffers);
    m_player->setFormat(m_doc.Channels, static_cast<int>(m_doc.SampleRate));
    m_player->setSource(m_doc.SampleData.data(), m_doc.SampleData.size());
    AudioOpenError error;
    if (m_player->open(&error))
        return true;
    const QString text = error.code == kAudioErrorBadFormat ? QString(kMsgRateRejected)
                                                            : QString::fromStdString(error.text);
    m_dialogs.message(MessageKind::Error,
                      QString("Error Opening Wave Output Device:#%1").arg(error.code), text);
    return false;
}

// The channels that Play and Loop sound: both (3), the left only (2) or the right only (1).
int TMainForm::playbackChannelMode() const {
    const bool both = LeftChannel->isChecked() && RightChannel->isChecked();
    if (m_doc.Channels == 1 || (m_doc.MergeChannels && both) ||
        (m_doc.FirstChannel == 1 && m_doc.LastChannel == 2))
        return 3;
    return m_doc.FirstChannel == 1 ? 2 : 1;
}

// Every play reads the document's buffer as it is now: a buffer replaced since the output was
// opened is never read through an old pointer.
void TMainForm::playSampleRange(std::uint32_t start, std::uint32_t length, bool loop) {
    m_player->setSource(m_doc.SampleData.data(), m_doc.SampleData.size());
    m_player->playRange(start, length, loop);
}

void TMainForm::setTransport(QAction* down) {
    for (QAction* button : {Button3, Button20, button4})
        button->setChecked(button == down);
}

void TMainForm::startCursor(std::uint32_t startByte, CursorTimerFor purpose) {
    m_cursorTimer->stop();
    updatePlayTimer(m_view, m_doc, waveWidth(), purpose);
    m_view.playCursorX =
        static_cast<std::uint32_t>(std::max(positionToX(startByte, m_view, waveWidth()), 0));
    m_cursorTimer->start(std::max(m_view.playTimerInterval, 1));
}

// A single segment is short: its cursor is polled every 5 ms whatever the view.
void TMainForm::startSegmentCursor(std::uint32_t startByte) {
    startCursor(startByte, CursorTimerFor::Play);
    m_view.playTimerInterval = kSegmentCursorInterval;
    m_cursorTimer->start(kSegmentCursorInterval);
}

void TMainForm::Button3Click() {
    if (!m_player || !m_player->isOpen() || !Button3->isChecked() || m_looping) {
        Button24Click();
        return;
    }
    m_player->segmentAudition = false;
    m_player->channelMode(playbackChannelMode());
    setTransport(Button3);
    startCursor(static_cast<std::uint32_t>(m_view.viewStart), CursorTimerFor::Play);
    playSampleRange(static_cast<std::uint32_t>(m_view.viewStart),
                    static_cast<std::uint32_t>(m_view.viewLength), false);
}

void TMainForm::Button20Click() {
    if (!m_player || !m_player->isOpen() || !Button20->isChecked()) {
        Button24Click();
        return;
    }
    std::uint32_t start = m_doc.LocatorL;
    std::uint32_t end = m_doc.LocatorR;
    if (m_doc.Channels == 2) {
        start &= ~3u;
        end &= ~3u;
    }
    if (end <= start) {
        Button24Click();
        return;
    }
    m_player->segmentAudition = false;
    m_player->channelMode(playbackChannelMode());
    setTransport(Button20);
    m_looping = true;
    startCursor(start, CursorTimerFor::Loop);
    playSampleRange(start, end - start, true);
}

void TMainForm::button4Click() {
    if (!m_player || !m_player->isOpen() || !m_view.selected) {
        Button24Click();
        return;
    }
    m_player->stop();
    m_looping = false;
    std::uint32_t start = m_view.selected->start;
    std::uint32_t end = m_view.selected->end;
    if (m_doc.Channels == 2) {
        start &= ~3u;
        end &= ~3u;
    }
    if (end <= start)
        return;
    const bool left = isSplit(m_doc) && m_view.selected->channel == kChannelLeftSplit;
    m_player->channelMode(!isSplit(m_doc) ? 3 : left ? 2 : 1);
    setTransport(button4);
    startSegmentCursor(start);
    m_player->segmentAudition = true;
    playSampleRange(start, end - start, false);
}

void TMainForm::Button24Click() {
    if (m_player) {
        m_player->segmentAudition = false;
        m_player->restartPending = false;
        m_player->stop();
    }
    m_cursorTimer->stop();
    setTransport(nullptr);
    m_looping = false;
    m_wave->setCursorColumn(std::nullopt);
    m_view.playCursorX = 0;
}

void TMainForm::playEnded() {
    Button24Click();
}

// Space: the segment under the pointer, or from the pointer on with the add tool.
void TMainForm::auditionUnderPointer() {
    if (!m_player || !m_player->isOpen())
        return;
    const std::int64_t position = xToPosition(m_pointerX, m_view, waveWidth());
    const std::uint8_t channel = isSplit(m_doc) ? m_view.workingChannel : kChannelMonoOrRight;
    const auto segment = segmentAt(m_doc, position, channel);
    if (!segment)
        return;
    std::uint32_t start = m_tool == Tool::Add || m_dragging
                              ? pointerBytePosition(m_pointerX, m_view, waveWidth())
                              : segment->start;
    std::uint32_t end = segment->end;
    if (m_doc.Channels == 2) {
        start &= ~3u;
        end &= ~3u;
    }
    if (end <= start)
        return;
    m_player->stop();
    m_player->channelMode(!isSplit(m_doc) ? 3 : channel == kChannelLeftSplit ? 2 : 1);
    startCursor(start, CursorTimerFor::Play);
    m_player->segmentAudition = true;
    playSampleRange(start, end - start, false);
}

// The play cursor: one inverted column over the cached picture, never a redraw.
void TMainForm::SuperTimer1Timer() {
    if (!m_player || !m_player->isPlaying() || m_player->playLength() == 0)
        return;
    const std::uint64_t played = m_player->position();
    const std::uint64_t length = m_player->playLength();
    const std::uint64_t cursor = m_player->playStart() + played - length * (played / length);
    const int x = positionToX(static_cast<std::int64_t>(cursor), m_view, waveWidth());
    if (x != 0 && played != 0) {
        m_view.playCursorX = static_cast<std::uint32_t>(x);
        m_wave->setCursorColumn(x);
    }
}

} // namespace tolvane
