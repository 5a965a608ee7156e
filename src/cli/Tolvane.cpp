#include "cli/Tolvane.h"

#include <new>

namespace tolvane::cli {
namespace {

constexpr const char* kUsage = R"(Usage: tolvane COMMAND [OPTIONS] FILE...

Loop slicing from the command line, with the same core as the WaveTolvane editor.

Commands:
  info FILE...   For each file: whether the editor accepts it (0 accepted, 1 wrong
                 format, 2 unreadable); for an accepted file its format as the status
                 bar shows it and its data length in bytes, frames and seconds; for a
                 refused file the editor's own message, and on standard error why it
                 could not be read (no such file, permission denied, ...).

  detect FILE [--view-width N] [--split] [--sensitivity PCT] [--tlp OUT]
                 Loads FILE and scans it for transients as opening it in the editor does
                 (stereo channels merged) and prints the number of candidates.
                 --view-width N   waveform width in pixels used by the stereo merge,
                                  1 to 100000 (default 636, the main window at its
                                  default size)
                 --split          then keep the stereo channels apart ("L / R")
                 --sensitivity PCT  set the sensitivity slider to PCT percent (0 to 100)
                                  and print the slice points, one per line:
                                  index position strength enabled locked channel
                 --tlp OUT        write the candidate table as a point file
                 --from-markers   take the WAV file's cue points as the slice points,
                                  locked, in place of the scan, and print them

  export FILE [--sensitivity PCT] [--view-width N] [--split] [--channel left|right|both]
              [--locators L R] [--bars N] [--beats M] [--cut 8|16|32] [--refine]
              [--smooth P] [--segments OUT.wav|OUT.aif|OUT.aiff]
              [--region OUT] [--selected N OUT] [--whole OUT] [--markers OUT.wav]
              [--bank OUT.sf2|OUT.dls|OUT.gig|OUT.pbf|OUT.sfz]
              [--midi OUT.mid [--format 0|1] [--filter-enable]]
              [--track OUT.trk [--track-library LIB.so]]
              [--base-note N] [--interval N] [--white-keys] [--bank-name NAME]
              [--reverse-notes] [--base-note-only]
                 Loads and scans FILE as detect does and writes, as the editor's save
                 commands would: every segment between the locators as a numbered series
                 (OUT01.wav, ...; split stereo adds L and R and numbers each channel's
                 files with the digits of its own point count), the region between the
                 locators, segment N, the whole sample, or a sound bank with one key per
                 segment. Each file written is printed with its size in bytes.
                 --locators L R   byte offsets with L < R <= the data length (default:
                                  the whole sample); files hold whole frames within them
                 --channel C      the channels of a split stereo series (default both)
                 --selected N OUT segment N, from 1; in split stereo the Nth segment of
                                  the channel named by --channel left or right
                 --markers OUT    the region as one WAV file with a cue point named
                                  "Slice 1", "Slice 2", ... at each slice point in it
                 --smooth P       smooth the end points of the series' and the bank's
                                  segments by P percent (0 to 60, default 30)
                 --bank OUT       a SoundFont 2 (.sf2), DLS Level 1 (.dls), GigaSampler
                                  (.gig) or Pinnacle (.pbf) bank, or an SFZ instrument
                                  (.sfz); .pbf and .sfz also write the series of wave
                                  files they play (OUT01.wav, ...). Split stereo, and
                                  merged stereo with one --channel, write one bank per
                                  channel (OUTL.sf2, OUTR.sf2); DLS refuses merged stereo
                 --bars N, --beats M  the region's length in bars and extra beats
                 --cut 8|16|32    first cut the region to a grid of 8th, 16th or 32nd
                                  notes, as grid does (with --refine)
                 --midi OUT.mid   the MIDI timing template: one note per segment in time
                                  with the loop at the tempo --bars and --beats give
                                  (needs one of them); split stereo writes OUTL.mid and
                                  OUTR.mid. --format 0 or 1 (default 0); --filter-enable
                                  adds the SoundFont filter-enable controllers
                 --track OUT.trk  a Mixman track file of a mono loop (at most 128
                                  segments), written by the track-file library named by
                                  --track-library or TOLVANE_TRACK_LIBRARY
                 Keymap (the keys of the segments): --base-note N (MIDI note 0 to 127,
                 default 48), --interval N (0 to 12, even), --white-keys, --bank-name NAME
                 (the track name), --reverse-notes, --base-note-only (the MIDI template
                 plays every segment on the base note; a bank still gives each segment a
                 key of its own, and the last key may not lie above 127)
                 Everything asked for is checked before a file is written: the keys, the
                 bank's limits, the tempo a MIDI file can hold (3.5763 to 60000000 BPM),
                 and every output name (not a FIFO, device, socket or folder, and not
                 FILE itself). A series stops at its first file that cannot be written.

  grid FILE --bars N [--beats M] --cut 8|16|32 [--locators L R] [--refine]
            [--split] [--channel left|right|both] [--view-width N] [--tlp OUT]
                 Loads and scans FILE, states that the region between the locators holds
                 N bars and M beats (0 to 32767 each), prints the tempo this gives
                 ("tempo: 120.00 BPM") and replaces every point by a grid of 8th, 16th
                 or 32nd notes over the region, each point 50 bytes after its grid
                 position; prints the locators (moved onto grid points) and the points.
                 In split stereo each channel of --channel gets its own grid.
                 --refine         move the grid points towards quiet samples, as the
                                  editor's "Smooth" does
                 --tlp OUT        write the point table as a point file

  randomise FILE OUT [--seed S] [--keep-points] [--sensitivity PCT] [--locators L R]
            [--split] [--channel left|right|both] [--bars N] [--beats M] [--cut 8|16|32]
            [--view-width N] [--tlp OUT]
                 Loads and scans FILE, then puts the segments between the locators
                 (the slice points the sensitivity or a grid gives) in a random order
                 and writes the whole sample to OUT (.wav, .aif or .aiff). In split
                 stereo each channel of --channel is shuffled on its own. Then finds
                 the points again, unless --keep-points.
                 --seed S         the same seed gives the same order (0 and up)
                 --tlp OUT        write the points as a point file

  process FILE OUT [--normalise[=PCT]] [--invert] [--quantise BITS]
              [--to-mono left|right|mix] [--to-stereo] [--rate HZ]
              [--strip-silence THOLD GAP] [--channel left|right|both]
                 Loads FILE, applies the editor's processing commands in the order given
                 and writes the result to OUT (AIFF when OUT ends in .aif, else WAV).
                 Each option prints what it did.
                 --normalise[=PCT]  peak to PCT percent of full scale (1 to 1000, default
                                  100), the mean removed first ("D.C. center"); louder
                                  than 100 clips
                 --invert         every sample s becomes -s - 1
                 --quantise BITS  keep BITS bits of each sample (0 to 15; 0 is silence)
                 --to-mono C      keep the left or the right channel, or mix both
                                  (each half truncated)
                 --to-stereo      the mono sample on both channels
                 --rate HZ        the rate the sample plays at (1 to 768000; no
                                  resampling)
                 --strip-silence THOLD GAP
                                  remove quiet stretches as "Strip Silence..." does:
                                  threshold 1 to 61, gap 10 to 15000 frames
                 --channel C      normalise, invert and quantise after it work on that
                                  channel of a stereo sample only (default both)
                 A step that cannot be done (normalising silence, converting a mono
                 sample to mono, quantising to 16 bits, stripping a sample that is all
                 silence) is reported and nothing is written.

  ports [--scsi-sockets LIST]
                 Lists the MIDI inputs and outputs (the system's port names, numbered as
                 the profile manager numbers them) and the SCSI adaptors with their
                 targets 0 to 7 as the profile manager shows them (the mark (*) is a
                 processor device, the kind samplers report). Adaptors are the machine's
                 SCSI hosts (/dev/sg*) and, when sockets are named, one adaptor whose
                 targets are Unix sockets (LIST: paths separated by ':'; the variable
                 TOLVANE_SCSI_SOCKETS is used instead when it is set). A device that
                 cannot be opened is listed as not found, with a hint why.

  profiles [list | show NAME | delete NAME] [--settings FILE]
  profiles add NAME --type sds|smdi|a3000|ex|emu|akai [--midi-in PORT]
           [--midi-out PORT] [--channel N] [--sysex-id N] [--open-loop]
           [--scsi HOST:TARGET | --socket PATH [--scsi-sockets LIST]] [--offset N]
  profiles set NAME [the options of add, and --closed-loop]
                 Lists the stored sampler profiles in their order, shows one (its
                 sampler type, ports, channel, SCSI target, offset and its 16 bytes),
                 deletes one, or makes one (add) or changes what set names of one, as
                 the profile manager stores them. The types are the profile manager's
                 six: Generic MIDI SDS, Generic SCSI SMDI, Yamaha A3000, Yamaha EX,
                 E-mu ESI and EOS, Akai S2000. PORT is a MIDI port as ports lists it (its
                 number or its name); --scsi names an adaptor and target as ports lists
                 them; --socket a Unix socket of the socket adaptor; --channel and
                 --sysex-id are 1 to 16 (default 1); --offset (-1024 to 1024, default 0)
                 is added to the sample numbers. The profiles belong to the editor's
                 settings file (FILE, else TOLVANE_SETTINGS, else the user's): they are
                 kept beside it under the same name ending in ".samplers".

The transfer commands reach a sampler the same way: --profile NAME, a stored profile
(with --settings FILE); or, for the commands of one kind of sampler, --socket PATH (target
0 of a Unix socket) or --target ADAPTOR:ID (a target of the machine's SCSI bus and of the
sockets --scsi-sockets LIST names); --port NAME picks the MIDI input and output (the
port of that name, else the first whose name contains it) over the profile's. The
segments between the locators end at the right locator, and their end points are
smoothed by 30 percent (the keymap window's default) unless --smooth LEVEL (0 to 60, 0
off) says otherwise; a region, a whole sample or a batch file is never smoothed (a batch
only with --smooth). Exit status 69 when the ports, the sampler or the transfer failed.

  send FILE --profile NAME [--segments | --region | --whole] [--position N]
       [--automap] [--smooth LEVEL] [keymap options] [export's document options]
  send --batch FILE... --profile NAME [--position N] [--automap] [keymap options]
                 The transfer window's send from a terminal, to the sampler of any
                 profile: the segments between the locators one by one, the region,
                 or the whole sample, as samples position + the profile's offset on;
                 --automap maps them to keys where the sampler takes a keymap or keys.
                 --batch sends each sample FILE (WAV or AIFF) in turn.

  request OUT --profile NAME [--position N] [--wait] [--round-rate]
                 Receives sample position + the profile's offset into the sample file
                 OUT (--wait: waits for the sampler to send a dump itself); --round-rate
                 rounds the rate to the nearest 100 Hz.

  smdi list | send FILE | receive NUMBER OUT  [--profile NAME | --socket PATH |
       --target ADAPTOR:ID] [--protocol 1-4]
                 An SMDI sampler over SCSI (--protocol: 1 generic, 2 and 3 Yamaha,
                 4 E-mu; default the profile's, else 1). list prints number, name,
                 size, bits, mono or stereo and rate; receive takes sample NUMBER into
                 OUT. send sends FILE as sample --number N (default the first number:
                 1 on E-mu, else 0) named --name
                 (default the file's name); --split-stereo sends a stereo file as two mono samples N and
                 N+1. With --segments it sends the segments between the locators (with
                 export's document options) as samples N, N+1, ... and, on the Yamaha
                 types, their keymap (the keymap options) through the profile's MIDI
                 output.
  sds send FILE | receive OUT [--profile NAME] [--port NAME] [--id N] [--open-loop]
      [--sample N] [--channel L|R]
                 A sample to or from any sampler by the MIDI Sample Dump Standard. N of
                 --id is the MIDI channel 1 to 16 (default 1); without --port and a
                 profile the first MIDI input and output. With handshake each packet
                 waits for the sampler's answer (a sampler that does not answer the
                 header within 2 s is sent to without); --open-loop sends without
                 reading the input. --sample is the number on the sampler (default 0);
                 receiving from 100000 on waits for the sampler to start the dump of
                 sample N - 100000 itself. A stereo FILE sends its left channel, or the
                 one --channel names.
  akai list | send FILE | receive NUMBER OUT  (--profile NAME | --socket PATH |
       --target ADAPTOR:ID)
                 An Akai S2000, S3000XL or S3200XL sampler over SCSI. list prints its
                 samples; send loads and scans FILE (with export's document options)
                 and sends each segment between the locators as a mono sample into the
                 next free slot (named after FILE, cut to 9 characters, and the
                 segment's number in three digits; a stereo sample sends its --channel,
                 left unless right), on the keys of the keymap options, then a program
                 named --bank-name with one keygroup per sample in the next free
                 program, unless --no-program; receive takes sample NUMBER (from 0, as
                 listed) into OUT at the rate its header gives.
  plugins        Lists the installed LV2 effects (mono or stereo audio in and out, no
                 instruments): URI, name, kind, maker, channels, each control with its
                 range and default (ranges that follow the sample rate shown at 44100 Hz),
                 and the presets, the user's marked (yours). "No plugins available"
                 when there are none.
  plugins --probe URI [--rate R] [--seconds S]
                 Tries the effect as the editor does before it first loads one: set up for
                 mono, then stereo data at rate R (default 44100), every page shown, S
                 seconds of audio processed (default 0.1), closed. Prints "mono: trying",
                 then "mono: works", "mono: refused: ..." or "mono: failed: ...", the
                 same for stereo, and "done". A crash or hang ends it early.

  plugin FILE OUT --uri URI [--preset NAME] [--set SYMBOL=VALUE]... [--loop L R]
                 Loads FILE, runs it through the effect URI as the editor's "Process" does
                 and writes the result to OUT (AIFF when OUT ends in .aif, else WAV). A
                 mono file through an effect with stereo output becomes stereo.
                 --preset NAME    first load the effect's preset NAME (its own, or one
                                  stored by the editor)
                 --set SYMBOL=VALUE  set a control (within its range at the file's
                                  rate), after the preset
                 --loop L R       process only the bytes L to R (whole stereo frames from
                                  L rounded down to 4); the rest is kept

  audition FILE --port NAME [--device NAME] [--play-through] [keymap options]
           [export's document options]
                 Loads and scans FILE as export does and plays the segments between the
                 locators from a MIDI keyboard until interrupted (Ctrl+C, SIGTERM or
                 SIGHUP end it with status 0): each note-on plays the segment the keymap
                 options put on its key (as a bank of the same loop holds them; split
                 stereo maps each channel's segments on their own, on its own side) at
                 a level of velocity / 127; a note-off fades it out in 5 ms. Each note
                 is printed with the segment it plays.
                 --port NAME      the MIDI input (as ports lists it: the port of that
                                  name, else the first whose name contains it)
                 --device NAME    the audio output by its name (default: the system's)
                 --play-through   each segment plays on to the right locator

Options:
  --help         Show this help and exit.
  --version      Show the version and exit.

Every number is read in full: a value that is not a number of its kind or lies
outside its range is a usage error that names the option.

A sample that is not 16-bit (8-, 24- or 32-bit integer, 32- or 64-bit float WAV or
AIFF, or FLAC) is refused as the wrong format unless the command is given --convert
(detect, export, grid, randomise, process, plugin, send, smdi send, akai send, sds
send): it is then converted to 16 bits with triangular dither, as the editor does
once the user agrees.

Exit status: 0 when every file was accepted, 1 when any had the wrong format,
2 when any was unreadable, 64 for a usage error (also locators, a region or a
segment that hold no whole frame, or a processing step that cannot be done), 65 when a
profile is missing or damaged, 69 when a MIDI port, the audio output or a transfer to a
sampler failed,
71 when there is not enough memory for the sample, 73 when an output file cannot be
written (also an output that exists and is not a regular file, a folder among them,
or one that is the input file).
)";

} // namespace

std::string terminalText(const std::string& messageText) {
    std::string text;
    text.reserve(messageText.size());
    for (std::size_t i = 0; i < messageText.size(); ++i) {
        if (messageText[i] == '\r' && i + 1 < messageText.size() && messageText[i + 1] == '\n')
            continue;
        text += messageText[i];
    }
    return text;
}

namespace {

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        out << "tolvane " << TOLVANE_VERSION << "\n";
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "info") {
        if (rest.empty()) {
            err << "tolvane info: no file given\n";
            return kExitUsage;
        }
        return runInfo(rest, out, err);
    }
    if (command == "detect")
        return runDetect(rest, out, err);
    if (command == "export")
        return runExport(rest, out, err);
    if (command == "grid")
        return runGrid(rest, out, err);
    if (command == "randomise")
        return runRandomise(rest, out, err);
    if (command == "process")
        return runProcess(rest, out, err);
    if (command == "ports")
        return runPorts(rest, out, err);
    if (command == "profiles")
        return runProfiles(rest, out, err);
    if (command == "send")
        return runSend(rest, out, err);
    if (command == "request")
        return runRequest(rest, out, err);
    if (command == "smdi")
        return runSmdi(rest, out, err);
    if (command == "sds")
        return runSds(rest, out, err);
    if (command == "akai")
        return runAkai(rest, out, err);
    if (command == "plugins")
        return runPlugins(rest, out, err);
    if (command == "plugin")
        return runPlugin(rest, out, err);
    if (command == "audition")
        return runAudition(rest, out, err);
    err << "tolvane: unknown command '" << command << "'\n\n" << kUsage;
    return kExitUsage;
}

} // namespace

int runTolvane(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    try {
        return runCommand(args, out, err);
    } catch (const std::bad_alloc&) {
        err << "tolvane: there is not enough memory for this work\n";
        return kExitNoMemory;
    }
}

} // namespace tolvane::cli
