// Files from elsewhere in the window: the slice-marker WAV out and in, and 24-bit, float and
// FLAC samples converted after the question.
#include "app/TMainForm.h"
#include "fakes/FakeAudio.h"
#include "fakes/ScriptedDialogs.h"
#include "fileio/CuePoints.h"
#include "fileio/LoadMessages.h"
#include "gui/WindowTestSupport.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::Bytes;

class OtherFormatsTest : public test::LoadedWindowTest {
protected:
    std::vector<std::uint32_t> slicePositions() {
        std::vector<std::uint32_t> positions;
        for (int i = 1; i <= doc().SliceCount; ++i)
            positions.push_back(doc().SliceTable[i].Position);
        return positions;
    }

    void open(const std::string& file, std::vector<MessageAnswer> answers) {
        m_dialogs.shown.clear();
        if (m_form->isModified()) // a converted sample is unsaved: discard it
            answers.insert(answers.begin(), MessageAnswer::No);
        m_dialogs.answers.assign(answers.begin(), answers.end());
        m_form->openDroppedFile(QString::fromStdString(file));
        test::waitUntilIdle(*m_form);
        QApplication::processEvents();
        test::waitUntilIdle(*m_form);
    }

    bool asked(const QString& text) {
        for (const auto& shown : m_dialogs.shown)
            if (shown.text == text)
                return true;
        return false;
    }

    std::vector<std::int16_t> documentSamples() {
        return test::samples16(
            Bytes(doc().SampleData.data(), doc().SampleData.data() + doc().DataLength));
    }
};

// The source's samples rounded to 16 bits, decoded by sox without dither from 32-bit integers.
std::vector<long> roundedSource(const std::string& path) {
    const std::string raw = path + ".raw";
    test::runOrFail("sox -D " + test::shellQuote(path) + " -t raw -e signed-integer -b 32 " +
                    test::shellQuote(raw));
    const Bytes bytes = test::readBytes(raw);
    std::vector<long> samples;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4)
        samples.push_back(
            std::lround(static_cast<std::int32_t>(test::getLe32(bytes, i)) / 65536.0));
    return samples;
}

TEST_F(OtherFormatsTest, MarkersFileReadsBackAsExactlyTheSlicePointsInMonoAndStereo) {
    m_form->setSensitivityPercent(50);
    QApplication::processEvents();
    const std::vector<std::uint32_t> points = slicePositions();
    ASSERT_GT(points.size(), 2u);
    const std::string marked = m_dir.file("marked.wav");
    m_dialogs.files.push_back(QString::fromStdString(marked));
    action("SaveMarkersItem")->trigger();
    test::waitUntilIdle(*m_form);
    ASSERT_TRUE(std::filesystem::exists(marked));
    EXPECT_EQ(readCuePoints(marked, 1u << 30).frames.size(), points.size());

    // Declined: the scan's points; accepted: exactly the marked ones, locked, at any sensitivity.
    open(marked, {MessageAnswer::No});
    EXPECT_TRUE(asked(
        QString("This file has %1 cue points. Use them as slice points?").arg(points.size())));
    EXPECT_FALSE(doc().SliceCount > 0 && doc().SliceTable[1].Locked);
    open(marked, {MessageAnswer::Yes});
    EXPECT_EQ(slicePositions(), points);
    m_form->setSensitivityPercent(0);
    QApplication::processEvents();
    EXPECT_EQ(slicePositions(), points) << "locked: the sensitivity keeps them";

    // A process with undo and redo keeps them; the stereo split gives each channel its own.
    action("Invert1")->trigger();
    test::waitUntilIdle(*m_form);
    m_form->mnuUndoClick();
    test::waitUntilIdle(*m_form);
    m_form->mnuUndoClick();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(slicePositions(), points);
    m_form->LR2Click();
    QApplication::processEvents();
    EXPECT_EQ(doc().SliceCount, static_cast<int>(2 * points.size()));
}

TEST_F(OtherFormatsTest, TwentyFourBitFloatAndFlacOpenAfterTheQuestionWithin1Lsb) {
    struct Source {
        const char* name;
        const char* format;
        const char* description;
    };
    for (const Source& source : {Source{"s24.wav", "-b 24 -c 2", "24-bit"},
                                 Source{"f32.wav", "-e floating-point -b 32 -c 1", "32-bit float"},
                                 Source{"s32.aif", "-b 32 -c 2", "32-bit"},
                                 Source{"s24.flac", "-b 24 -c 1", "FLAC 24-bit"},
                                 Source{"u8.wav", "-b 8 -c 1", "8-bit"}}) {
        SCOPED_TRACE(source.name);
        const std::string path = m_dir.file(source.name);
        test::soxSynth(path, source.format, 0.3, "sine 440 vol 0.9");
        open(path, {MessageAnswer::Yes});
        EXPECT_TRUE(asked(QString("This file is %1; WaveTolvane edits 16-bit samples. Convert it?")
                              .arg(source.description)));
        ASSERT_TRUE(doc().DocumentOpen);
        EXPECT_EQ(doc().FileName, source.name) << "no folder: nothing on disk to save to";
        EXPECT_TRUE(m_form->isModified());
        const std::vector<long> expected = roundedSource(path);
        const std::vector<std::int16_t> got = documentSamples();
        ASSERT_EQ(got.size(), expected.size());
        long worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::abs(got[i] - expected[i]));
        EXPECT_LE(worst, 1);
    }

    // Save asks for a name and leaves the source as it was.
    const Bytes source = test::readBytes(m_dir.file("u8.wav"));
    const std::string saved = m_dir.file("converted.wav");
    m_dialogs.files.push_back(QString::fromStdString(saved));
    m_form->SaveitemClick();
    test::waitUntilIdle(*m_form);
    EXPECT_EQ(m_dialogs.fileRequests.back().caption, "Save Waveform As");
    EXPECT_EQ(test::readBytes(m_dir.file("u8.wav")), source);
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_FALSE(m_form->isModified());
}

TEST_F(OtherFormatsTest, RefusalWithoutAgreementAndADamagedFlacSaySo) {
    const std::vector<std::uint8_t> before = bytes(0, 64);
    const std::string path = m_dir.file("s24.wav");
    test::soxSynth(path, "-b 24", 0.2);
    open(path, {MessageAnswer::No});
    EXPECT_TRUE(asked(kMsgTypeUnrecognised));
    EXPECT_EQ(bytes(0, 64), before) << "the open sample stays";

    const std::string flac = m_dir.file("s24.flac");
    test::soxSynth(flac, "-b 24", 0.5);
    Bytes cut = test::readBytes(flac);
    cut.resize(cut.size() / 2);
    test::writeBytes(m_dir.file("cut.flac"), cut);
    open(m_dir.file("cut.flac"), {MessageAnswer::Yes});
    ASSERT_FALSE(m_dialogs.shown.empty());
    const QString error = m_dialogs.shown.back().text;
    EXPECT_TRUE(error.startsWith(kMsgUnableToLoad)) << error.toStdString();
    EXPECT_TRUE(error.contains("damaged")) << error.toStdString();
    EXPECT_EQ(bytes(0, 64), before);
}

TEST_F(OtherFormatsTest, AlwaysConvertOpensWithoutTheQuestion) {
    start(true, {{"AlwaysConvert", "true"}});
    const std::string path = m_dir.file("f32.wav");
    test::soxSynth(path, "-e floating-point -b 32", 0.2);
    open(path, {});
    EXPECT_TRUE(m_dialogs.shown.empty());
    EXPECT_EQ(doc().FileName, "f32.wav");
    EXPECT_EQ(doc().BitsPerSample, 16);
}

} // namespace
} // namespace tolvane
