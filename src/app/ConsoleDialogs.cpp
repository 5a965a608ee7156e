#include "app/ConsoleDialogs.h"

#include <cstdio>

namespace tolvane {

MessageAnswer ConsoleDialogs::message(MessageKind, const QString&, const QString& text,
                                      MessageButtons buttons) {
    std::fprintf(stderr, "wavetolvane: %s\n", qPrintable(QString(text).replace("\r\n", "\n")));
    if (buttons == MessageButtons::YesNoCancel)
        return MessageAnswer::Cancel;
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

} // namespace tolvane
