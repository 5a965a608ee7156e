#pragma once

#include "document/SampleDocument.h"

#include <string>

namespace tolvane {

// The most bars or beats the region can be given (the range of their up-down controls).
inline constexpr int kMaxLoopBarsOrBeats = 32767;

// The tempo a region of `bars` bars and `beats` extra quarter notes gives to the span between
// the locators, in beats per minute; 0 when the span is empty.
double loopTempo(const SampleDocument& doc, int bars, int beats);

// Sets LoopBars, LoopBeats and LoopTempo; bars and beats are clamped to 0..kMaxLoopBarsOrBeats.
void setLoopLength(SampleDocument& doc, int bars, int beats);

// Recomputes LoopTempo for the current locators.
void updateLoopTempo(SampleDocument& doc);

// "120.00 BPM": two decimals, at least four characters wide.
std::string tempoText(double tempo);

// The region has no musical length yet: a grid cut or a MIDI template needs one first.
bool loopLengthUnset(const SampleDocument& doc);

// The title and question asked when the region has no length, and what Yes sets.
inline constexpr const char* kMsgNoTempo = "No tempo information has been set!";
inline constexpr const char* kMsgSetOneBar = "Set to one bar?";

} // namespace tolvane
