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

TSReqForm::~TSReqForm() = default;

void TSReqForm::startListing() {
    m_listed = false;
    m_receive->setEnabled(false);
    m_list->clear();
    m_run = std::make_unique<ListRun>(
        m_driver, m_post,
        [this](const ListedSample& row) {
            addSample(row.number, QString::fromStdString(row.name));
        },
        [this](const ListResult& result) { listingDone(result); });
    m_run->start();
}

void TSReqForm::clear() {
    m_list->clear();
}

void TSReqForm::addSample(int number, const QString& name) {
    auto* row = new QTreeWidgetItem(m_list, {QString::number(number), name});
    row->setData(0, Qt::UserRole, number);
}

void TSReqForm::listingDone(const ListResult& result) {
    const SampleDirectory& directory = result.directory;
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
    if (m_run && m_run->running())
        m_run->abort();
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
