#pragma once

#include "cli/Options.h"
#include "fileio/SampleFileReader.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tolvane::cli {

// Exit codes shared by every command that reads sample files.
inline constexpr int kExitOk = 0;
inline constexpr int kExitWrongFormat = 1;
inline constexpr int kExitUnreadable = 2;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitBadProfile = 65;  // a sampler profile missing or damaged
inline constexpr int kExitUnavailable = 69; // a MIDI port or a transfer to a sampler failed
inline constexpr int kExitNoMemory = 71;    // the system gave too little memory for the work
inline constexpr int kExitCannotWrite = 73;

// Runs the `tolvane` command with its arguments (without the program name).
int runTolvane(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane info FILE...`
int runInfo(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

// `tolvane detect FILE [--view-width N] [--split] [--sensitivity PCT] [--tlp OUT]`
int runDetect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane export FILE [...]`: the save commands of the editor, headless.
int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane process FILE OUT [...]`: the processing commands of the editor, in the order given,
// and the result written through the sample writer.
int runProcess(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// For a file the acceptance test refused: prints the editor's message and returns the exit
// status (wrong format or unreadable). Returns kExitOk, printing nothing, for an accepted one.
int reportRefusal(const std::string& file, const AcceptanceReport& report, std::ostream& out,
                  std::ostream& err);

// Loads FILE as opening it in the editor does (without the scan); a 24-bit, float or FLAC file
// only with `convert` (--convert), converted to 16 bits. Returns kExitOk, or the exit status
// after printing why the file was refused (kExitNoMemory when the sample does not fit in memory).
int openDocument(const std::string& file, SampleDocument& doc, std::ostream& out, std::ostream& err,
                 bool convert = false);

// Loads FILE and scans it as opening it in the editor does, then splits stereo when asked.
// Returns kExitOk, or the exit status after printing why the file was refused.
int openAndScan(const std::string& file, int viewWidth, bool split, SampleDocument& doc,
                std::ostream& out, std::ostream& err, bool convert = false);

// Loads FILE as openDocument does and makes its cue points the slice points, locked, in place of
// a scan (then splits stereo when asked); what was wrong with them goes to `err`. Returns kExitOk,
// or the exit status after printing why (kExitWrongFormat for a file without cue points).
int openWithMarkers(const std::string& file, bool split, SampleDocument& doc, std::ostream& out,
                    std::ostream& err, bool convert = false);

// The options detect and export share, read strictly (std::invalid_argument otherwise):
// --view-width N (1 to 100000, default the main window's width) and --sensitivity PCT (0 to 100).
int viewWidthOption(const Options& options);
std::optional<double> sensitivityOption(const Options& options);

// Checks every output before the first is written (SafeFileWriter refuses the same at the
// write, but then earlier files would already be written): none may be a FIFO, device, socket
// or folder, each must lie in a folder that exists, and none may be the file `input` names
// (when given). Prints the first refusal and returns kExitCannotWrite, else kExitOk.
int checkOutputs(const std::vector<std::string>& outputs, const std::string* input,
                 std::ostream& err);

// Writes the whole document to `file` through the sample writer and says what was written;
// kExitOk, or kExitCannotWrite after printing why.
int writeWholeDocument(const SampleDocument& doc, const std::string& file, std::ostream& out,
                       std::ostream& err);

// "slice points: N" and a line for each: index position strength enabled locked channel.
void printSlicePoints(const SampleDocument& doc, std::ostream& out);

// `tolvane grid FILE --bars N [--beats M] --cut 8|16|32 [...]`
int runGrid(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane randomise FILE OUT [--seed S] [--keep-points] [...]`
int runRandomise(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane ports [--scsi-sockets LIST]`: MIDI inputs and outputs, SCSI adaptors and targets.
int runPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane profiles [list | show NAME | delete NAME] [--settings FILE]`
int runProfiles(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane send FILE|--batch FILE... --profile NAME [...]` and `tolvane request OUT --profile
// NAME [...]`: the transfer windows' flows, to and from the sampler of a stored profile.
int runSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRequest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane smdi list|send FILE|receive NUMBER OUT` with --profile NAME, --socket PATH or
// --target ADAPTOR:ID: samples to and from an SMDI sampler.
int runSmdi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `tolvane sds send FILE | receive OUT [--port NAME] [--id N] [--open-loop] [--sample N]
// [--channel L|R]`: a sample to or from a sampler by the MIDI Sample Dump Standard.
int runSds(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `tolvane akai list|send FILE|receive NUMBER OUT` with --profile NAME, --socket PATH or
// --target ADAPTOR:ID: an S2000-family sampler over SCSI.
int runAkai(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `tolvane plugins`: the installed effects with their controls.
int runPlugins(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane plugin FILE OUT --uri URI [...]`: the file through an effect, as "Process" does.
int runPlugin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `tolvane audition FILE --port NAME [--device NAME] [--play-through] [keymap options]
// [document options]`: plays the segments from a MIDI keyboard until SIGINT, SIGTERM or SIGHUP.
int runAudition(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A message box text as a terminal shows it: "\r\n" becomes a plain line break.
std::string terminalText(const std::string& messageText);

} // namespace tolvane::cli
