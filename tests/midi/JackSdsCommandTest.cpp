// `tolvane sds` against the simulated sampler on a JACK server: a WAV file goes there and
// comes back into another WAV file unchanged.
#include "cli/Tolvane.h"
#include "fakes/SdsSampler.h"
#include "fileio/WaveFileWriter.h"
#include "support/TestFiles.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace tolvane {
namespace {

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun tolvaneRun(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = cli::runTolvane(args, out, err);
    return {status, out.str(), err.str()};
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(JackSdsCommand, SendsAWavAndReceivesItBackUnchanged) {
    test::SdsSampler sampler("tolvane-sds-cli", 2);
    ASSERT_TRUE(sampler.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
    test::TempDir dir;
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 500; ++i)
        frames.insert(frames.end(), {static_cast<std::int16_t>(i * 97 - 24000),
                                     static_cast<std::int16_t>(-i * 55)});
    writeWaveFile(dir.file("in.wav"), 2, 48000, frames.data(), frames.size() * 2);

    const CommandRun sent =
        tolvaneRun({"sds", "send", dir.file("in.wav"), "--port", "tolvane-sds-cli", "--id", "3",
                    "--sample", "17", "--channel", "R"});
    ASSERT_EQ(sent.status, cli::kExitOk) << sent.err;
    EXPECT_NE(sent.out.find("sent 500 words in 13 packets, 0 sent again"), std::string::npos)
        << sent.out;
    EXPECT_NE(sent.out.find("Sending: 100.00%"), std::string::npos) << sent.out;
    ASSERT_TRUE(sampler.sample(17));

    const CommandRun received = tolvaneRun({"sds", "receive", dir.file("out.wav"), "--port",
                                            "tolvane-sds-cli", "--id", "3", "--sample", "17"});
    ASSERT_EQ(received.status, cli::kExitOk) << received.err;
    EXPECT_NE(received.out.find("received a sample: 500 frames, 1 channel, 48000 Hz"),
              std::string::npos)
        << received.out;
    std::vector<std::int16_t> right;
    for (std::size_t i = 1; i < frames.size(); i += 2)
        right.push_back(frames[i]);
    writeWaveFile(dir.file("expected.wav"), 1, 48000, right.data(), right.size() * 2);
    EXPECT_EQ(fileBytes(dir.file("out.wav")), fileBytes(dir.file("expected.wav")));

    const CommandRun missing = tolvaneRun(
        {"sds", "receive", dir.file("none.wav"), "--port", "tolvane-sds-cli", "--sample", "5"});
    EXPECT_EQ(missing.status, cli::kExitUnavailable);
    EXPECT_NE(missing.err.find("did not answer"), std::string::npos) << missing.err;
    EXPECT_EQ(tolvaneRun({"sds", "send", dir.file("in.wav"), "--port", "no-such-port"}).status,
              cli::kExitUnavailable);
    EXPECT_EQ(tolvaneRun({"sds", "fetch", "x"}).status, cli::kExitUsage);
    EXPECT_EQ(tolvaneRun({"sds", "send", "x", "--id", "17"}).status, cli::kExitUsage);
}

// The built command under an address-space limit, in a shell; whether it exited (rather than a
// signal ending it), its status and what it said.
struct LimitedRun {
    bool exited = false;
    int status = -1;
    std::string err;
};
LimitedRun runLimited(long kilobytes, const std::vector<std::string>& args,
                      const std::string& scratch) {
    std::string command =
        "ulimit -v " + std::to_string(kilobytes) + "; exec " + test::shellQuote(TOLVANE_COMMAND);
    for (const std::string& arg : args)
        command += " " + test::shellQuote(arg);
    const std::string errFile = scratch + "/stderr.txt";
    command += " >/dev/null 2>" + test::shellQuote(errFile);
    const int result = std::system(command.c_str());
    LimitedRun run;
    run.exited = WIFEXITED(result);
    run.status = run.exited ? WEXITSTATUS(result) : -1;
    run.err = fileBytes(errFile);
    return run;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// With too little address space JACK cannot map its memory or start its threads, nor can the
// command start its own: whatever fails, the command says so and exits 69; it never crashes.
TEST(JackSdsCommand, PortsAndThreadsThatCannotStartAreAnErrorNotACrash) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
    test::SdsSampler sampler("tolvane-sds-limits", 0);
    ASSERT_TRUE(sampler.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
    test::TempDir dir;
    const std::vector<std::int16_t> words(400, 1000);
    writeWaveFile(dir.file("in.wav"), 1, 44100, words.data(), words.size() * 2);
    int refused = 0;
    for (long limit = 150000; limit <= 450000; limit += 25000) {
        const LimitedRun run =
            runLimited(limit, {"sds", "send", dir.file("in.wav"), "--port", "tolvane-sds-limits"},
                       dir.path().string());
        ASSERT_TRUE(run.exited) << "a signal ended it under " << limit << " KB:\n" << run.err;
        EXPECT_TRUE(run.status == cli::kExitOk || run.status == cli::kExitUnavailable)
            << limit << " KB: status " << run.status << "\n"
            << run.err;
        if (run.status == cli::kExitUnavailable) {
            ++refused;
            EXPECT_NE(run.err.find("tolvane sds: "), std::string::npos) << limit << " KB:\n"
                                                                        << run.err;
        }
    }
    EXPECT_GT(refused, 0) << "no limit was tight enough";
}

} // namespace
} // namespace tolvane
