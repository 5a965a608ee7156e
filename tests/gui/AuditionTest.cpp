// "Play from MIDI keyboard" in the window: notes from a MIDI input play the keys' segments
// through the player's output and select them, while Play runs, after an undo, in merged and
// split stereo.
#include "audition/Audition.h"

#include "audition/AuditionKeys.h"
#include "fakes/FakeMidi.h"
#include "gui/WindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QSlider>
#include <gtest/gtest.h>

namespace tolvane::test {
namespace {

class AuditionTest : public LoadedWindowTest {
protected:
    void SetUp() override {
        LoadedWindowTest::SetUp();
        auto backend = std::make_unique<FakeMidiBackend>();
        midi = backend.get();
        m_form->setSamplerPorts(std::move(backend), nullptr);
        // Slice points: a loaded sample has none until the sensitivity moves.
        m_form->findChild<QSlider*>("TrackBar1")->setValue(40000);
        waitUntilIdle(*m_form);
        ASSERT_GE(doc().SliceCount, 3);
    }

    // The first use asks for the input.
    void startAudition() {
        m_dialogs.names.push_back("In B");
        action("PlayFromKeyboard1")->trigger();
        ASSERT_TRUE(action("PlayFromKeyboard1")->isChecked());
        ASSERT_TRUE(m_form->audition().active());
    }

    // A key struck: the note plays from the next block the output plays; the selection follows
    // on the window's thread.
    std::vector<std::int16_t> strike(int note, std::size_t frames, int velocity = 127) {
        EXPECT_TRUE(midi->deliver(
            1, {0x90, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity)}));
        auto block = out().playBlock(frames, doc().Channels);
        QApplication::processEvents();
        midi->deliver(1, {0x80, static_cast<std::uint8_t>(note), 0});
        out().playBlock(4096, doc().Channels); // the release
        return block;
    }

    // What the key's segment holds: `frames` frames of both channels (merged), or each
    // channel's own segment on its side (split stereo).
    std::vector<std::int16_t> expectedBlock(int note, std::size_t frames) {
        const auto* samples = reinterpret_cast<const std::int16_t*>(doc().SampleData.data());
        std::vector<std::int16_t> block(frames * 2, 0);
        for (const KeySegment& key : segmentsOnKey(doc(), KeymapSettings{}, note)) {
            const std::size_t first = key.segment.start / 4;
            for (std::size_t f = 0; f < frames; ++f)
                for (std::size_t c = 0; c < 2; ++c)
                    if (!key.segment.suffix || (key.segment.suffix == 'L') == (c == 0))
                        block[2 * f + c] = samples[2 * (first + f) + c];
        }
        return block;
    }

    FakeMidiBackend* midi = nullptr;
};

TEST_F(AuditionTest, AKeyPlaysItsSegmentAndSelectsItWhilePlayRunsAndAfterAnUndo) {
    startAudition();
    EXPECT_EQ(m_form->settings().AuditionPort, "Fake In B") << "kept for the next time";
    const auto keys = segmentsOnKey(doc(), KeymapSettings{}, 50);
    ASSERT_EQ(keys.size(), 1u) << "the demo loop has a third segment";
    const std::uint32_t third = keys[0].segment.start;
    const std::size_t frames = std::min<std::size_t>(keys[0].segment.byteCount / 4, 2000);

    EXPECT_EQ(strike(50, frames), expectedBlock(50, frames));
    ASSERT_TRUE(m_form->view().selected);
    EXPECT_EQ(m_form->view().selected->start, third) << "the key's segment is selected";

    action("Button3")->trigger(); // Play runs meanwhile
    ASSERT_TRUE(m_form->player()->isPlaying());
    EXPECT_EQ(strike(50, frames), expectedBlock(50, frames));

    const auto before = expectedBlock(50, frames);
    action("Invert1")->trigger();
    waitUntilIdle(*m_form);
    auto inverted = before;
    for (auto& s : inverted)
        s = static_cast<std::int16_t>(-s - 1);
    EXPECT_EQ(strike(50, frames), inverted) << "the key plays the data as it is now";
    action("mnuUndo")->trigger();
    waitUntilIdle(*m_form);
    EXPECT_EQ(strike(50, frames), before) << "and again after the undo";

    action("PlayFromKeyboard1")->trigger();
    EXPECT_FALSE(m_form->audition().active());
    EXPECT_FALSE(midi->deliver(1, {0x90, 50, 127})) << "the input is closed";
}

TEST_F(AuditionTest, SplitStereoKeysPlayEachChannelsSegmentOnItsSideAndPlayThroughRunsToR) {
    m_form->LR2Click();
    waitUntilIdle(*m_form);
    ASSERT_FALSE(doc().MergeChannels);
    startAudition();
    for (const int note : {48, 49, 51}) {
        SCOPED_TRACE(note);
        EXPECT_EQ(strike(note, 500), expectedBlock(note, 500));
    }

    action("PlayThrough1")->trigger();
    EXPECT_TRUE(m_form->settings().AuditionPlayThrough);
    // The key sounds on past its segment's end, into the next one, up to locator R.
    const auto keys = segmentsOnKey(doc(), KeymapSettings{}, 48);
    ASSERT_FALSE(keys.empty());
    const std::size_t first = keys[0].segment.start / 4;
    const std::size_t frames = keys[0].segment.byteCount / 2 + 500;
    ASSERT_LT(first + frames, std::min<std::size_t>(doc().LocatorR, doc().DataLength) / 4);
    const auto* samples = reinterpret_cast<const std::int16_t*>(doc().SampleData.data());
    midi->deliver(1, {0x90, 48, 127});
    const auto block = out().playBlock(frames, 2);
    for (std::size_t f = 0; f < frames; ++f)
        ASSERT_EQ(block[2 * f], samples[2 * (first + f)]) << "left channel, frame " << f;
}

TEST_F(AuditionTest, AnInputThatIsNotThereIsRefusedWithTheInputsListed) {
    m_dialogs.names.push_back("Nowhere");
    action("PlayFromKeyboard1")->trigger();
    EXPECT_FALSE(action("PlayFromKeyboard1")->isChecked());
    EXPECT_FALSE(m_form->audition().active());
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_TRUE(m_dialogs.shown.back().text.contains("Fake In A"));
}

} // namespace
} // namespace tolvane::test
