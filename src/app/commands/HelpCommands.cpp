#include "app/commands/HelpCommands.h"

#include "app/Help.h"
#include "app/dialogs/AboutForm.h"

#include <QDesktopServices>
#include <QUrl>

namespace tolvane {
namespace {

constexpr const char* kHomePage = "https://quorvex.example/wavetolvane";

} // namespace

void HelpCommands::HelpFileItemClick() {
    showHelp(*m_ctx.window.dialogParent(), "contents");
}

void HelpCommands::TipItemClick() {
    showHelp(*m_ctx.window.dialogParent(), "tips");
}

void HelpCommands::h1Click() {
    if (!QDesktopServices::openUrl(QUrl(kHomePage)))
        m_ctx.dialogs.message(
            MessageKind::Error, "",
            QString("Error opening homepage\r\nCheck browser is installed, and go to ") +
                kHomePage);
}

void HelpCommands::HelpAboutItemClick() {
    AboutForm(m_ctx.window.dialogParent()).exec();
}

} // namespace tolvane
