// Nothing lost, nothing unsafe, in the real main window: outputs that are nodes or the open
// file.
#include "gui/WindowTestSupport.h"
#include "slicing/LoopSegments.h"

#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class SafetyTest : public test::LoadedWindowTest {
protected:
    // Accepts the next modal dialog (the keymap window), as the user would.
    static void acceptNextDialog() {
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->accept();
        });
    }
    std::string openFile() const { return m_dir.file("loop.wav"); }
    test::Bytes openFileBytes() const { return test::readBytes(openFile()); }
    QStringList texts() const { return m_dialogs.texts(); }
};

// A FIFO in place of the file a save would replace is refused with the save's own error, and
// left a FIFO.
TEST_F(SafetyTest, ANodeInPlaceOfAnOutputIsRefusedWithTheSaveError) {
    const std::string fifo = m_dir.file("fifo.wav");
    ASSERT_TRUE(test::makeNode(fifo, test::NodeKind::Fifo));
    m_dialogs.files.push_back(QString::fromStdString(fifo));
    m_dialogs.answers.push_back(MessageAnswer::No);
    m_form->SaveAsitemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_TRUE(m_dialogs.shown[0].text.startsWith("Error saving file!"))
        << m_dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(test::isNode(fifo, test::NodeKind::Fifo));
    EXPECT_EQ(doc().FileName, openFile()) << "the document keeps its file";

    m_dialogs.shown.clear();
    const std::string bank = m_dir.file("bank.sf2");
    ASSERT_TRUE(test::makeNode(bank, test::NodeKind::Fifo));
    acceptNextDialog();
    m_dialogs.files.push_back(QString::fromStdString(bank));
    m_form->SaveSFItemClick();
    test::waitUntilIdle(*m_form);
    ASSERT_EQ(m_dialogs.shown.size(), 1u) << texts().join("\n").toStdString();
    EXPECT_EQ(m_dialogs.shown[0].text,
              "Error saving SoundFont file;\r\nMay be insufficent disk space or file may be open");
    EXPECT_TRUE(test::isNode(bank, test::NodeKind::Fifo));
}

// Every save but the document's own writes elsewhere than the open file: a region, a series
// whose file is the open one through a link, a template, a bank's wave, a point file.
TEST_F(SafetyTest, NoSaveButTheDocumentsOwnReplacesTheOpenFile) {
    const test::Bytes original = openFileBytes();
    fs::create_symlink("loop.wav", m_dir.path() / "s1.wav"); // the one segment of series "s"
    const std::string link = m_dir.file("s1.wav");
    const auto refusedFor = [&](const std::string& chosen, const std::string& output,
                                const std::function<void()>& command) {
        m_dialogs.shown.clear();
        m_dialogs.files.push_back(QString::fromStdString(chosen));
        command();
        test::waitUntilIdle(*m_form);
        ASSERT_EQ(m_dialogs.shown.size(), 1u) << chosen;
        EXPECT_TRUE(m_dialogs.shown[0].text.startsWith(
            "Cannot save to " + QString::fromStdString(output) +
            ":\r\nit is the file of the open sample, " + QString::fromStdString(openFile())))
            << m_dialogs.shown[0].text.toStdString();
        EXPECT_EQ(openFileBytes(), original) << chosen;
        EXPECT_TRUE(fs::is_symlink(link));
    };
    refusedFor(openFile(), openFile(), [&] { m_form->SaveRegionItemClick(); });
    refusedFor(m_dir.file("s.wav"), link, [&] {
        acceptNextDialog();
        m_form->SplitMenuItemClick();
    });
    refusedFor(m_dir.file("s.sfz"), link, [&] {
        acceptNextDialog();
        m_form->SaveSFItemClick();
    });
    refusedFor(openFile(), openFile(), [&] { m_form->SavePointClick(); });
    m_form->setLoopLength(1, 0);
    refusedFor(link, link, [&] {
        acceptNextDialog();
        m_form->SaveMidMenuItemClick();
    });

    // "Save As" onto the open file is the document's own save.
    m_dialogs.shown.clear();
    m_dialogs.files.push_back(QString::fromStdString(openFile()));
    m_form->SaveAsitemClick();
    test::waitUntilIdle(*m_form);
    EXPECT_TRUE(m_dialogs.shown.empty()) << texts().join("\n").toStdString();
}

} // namespace
} // namespace tolvane
