#pragma once

#include "app/commands/CommandContext.h"
#include "audio/twabeAudio.h"
#include "view/ViewState.h"

#include <cstdint>

class QAction;

namespace tolvane {

// Playback: the transport buttons, segment audition, the play cursor, and the output that is
// opened with the document's format and released while the program is in the background.
class PlayCommands {
public:
    explicit PlayCommands(CommandContext& ctx) : m_ctx(ctx) {}

    void Button3Click();  // "Play": the visible range
    void Button20Click(); // "Loop": the locator region
    void button4Click();  // "Selected": the selected segment
    void Button24Click(); // "Stop"
    // Space: the segment under the pointer, from its start or (adding or dragging a point) from
    // the pointer on.
    void auditionUnderPointer(bool fromPointer);
    // A one-shot playback has drained.
    void playEnded();
    void SuperTimer1Timer();

    // Opens the output with the document's format; false (with its message) when it cannot.
    bool openOutput();
    // Stops playback and closes the output: the buffer it reads is about to go.
    void closeOutput();
    // Closes and opens the output again: the sample's buffer or format is new.
    void reopenOutput();
    // The channels that Play and Loop sound, from the channel choice.
    PlayChannels playbackChannelMode() const;
    // The view changed while playing: the cursor takes its new pace.
    void cursorFollowsView();
    // A locator was released: a running loop restarts over the new region.
    void loopFollowsLocators();
    // The program went to the background or came back.
    void releaseOutput();
    void reclaimOutput();
    bool isLooping() const { return m_looping; }

private:
    void setTransport(QAction* down);
    void playWithTransport(QAction* button, std::uint32_t start, std::uint32_t length,
                           CursorTimerFor purpose);
    void playSampleRange(std::uint32_t start, std::uint32_t length, bool loop);
    void startCursor(std::uint32_t startByte, CursorTimerFor purpose);
    void startSegmentCursor(std::uint32_t startByte);
    bool canPlay() const;

    CommandContext& m_ctx;
    bool m_looping = false;
    bool m_outputReleased = false;
};

} // namespace tolvane
