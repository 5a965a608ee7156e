#pragma once

#include <QImage>

namespace tolvane {

inline constexpr int kIconSize = 15;

// The three 15 x 15 point icons drawn to the right of slice lines.
struct PointIcons {
    QImage sample;   // an unlocked slice point
    QImage lock;     // a locked slice point
    QImage disabled; // a candidate the user disabled
};

const PointIcons& pointIcons();

} // namespace tolvane
