#include "app/Dialogs.h"

#include "app/dialogs/TOdForm.h"
#include "app/dialogs/TPreNameF.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <algorithm>

namespace tolvane {
namespace {

QString displayed(QString text) {
    return text.replace("\r\n", "\n");
}

Dialogs::FileChoice runFileDialog(QWidget* parent, const FileRequest& request,
                                  QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, request.caption, request.folder);
    // Qt's own dialog: its name box can be kept in step with the chosen type.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.selectedFilter > 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters[request.selectedFilter]);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (mode == QFileDialog::AcceptSave)
        dialog.setLabelText(QFileDialog::Accept, "&Save");
    // The extension follows the chosen type, in the default and in the name already typed.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, mode](const QString& filter) {
                         const QString extension = filterExtension(filter);
                         if (extension.isEmpty())
                             return;
                         dialog.setDefaultSuffix(extension.mid(1));
                         if (mode != QFileDialog::AcceptSave)
                             return;
                         if (auto* nameBox = dialog.findChild<QLineEdit*>("fileNameEdit"))
                             nameBox->setText(withExtension(nameBox->text(), extension));
                     });
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {dialog.selectedFiles().front(),
            static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter()))};
}

} // namespace

Dialogs::RaisedFrom::RaisedFrom(Dialogs& dialogs, QWidget* window)
    : m_dialogs(dialogs), m_window(window) {
    m_dialogs.m_raisedFrom.push_back(window);
}

Dialogs::RaisedFrom::~RaisedFrom() {
    auto& windows = m_dialogs.m_raisedFrom;
    const auto mine = std::find(windows.rbegin(), windows.rend(), m_window);
    if (mine != windows.rend())
        windows.erase(std::next(mine).base());
}

QString withExtension(const QString& typedName, const QString& extension) {
    if (typedName.isEmpty())
        return typedName;
    const qsizetype dot = typedName.lastIndexOf('.');
    return (dot < 0 ? typedName : typedName.left(dot)) + extension;
}

QString filterExtension(const QString& filter) {
    const qsizetype open = filter.lastIndexOf("(*.");
    if (open < 0 || !filter.endsWith(')'))
        return {};
    return filter.mid(open + 2).chopped(1); // ".wav" from "(*.wav)"
}

MessageAnswer QtDialogs::message(MessageKind kind, const QString& title, const QString& text,
                                 MessageButtons buttons) {
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == MessageButtons::YesNo)
        standard = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == MessageButtons::YesNoCancel)
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox::Icon icon = QMessageBox::Information;
    if (kind == MessageKind::Error)
        icon = QMessageBox::Critical;
    else if (kind == MessageKind::Warning)
        icon = QMessageBox::Warning;
    else if (kind == MessageKind::Confirmation)
        icon = QMessageBox::Question;
    QMessageBox box(icon, title.isEmpty() ? QString("WaveTolvane") : title, displayed(text),
                    standard, owner());
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        return MessageAnswer::Ok;
    }
}

QString QtDialogs::chooseSampleFile(const QString& folder, bool& autoPlay) {
    TOdForm form(owner(), m_player);
    form.setAutoPlay(autoPlay);
    const QString chosen = form.choose(folder);
    autoPlay = form.autoPlay();
    return chosen;
}

QString QtDialogs::openFile(const FileRequest& request) {
    return runFileDialog(owner(), request, QFileDialog::AcceptOpen).file;
}

QStringList QtDialogs::openFiles(const FileRequest& request, const QString& acceptLabel) {
    QFileDialog dialog(owner(), request.caption, request.folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(request.filters);
    if (!acceptLabel.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList{};
}

QString QtDialogs::saveFile(const FileRequest& request) {
    return runFileDialog(owner(), request, QFileDialog::AcceptSave).file;
}

Dialogs::FileChoice QtDialogs::saveFileOfType(const FileRequest& request) {
    return runFileDialog(owner(), request, QFileDialog::AcceptSave);
}

std::optional<QString> QtDialogs::askName(const QString& caption, const QString& current) {
    TPreNameF dialog(caption, current, owner());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.name();
}

} // namespace tolvane
