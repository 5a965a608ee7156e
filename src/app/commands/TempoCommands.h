#pragma once

#include "app/commands/CommandContext.h"
#include "slicing/GridCut.h"
#include "slicing/Randomise.h"

#include <memory>

namespace tolvane {

class PlayCommands;
class SliceCommands;
class UndoFile;
class WorkerThread;

// The musical side of the region: its bars and beats and the tempo they give, "Cut to" a grid
// of 8ths, 16ths or 32nds, "Randomise" with or without keeping the points, and "Smooth".
class TempoCommands {
public:
    TempoCommands(CommandContext& ctx, PlayCommands& play, SliceCommands& slices);
    ~TempoCommands();

    void UpDown1Click(); // bars stepped
    void UpDown2Click(); // beats stepped
    void ShowTempo1Click() { showTempoDialog(false); }
    // "Change bars and beats", with the bars or the beats box focused.
    void showTempoDialog(bool beatsFocused);
    void N8ths1Click() { cutToGridCommand(GridNote::Eighths); }
    void N16ths1Click() { cutToGridCommand(GridNote::Sixteenths); }
    void N32nds1Click() { cutToGridCommand(GridNote::ThirtySeconds); }
    void Randomise1Click() { randomise(true); }  // then re-detect
    void Randomise2Click() { randomise(false); } // and keep the points

    // The up-downs take the numbers (clamped to their range), the labels show them, and the
    // tempo follows.
    void setLoopLength(int bars, int beats);
    // The tempo from the labels and the locators, shown: after a load, an undo, a locator
    // release, a crop.
    void recomputeTempo();
    // A new document: one bar with "Default to 1 bar on loading", else none; no beats.
    void resetLoopLengthForLoad();
    // No document: "0.00 BPM".
    void showNoTempo();
    // Before a grid cut or a MIDI template: a region without bars or beats offers one bar.
    // False when the user declines.
    bool tempoCheck();

private:
    void cutToGridCommand(GridNote note);
    void randomise(bool recut);
    // The copy of the region the shuffle reads: the undo file, or a scratch file of its own.
    const UndoFile* prepareShuffleCopy(const ShuffleRegion& region, bool recut);
    void randomiseFinished(const WorkerThread& worker, bool recut);
    void showCannotRandomise();

    CommandContext& m_ctx;
    PlayCommands& m_play;
    SliceCommands& m_slices;
    std::unique_ptr<UndoFile> m_scratch; // while a shuffle runs without the undo buffer
};

} // namespace tolvane
