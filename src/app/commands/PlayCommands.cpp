#include "app/commands/PlayCommands.h"

#include "app/controls/TWaveBox.h"
#include "audio/twabeAudio.h"

#include <QAction>
#include <QTimer>
#include <algorithm>

namespace tolvane {
namespace {

constexpr int kSegmentCursorInterval = 5; // milliseconds

// Stereo ranges are played from whole frames.
void alignToFrames(const SampleDocument& doc, std::uint32_t& start, std::uint32_t& end) {
    if (doc.Channels == 2) {
        start &= ~3u;
        end &= ~3u;
    }
}

} // namespace

bool PlayCommands::canPlay() const {
    return m_ctx.player && m_ctx.player->isOpen();
}

bool PlayCommands::openOutput() {
    twabeAudio* player = m_ctx.player;
    if (!player || !m_ctx.doc.DocumentOpen)
        return false;
    player->DeviceID = m_ctx.settings.WaveID;
    player->setSeconds(m_ctx.settings.Seconds);
    player->setBufferCount(m_ctx.settings.Buffers);
    player->setFormat(m_ctx.doc.Channels, static_cast<int>(m_ctx.doc.SampleRate));
    player->setSource(m_ctx.doc.SampleData.data(), m_ctx.doc.SampleData.size());
    AudioOpenError error;
    if (player->open(&error))
        return true;
    const QString text = error.code == kAudioErrorBadFormat ? QString(kMsgRateRejected)
                                                            : QString::fromStdString(error.text);
    m_ctx.dialogs.message(MessageKind::Error,
                          QString("Error Opening Wave Output Device:#%1").arg(error.code), text);
    return false;
}

void PlayCommands::closeOutput() {
    Button24Click();
    if (m_ctx.player)
        m_ctx.player->close();
}

void PlayCommands::reopenOutput() {
    closeOutput();
    openOutput();
}

PlayChannels PlayCommands::playbackChannelMode() const {
    const SampleDocument& doc = m_ctx.doc;
    const bool both =
        m_ctx.controls.LeftChannel->isChecked() && m_ctx.controls.RightChannel->isChecked();
    if (doc.Channels == 1 || (doc.MergeChannels && both) ||
        (doc.FirstChannel == 1 && doc.LastChannel == 2))
        return PlayChannels::Both;
    return doc.FirstChannel == 1 ? PlayChannels::Left : PlayChannels::Right;
}

void PlayCommands::setTransport(QAction* down) {
    const MainControls& c = m_ctx.controls;
    for (QAction* button : {c.Button3, c.Button20, c.button4})
        button->setChecked(button == down);
}

// Every play reads the document's buffer as it is now: a buffer replaced since the output was
// opened is never read through an old pointer.
void PlayCommands::playSampleRange(std::uint32_t start, std::uint32_t length, bool loop) {
    m_ctx.player->setSource(m_ctx.doc.SampleData.data(), m_ctx.doc.SampleData.size());
    m_ctx.player->playRange(start, length, loop);
}

void PlayCommands::startCursor(std::uint32_t startByte, CursorTimerFor purpose) {
    QTimer* timer = m_ctx.controls.cursorTimer;
    const int width = m_ctx.window.waveWidth();
    timer->stop();
    updatePlayTimer(m_ctx.view, m_ctx.doc, width, purpose);
    m_ctx.view.playCursorX =
        static_cast<std::uint32_t>(std::max(positionToX(startByte, m_ctx.view, width), 0));
    timer->start(std::max(m_ctx.view.playTimerInterval, 1));
}

// A single segment is short: its cursor is polled every 5 ms whatever the view.
void PlayCommands::startSegmentCursor(std::uint32_t startByte) {
    startCursor(startByte, CursorTimerFor::Play);
    m_ctx.view.playTimerInterval = kSegmentCursorInterval;
    m_ctx.controls.cursorTimer->start(kSegmentCursorInterval);
}

void PlayCommands::cursorFollowsView() {
    QTimer* timer = m_ctx.controls.cursorTimer;
    if (timer->isActive())
        timer->start(std::max(m_ctx.view.playTimerInterval, 1));
}

void PlayCommands::Button3Click() {
    if (!canPlay() || !m_ctx.controls.Button3->isChecked() || m_looping) {
        Button24Click();
        return;
    }
    playWithTransport(m_ctx.controls.Button3, static_cast<std::uint32_t>(m_ctx.view.viewStart),
                      static_cast<std::uint32_t>(m_ctx.view.viewLength), CursorTimerFor::Play);
}

// Play and Loop: the channels of the channel choice, the button down, the cursor running.
void PlayCommands::playWithTransport(QAction* button, std::uint32_t start, std::uint32_t length,
                                     CursorTimerFor purpose) {
    twabeAudio& player = *m_ctx.player;
    player.segmentAudition = false;
    player.channelMode(playbackChannelMode());
    setTransport(button);
    m_looping = purpose == CursorTimerFor::Loop;
    startCursor(start, purpose);
    playSampleRange(start, length, m_looping);
}

void PlayCommands::Button20Click() {
    if (!canPlay() || !m_ctx.controls.Button20->isChecked()) {
        Button24Click();
        return;
    }
    std::uint32_t start = m_ctx.doc.LocatorL;
    std::uint32_t end = m_ctx.doc.LocatorR;
    alignToFrames(m_ctx.doc, start, end);
    if (end <= start) {
        Button24Click();
        return;
    }
    playWithTransport(m_ctx.controls.Button20, start, end - start, CursorTimerFor::Loop);
}

void PlayCommands::button4Click() {
    const std::optional<SegmentSpan>& selected = m_ctx.view.selected;
    if (!canPlay() || !selected) {
        Button24Click();
        return;
    }
    twabeAudio& player = *m_ctx.player;
    player.stop();
    m_looping = false;
    std::uint32_t start = selected->start;
    std::uint32_t end = selected->end;
    alignToFrames(m_ctx.doc, start, end);
    if (end <= start)
        return;
    const bool left = m_ctx.isSplitStereo() && selected->channel == kChannelLeftSplit;
    player.channelMode(!m_ctx.isSplitStereo() ? PlayChannels::Both
                       : left                 ? PlayChannels::Left
                                              : PlayChannels::Right);
    setTransport(m_ctx.controls.button4);
    startSegmentCursor(start);
    player.segmentAudition = true;
    playSampleRange(start, end - start, false);
}

void PlayCommands::Button24Click() {
    if (twabeAudio* player = m_ctx.player) {
        player->segmentAudition = false;
        player->restartPending = false;
        player->stop();
    }
    m_ctx.controls.cursorTimer->stop();
    setTransport(nullptr);
    m_looping = false;
    m_ctx.controls.wave->setCursorColumn(std::nullopt);
    m_ctx.view.playCursorX = 0;
}

void PlayCommands::playEnded() {
    Button24Click();
}

void PlayCommands::auditionUnderPointer(bool fromPointer) {
    if (!canPlay())
        return;
    const auto segment = m_ctx.segmentUnderPointer();
    if (!segment)
        return;
    const int width = m_ctx.window.waveWidth();
    std::uint32_t start =
        fromPointer ? pointerBytePosition(m_ctx.state.pointerX, m_ctx.view, width) : segment->start;
    std::uint32_t end = segment->end;
    alignToFrames(m_ctx.doc, start, end);
    if (end <= start)
        return;
    twabeAudio& player = *m_ctx.player;
    player.stop();
    const std::uint8_t channel = m_ctx.pointerChannel();
    player.channelMode(!m_ctx.isSplitStereo()         ? PlayChannels::Both
                       : channel == kChannelLeftSplit ? PlayChannels::Left
                                                      : PlayChannels::Right);
    startCursor(start, CursorTimerFor::Play);
    player.segmentAudition = true;
    playSampleRange(start, end - start, false);
}

// The play cursor: one inverted column over the cached picture, never a redraw.
void PlayCommands::SuperTimer1Timer() {
    twabeAudio* player = m_ctx.player;
    if (!player || !player->isPlaying() || player->playLength() == 0)
        return;
    const std::uint64_t played = player->position();
    const std::uint64_t length = player->playLength();
    const std::uint64_t cursor = player->playStart() + played - length * (played / length);
    const int x =
        positionToX(static_cast<std::int64_t>(cursor), m_ctx.view, m_ctx.window.waveWidth());
    if (x != 0 && played != 0) {
        m_ctx.view.playCursorX = static_cast<std::uint32_t>(x);
        m_ctx.controls.wave->setCursorColumn(x);
    }
}

void PlayCommands::loopFollowsLocators() {
    if (!m_looping)
        return;
    m_ctx.controls.Button20->setChecked(true);
    m_ctx.player->restartPending = true;
    Button20Click();
}

void PlayCommands::releaseOutput() {
    if (!m_ctx.player || !m_ctx.player->isOpen())
        return;
    closeOutput();
    m_outputReleased = true;
    m_ctx.window.updateCommandStates();
}

void PlayCommands::reclaimOutput() {
    if (!m_outputReleased || !m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    m_outputReleased = false;
    openOutput();
    m_ctx.window.updateCommandStates();
}

} // namespace tolvane
