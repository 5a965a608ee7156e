#pragma once

#include "app/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace tolvane::test {

// Answers the program's message boxes and file dialogs from a script and records each text.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        MessageKind kind;
        QString title;
        QString text;
        QWidget* raisedFrom = nullptr; // the window the box opened over (none: the editor)
    };

    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers; // used in order; Ok / No / Cancel when empty
    std::deque<QString> files;         // chosen by file dialogs in order; cancelled when empty
    std::vector<FileRequest> fileRequests;
    std::deque<QString> names; // typed into naming dialogs in order; cancelled when empty
    std::vector<QString> nameCaptions, namesOffered; // each naming dialog's caption and preset

    MessageAnswer message(MessageKind kind, const QString& title, const QString& text,
                          MessageButtons buttons) override {
        shown.push_back({kind, title, text, raisedFrom()});
        if (!answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        if (buttons == MessageButtons::YesNoCancel)
            return MessageAnswer::Cancel;
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
    bool autoPlayOnReturn = true; // the "Auto Play" check as the user leaves it
    QString chooseSampleFile(const QString& folder, bool& autoPlay) override {
        fileRequests.push_back({"Open Waveform", folder, {}, {}, {}});
        autoPlay = autoPlayOnReturn;
        return nextFile();
    }
    QString openFile(const FileRequest& request) override {
        fileRequests.push_back(request);
        return nextFile();
    }
    QString saveFile(const FileRequest& request) override {
        fileRequests.push_back(request);
        return nextFile();
    }
    std::deque<int> fileTypes; // the types chosen in dialogs that report one; else the preset
    FileChoice saveFileOfType(const FileRequest& request) override {
        int type = request.selectedFilter;
        if (!fileTypes.empty()) {
            type = fileTypes.front();
            fileTypes.pop_front();
        }
        return {saveFile(request), type};
    }

    std::optional<QString> askName(const QString& caption, const QString& current) override {
        nameCaptions.push_back(caption);
        namesOffered.push_back(current);
        if (names.empty())
            return std::nullopt;
        const QString name = names.front();
        names.pop_front();
        return name;
    }

    QStringList texts() const {
        QStringList all;
        for (const Shown& s : shown)
            all << s.text;
        return all;
    }

private:
    QString nextFile() {
        if (files.empty())
            return {};
        const QString file = files.front();
        files.pop_front();
        return file;
    }
};

} // namespace tolvane::test
