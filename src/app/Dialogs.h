#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QWidget;

namespace tolvane {

class twabeAudio;

enum class MessageKind { Error, Warning, Information, Confirmation };
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

// What a file dialog is asked for.
struct FileRequest {
    QString caption;
    QString folder;
    QStringList filters; // "Name (*.ext)"
    QString defaultSuffix;
    QString fileName;       // preset name in the dialog
    int selectedFilter = 0; // the filter shown first
};

// The name typed in a save dialog after its file type changed: everything from the last dot
// on becomes the type's extension (".wav"); a name without a dot gets the extension appended.
QString withExtension(const QString& typedName, const QString& extension);
// The extension a filter "Name (*.ext)" stands for (".ext"), or empty.
QString filterExtension(const QString& filter);

// Every message box and file dialog of the program goes through here, so that tests can
// answer them. Texts are the program's own, line breaks written "\r\n".
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // While one lives, the boxes and file dialogs of the service open over `window`: a window
    // that stays on top of the editor (the transfer windows) raises its boxes above itself, not
    // underneath where nobody sees them. They nest; the newest one still alive holds.
    class RaisedFrom {
    public:
        RaisedFrom(Dialogs& dialogs, QWidget* window);
        ~RaisedFrom();
        RaisedFrom(const RaisedFrom&) = delete;
        RaisedFrom& operator=(const RaisedFrom&) = delete;

    private:
        Dialogs& m_dialogs;
        QWidget* m_window;
    };
    // The window boxes open over now (none: the service's own choice).
    QWidget* raisedFrom() const { return m_raisedFrom.empty() ? nullptr : m_raisedFrom.back(); }

    virtual MessageAnswer message(MessageKind kind, const QString& title, const QString& text,
                                  MessageButtons buttons = MessageButtons::Ok) = 0;
    // The "Open Waveform" window: a sample file to open, or empty when cancelled. `autoPlay` is
    // the "Auto Play" check going in and as the user left it coming out.
    virtual QString chooseSampleFile(const QString& folder, bool& autoPlay) = 0;
    virtual QString openFile(const FileRequest& request) = 0;
    // Several files at once (none when cancelled), accepted with `acceptLabel`.
    virtual QStringList openFiles(const FileRequest& request, const QString& /*acceptLabel*/) {
        const QString file = openFile(request);
        return file.isEmpty() ? QStringList{} : QStringList{file};
    }
    virtual QString saveFile(const FileRequest& request) = 0;
    // A save dialog whose file types mean more than an extension (two kinds of MIDI file, both
    // ".mid"): the name chosen, or empty when cancelled, and the index of the type chosen.
    struct FileChoice {
        QString file;
        int filter = 0;
    };
    virtual FileChoice saveFileOfType(const FileRequest& request) {
        return {saveFile(request), request.selectedFilter};
    }
    // A naming dialog (`caption`, one "Name:" field holding `current`, "OK" and "Cancel"):
    // the name typed, or nothing when cancelled.
    virtual std::optional<QString> askName(const QString& caption, const QString& current) = 0;

private:
    std::vector<QWidget*> m_raisedFrom;
};

// Real message boxes and file dialogs, parented to a window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    // The player "Open Waveform" previews files with (none: no preview).
    void setPlayer(twabeAudio* player) { m_player = player; }

    MessageAnswer message(MessageKind kind, const QString& title, const QString& text,
                          MessageButtons buttons) override;
    QString chooseSampleFile(const QString& folder, bool& autoPlay) override;
    QString openFile(const FileRequest& request) override;
    QStringList openFiles(const FileRequest& request, const QString& acceptLabel) override;
    QString saveFile(const FileRequest& request) override;
    FileChoice saveFileOfType(const FileRequest& request) override;
    std::optional<QString> askName(const QString& caption, const QString& current) override;

private:
    // The window raising a box now, else the service's parent.
    QWidget* owner() const { return raisedFrom() ? raisedFrom() : m_parent; }

    QWidget* m_parent;
    twabeAudio* m_player = nullptr;
};

} // namespace tolvane
