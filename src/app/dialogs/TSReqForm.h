#pragma once

#include "platform/Poster.h"
#include "samplers/TSamplerClass.h"
#include "samplers/TransferRuns.h"

#include <QDialog>
#include <memory>

class QPushButton;
class QTreeWidget;

namespace tolvane {

// "Request sample": lists the sampler's samples (number, name, size, bits, type) and returns
// the one chosen for receiving.
class TSReqForm : public QDialog {
public:
    TSReqForm(TSamplerClass& driver, QWidget* parent = nullptr);
    ~TSReqForm() override;

    // Asks the driver for the list; the rows arrive as the driver reads them.
    void startListing();
    bool listingEnded() const { return m_listed; }
    // The sample number of the chosen row (after "Receive").
    int chosenSample() const { return m_chosen; }

    void clear();
    void addSample(int number, const QString& name);

    // Handlers, named after their controls.
    void Button1Click(); // "Receive"
    void Button2Click(); // "Cancel"

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void listingDone(const ListResult& result);

    TSamplerClass& m_driver;
    Poster m_post;
    std::unique_ptr<ListRun> m_run;
    QTreeWidget* m_list;
    QPushButton *m_receive, *m_cancel;
    bool m_listed = false;
    int m_chosen = -1;
};

} // namespace tolvane
