#pragma once

#include <QDialog>
#include <QPixmap>

namespace tolvane {

// The About window, also shown as the splash screen while the program starts.
class AboutForm : public QDialog {
public:
    explicit AboutForm(QWidget* parent = nullptr);
};

// The picture of the About window, for the splash screen.
QPixmap aboutPicture();

} // namespace tolvane
