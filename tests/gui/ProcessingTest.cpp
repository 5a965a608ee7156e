// Processing from the real main window: each command with its dialog, undo and redo, in mono,
// merged and split stereo, while playing.
#include "app/dialogs/TConRateForm.h"
#include "app/dialogs/TConvertForm.h"
#include "app/dialogs/TNormaliseForm.h"
#include "app/dialogs/TQuantiseForm.h"
#include "app/dialogs/TStripForm.h"
#include "gui/WindowTestSupport.h"
#include "processing/ProcessedSamples.h"
#include "processing/StripSilence.h"
#include "slicing/PointEditing.h"
#include "view/SegmentBounds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace tolvane {
namespace {

using Samples = std::vector<std::int16_t>;

// Answers the next modal dialog of type D: `fill` sets its controls, then it is accepted or
// rejected as the user would.
template <typename D> void answerDialog(std::function<void(D&)> fill, bool accept = true) {
    QTimer::singleShot(0, [fill = std::move(fill), accept] {
        auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the expected dialog is not open";
        fill(*dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
}

// Loud square-wave bursts (never quiet) between stretches of digital silence.
Samples bursts(const std::vector<std::pair<int, bool>>& pieces, int channels) {
    Samples samples;
    for (const auto& [frames, loud] : pieces)
        for (int i = 0; i < frames * channels; ++i)
            samples.push_back(static_cast<std::int16_t>(loud ? ((i / 64) % 2 ? -9000 : 9000) : 0));
    return samples;
}

class ProcessingTest : public test::LoadedWindowTest {
protected:
    Samples samples() {
        return test::samples16(bytes(0, static_cast<std::uint32_t>(doc().DataLength)));
    }
    std::vector<std::uint8_t> allBytes() {
        return bytes(0, static_cast<std::uint32_t>(doc().DataLength));
    }

    void openSamples(std::uint16_t channels, const Samples& data) {
        const std::string file = m_dir.file("made.wav");
        test::writeBytes(file, test::waveImage(channels, 44100, test::pcm16(data)));
        m_form->openDroppedFile(QString::fromStdString(file));
        test::waitUntilIdle(*m_form);
        ASSERT_EQ(doc().FileName, file);
    }

    void run(const char* command) {
        action(command)->trigger();
        test::waitUntilIdle(*m_form);
    }

    // The segment under the pointer at the middle of [start, end), in the given half.
    void pointInto(std::uint32_t start, std::uint32_t end, bool upperHalf) {
        movePointer(QPoint((xOf(start) + xOf(end)) / 2,
                           upperHalf ? wave()->height() / 4 : wave()->height() * 3 / 4));
    }

    // A key on the window, which a closed dialog may have left inactive.
    void press(Qt::Key key) {
        m_form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        QTest::keyClick(m_form.get(), key);
    }

    QString caption() { return m_form->windowTitle(); }
    QString undoText() { return action("mnuUndo")->text(); }
};

TEST_F(ProcessingTest, NormaliseStopsPlaybackPutsThePeakOnFullScaleAndUndoesByteForByte) {
    const auto original = allBytes();
    action("Button20")->trigger();
    ASSERT_TRUE(m_form->player()->isPlaying());
    answerDialog<TNormaliseForm>([](TNormaliseForm& d) {
        EXPECT_EQ(d.edit()->text(), "100");
        d.findChild<QCheckBox*>("CheckBox2")->setChecked(false); // no "D.C. center"
    });
    run("Normalise1");
    EXPECT_FALSE(m_form->player()->isPlaying());
    const Samples normalised = samples();
    int peak = 0;
    for (const std::int16_t s : normalised)
        peak = std::max(peak, std::abs(int{s}));
    EXPECT_EQ(peak, 32767);
    EXPECT_EQ(caption(), "loop.wav* - WaveTolvane");
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 44100 hz stereo");
    EXPECT_GT(doc().CandidateCount, 0) << "the scan ran again";
    const auto processed = allBytes();

    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), original);
    EXPECT_EQ(caption(), "loop.wav - WaveTolvane");
    EXPECT_EQ(undoText(), "&Redo");
    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), processed);
    EXPECT_EQ(undoText(), "&Undo");

    // The dialog opens as it was left; cancelling changes nothing.
    answerDialog<TNormaliseForm>(
        [](TNormaliseForm& d) {
            EXPECT_FALSE(d.findChild<QCheckBox*>("CheckBox2")->isChecked());
            EXPECT_TRUE(d.findChild<QCheckBox*>("CheckBox1")->isChecked());
        },
        false);
    run("Normalise1");
    EXPECT_EQ(allBytes(), processed);
}

TEST_F(ProcessingTest, InvertAndQuantiseWorkOnTheChosenChannelOfSplitStereo) {
    m_form->LR2Click();
    action("RightChannel")->trigger(); // the left channel alone
    ASSERT_EQ(doc().FirstChannel, 1);
    ASSERT_EQ(doc().LastChannel, 1);
    const Samples original = samples();
    run("Invert1");
    Samples expected = original;
    for (std::size_t i = 0; i < expected.size(); i += 2)
        expected[i] = static_cast<std::int16_t>(-expected[i] - 1);
    EXPECT_EQ(samples(), expected) << "left inverted, right as it was";
    EXPECT_FALSE(doc().MergeChannels) << "the channel mode stays";

    answerDialog<TQuantiseForm>([](TQuantiseForm& d) {
        EXPECT_EQ(d.level(), 4) << "the default level";
        d.slider()->setValue(2);
    });
    run("Bitreduction1");
    const Samples quantised = samples();
    for (std::size_t i = 0; i < quantised.size(); i += 2) {
        ASSERT_EQ(quantised[i] % 16384, 0) << "two bits kept, sample " << i;
        ASSERT_EQ(quantised[i + 1], original[i + 1]);
    }
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), expected);
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), quantised);
}

TEST_F(ProcessingTest, ConvertingToMonoAndBackFollowsTheFormatAndUndoRestoresIt) {
    const auto original = allBytes();
    const Samples stereo = samples();
    answerDialog<TConvertForm>([](TConvertForm& d) {
        EXPECT_EQ(d.windowTitle(), "Convert to mono");
        ASSERT_EQ(d.list()->count(), 3);
        EXPECT_EQ(d.list()->currentItem()->text(), "Merge Channels");
    });
    run("Convert1");
    ASSERT_EQ(doc().Channels, 1);
    const Samples mono = samples();
    ASSERT_EQ(mono.size() * 2, stereo.size());
    for (std::size_t i = 0; i < mono.size(); i += 997)
        ASSERT_EQ(mono[i], stereo[2 * i] / 2 + stereo[2 * i + 1] / 2) << i;
    EXPECT_EQ(m_audio.lastChannels, 1) << "the output opened again for mono";
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 44100 hz mono");
    EXPECT_FALSE(action("LeftChannel")->isEnabled());
    EXPECT_FALSE(m_form->findChild<QToolButton*>("CButton")->isVisible());
    EXPECT_GT(doc().CandidateCount, 0) << "the mono sample was scanned";
    EXPECT_EQ(doc().LocatorR, static_cast<std::uint32_t>(doc().DataLength));

    m_form->mnuUndoClick();
    EXPECT_EQ(doc().Channels, 2);
    EXPECT_EQ(allBytes(), original);
    EXPECT_EQ(m_audio.lastChannels, 2);
    EXPECT_TRUE(action("LeftChannel")->isEnabled());
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), mono);

    // Mono to stereo: the one item, both channels alike, merged.
    answerDialog<TConvertForm>([](TConvertForm& d) {
        EXPECT_EQ(d.windowTitle(), "Convert to stereo");
        ASSERT_EQ(d.list()->count(), 1);
        EXPECT_EQ(d.list()->item(0)->text(), "Mono to stereo");
    });
    run("Convert1");
    ASSERT_EQ(doc().Channels, 2);
    EXPECT_TRUE(doc().MergeChannels);
    const Samples doubled = samples();
    for (std::size_t i = 0; i < mono.size(); i += 991) {
        ASSERT_EQ(doubled[2 * i], mono[i]);
        ASSERT_EQ(doubled[2 * i + 1], mono[i]);
    }
    EXPECT_EQ(m_audio.lastChannels, 2);
    EXPECT_EQ(m_form->findChild<QToolButton*>("CButton")->text(), "L + R");
}

TEST_F(ProcessingTest, ReverseAndSilenceTheSegmentUnderThePointerWhilePlaying) {
    m_form->setSensitivityPercent(100);
    ASSERT_GE(doc().SliceCount, 3);
    const std::uint32_t start = doc().SliceTable[2].Position;
    const std::uint32_t end = doc().SliceTable[3].Position;
    ASSERT_GE(start, 1000u) << "a fade before the segment";
    doc().LocatorL = start;
    doc().LocatorR = end;
    action("Button20")->trigger(); // loop the segment
    ASSERT_TRUE(m_form->player()->isPlaying());
    const auto original = bytes(start, end);
    pointInto(start, end, true);

    action("mnuReverse")->trigger();
    std::vector<std::uint8_t> reversed;
    for (std::uint32_t at = end; at > start; at -= 4)
        reversed.insert(reversed.end(), original.begin() + (at - 4 - start),
                        original.begin() + (at - start));
    EXPECT_EQ(bytes(start, end), reversed) << "merged stereo reverses whole frames";
    EXPECT_TRUE(m_form->player()->isPlaying()) << "playback goes on";
    EXPECT_TRUE(
        std::equal(reversed.begin(), reversed.begin() + 400, out().written.front().bytes.begin()))
        << "and plays the reversed bytes";
    EXPECT_EQ(caption(), "loop.wav* - WaveTolvane");

    m_form->mnuUndoClick();
    EXPECT_EQ(bytes(start, end), original);
    const auto before = bytes(start - 1000, start);

    press(Qt::Key_Delete); // "Silence" at the pointer
    const auto silenced = bytes(start, end);
    EXPECT_TRUE(
        std::all_of(silenced.begin(), silenced.end(), [](std::uint8_t b) { return b == 0; }));
    const auto faded = test::samples16(bytes(start - 1000, start));
    EXPECT_EQ(faded[0], test::samples16(before)[0]) << "the fade starts at the level it finds";
    EXPECT_EQ(faded[498], 0);
    EXPECT_EQ(faded[499], 0) << "and ends at 0 where the silence begins";
    EXPECT_EQ(out().written.front().bytes[0], 0);
    m_form->mnuUndoClick();
    EXPECT_EQ(bytes(start - 1000, start), before);
    EXPECT_EQ(bytes(start, end), original);
}

TEST_F(ProcessingTest, TheSilenceReverseToolWorksOnTheChannelUnderThePointerInSplitStereo) {
    m_form->LR2Click();
    m_form->setSensitivityPercent(100);
    m_form->chooseTool(Tool::SilenceReverse);
    const std::int64_t middle = doc().DataLength / 2;
    const auto right = segmentAt(doc(), middle, kChannelMonoOrRight);
    ASSERT_TRUE(right && right->end > right->start + 8);
    const Samples original = samples();

    // Left button in the lower half: the right channel's segment goes silent.
    pointInto(right->start, right->end, false);
    const QPoint lower((xOf(right->start) + xOf(right->end)) / 2, wave()->height() * 3 / 4);
    QTest::mouseClick(wave(), Qt::LeftButton, {}, lower);
    Samples result = samples();
    for (std::uint32_t at = right->start; at < right->end; at += 4) {
        ASSERT_EQ(result[at / 2], 0) << at;
        ASSERT_EQ(result[at / 2 - 1], original[at / 2 - 1]) << "the left sample of the frame stays";
    }
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), original);

    // Right button in the upper half: the left channel's segment under it is reversed.
    const auto left = segmentAt(doc(), middle, kChannelLeftSplit);
    ASSERT_TRUE(left && left->end > left->start + 8);
    const QPoint upper((xOf(left->start) + xOf(left->end)) / 2, wave()->height() / 4);
    movePointer(upper);
    QTest::mouseClick(wave(), Qt::RightButton, {}, upper);
    result = samples();
    const std::uint32_t last = left->end - 4;
    EXPECT_EQ(result[left->start / 2], original[last / 2]);
    EXPECT_EQ(result[last / 2], original[left->start / 2]);
    for (std::uint32_t at = left->start + 2; at < left->end; at += 4)
        ASSERT_EQ(result[at / 2], original[at / 2]) << "the right channel stays";
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), original);
}

TEST_F(ProcessingTest, AdjustingTheRateKeepsTheDataReopensTheOutputAndUndoes) {
    const auto original = allBytes();
    answerDialog<TConRateForm>([](TConRateForm& d) {
        EXPECT_EQ(d.rates()->currentText(), "44100");
        d.rates()->setEditText("22050");
    });
    run("Adjustsamplerate1");
    EXPECT_EQ(doc().SampleRate, 22050u);
    EXPECT_EQ(doc().BytesPerSecond, 88200u);
    EXPECT_EQ(allBytes(), original);
    EXPECT_EQ(m_audio.lastRate, 22050);
    EXPECT_EQ(m_form->statusText(1), "16 Bit / 22050 hz stereo");
    EXPECT_EQ(caption(), "loop.wav* - WaveTolvane");
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().SampleRate, 44100u);
    EXPECT_EQ(m_audio.lastRate, 44100) << "the player takes the restored rate";
    EXPECT_EQ(caption(), "loop.wav - WaveTolvane");
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().SampleRate, 22050u);

    // A device that refuses the rate says so and stays closed.
    m_audio.refuse = true;
    answerDialog<TConRateForm>([](TConRateForm& d) { d.rates()->setEditText("11025"); });
    run("Adjustsamplerate1");
    EXPECT_EQ(doc().SampleRate, 11025u);
    EXPECT_FALSE(m_form->player()->isOpen());
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown.back().text, kMsgRateRejected);
}

TEST_F(ProcessingTest, StripSilenceRemovesTheQuietStretchesAndRemembersTheDialog) {
    const Samples made = bursts({{9000, true}, {3000, false}, {9000, true}, {200, false}}, 2);
    openSamples(2, made);
    const auto original = allBytes();
    answerDialog<TStripForm>([](TStripForm& d) {
        EXPECT_EQ(d.threshold(), 20) << "the remembered THold";
        EXPECT_EQ(d.gap(), 10000) << "the remembered Gapp";
        EXPECT_EQ(d.pointsList()->currentIndex(), 0);
        d.thresholdSlider()->setValue(1);
        d.gapSlider()->setValue(1000);
    });
    run("StripSilence1");
    EXPECT_EQ(doc().DataLength, 4 * 18000) << "both silences went";
    EXPECT_EQ(doc().LocatorR, static_cast<std::uint32_t>(doc().DataLength));
    EXPECT_EQ(m_form->view().viewLength, doc().DataLength) << "the whole sample shown";
    EXPECT_EQ(m_audio.lastChannels, 2);
    EXPECT_EQ(caption(), "made.wav* - WaveTolvane");
    EXPECT_EQ(m_form->settings().THold, 1);
    EXPECT_EQ(m_form->settings().Gapp, 1000);
    // The join after the first burst got a locked point, which the scan only refined.
    const auto locked = std::count_if(doc().CandidateTable.begin() + 1,
                                      doc().CandidateTable.begin() + 1 + doc().CandidateCount,
                                      [](const PointRecord& p) { return p.Locked != 0; });
    EXPECT_EQ(locked, 1);
    const auto stripped = allBytes();

    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), original);
    EXPECT_EQ(caption(), "made.wav - WaveTolvane");
    m_form->mnuUndoClick();
    EXPECT_EQ(allBytes(), stripped);

    // The dialog opens on the chosen positions; with the locators 50 bytes apart nothing
    // happens.
    doc().LocatorL = 100;
    doc().LocatorR = 150;
    answerDialog<TStripForm>([](TStripForm& d) {
        EXPECT_EQ(d.threshold(), 1);
        EXPECT_EQ(d.gap(), 1000);
    });
    run("StripSilence1");
    EXPECT_EQ(allBytes(), stripped);
}

TEST_F(ProcessingTest, StripSilenceKeepsOldPointsInMonoAndRefusesAllSilence) {
    openSamples(1, bursts({{9000, true}, {3000, false}, {9000, true}}, 1));
    // A locked point in the second burst, 6000 bytes after the silence.
    const std::uint32_t added = 2 * 15000;
    ASSERT_TRUE(addPoint(doc(), added, kChannelMonoOrRight, false));
    m_form->redrawAll();
    answerDialog<TStripForm>([](TStripForm& d) {
        d.thresholdSlider()->setValue(1);
        d.gapSlider()->setValue(1000);
        d.pointsList()->setCurrentIndex(1); // "Keep old"
    });
    run("StripSilence1");
    EXPECT_EQ(doc().DataLength, 2 * 18000);
    EXPECT_FALSE(doc().DetectPending) << "the old points stay as they were moved";
    EXPECT_TRUE(std::any_of(doc().CandidateTable.begin() + 1,
                            doc().CandidateTable.begin() + 1 + doc().CandidateCount,
                            [&](const PointRecord& p) { return p.Position == added - 6000; }))
        << "moved left by the silence before it";

    m_dialogs.answers.push_back(MessageAnswer::No); // not saved
    openSamples(1, Samples(20000, 0));
    const auto silent = allBytes();
    m_dialogs.shown.clear();
    answerDialog<TStripForm>([](TStripForm& d) { d.thresholdSlider()->setValue(1); });
    run("StripSilence1");
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text, kMsgNothingWouldRemain);
    EXPECT_EQ(allBytes(), silent);
    EXPECT_FALSE(m_form->isModified());

    // Normalising that silence is the processing error, and changes nothing either.
    answerDialog<TNormaliseForm>([](TNormaliseForm&) {});
    run("Normalise1");
    ASSERT_EQ(m_dialogs.shown.size(), 2u);
    EXPECT_EQ(m_dialogs.shown[1].text, kMsgProcessingError);
    EXPECT_EQ(allBytes(), silent);
    EXPECT_FALSE(m_form->isModified());
}

TEST_F(ProcessingTest, InAMonoSampleEveryCommandWorksOnEverySample) {
    Samples made;
    for (int i = 0; i < 30000; ++i)
        made.push_back(static_cast<std::int16_t>((i * 131) % 4001 - 1500)); // mean not 0
    openSamples(1, made);
    action("Button20")->trigger();
    answerDialog<TNormaliseForm>([](TNormaliseForm& d) { d.edit()->setText("50"); });
    run("Normalise1");
    const Samples normalised = samples();
    const auto [low, high] = std::minmax_element(normalised.begin(), normalised.end());
    EXPECT_EQ(std::max(-int{*low}, int{*high}), 16383) << "50 % of full scale from the centre";
    run("Invert1");
    EXPECT_EQ(samples()[7], -normalised[7] - 1);
    const Samples inverted = samples();

    // Insert reverses the segment under the pointer: here the whole sample (no slice points).
    m_form->setSensitivityPercent(0);
    doc().CandidateCount = 0;
    m_form->redrawAll();
    action("Button3")->trigger();
    pointInto(0, static_cast<std::uint32_t>(doc().DataLength), true);
    press(Qt::Key_Insert);
    const Samples reversed = samples();
    EXPECT_TRUE(std::equal(reversed.begin(), reversed.end(), inverted.rbegin()));
    EXPECT_TRUE(m_form->player()->isPlaying());
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), inverted);
    m_form->mnuUndoClick();
    EXPECT_EQ(samples(), reversed);
}

// The window is disabled while a worker changes the data, but it still paints (a resize, an
// exposure): the picture is not drawn from data that is being rewritten.
TEST_F(ProcessingTest, APaintWhileAWorkerChangesTheDataKeepsTheOldPicture) {
    const QSize before = m_form->waveformPicture().size();
    ASSERT_EQ(before, wave()->size());
    answerDialog<TConvertForm>([](TConvertForm&) {});
    action("Convert1")->trigger();
    ASSERT_TRUE(m_form->isBusy()) << "the worker's end is delivered on this thread, later";
    m_form->resize(m_form->width() + 40, m_form->height() + 30);
    ASSERT_NE(wave()->size(), before);
    wave()->repaint();
    EXPECT_EQ(m_form->waveformPicture().size(), before);
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(doc().Channels, 1);
    EXPECT_EQ(m_form->waveformPicture().size(), wave()->size()) << "drawn again afterwards";
}

TEST_F(ProcessingTest, WithUndoOffProcessingWorksAndUndoStaysOff) {
    start(false);
    const Samples original = samples();
    run("Invert1");
    EXPECT_EQ(samples()[0], -original[0] - 1);
    EXPECT_FALSE(action("mnuUndo")->isEnabled());
    pointInto(0, static_cast<std::uint32_t>(doc().DataLength), true);
    action("mnuSilence")->trigger();
    EXPECT_FALSE(action("mnuUndo")->isEnabled());
}

TEST(ProcessingDialogs, NormaliseTakesOnlyAWholePercentageAndEnterIsOk) {
    TNormaliseForm form(NormaliseChoice{});
    for (const char* bad : {"", "abc", "0", "1001", "12.5"}) {
        form.edit()->setText(bad);
        EXPECT_FALSE(form.okButton()->isEnabled()) << bad;
    }
    QTest::keyClick(form.edit(), Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Rejected) << "Enter does nothing while OK is disabled";
    form.edit()->setText("250");
    EXPECT_TRUE(form.okButton()->isEnabled());
    EXPECT_EQ(form.percent(), 250);
    form.show();
    QTest::keyClick(form.edit(), Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(ProcessingDialogs, TheRateDialogOpensOnTheMatchingItemOrOnNone) {
    TConRateForm close(44110);
    EXPECT_EQ(close.rates()->currentText(), "44100") << "the hundreds match";
    EXPECT_TRUE(close.okButton()->isEnabled());
    TConRateForm other(32000);
    EXPECT_EQ(other.rates()->currentIndex(), -1);
    EXPECT_EQ(other.rates()->currentText(), "");
    EXPECT_FALSE(other.okButton()->isEnabled());
    other.rates()->setEditText("abc");
    EXPECT_FALSE(other.okButton()->isEnabled());
    other.rates()->setEditText("800000");
    EXPECT_FALSE(other.okButton()->isEnabled()) << "above the highest rate the editor takes";
    other.rates()->setEditText("32000");
    EXPECT_EQ(other.rate(), 32000u);
}

} // namespace
} // namespace tolvane
