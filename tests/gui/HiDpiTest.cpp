// The window on a HiDPI screen: the ctest "HiDpiWindow.AtScaleFactorTwo" runs these with
// QT_SCALE_FACTOR=2; under the ordinary run they check the same at ratio 1.
#include "WindowTestSupport.h"
#include "app/controls/TWaveBox.h"
#include "view/WaveformRenderer.h"

#include <QtTest/QtTest>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

class HiDpiWindow : public test::LoadedWindowTest {
protected:
    double expectedRatio() const {
        return qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                   ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                   : 1.0;
    }
};

TEST_F(HiDpiWindow, TheWaveformAndBarsAreDrawnAtTheScreensResolution) {
    const double ratio = wave()->devicePixelRatioF();
    ASSERT_EQ(ratio, expectedRatio());
    wave()->repaint();
    const QImage picture = m_form->waveformPicture();
    EXPECT_EQ(picture.devicePixelRatio(), ratio);
    EXPECT_EQ(picture.deviceIndependentSize().toSize(), wave()->size());
    EXPECT_EQ(picture.width(), devicePixels(wave()->width(), ratio));
    // Resized, it is drawn again at the new size and the same resolution.
    m_form->resize(m_form->width() + 30, m_form->height() + 20);
    wave()->repaint();
    EXPECT_EQ(m_form->waveformPicture().deviceIndependentSize().toSize(), wave()->size());
    EXPECT_EQ(m_form->waveformPicture().devicePixelRatio(), ratio);
}

// The pointer's hits stay in logical pixels: a slice point is dragged where the pointer takes it.
// The hover move is sent to the widget directly: at a scale factor QtTest moves the pointer
// through the screen's cursor, which lands at twice the position.
TEST_F(HiDpiWindow, ASlicePointIsDraggedWhereThePointerTakesIt) {
    m_form->setSensitivityPercent(100);
    const std::uint32_t first = doc().SliceTable[1].Position;
    const std::uint32_t second = doc().SliceTable[2].Position;
    const QPoint from(xOf(first) + 5, iconY(1));
    const QPoint to((xOf(first) + xOf(second)) / 2, iconY(1));
    for (const QPoint hover : {QPoint(1, 1), from}) {
        QMouseEvent move(QEvent::MouseMove, hover, wave()->mapToGlobal(hover), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(wave(), &move);
    }
    QTest::mousePress(wave(), Qt::LeftButton, {}, from);
    QTest::mouseMove(wave(), (from + to) / 2);
    QTest::mouseMove(wave(), to);
    QTest::mouseRelease(wave(), Qt::LeftButton, {}, to);
    const std::uint32_t moved = doc().SliceTable[1].Position;
    EXPECT_GT(moved, first);
    EXPECT_LT(moved, second);
    EXPECT_NEAR(xOf(moved), to.x(), 2) << "the point is where the pointer let it go";
    m_form->mnuUndoClick();
    EXPECT_EQ(doc().SliceTable[1].Position, first);
}

} // namespace
} // namespace tolvane
