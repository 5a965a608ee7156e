// What an interrupted run leaves behind: nothing. A child process holds a half-written file and
// an undo file when a signal arrives.
#include "document/TemporaryFiles.h"

#include "document/SafeFileWriter.h"
#include "document/UndoRecord.h"
#include "support/TestFiles.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::entriesIn;
using test::TempDir;

// Sets TMPDIR for as long as it lives.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const fs::path& folder) {
        if (const char* old = std::getenv("TMPDIR"))
            m_old = old;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolder() {
        if (m_old.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

// Runs a child that installs the handlers (with `signal` ignored first, when asked), starts
// writing out/x.wav, opens an undo file in `temporary` and raises `signal`. Returns its wait
// status.
int runInterruptedChild(int signal, const TempDir& out, const TempDir& temporary, bool ignored) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", temporary.path().c_str(), 1);
        // Ignored only when asked, even when the test itself runs in the background.
        std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
        removeTemporaryFilesOnSignals();
        try {
            SafeFileWriter writer(out.file("x.wav"));
            writer.write("half", 4);
            UndoFile undo;
            if (!undo.isOpen())
                ::_exit(3);
            ::raise(signal);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0); // the signal was ignored and the files went the ordinary way
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(TemporaryFiles, ASignalRemovesTheHalfWrittenFileAndTheUndoFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir out, temporary;
        const int status = runInterruptedChild(signal, out, temporary, false);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << " did not end the program";
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(entriesIn(out.path()), 0u) << "a partial file is left after signal " << signal;
        EXPECT_EQ(entriesIn(temporary.path()), 0u)
            << "the undo file is left after signal " << signal;
    }
}

TEST(TemporaryFiles, ASignalTheProgramWasStartedToIgnoreStaysIgnored) {
    TempDir out, temporary;
    const int status = runInterruptedChild(SIGHUP, out, temporary, true);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(entriesIn(out.path()), 0u);
    EXPECT_EQ(entriesIn(temporary.path()), 0u);
}

TEST(TemporaryFiles, AFileIsRegisteredOnlyWhileItIsTemporary) {
    TempDir dir;
    const int before = registeredTemporaryFileCount();
    {
        SafeFileWriter writer(dir.file("a.wav"));
        EXPECT_EQ(registeredTemporaryFileCount(), before + 1);
        writer.write("a", 1);
        writer.commit();
        EXPECT_EQ(registeredTemporaryFileCount(), before) << "it is the real file now";
    }
    {
        SafeFileWriter abandoned(dir.file("b.wav"));
        EXPECT_EQ(registeredTemporaryFileCount(), before + 1);
    }
    EXPECT_EQ(registeredTemporaryFileCount(), before);
}

// The command line records no undo step: it has no undo file at all.
TEST(TemporaryFiles, AnUndoRecordWithoutAFileMakesNone) {
    TempDir temporary;
    const TemporaryFolder folder(temporary.path());
    {
        UndoRecord none{NoUndoFile{}};
        EXPECT_FALSE(none.UndoEnabled);
        EXPECT_FALSE(none.File.isOpen());
        EXPECT_EQ(entriesIn(temporary.path()), 0u);
    }
    UndoRecord editor;
    EXPECT_TRUE(editor.File.isOpen());
    EXPECT_EQ(entriesIn(temporary.path()), 1u) << "the editor's undo file";
}

} // namespace
} // namespace tolvane
