#pragma once

#include "app/Dialogs.h"

namespace tolvane {

// For runs without a user (pictures from a script): every message goes to standard error and
// is answered "No" (or "Cancel"); file and naming dialogs are cancelled.
class ConsoleDialogs : public Dialogs {
public:
    MessageAnswer message(MessageKind kind, const QString& title, const QString& text,
                          MessageButtons buttons) override;
    QString chooseSampleFile(const QString&, bool&) override { return {}; }
    QString openFile(const FileRequest&) override { return {}; }
    QString saveFile(const FileRequest&) override { return {}; }
    std::optional<QString> askName(const QString&, const QString&) override { return {}; }
};

} // namespace tolvane
