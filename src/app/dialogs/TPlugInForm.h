#pragma once

#include "app/Dialogs.h"
#include "plugins/PlugInHost.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

class QComboBox;
class QProgressBar;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tolvane {

class AudioBackend;
class TAudioDriver;

// "Plugin: " + name: the set-up plug-in's pages of controls, its presets, the preview of the
// loop through it and the choice of what to process. Accepted means "Process". The pages are
// the host's: it asks this window to show them (PropertyPageSite).
class TPlugInForm : public QDialog, public PropertyPageSite {
public:
    // `audio` may be null (no sound system): "Preview" is then disabled.
    TPlugInForm(TDLib& lib, const SampleDocument& doc, Dialogs& dialogs, AudioBackend* audio,
                int device, PlugInMode mode, const QString& name, QWidget* parent = nullptr);
    ~TPlugInForm() override;

    PlugInMode mode() const;
    // Builds the tabs and shows the first page (after SetupFilter named this window its site).
    void FormShow();

    // PropertyPageSite.
    void showPage(int page, int x, int y) override;
    void removePage(int page) override;
    void refreshPage() override;

    // Handlers, public for the tests.
    void presetboxChange();
    void SaveAsClick();
    void RemoveClick();
    void PreviewButtonClick();
    bool previewing() const;

protected:
    void done(int result) override;

private:
    void readPresets(const QString& select);
    void updateRemove();
    void stopPreview();
    QWidget* controlRow(std::size_t control);

    TDLib& m_lib;
    const SampleDocument& m_doc;
    Dialogs& m_dialogs;
    std::unique_ptr<TAudioDriver> m_output;
    std::unique_ptr<PlugInPreview> m_preview;
    std::atomic<bool> m_stopping{false};
    QTabWidget* PlugTab;
    QLabel* CPUUsage;
    QComboBox* presetbox;
    QPushButton* SaveAs;
    QPushButton* Remove;
    QComboBox* ProcessBox;
    QPushButton* PreviewButton;
    QPushButton* ProcessButton;
    QPushButton* CancelButton;
};

// "Processing": the progress of a plug-in processing the sample, always on top and without a
// border, with "Cancel".
class TPlugProgressForm : public QDialog {
public:
    explicit TPlugProgressForm(std::function<void()> cancel, QWidget* parent = nullptr);
    void setPercent(int percent);
    void CancelClick();

private:
    std::function<void()> m_cancel;
    QProgressBar* m_gauge;
    QPushButton* m_cancelButton;
};

} // namespace tolvane
