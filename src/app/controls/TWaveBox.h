#pragma once

#include <QImage>
#include <QLine>
#include <QWidget>
#include <functional>
#include <optional>

namespace tolvane {

// A flicker-free drawing surface that shows a picture made elsewhere. Its paint first gives
// the owner a chance to bring the picture up to date (the owner's paint handler), and ignores
// a paint request that arrives while one runs.
class TWaveBox : public QWidget {
public:
    explicit TWaveBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    // A line drawn over the picture (the add and drag lines); none to take it away.
    void setOverlayLine(std::optional<QLine> line);
    // The play cursor: one column drawn inverted over the picture; none to take it away.
    void setCursorColumn(std::optional<int> x);
    const QImage& picture() const { return m_picture; }

    std::function<void()> onPaint;
    std::function<void(QMouseEvent*)> onMousePress;
    std::function<void(QMouseEvent*)> onMouseMove;
    std::function<void(QMouseEvent*)> onMouseRelease;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
    std::optional<QLine> m_overlay;
    std::optional<int> m_cursorColumn;
    bool m_painting = false;
};

} // namespace tolvane
