#pragma once

#include <functional>

namespace tolvane {

// Runs a job on the window's thread: what device threads (audio, MIDI, SCSI completions) hand
// over to the program. Tests and the command line run the job at once or on a queue of their
// own.
using Poster = std::function<void(std::function<void()>)>;

} // namespace tolvane
