#pragma once

#include "app/Dialogs.h"
#include "app/dialogs/ChosenSampler.h"
#include "app/dialogs/TransferServices.h"
#include "samplers/BatchRun.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tolvane {

class UpDown;

// "Batch sample transfer": a list of sample files sent one after the other to the sampler of
// the chosen profile, then mapped to keys.
class TBatchTrans : public QDialog {
public:
    explicit TBatchTrans(TransferServices services, QWidget* parent = nullptr);
    ~TBatchTrans() override;

    void showBatch();
    // Tests each file and lists those that can be sent, with the message for each that cannot.
    void addFiles(const QStringList& files);
    QStringList files() const;
    bool transferRunning() const { return m_running; }
    QString statusText() const;

    // Handlers, named after their controls.
    void ComboBox1Change();
    void AddClick();
    void RemoveClick();
    void ClearAllClick();
    void SortClick();
    void PlayClick();
    void SetMappingClick();
    void EditClick();
    void AbortClick();
    void BatchSendClick();
    void ListView1DblClick();

    // Closing while a transfer runs aborts it first.
    void reject() override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void batchEnded(const BatchResult& result);
    void setRunning(bool running);
    void showStatus(const QString& text);
    void stopAudition();

    TransferServices m_services;
    Dialogs::RaisedFrom m_boxesOverMe{m_services.dialogs, this};
    Poster m_post;
    PostedStatusPanel m_status;
    ChosenSampler m_sampler;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<BatchRun> m_run;
    bool m_smooth = false; // the batch keeps its own "Smooth sample end points"
    bool m_running = false;

    QComboBox* m_profiles;
    QTreeWidget* m_list;
    QLineEdit* m_position;
    UpDown* m_positionUpDown;
    QCheckBox* m_autoMap;
    QPushButton *m_add, *m_remove, *m_clear, *m_sort, *m_play, *m_mapping, *m_edit, *m_abort,
        *m_send, *m_help, *m_close;
    QLabel* m_statusLabel;
};

} // namespace tolvane
