#pragma once

#include <QPushButton>
#include <functional>

namespace tolvane {

// "L" and "R": buttons under the bars that the user drags along the waveform.
class LocatorButton : public QPushButton {
public:
    LocatorButton(const QString& caption, QWidget* parent);
    // Called with the button's x in its parent when the drag ends.
    std::function<void(int x)> onReleased;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_grab = -1;
};

} // namespace tolvane
