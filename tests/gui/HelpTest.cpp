// The help window: every help entry of the editor opens the program's own help at its page,
// without a web browser, and the window's contents, back, forward and search work.
#include "app/Help.h"

#include "WindowTestSupport.h"
#include "app/dialogs/HelpWindow.h"
#include "app/dialogs/TOdForm.h"
#include "fakes/FakeMidi.h"
#include "fakes/RecordingSamplerDriver.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

namespace tolvane::test {
namespace {

// Records any page handed to the desktop's browser: the help must never need one.
class BrowserRecorder : public QObject {
    Q_OBJECT
public:
    BrowserRecorder() {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~BrowserRecorder() override {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

HelpWindow* helpWindowOf(QWidget& window) {
    HelpWindow* found = nullptr;
    for (QObject* child : window.children())
        if (auto* help = dynamic_cast<HelpWindow*>(child)) {
            EXPECT_EQ(found, nullptr) << "one help window per window";
            found = help;
        }
    return found;
}

// The page a window's help shows: the anchor, after checking that the window is up and that
// the page is the program's own help file.
QString pageShown(QWidget& window) {
    HelpWindow* help = helpWindowOf(window);
    if (!help)
        return "(no help window)";
    EXPECT_TRUE(help->isVisible());
    const QUrl source = help->browser()->source();
    EXPECT_EQ(source.toLocalFile(), helpPage("x").toLocalFile());
    EXPECT_FALSE(help->browser()->toPlainText().isEmpty());
    return source.fragment();
}

class HelpTest : public LoadedWindowTest {
protected:
    TempDir samplerDir;

    void SetUp() override {
        LoadedWindowTest::SetUp();
        m_form->setSamplerPorts(
            std::make_unique<FakeMidiBackend>(),
            std::make_unique<ScsiBus>(std::vector<std::unique_ptr<ScsiAdaptor>>{}));
        m_form->setProfileFile(samplerDir.file("profiles.samplers"));
        m_form->sampler().setDrivers(std::make_unique<RecordingSamplerDriver>(),
                                     std::make_unique<RecordingSamplerDriver>(),
                                     std::make_unique<RecordingSamplerDriver>());
    }

    // Opens a modal window by its command, presses its help button and tells the page shown.
    QString helpPageOfWindowOpenedBy(const char* command, const char* helpButton) {
        QString page = "(window not opened)";
        QTimer::singleShot(0, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window)
                return;
            auto* button = window->findChild<QPushButton*>(helpButton);
            if (!button) {
                page = "(no help button)";
            } else {
                button->click();
                QApplication::processEvents();
                page = pageShown(*window);
                EXPECT_TRUE(helpWindowOf(*window)->isEnabled());
                EXPECT_FALSE(helpWindowOf(*window)->isHidden());
            }
            window->close();
        });
        action(command)->trigger();
        return page;
    }
};

TEST_F(HelpTest, EveryHelpEntryOpensTheProgramsOwnHelpAtItsPage) {
    BrowserRecorder browser;
    action("HelpFileItem")->trigger();
    EXPECT_EQ(pageShown(*m_form), "contents");
    EXPECT_EQ(action("HelpFileItem")->shortcut(), QKeySequence("F1"));
    action("TipItem")->trigger();
    EXPECT_EQ(pageShown(*m_form), "tips") << "the same window, now at the tips";

    EXPECT_EQ(helpPageOfWindowOpenedBy("Options1", "HelpBtn"), "preferences");
    EXPECT_EQ(helpPageOfWindowOpenedBy("Transmit1", "Button5"), "profiles");
    EXPECT_EQ(helpPageOfWindowOpenedBy("SMIDITransfer1", "Button10"), "transfer");
    EXPECT_EQ(helpPageOfWindowOpenedBy("BatchTransfer1", "Help"), "batch");

    TOdForm open;
    open.findChild<QPushButton*>("HelpBtn")->click();
    EXPECT_EQ(pageShown(open), "open");

    // Every page a button names is a heading of the help, so the contents list shows it.
    const auto* contents = helpWindowOf(*m_form)->findChild<QListWidget*>("HelpContents");
    QStringList anchors;
    for (int i = 0; i < contents->count(); ++i)
        anchors << contents->item(i)->data(Qt::UserRole).toString();
    for (const char* page :
         {"contents", "tips", "preferences", "profiles", "transfer", "batch", "open"})
        EXPECT_TRUE(anchors.contains(page)) << page;
    EXPECT_TRUE(browser.opened.isEmpty());
}

TEST_F(HelpTest, BackForwardContentsAndSearchFindTheirWay) {
    action("HelpFileItem")->trigger();
    HelpWindow* help = helpWindowOf(*m_form);
    ASSERT_NE(help, nullptr);
    auto* back = help->findChild<QToolButton*>("HelpBack");
    auto* forward = help->findChild<QToolButton*>("HelpForward");
    auto* contents = help->findChild<QListWidget*>("HelpContents");
    EXPECT_FALSE(back->isEnabled());
    EXPECT_EQ(contents->currentItem()->text(), "WaveTolvane");

    action("TipItem")->trigger();
    ASSERT_TRUE(back->isEnabled());
    EXPECT_EQ(contents->currentItem()->text(), "Tips") << "the contents follow the page";
    const auto preferences = contents->findItems("Preferences", Qt::MatchExactly);
    ASSERT_EQ(preferences.size(), 1);
    QTest::mouseClick(contents->viewport(), Qt::LeftButton, {},
                      contents->visualItemRect(preferences[0]).center());
    EXPECT_EQ(help->browser()->source().fragment(), "preferences");

    back->click();
    EXPECT_EQ(help->browser()->source().fragment(), "tips");
    back->click();
    EXPECT_EQ(help->browser()->source().fragment(), "contents");
    EXPECT_FALSE(back->isEnabled());
    ASSERT_TRUE(forward->isEnabled());
    forward->click();
    EXPECT_EQ(help->browser()->source().fragment(), "tips");
    EXPECT_EQ(contents->currentItem()->text(), "Tips");

    // Search: each Enter finds the next place, round from the top after the last.
    auto* search = help->findChild<QLineEdit*>("HelpSearch");
    auto* result = help->findChild<QLabel*>("HelpSearchResult");
    search->setText("Ctrl+");
    QTest::keyClick(search, Qt::Key_Return);
    const int first = help->browser()->textCursor().selectionStart();
    EXPECT_EQ(help->browser()->textCursor().selectedText(), "Ctrl+");
    QTest::keyClick(search, Qt::Key_Return);
    const int second = help->browser()->textCursor().selectionStart();
    EXPECT_NE(second, first);
    EXPECT_EQ(help->browser()->textCursor().selectedText(), "Ctrl+");
    EXPECT_TRUE(result->text().isEmpty());

    search->setText("quiet samples");
    help->findChild<QPushButton*>("HelpFindNext")->click();
    EXPECT_EQ(help->browser()->textCursor().selectedText(), "quiet samples");
    const int found = help->browser()->textCursor().selectionStart();
    EXPECT_TRUE(help->findNext()) << "the only place is found again from the top";
    EXPECT_EQ(help->browser()->textCursor().selectionStart(), found);

    search->setText("xylophone");
    EXPECT_FALSE(help->findNext());
    EXPECT_EQ(result->text(), "\"xylophone\" is not in the help");
    EXPECT_EQ(help->browser()->textCursor().selectionStart(), found) << "the place is kept";
    search->setText("x");
    EXPECT_TRUE(result->text().isEmpty()) << "typing clears the verdict";
}

TEST(HelpHeadings, TheContentsAreTheHeadingsWithAnAnchor) {
    const auto headings = helpHeadings(R"(<h1 id="top">Tool &amp; <i>loop</i></h1>
        <h2>No anchor</h2><h2 class="x" id="a">First
        line</h2><h3 id="deep">Too deep</h3><H2 ID="b">Second</H2>)");
    ASSERT_EQ(headings.size(), 3);
    EXPECT_EQ(headings[0].anchor, "top");
    EXPECT_EQ(headings[0].title, "Tool & loop");
    EXPECT_EQ(headings[1].anchor, "a");
    EXPECT_EQ(headings[1].title, "First line");
    EXPECT_EQ(headings[2].anchor, "b");
}

} // namespace
} // namespace tolvane::test

#include "HelpTest.moc"
