#include "app/dialogs/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QVBoxLayout>

namespace tolvane {
namespace {

QToolButton* navigationButton(QWidget* parent, const char* name, const char* caption,
                              QStyle::StandardPixmap icon, QKeySequence::StandardKey key) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setShortcut(key);
    button->setToolTip(QString("%1 (%2)").arg(caption, QKeySequence(key).toString()));
    return button;
}

QUrl withoutFragment(QUrl url) {
    url.setFragment({});
    return url;
}

} // namespace

QList<HelpHeading> helpHeadings(const QString& html) {
    static const QRegularExpression heading(R"re(<h([12])\s[^>]*\bid="([^"]+)"[^>]*>(.*?)</h\1>)re",
                                            QRegularExpression::DotMatchesEverythingOption |
                                                QRegularExpression::CaseInsensitiveOption);
    QList<HelpHeading> headings;
    for (auto it = heading.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        // The heading's text as the page shows it: tags dropped, entities decoded.
        const QString title = QTextDocumentFragment::fromHtml(match.captured(3)).toPlainText();
        headings.append({match.captured(2), title.simplified()});
    }
    return headings;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("HelpWindow");
    setWindowTitle("WaveTolvane help");
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName("HelpBrowser");
    // Links to the web go to the desktop's browser; the help's own pages stay in this window.
    m_browser->setOpenExternalLinks(true);
    m_contents = new QListWidget(this);
    m_contents->setObjectName("HelpContents");
    m_back = navigationButton(this, "HelpBack", "Back", QStyle::SP_ArrowBack, QKeySequence::Back);
    m_forward = navigationButton(this, "HelpForward", "Forward", QStyle::SP_ArrowForward,
                                 QKeySequence::Forward);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    m_search = new QLineEdit(this);
    m_search->setObjectName("HelpSearch");
    m_search->setPlaceholderText("Find in help");
    m_search->setClearButtonEnabled(true);
    auto* next = new QPushButton("Find &next", this);
    next->setObjectName("HelpFindNext");
    m_searchResult = new QLabel(this);
    m_searchResult->setObjectName("HelpSearchResult");

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addStretch();
    bar->addWidget(m_searchResult);
    bar->addWidget(m_search);
    bar->addWidget(next);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({170, 450});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);
    resize(640, 460);

    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] { markCurrentHeading(); });
    // A click or Enter on a heading goes there (twice for the same place adds no history).
    auto goToHeading = [this](QListWidgetItem* item) {
        QUrl page = withoutFragment(m_browser->source());
        page.setFragment(item->data(Qt::UserRole).toString());
        m_browser->setSource(page);
    };
    connect(m_contents, &QListWidget::itemActivated, this, goToHeading);
    connect(m_contents, &QListWidget::itemClicked, this, goToHeading);
    connect(m_search, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(m_search, &QLineEdit::textChanged, m_searchResult, &QLabel::clear);
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus();
        m_search->selectAll();
    });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void HelpWindow::showPage(const QUrl& page) {
    const QString file = page.toLocalFile();
    if (!QFileInfo::exists(file)) {
        m_browser->setHtml(
            QString("<p>The help pages are not installed: %1 is missing.</p>").arg(file));
        return;
    }
    if (file != m_contentsOf)
        fillContents(file);
    m_browser->setSource(page);
    markCurrentHeading();
}

void HelpWindow::fillContents(const QString& file) {
    m_contentsOf = file;
    m_contents->clear();
    QFile html(file);
    if (!html.open(QIODevice::ReadOnly))
        return;
    for (const HelpHeading& heading : helpHeadings(QString::fromUtf8(html.readAll()))) {
        auto* item = new QListWidgetItem(heading.title, m_contents);
        item->setData(Qt::UserRole, heading.anchor);
    }
}

// The contents list follows the page: the heading shown is the one selected.
void HelpWindow::markCurrentHeading() {
    const QString anchor = m_browser->source().fragment();
    const QSignalBlocker quiet(m_contents);
    m_contents->clearSelection();
    for (int i = 0; i < m_contents->count(); ++i)
        if (m_contents->item(i)->data(Qt::UserRole).toString() == anchor)
            m_contents->setCurrentRow(i);
}

bool HelpWindow::findNext() {
    const QString text = m_search->text();
    if (text.isEmpty())
        return false;
    const QTextCursor before = m_browser->textCursor();
    bool found = m_browser->find(text);
    if (!found) { // round from the top
        QTextCursor top(m_browser->document());
        m_browser->setTextCursor(top);
        found = m_browser->find(text);
    }
    if (!found)
        m_browser->setTextCursor(before);
    m_searchResult->setText(found ? QString() : QString("\"%1\" is not in the help").arg(text));
    return found;
}

} // namespace tolvane
