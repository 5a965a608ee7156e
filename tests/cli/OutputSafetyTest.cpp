// Where the command's outputs go and what its inputs are: nodes that are not regular files are
// never written over or waited on, the input is never an output (except where a command
// replaces its own input whole), everything is checked before the first file is written, and
// an interrupted run leaves no temporary file.
#include "cli/RunTolvane.h"
#include "fakes/SmdiSampler.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;
using tolvane::test::Bytes;
using tolvane::test::filesIn;
using tolvane::test::NodeKind;
using tolvane::test::TempDir;

std::string copyOfDemo(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    fs::copy_file(TOLVANE_DEMO_LOOP, path);
    return path;
}

// The built program with a time limit, so that a run that waits on a node fails instead of
// hanging the test (status 124 when the limit ended it).
test::ProgramRun runProgram(const std::vector<std::string>& args, const TempDir& scratch,
                            const std::string& prefix = "") {
    return test::runProgramInShell(prefix + "timeout 60 ", args, scratch.path().string());
}

// Every writer of the command refuses an output that exists and is not a regular file (links
// followed), with exit 73, and leaves it as it was.
TEST(OutputSafety, NodesThatAreNotRegularFilesAreNeverWrittenOver) {
    TempDir dir;
    for (const auto& [kind, name] : tolvane::test::kNodeKinds) {
        const std::string node = dir.file(std::string("node-") + name);
        ASSERT_TRUE(tolvane::test::makeNode(node, kind)) << name;
        const std::string link = dir.file(std::string("link-") + name);
        fs::create_symlink(node, link);
        for (const std::string& out : {node, link}) {
            for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                     {"process", TOLVANE_DEMO_LOOP, out, "--invert"},
                     {"export", TOLVANE_DEMO_LOOP, "--whole", out}}) {
                const auto run = test::runCommand(args);
                EXPECT_EQ(run.status, kExitCannotWrite) << args[0] << " " << out << run.out;
                EXPECT_NE(run.err.find(out), std::string::npos) << run.err;
                EXPECT_TRUE(tolvane::test::isNode(node, kind)) << args[0] << " over a " << name;
            }
        }
    }
    // The other writers, each over a FIFO: the check is the same for every kind.
    const std::string fifo = dir.file("node-FIFO");
    const std::vector<std::vector<std::string>> writers = {
        {"randomise", TOLVANE_DEMO_LOOP, fifo, "--seed", "1"},
        {"detect", TOLVANE_DEMO_LOOP, "--tlp", fifo},
        {"grid", TOLVANE_DEMO_LOOP, "--bars", "1", "--cut", "8", "--tlp", fifo},
        {"export", TOLVANE_DEMO_LOOP, "--region", fifo},
        {"export", TOLVANE_DEMO_LOOP, "--selected", "1", fifo},
        {"export", TOLVANE_DEMO_LOOP, "--bars", "1", "--midi", fifo},
        {"export", TOLVANE_DEMO_LOOP, "--bank", fifo + ".sf2"},
        {"export", TOLVANE_DEMO_LOOP, "--bank", fifo + ".dls", "--split"},
    };
    ASSERT_TRUE(tolvane::test::makeNode(fifo + ".sf2", NodeKind::Fifo));
    ASSERT_TRUE(tolvane::test::makeNode(fifo + "L.dls", NodeKind::Fifo));
    for (const auto& args : writers) {
        const auto run = test::runCommand(args);
        EXPECT_EQ(run.status, kExitCannotWrite) << args[0] << " " << args[2] << ": " << run.err;
    }
    EXPECT_TRUE(tolvane::test::isNode(fifo, NodeKind::Fifo));
    EXPECT_TRUE(tolvane::test::isNode(fifo + ".sf2", NodeKind::Fifo));
    EXPECT_TRUE(tolvane::test::isNode(fifo + "L.dls", NodeKind::Fifo));
    EXPECT_FALSE(fs::exists(fifo + "R.dls")) << "checked before the first file is written";
    EXPECT_EQ(filesIn(dir.path()).size(), 10u) << "no temporary or partial file is left";
}

// A sample received from a sampler goes through the same writer.
TEST(OutputSafety, AReceivedSampleIsNotWrittenOverANode) {
    TempDir dir;
    tolvane::test::SmdiSampler sampler(dir.file("smdi.sock"));
    const std::string mono = dir.file("mono.wav");
    tolvane::test::soxSynth(mono, "-r 44100 -c 1 -b 16", 0.1);
    ASSERT_EQ(test::runCommand({"smdi", "send", mono, "--socket", sampler.path(), "--number", "1"})
                  .status,
              kExitOk);
    const std::string fifo = dir.file("back.wav");
    ASSERT_TRUE(tolvane::test::makeNode(fifo, NodeKind::Fifo));
    const auto run = test::runCommand({"smdi", "receive", "1", fifo, "--socket", sampler.path()});
    EXPECT_EQ(run.status, kExitCannotWrite) << run.err;
    EXPECT_NE(run.err.find("it is not a regular file"), std::string::npos) << run.err;
    EXPECT_TRUE(tolvane::test::isNode(fifo, NodeKind::Fifo));
}

// The track-file library writes its file itself: a node is refused before it is asked to.
TEST(OutputSafety, TheTrackFileLibraryIsNotHandedANode) {
    TempDir dir;
    const std::string mono = dir.file("mono.wav");
    tolvane::test::soxSynth(mono, "-r 44100 -c 1 -b 16", 1.0, "pluck C3");
    for (const NodeKind kind : {NodeKind::Socket, NodeKind::CharDevice, NodeKind::Fifo}) {
        const std::string node = dir.file("node.trk");
        ASSERT_TRUE(tolvane::test::makeNode(node, kind));
        const auto run = runProgram({"export", mono, "--bars", "1", "--track", node,
                                     "--track-library", TOLVANE_TRACK_LIBRARY},
                                    dir);
        EXPECT_EQ(run.status, kExitCannotWrite) << run.err;
        EXPECT_TRUE(tolvane::test::isNode(node, kind));
        fs::remove(node);
    }
}

// An output that is the input file, under its own name or another, would replace the loop with
// what is made of it: refused before anything is written, naming both.
TEST(OutputSafety, TheInputIsNeverAnOutput) {
    TempDir dir;
    const std::string input = copyOfDemo(dir, "s1.wav");
    const Bytes original = tolvane::test::readBytes(input);
    fs::create_symlink("s1.wav", dir.path() / "link.mid");
    fs::create_symlink("s1.wav", dir.path() / "s1L.wav"); // a Pinnacle bank's first left wave
    const std::vector<std::vector<std::string>> requests = {
        {"export", input, "--bars", "1", "--midi", input},
        {"export", input, "--bars", "1", "--midi", dir.file("link.mid")},
        {"export", input, "--whole", dir.file("w.wav"), "--region", input},
        {"export", input, "--selected", "1", input},
        // The series s1.wav, s2.wav, ...: without points the one segment is s1.wav.
        {"export", input, "--segments", dir.file("s.wav")},
        {"export", input, "--bank", dir.file("s.sfz")},
        {"export", input, "--bank", dir.file("s.pbf")},
        {"detect", input, "--tlp", input},
        {"grid", input, "--bars", "1", "--cut", "8", "--tlp", dir.file("link.mid")},
        {"randomise", input, dir.file("r.wav"), "--tlp", input},
    };
    for (const auto& args : requests) {
        const auto run = test::runCommand(args);
        EXPECT_EQ(run.status, kExitCannotWrite) << args[0] << " " << args.back() << ": " << run.err;
        EXPECT_NE(run.err.find("it is the input file " + input), std::string::npos) << run.err;
        EXPECT_EQ(tolvane::test::readBytes(input), original) << args.back();
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"link.mid", "s1.wav", "s1L.wav"}))
            << "nothing was written for " << args[0] << " " << args.back();
    }

    // A track file over the input is refused too (the library would write it itself).
    const std::string mono = dir.file("mono.wav");
    tolvane::test::soxSynth(mono, "-r 44100 -c 1 -b 16", 1.0, "pluck C3");
    const Bytes monoBytes = tolvane::test::readBytes(mono);
    EXPECT_EQ(test::runCommand({"export", mono, "--bars", "1", "--track", mono, "--track-library",
                                TOLVANE_TRACK_LIBRARY})
                  .status,
              kExitCannotWrite);
    EXPECT_EQ(tolvane::test::readBytes(mono), monoBytes);

    // Commands that replace their input whole, once the result is complete in memory, may.
    EXPECT_EQ(test::runCommand({"process", input, input, "--invert"}).status, kExitOk);
    EXPECT_NE(tolvane::test::readBytes(input), original);
    EXPECT_EQ(test::runCommand({"randomise", input, dir.file("link.mid"), "--seed", "3"}).status,
              kExitOk);
}

// A request is checked whole before the first file is written: a later output that cannot be
// written leaves the earlier ones unwritten.
TEST(OutputSafety, EverythingIsCheckedBeforeTheFirstFileIsWritten) {
    TempDir dir;
    fs::create_directory(dir.file("folder.tlp"));
    const auto randomised = test::runCommand({"randomise", TOLVANE_DEMO_LOOP, dir.file("r.wav"),
                                              "--seed", "2", "--tlp", dir.file("folder.tlp")});
    EXPECT_EQ(randomised.status, kExitCannotWrite);
    EXPECT_NE(randomised.err.find("it is a folder"), std::string::npos) << randomised.err;
    EXPECT_FALSE(fs::exists(dir.file("r.wav")));

    const auto exported =
        test::runCommand({"export", TOLVANE_DEMO_LOOP, "--sensitivity", "60", "--whole",
                          dir.file("w.wav"), "--segments", dir.file("s.wav"), "--bars", "1",
                          "--midi", dir.file("no/such/folder/t.mid")});
    EXPECT_EQ(exported.status, kExitCannotWrite);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"folder.tlp"});
}

// A FIFO or a device as the input is refused without ever being opened: a FIFO would wait for
// a writer forever, and opening a device can act on it.
TEST(OutputSafety, AnInputThatIsNotARegularFileIsRefusedAtOnce) {
    TempDir dir;
    for (const NodeKind kind : {NodeKind::Fifo, NodeKind::CharDevice}) {
        const std::string node = dir.file("in.wav");
        ASSERT_TRUE(tolvane::test::makeNode(node, kind));
        const tolvane::test::OpenWatch watch(node);
        ASSERT_TRUE(watch.watching());
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"info", node},
                 {"detect", node},
                 {"process", node, dir.file("o.wav"), "--invert"}}) {
            const auto run = runProgram(args, dir);
            EXPECT_EQ(run.status, kExitUnreadable) << args[0] << " (124: it waited): " << run.err;
            EXPECT_NE(run.err.find(node + ": not a regular file"), std::string::npos) << run.err;
            EXPECT_FALSE(watch.opened()) << args[0] << " opened the node";
        }
        EXPECT_FALSE(fs::exists(dir.file("o.wav")));
        fs::remove(node);
    }
}

// A sample too large for the memory the system gives is no unreadable file.
TEST(OutputSafety, TooLittleMemoryForTheSampleIsSaidAsSuch) {
    TempDir dir;
    // A sparse 1 GiB mono file: a valid header, the data all zeros.
    const std::string big = dir.file("L.wav");
    const std::uint32_t dataBytes = 1u << 30;
    tolvane::test::writeBytes(big, tolvane::test::waveImage(1, 44100, {}));
    {
        Bytes header = tolvane::test::readBytes(big);
        tolvane::test::putLe32(header, 4, dataBytes + 36);
        tolvane::test::putLe32(header, 40, dataBytes);
        tolvane::test::writeBytes(big, header);
    }
    fs::resize_file(big, 44 + std::uintmax_t{dataBytes});
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator says no to large blocks instead of the address-space limit,
    // which it cannot run under.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string prefix = "ASAN_OPTIONS=" +
                               tolvane::test::shellQuote(std::string(options ? options : "") +
                                                         ":allocator_may_return_null=1:"
                                                         "max_allocation_size_mb=256") +
                               " ";
#else
    const std::string prefix = "ulimit -v 600000; ";
#endif
    const auto run = runProgram({"detect", big}, dir, prefix);
    EXPECT_EQ(run.status, kExitNoMemory) << run.err;
    EXPECT_NE(run.err.find(big + ": there is not enough memory for the sample"), std::string::npos)
        << run.err;
}

// Reads what an inotify descriptor has, waiting at most `milliseconds` for the first event.
std::vector<std::string> createdNames(int fd, int milliseconds) {
    std::vector<std::string> names;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) <= 0)
        return names;
    alignas(inotify_event) char buffer[16384];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_CREATE) && event->len > 0)
            names.emplace_back(event->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return names;
}

// The command line records no undo step, so it makes no undo file at all.
TEST(OutputSafety, TheCommandLineMakesNoUndoFile) {
    TempDir temporary, dir;
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, temporary.path().c_str(), IN_CREATE), 0);
    const auto run =
        runProgram({"process", TOLVANE_DEMO_LOOP, dir.file("o.wav"), "--invert"}, dir,
                   "TMPDIR=" + tolvane::test::shellQuote(temporary.path().string()) + " ");
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(createdNames(watch, 0), std::vector<std::string>{})
        << "files made in the temporary folder";
    ::close(watch);
}

// SIGINT, SIGTERM or SIGHUP while the output is being written: the partial file beside it goes
// with the program. The test waits for the temporary file to appear, then sends the signal.
TEST(OutputSafety, AnInterruptedWriteLeavesNoTemporaryFile) {
    TempDir dir, out;
    // A sparse 256 MiB stereo file, so that writing it takes a while.
    const std::string big = dir.file("big.wav");
    const std::uint32_t dataBytes = 256u << 20;
    tolvane::test::writeBytes(big, tolvane::test::waveImage(2, 44100, {}));
    {
        Bytes header = tolvane::test::readBytes(big);
        tolvane::test::putLe32(header, 4, dataBytes + 36);
        tolvane::test::putLe32(header, 40, dataBytes);
        tolvane::test::writeBytes(big, header);
    }
    fs::resize_file(big, 44 + std::uintmax_t{dataBytes});
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, out.path().c_str(), IN_CREATE), 0);
        const std::string target = out.file("o.wav");
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(signal, SIG_DFL); // not ignored, even when the test runs in the background
            ::execl(TOLVANE_COMMAND, TOLVANE_COMMAND, "process", big.c_str(), target.c_str(),
                    "--invert", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(child, 0);
        // Reading and inverting come first: a deadline, generous for a sanitized build on a
        // machine whose cores are all busy.
        const std::vector<std::string> created = createdNames(watch, 300000);
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(watch);
        ASSERT_FALSE(created.empty()) << "the program wrote nothing within five minutes";
        EXPECT_EQ(created.front().rfind(".o.wav.", 0), 0u) << created.front();
        ASSERT_TRUE(WIFSIGNALED(status)) << "the write ended before the signal came";
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{}) << "after signal " << signal;
    }
}

} // namespace
} // namespace tolvane::cli
