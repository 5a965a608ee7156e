#pragma once

#include "app/commands/CommandContext.h"
#include "app/dialogs/TNormaliseForm.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace tolvane {

class FunctionWorker;
class PlayCommands;
class SliceCommands;
class TempoCommands;
class ViewCommands;
class WorkerThread;

// Processing the sample: normalise, invert and quantise of the whole sample (or the chosen
// channel), silence and reverse of the segment under the pointer, channel and rate conversion,
// strip silence. The whole-sample commands run their core operation on a worker through the
// busy bracket; the segment commands and the rate change run at once.
class ProcessCommands {
public:
    ProcessCommands(CommandContext& ctx, PlayCommands& play, ViewCommands& view,
                    SliceCommands& slices, TempoCommands& tempo)
        : m_ctx(ctx), m_play(play), m_view(view), m_slices(slices), m_tempo(tempo) {}

    void Normalise1Click();
    void Invert1Click();
    void Bitreduction1Click();
    // The segment under the pointer, as the pointer menu, the tool and the keys reach it.
    void mnuSilenceClick();
    void mnuReverseClick();
    // Delete and Insert: at the pointer's last place, its half of the waveform choosing the
    // channel.
    void Silence1Click();
    void Reverse1Click();
    void Convert1Click();
    void Adjustsamplerate1Click();
    void StripSilence1Click();

private:
    using SegmentOperation = void (*)(SampleDocument&, UndoRecord&, std::uint32_t, std::uint32_t,
                                      std::uint8_t);
    void changeSegmentUnderPointer(SegmentOperation operation);
    void takeWorkingChannelFromPointer();
    // Runs a whole-sample operation on its worker; `done` follows on the window's thread when
    // it succeeded.
    void runOnWorker(const QString& status, std::unique_ptr<FunctionWorker> worker,
                     bool changesFormat, std::function<void()> done = {}, bool rescans = true);
    // Normalise, invert and quantise move no audio: "Re-cut sample" unticked keeps the table as
    // it is; ticked, a scan finds the points again and keeps every locked one.
    void runLevelOperation(const QString& status, std::unique_ptr<FunctionWorker> worker);
    void workerFinished(WorkerThread& worker, bool changesFormat);
    void afterFormatChange();
    void stripSilenceFinished(WorkerThread& worker, bool tableFull);

    CommandContext& m_ctx;
    PlayCommands& m_play;
    ViewCommands& m_view;
    SliceCommands& m_slices;
    TempoCommands& m_tempo;
    // What the dialogs remember while the program runs.
    NormaliseChoice m_normalise;
    int m_quantiseLevel = 4;
    int m_convertChoice = 2; // "Merge Channels"
};

} // namespace tolvane
