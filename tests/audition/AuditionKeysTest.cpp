#include "audition/AuditionKeys.h"

#include "audition/Audition.h"
#include "slicing/SliceTables.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::documentWithSlices;

PointRecord point(std::uint32_t position, std::uint8_t channel = kChannelMonoOrRight) {
    PointRecord p;
    p.Position = position;
    p.Strength = 100;
    p.Enabled = 1;
    p.Channel = channel;
    return p;
}

void fillPattern(SampleDocument& doc) {
    auto* samples = reinterpret_cast<std::int16_t*>(doc.SampleData.data());
    for (int i = 0; i < doc.DataLength / 2; ++i)
        samples[i] = static_cast<std::int16_t>(i * 3 - 20000);
}

void expectPart(const AuditionKey& key, int index, std::uint32_t start, std::uint32_t end,
                std::uint8_t mask) {
    ASSERT_GT(key.partCount, index);
    const AuditionPart& part = key.parts[static_cast<std::size_t>(index)];
    EXPECT_EQ(part.startFrame, start);
    EXPECT_EQ(part.endFrame, end);
    EXPECT_EQ(part.channelMask, mask);
}

TEST(AuditionKeys, MonoSegmentsLieOnTheKeymapsKeysAndTheProgramCopiesTheSample) {
    SampleDocument doc = documentWithSlices(1, false, 20000, {point(4000), point(10000)});
    fillPattern(doc);
    KeymapSettings keymap; // base note 48, interval 0
    auto program = makeAuditionProgram(doc, keymap, false);
    ASSERT_EQ(program->samples.size(), 10000u);
    EXPECT_EQ(program->samples[1234], static_cast<std::int16_t>(1234 * 3 - 20000));
    expectPart(program->keys[48], 0, 0, 2000, 3);
    expectPart(program->keys[49], 0, 2000, 5000, 3);
    // The last segment ends one frame before locator R, as the bank's last sample does.
    expectPart(program->keys[50], 0, 5000, 9999, 3);
    EXPECT_EQ(program->keys[47].partCount, 0);
    EXPECT_EQ(program->keys[51].partCount, 0);

    keymap.interval = 2; // keys 48, 51, 54, each with the keys either side
    program = makeAuditionProgram(doc, keymap, false);
    for (int note : {47, 48, 49})
        expectPart(program->keys[static_cast<std::size_t>(note)], 0, 0, 2000, 3);
    for (int note : {50, 51, 52})
        expectPart(program->keys[static_cast<std::size_t>(note)], 0, 2000, 5000, 3);
    EXPECT_EQ(program->keys[56].partCount, 0);

    keymap.interval = 0;
    keymap.whiteKeysOnly = true;
    keymap.note = 1;
    keymap.octave = 5; // C of 60: 60, 62, 64
    program = makeAuditionProgram(doc, keymap, false);
    expectPart(program->keys[62], 0, 2000, 5000, 3);
    EXPECT_EQ(program->keys[61].partCount, 0);
    ASSERT_EQ(segmentsOnKey(doc, keymap, 64).size(), 1u);
    EXPECT_EQ(segmentsOnKey(doc, keymap, 64)[0].k, 2);
    EXPECT_TRUE(segmentsOnKey(doc, keymap, 63).empty());
}

TEST(AuditionKeys, PlayThroughRunsEverySegmentOnToLocatorR) {
    SampleDocument doc = documentWithSlices(1, false, 20000, {point(4000), point(10000)});
    doc.LocatorL = 2000;
    doc.LocatorR = 16000;
    auto program = makeAuditionProgram(doc, KeymapSettings{}, true);
    expectPart(program->keys[48], 0, 1000, 8000, 3);
    expectPart(program->keys[49], 0, 2000, 8000, 3);
    expectPart(program->keys[50], 0, 5000, 8000, 3);
    EXPECT_EQ(program->keys[51].partCount, 0) << "only the segments between the locators";
}

TEST(AuditionKeys, SplitStereoMapsEachChosenChannelsSegmentsOnTheirOwn) {
    SampleDocument doc =
        documentWithSlices(2, false, 40000,
                           {point(8000, kChannelLeftSplit), point(20002, kChannelMonoOrRight),
                            point(30000, kChannelLeftSplit)});
    auto program = makeAuditionProgram(doc, KeymapSettings{}, false);
    // Left: frames 0-2000, 2000-7500, 7500-9999; right: 0-5000, 5000-9999.
    expectPart(program->keys[48], 0, 0, 2000, 1);
    expectPart(program->keys[48], 1, 0, 5000, 2);
    expectPart(program->keys[49], 0, 2000, 7500, 1);
    expectPart(program->keys[49], 1, 5000, 9999, 2);
    expectPart(program->keys[50], 0, 7500, 9999, 1);
    EXPECT_EQ(program->keys[50].partCount, 1) << "the right channel has two segments";
    const auto both = segmentsOnKey(doc, KeymapSettings{}, 49);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].channel, 1);
    EXPECT_EQ(both[1].channel, 2);

    doc.FirstChannel = 2; // the right channel alone
    program = makeAuditionProgram(doc, KeymapSettings{}, false);
    expectPart(program->keys[48], 0, 0, 5000, 2);
    EXPECT_EQ(program->keys[48].partCount, 1);

    doc.FirstChannel = 1;
    doc.MergeChannels = true; // one list of every point, both channels together
    program = makeAuditionProgram(doc, KeymapSettings{}, false);
    expectPart(program->keys[48], 0, 0, 2000, 3);
    expectPart(program->keys[49], 0, 2000, 5000, 3);
    expectPart(program->keys[50], 0, 5000, 7500, 3);
}

TEST(AuditionKeys, NoDocumentGivesAProgramWithNoKeys) {
    SampleDocument doc;
    auto program = makeAuditionProgram(doc, KeymapSettings{}, false);
    EXPECT_TRUE(program->samples.empty());
    for (const AuditionKey& key : program->keys)
        EXPECT_EQ(key.partCount, 0);
}

TEST(KeyMessages, NotesOfEveryChannelPlayAndTheControllersForSilenceStopThem) {
    using Kind = KeyMessage::Kind;
    auto read = [](std::vector<std::uint8_t> bytes) { return readKeyMessage(bytes); };
    EXPECT_EQ(read({0x90, 60, 100}).kind, Kind::NoteOn);
    EXPECT_EQ(read({0x9F, 61, 1}).note, 61) << "any channel";
    EXPECT_EQ(read({0x9F, 61, 1}).velocity, 1);
    EXPECT_EQ(read({0x93, 60, 0}).kind, Kind::NoteOff) << "a note-on without velocity";
    EXPECT_EQ(read({0x85, 60, 64}).kind, Kind::NoteOff);
    EXPECT_EQ(read({0xB0, 123, 0}).kind, Kind::Silence);
    EXPECT_EQ(read({0xB2, 120, 0}).kind, Kind::Silence);
    EXPECT_EQ(read({0xB0, 7, 100}).kind, Kind::None) << "other controllers";
    EXPECT_EQ(read({0xC0, 5}).kind, Kind::None);
    EXPECT_EQ(read({0x90, 60}).kind, Kind::None) << "a message cut short";
    EXPECT_EQ(read({0xF0, 0x7E, 0x00, 0xF7}).kind, Kind::None);
}

} // namespace
} // namespace tolvane
