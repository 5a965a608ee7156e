#pragma once

#include "app/Dialogs.h"
#include "app/dialogs/ChosenSampler.h"
#include "app/dialogs/TransferServices.h"
#include "document/MemoryStream.h"
#include "samplers/SendRun.h"
#include "samplers/TransferRuns.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tolvane {

class UpDown;

// "Sampler Transfer": sends the loop's segments or the region to the sampler of the chosen
// profile with their keys, lists the sampler's samples, and receives one into the editor.
class TSMDIForm : public QDialog {
public:
    explicit TSMDIForm(TransferServices services, QWidget* parent = nullptr);
    ~TSMDIForm() override;

    // What showing the window does: the profile used last, the channel list for split stereo.
    void showTransfer();
    bool transferRunning() const { return m_running; }
    QString statusText() const;

    // Handlers, named after their controls.
    void ComboBox1Change(); // the profile chosen: its driver
    void Button5Click();    // "Send all in loop"
    void Button4Click();    // "Send region"
    void Button2Click();    // "List Samples" / "Wait For Send"
    void Button6Click();    // "Request"
    void Button7Click();    // "Abort dump"
    void Button8Click();    // "Set mapping"
    void Button9Click();    // "Edit": the profile manager

    // Closing while a transfer runs aborts it first.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void send(bool region);
    void startRun(bool region, bool mapping);
    void runEnded(const SendRunResult& result, bool region);
    void receive(int sampleNumber);
    void received(const ReceiveResult& result);
    void setRunning(bool running);
    void showStatus(const QString& text);
    void showProgress(const TransferProgress& progress);
    int samplesToSend() const;
    int firstSampleNumber() const;

    TransferServices m_services;
    // The window stays on top: its boxes open over it.
    Dialogs::RaisedFrom m_boxesOverMe{m_services.dialogs, this};
    Poster m_post;
    PostedStatusPanel m_status;
    ChosenSampler m_sampler;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<SendRun> m_run;
    std::unique_ptr<ReceiveRun> m_receive;
    bool m_running = false;
    bool m_templateWanted = false;

    QComboBox *m_profiles, *m_channel;
    QLineEdit* m_position;
    UpDown* m_positionUpDown;
    QPushButton *m_sendAll, *m_sendRegion, *m_list, *m_request, *m_abort, *m_ok, *m_mapping,
        *m_edit, *m_help;
    QCheckBox *m_autoMap, *m_saveTemplate, *m_dontPrompt, *m_roundRate, *m_receiveName;
    QLabel* m_statusLabel;
    QProgressBar* m_progress;
};

inline constexpr const char* kCaptionListSamples = "List Samples";
inline constexpr const char* kCaptionWaitForSend = "Wait For Send";

} // namespace tolvane
