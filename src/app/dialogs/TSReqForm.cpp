#include "app/dialogs/TSReqForm.h"

#include "app/dialogs/TransferServices.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tolvane {

TSReqForm::TSReqForm(TSamplerClass& driver, QWidget* parent)
    : QDialog(parent), m_driver(driver), m_post(postTo(this)) {
    setObjectName("SReqForm");
    setWindowTitle("Request sample");
    m_list = new QTreeWidget(this);
    m_list->setObjectName("ListView1");
    m_list->setHeaderLabels({"#", "Name", "Size", "Bits", "Type"});
    m_list->setRootIsDecorated(false);
    m_list->header()->setStretchLastSection(true);
    m_receive = new QPushButton("Receive", this);
    m_receive->setObjectName("Button1");
    m_receive->setEnabled(false);
    m_cancel = new QPushButton("Cancel", this);
    m_cancel->setObjectName("Button2");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_receive);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    connect(m_receive, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { Button1Click(); });
    resize(420, 320);
}

TSReqForm::~TSReqForm() {
    *m_alive = false;
}

namespace {

// The rows as the driver reads them, handed to the window on its thread. The driver keeps this
// until its listing ends, which may be after the window has closed: the done callback owns it.
class PostedListView : public SampleListView {
public:
    explicit PostedListView(Poster post) : m_post(std::move(post)) {}
    std::function<void()> onClear;
    std::function<void(int, const QString&)> onAdd;
    void clear() override {
        m_post([f = onClear] { f(); });
    }
    void addSample(int number, const std::string& name) override {
        m_post([f = onAdd, number, name = QString::fromStdString(name)] { f(number, name); });
    }

private:
    Poster m_post;
};

} // namespace

void TSReqForm::startListing() {
    m_listed = false;
    m_receive->setEnabled(false);
    m_list->clear();
    m_driver.ClearAbort();
    auto view = std::make_shared<PostedListView>(m_post);
    view->onClear = [this] { clear(); };
    view->onAdd = [this](int number, const QString& name) { addSample(number, name); };
    // The continuation and the done callback may come from a device thread; the poster drops
    // what arrives after the window is gone.
    m_driver.Connect([this, alive = m_alive, post = m_post, view] {
        post([this, alive, view] {
            if (!*alive)
                return;
            m_driver.ListSamples(
                [this, post = m_post, view]() mutable {
                    post([this] { listingDone(); });
                    view.reset();
                },
                view.get());
        });
    });
}

void TSReqForm::clear() {
    m_list->clear();
}

void TSReqForm::addSample(int number, const QString& name) {
    auto* row = new QTreeWidgetItem(m_list, {QString::number(number), name});
    row->setData(0, Qt::UserRole, number);
}

void TSReqForm::listingDone() {
    SampleDirectory directory{};
    m_driver.GetSampleList(directory);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_list->topLevelItem(i);
        const int number = row->data(0, Qt::UserRole).toInt();
        const SampleDirectoryEntry& entry =
            directory[static_cast<std::size_t>(number) % kSampleDirectorySize];
        const std::uint64_t bytes =
            std::uint64_t{entry.lengthWords} * ((entry.bitsPerWord + 7) / 8);
        row->setText(2, QString::number(bytes / 1024) + " kb");
        row->setText(3, QString::number(entry.bitsPerWord));
        row->setText(4, entry.channels == 2 ? "Stereo" : "Mono");
    }
    m_listed = true;
    m_receive->setEnabled(true);
}

void TSReqForm::Button1Click() {
    QTreeWidgetItem* row = m_list->currentItem();
    if (!m_listed || !row)
        return;
    m_chosen = row->data(0, Qt::UserRole).toInt();
    accept();
}

void TSReqForm::Button2Click() {
    if (!m_listed)
        m_driver.Abort();
    reject();
}

void TSReqForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && m_list->currentItem()) {
        delete m_list->currentItem();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        Button2Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tolvane
