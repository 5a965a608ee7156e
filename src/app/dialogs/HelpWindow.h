#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QTextBrowser;
class QToolButton;

namespace tolvane {

// A heading of the help pages that the contents list shows: its anchor and its text.
struct HelpHeading {
    QString anchor;
    QString title;
};

// The headings of an HTML help page with an id (<h1 id=...>, <h2 id=...>), in page order.
QList<HelpHeading> helpHeadings(const QString& html);

// "WaveTolvane help": the program's own help pages in a window of their own, so that help works
// without a web browser. The contents on the left, the page in a text browser with back and
// forward, and a search field that finds a text in the page (Enter: the next place, wrapping
// round at the end).
class HelpWindow : public QWidget {
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page at an anchor of the help ("contents", "tips", "open", ...).
    void showPage(const QUrl& page);
    // Finds the search field's text after the current place; false (and says so) when the page
    // does not hold it.
    bool findNext();

    QTextBrowser* browser() const { return m_browser; }

private:
    void fillContents(const QString& file);
    void markCurrentHeading();

    QTextBrowser* m_browser;
    QListWidget* m_contents;
    QToolButton* m_back;
    QToolButton* m_forward;
    QLineEdit* m_search;
    QLabel* m_searchResult;
    QString m_contentsOf; // the file the contents list was made from
};

} // namespace tolvane
