// Dragging a segment or the region out of the waveform: the file dropped on another program
// holds the bytes the save commands write, in mono, merged and split stereo, after an undo.
#include "gui/WindowTestSupport.h"

#include <QDropEvent>
#include <QUrl>
#include <QWidget>

namespace tolvane {
namespace {

// A window of another program that takes dropped files, as a file manager or a DAW does.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }
    QList<QUrl> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasFormat("text/uri-list"))
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

class DragOutTest : public test::LoadedWindowTest {
protected:
    void SetUp() override {
        LoadedWindowTest::SetUp();
        m_form->setDragStarter([this](std::unique_ptr<QMimeData> data) { dropOnTarget(*data); });
        m_form->setSensitivityPercent(100);
    }

    void dropOnTarget(QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&m_target, &enter);
        ASSERT_TRUE(enter.isAccepted()) << "a drop target for files takes it";
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&m_target, &drop);
    }

    // The middle of slice `slice`, in the upper or lower half of the waveform.
    QPoint inSlice(int slice, bool upper = true) {
        const std::uint32_t start = doc().SliceTable[slice].Position;
        const std::uint32_t end = doc().SliceTable[slice + 1].Position;
        return {(xOf(start) + xOf(end)) / 2,
                upper ? wave()->height() / 4 : wave()->height() * 3 / 4};
    }

    // Presses at `from`, moves past the drag distance and lets go.
    void pressAndMove(QPoint from, Qt::KeyboardModifiers modifiers) {
        m_target.dropped.clear();
        movePointer(from);
        QTest::mousePress(wave(), Qt::LeftButton, modifiers, from);
        const QPoint away = from + QPoint(QApplication::startDragDistance() + 5, 0);
        QTest::mouseMove(wave(), away);
        QTest::mouseRelease(wave(), Qt::LeftButton, modifiers, away);
    }

    // The bytes of the file a drag from `from` dropped.
    std::vector<std::uint8_t> dragOut(QPoint from, Qt::KeyboardModifiers modifiers) {
        pressAndMove(from, modifiers);
        if (m_target.dropped.size() != 1 || !m_target.dropped.front().isLocalFile()) {
            ADD_FAILURE() << "one local file is dropped";
            return {};
        }
        m_lastDropped = m_target.dropped.front().toLocalFile().toStdString();
        return test::readBytes(m_lastDropped);
    }

    // What a save command writes, with the pointer at `at`.
    std::vector<std::uint8_t> saved(void (TMainForm::*save)(), QPoint at) {
        movePointer(at);
        const std::string file = m_dir.file("saved" + std::to_string(++m_saves) + ".wav");
        m_dialogs.files.push_back(QString::fromStdString(file));
        (m_form.get()->*save)();
        test::waitUntilIdle(*m_form);
        return test::readBytes(file);
    }

    DropTarget m_target;
    std::string m_lastDropped;
    int m_saves = 0;
};

TEST_F(DragOutTest, AnAltDragGivesTheSegmentAndWithCtrlTheRegionAsTheSaveWritesThem) {
    const QPoint at = inSlice(2);
    const auto segment = dragOut(at, Qt::AltModifier);
    ASSERT_GT(segment.size(), 44u);
    EXPECT_EQ(segment, saved(&TMainForm::PopUpSaveClick, at));
    EXPECT_EQ(std::filesystem::path(m_lastDropped).filename().string(), "loop-1.wav");

    const auto region = dragOut(at, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(region, saved(&TMainForm::SaveRegionItemClick, at));
    EXPECT_GT(region.size(), segment.size());

    const auto folder = std::filesystem::path(m_lastDropped).parent_path();
    EXPECT_EQ(folder.filename().string().rfind("WaveTolvane-drag-", 0), 0u);
    m_form.reset(); // exit
    EXPECT_FALSE(std::filesystem::exists(folder)) << "the drag folder goes at exit";
}

TEST_F(DragOutTest, TheSaveSegmentToolDragsWithoutAltInMono) {
    const auto stereo = test::samples16(bytes(0, static_cast<std::uint32_t>(doc().DataLength)));
    std::vector<std::int16_t> left;
    for (std::size_t i = 0; i < stereo.size(); i += 2)
        left.push_back(stereo[i]);
    const std::string file = m_dir.file("mono.wav");
    test::writeBytes(file, test::waveImage(1, 44100, test::pcm16(left)));
    m_form->openDroppedFile(QString::fromStdString(file));
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(doc().Channels, 1);
    m_form->setSensitivityPercent(100);

    const QPoint at = inSlice(3);
    pressAndMove(at, Qt::NoModifier);
    EXPECT_TRUE(m_target.dropped.empty()) << "the select tool without Alt drags nothing out";
    m_form->chooseTool(Tool::SaveSegment);
    const auto segment = dragOut(at, Qt::NoModifier);
    ASSERT_GT(segment.size(), 44u);
    EXPECT_EQ(test::getLe32(segment, 22) & 0xFFFF, 1u) << "a mono file";
    EXPECT_EQ(segment, saved(&TMainForm::PopUpSaveClick, at));
}

TEST_F(DragOutTest, OneChannelOfSplitStereoAfterAnUndo) {
    m_form->LR2Click();
    m_form->setSensitivityPercent(100);
    const QPoint at = inSlice(2, false);
    const auto before = dragOut(at, Qt::AltModifier);
    ASSERT_GT(before.size(), 44u);
    EXPECT_EQ(test::getLe32(before, 22) & 0xFFFF, 1u) << "one channel";

    movePointer(at);
    action("mnuSilence")->trigger();
    test::waitUntilIdle(*m_form);
    EXPECT_NE(dragOut(at, Qt::AltModifier), before) << "the silenced segment";
    m_form->mnuUndoClick();
    const auto after = dragOut(at, Qt::AltModifier);
    EXPECT_EQ(after, before) << "the undone segment's bytes again";
    EXPECT_EQ(after, saved(&TMainForm::PopUpSaveClick, at));
}

} // namespace
} // namespace tolvane
