// The MIDI timing template byte by byte for the documented cases, and read back by midicsv and
// by mido in strict mode.
#include "export/MidiTemplate.h"

#include "slicing/SliceTables.h"
#include "slicing/Tempo.h"
#include "support/TestFiles.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;
using Bytes = std::vector<std::uint8_t>;

PointRecord slicePoint(std::uint32_t position, std::uint8_t channel = kChannelMonoOrRight) {
    return {position, 100, 1, 0, channel, 0};
}

SampleDocument loop(int bars, int beats, const std::vector<PointRecord>& points,
                    std::uint16_t channels = 1, bool merged = false) {
    // Four seconds at 44100 Hz: two bars make 120 BPM.
    SampleDocument doc = documentWithSlices(channels, merged, 352800 * channels, points);
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    setLoopLength(doc, bars, beats);
    return doc;
}

// The bytes after the tempo event up to the end of track: the note events.
Bytes noteEvents(const Bytes& file, std::size_t nameLength) {
    const std::size_t first = 14 + 8 + 4 + nameLength + 8 + 7;
    return {file.begin() + static_cast<std::ptrdiff_t>(first), file.end() - 4};
}

TEST(MidiTemplate, TwoBarsWithoutInsidePointsAreOneNote) {
    KeymapSettings keymap;
    keymap.bankName = "Loop";
    const SampleDocument doc = loop(2, 0, {});
    const MidiTemplate midi = midiTemplate(doc, 1, keymap, {});
    const Bytes& b = midi.bytes;
    const Bytes header{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    ASSERT_GT(b.size(), header.size() + 4);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), b.begin()));
    const std::uint32_t trackLength = (b[18] << 24) | (b[19] << 16) | (b[20] << 8) | b[21];
    EXPECT_EQ(trackLength, b.size() - 22);
    EXPECT_EQ(trackLength, 23u + 4 + 4 + 5) << "23 + the name + two note events";
    const Bytes name{0x00, 0xFF, 0x03, 4, 'L', 'o', 'o', 'p'};
    EXPECT_TRUE(std::equal(name.begin(), name.end(), b.begin() + 22));
    const Bytes meta{0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
                     0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}; // 500000 us: 120 BPM
    EXPECT_TRUE(std::equal(meta.begin(), meta.end(), b.begin() + 30));
    // C2 (48) on at 0, off 3840 ticks later: delta 9E 00.
    EXPECT_EQ(noteEvents(b, 4), (Bytes{0x00, 0x90, 48, 0x60, 0x9E, 0x00, 0x80, 48, 0x60}));
    EXPECT_TRUE(std::equal(b.end() - 4, b.end(), Bytes{0x00, 0xFF, 0x2F, 0x00}.begin()));
    EXPECT_EQ(midi.notesLeftOut, 0);
}

TEST(MidiTemplate, PointsFallOnTheirTicksAndNotesFollowTheKeymap) {
    KeymapSettings keymap;
    keymap.bankName = "";
    keymap.interval = 2;
    // One bar and two beats: 2880 ticks; points at a quarter and at half of the loop.
    const SampleDocument doc = loop(1, 2, {slicePoint(88200), slicePoint(176400)});
    EXPECT_EQ(loopTicks(doc), 2880);
    const Bytes b = midiTemplate(doc, 1, keymap, {1, false}).bytes;
    EXPECT_EQ(b[9], 1) << "format 1";
    EXPECT_EQ(b[22 + 3], 0) << "an empty name still has its meta event";
    EXPECT_EQ(noteEvents(b, 0), (Bytes{0x00, 0x90, 48, 0x60, 0x85, 0x50, 0x80, 48, 0x60,   // 720
                                       0x00, 0x90, 51, 0x60, 0x85, 0x50, 0x80, 51, 0x60,   // 1440
                                       0x00, 0x90, 54, 0x60, 0x8B, 0x20, 0x80, 54, 0x60})) // 2880
        << "notes step by the interval + 1; a point halfway lies on tick 1440";

    keymap.reverseNotes = true;
    EXPECT_EQ(noteEvents(midiTemplate(doc, 1, keymap, {}).bytes, 0),
              (Bytes{0x00, 0x90, 54, 0x60, 0x8B, 0x20, 0x80, 54, 0x60, //
                     0x00, 0x90, 51, 0x60, 0x85, 0x50, 0x80, 51, 0x60, //
                     0x00, 0x90, 48, 0x60, 0x85, 0x50, 0x80, 48, 0x60}))
        << "reversed: the last segment first, each as long as it is";

    keymap.baseNoteOnly = true;
    const Bytes baseOnly = noteEvents(midiTemplate(doc, 1, keymap, {}).bytes, 0);
    EXPECT_EQ(baseOnly[2], 48);
    EXPECT_EQ(baseOnly[11], 48);
    EXPECT_EQ(baseOnly[20], 48) << "the base note only, in the forward order";
}

TEST(MidiTemplate, HalfwayInOneBarIsTick960AndTheFilterEnableComesFirst) {
    KeymapSettings keymap;
    keymap.bankName = "x";
    keymap.whiteKeysOnly = true;
    const SampleDocument doc = loop(1, 0, {slicePoint(176400)});
    const Bytes b = midiTemplate(doc, 1, keymap, {0, true}).bytes;
    const Bytes filter{0x00, 0xB0, 0x63, 0x7F, 0x00, 0xB0, 0x62, 0x15};
    EXPECT_TRUE(std::equal(filter.begin(), filter.end(), b.begin() + 22 + 5 + 15));
    const Bytes notes(b.begin() + 22 + 5 + 15 + 8, b.end() - 4);
    EXPECT_EQ(notes, (Bytes{0x00, 0x90, 48, 0x60, 0x87, 0x40, 0x80, 48, 0x60, // 960
                            0x00, 0x90, 50, 0x60, 0x87, 0x40, 0x80, 50, 0x60}))
        << "the next white key";
}

TEST(MidiTemplate, NotesAboveTheTopKeyAreLeftOutAndTheOthersKeepTheirTimes) {
    KeymapSettings keymap;
    keymap.octave = 10; // base note 120
    keymap.interval = 4;
    const SampleDocument doc =
        loop(1, 0, {slicePoint(88200), slicePoint(176400), slicePoint(264600)});
    const MidiTemplate midi = midiTemplate(doc, 1, keymap, {});
    EXPECT_EQ(midi.notesLeftOut, 2) << "125 stays, 130 and 135 go";
    Bytes events = noteEvents(midi.bytes, keymap.bankName.size());
    ASSERT_GE(events.size(), 2u);
    events.resize(events.size() - 1); // the end of track's delta time, less its last byte
    EXPECT_EQ(events, (Bytes{0x00, 0x90, 120, 0x60, 0x83, 0x60, 0x80, 120, 0x60, //
                             0x00, 0x90, 125, 0x60, 0x83, 0x60, 0x80, 125, 0x60}));
    // The track still lasts the loop: the end of track comes 960 ticks after the last note,
    // at 1920, where the left-out notes would have ended.
    EXPECT_TRUE(std::equal(midi.bytes.end() - 5, midi.bytes.end(),
                           Bytes{0x87, 0x40, 0xFF, 0x2F, 0x00}.begin()))
        << "delta 960, then FF 2F 00";
}

TEST(MidiTemplate, WithEveryNoteLeftOutTheTrackStillLastsTheLoop) {
    KeymapSettings keymap;
    keymap.octave = 11; // base note 132: nothing fits
    const SampleDocument doc = loop(2, 0, {slicePoint(88200)});
    const MidiTemplate midi = midiTemplate(doc, 1, keymap, {});
    EXPECT_EQ(midi.notesLeftOut, 2);
    EXPECT_TRUE(std::equal(midi.bytes.end() - 5, midi.bytes.end(),
                           Bytes{0x9E, 0x00, 0xFF, 0x2F, 0x00}.begin()))
        << "the end of track at 3840";
}

// The tempo field holds 1 to 16777215 microseconds a quarter note: a loop outside that would
// play at another speed, so no template is made of it.
TEST(MidiTemplate, ATempoTheFileCannotHoldIsRefusedWithTheRange) {
    KeymapSettings keymap;
    SampleDocument slow = loop(0, 1, {}); // four seconds as one beat: 15 BPM, fine
    EXPECT_EQ(midiTempoRefusal(slow.LoopTempo), "");
    EXPECT_NO_THROW(midiTemplate(slow, 1, keymap, {}));
    slow.LoopTempo = 3.0; // a 20-second loop as one beat: 20000000 microseconds
    const std::string refusal = midiTempoRefusal(slow.LoopTempo);
    EXPECT_NE(refusal.find("3.00 BPM"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("3.5763 to 60000000 BPM"), std::string::npos) << refusal;
    EXPECT_THROW(midiTemplate(slow, 1, keymap, {}), TemplateRefused);
    slow.LoopTempo = 1.0e9; // 32767 bars of a 100-byte loop
    EXPECT_THROW(midiTemplate(slow, 1, keymap, {}), TemplateRefused);
    slow.LoopTempo = 60000000.0; // exactly one microsecond
    EXPECT_NO_THROW(midiTemplate(slow, 1, keymap, {}));
}

// A name goes into the track name as text: control characters (a line break among them)
// become blanks, and the length byte counts what is written.
TEST(MidiTemplate, ControlCharactersInTheTrackNameBecomeBlanks) {
    KeymapSettings keymap;
    keymap.bankName = "a\nb\tc\x7f"
                      "d\xc2\x85"
                      "e";
    const Bytes b = midiTemplate(loop(1, 0, {}), 1, keymap, {}).bytes;
    EXPECT_EQ(b[25], 9) << "one blank for the two bytes of U+0085";
    EXPECT_EQ(std::string(b.begin() + 26, b.begin() + 35), "a b c d e");
}

TEST(MidiTemplate, SplitStereoWritesAFilePerChosenChannel) {
    SampleDocument doc =
        loop(1, 0, {slicePoint(176402), slicePoint(352800, kChannelLeftSplit), slicePoint(529202)},
             2, false);
    KeymapSettings keymap;
    auto files = midiTemplateFiles(doc, "/out/loop.MID", keymap, {});
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path, "/out/loopL.mid");
    EXPECT_EQ(files[1].path, "/out/loopR.mid");
    EXPECT_EQ(noteEvents(files[0].content.bytes, 11).size(), 2 * 9u) << "one inside point left";
    EXPECT_EQ(noteEvents(files[1].content.bytes, 11).size(), 3 * 9u) << "two on the right";
    doc.FirstChannel = doc.LastChannel = 2;
    files = midiTemplateFiles(doc, "/out/loop.mid", keymap, {});
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].path, "/out/loopR.mid");
    doc.MergeChannels = true;
    EXPECT_EQ(midiTemplateFiles(doc, "/out/loop.mid", keymap, {})[0].path, "/out/loop.mid");
}

TEST(MidiTemplate, IndependentReadersAgree) {
    test::TempDir dir;
    KeymapSettings keymap;
    keymap.bankName = "Break";
    const SampleDocument doc = loop(2, 0, {slicePoint(88200), slicePoint(220500)});
    const std::string path = dir.file("loop.mid");
    ASSERT_EQ(writeMidiTemplates(midiTemplateFiles(doc, path, keymap, {})), 0);

    const std::string csv = test::commandOutput("midicsv " + test::shellQuote(path));
    EXPECT_NE(csv.find("0, 0, Header, 0, 1, 480"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 0, Title_t, \"Break\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 0, Time_signature, 4, 2, 24, 8"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 0, Tempo, 500000"), std::string::npos) << "2 bars in 4 s: 120 BPM";
    EXPECT_NE(csv.find("1, 960, Note_off_c, 0, 48, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 960, Note_on_c, 0, 49, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 2400, Note_on_c, 0, 50, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 3840, Note_off_c, 0, 50, 96"), std::string::npos) << csv;
    EXPECT_NE(csv.find("1, 3840, End_track"), std::string::npos) << csv;

    const std::string mido = test::commandOutput(
        "/usr/bin/python3 -c \"import mido,sys; f=mido.MidiFile(sys.argv[1], clip=False); "
        "m=[x for x in f.tracks[0] if x.is_meta]; "
        "print(f.ticks_per_beat, round(mido.tempo2bpm([x for x in m if "
        "x.type=='set_tempo'][0].tempo), 2), "
        "[(x.numerator, x.denominator) for x in m if x.type=='time_signature'][0], "
        "sum(1 for x in f.tracks[0] if x.type=='note_on'))\" " +
        test::shellQuote(path));
    EXPECT_EQ(mido, "480 120.0 (4, 4) 3\n");
}

} // namespace
} // namespace tolvane
