#pragma once

#include <QString>
#include <QStringList>

namespace tolvane {

// Starting outside programs (the sample editor, the sound control panel).
class Shell {
public:
    virtual ~Shell() = default;
    // Starts a program with arguments in its own window; false when it could not be started.
    virtual bool open(const QString& program, const QStringList& arguments) = 0;
};

// The real one: the program runs on its own, detached from this one.
class ProcessShell : public Shell {
public:
    bool open(const QString& program, const QStringList& arguments) override;
};

} // namespace tolvane
