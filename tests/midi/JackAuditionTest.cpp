// Notes from a MIDI port of a JACK server (the fixture starts one with the dummy driver) into
// the voice mixer and the real audio output, PortAudio into an ALSA device that writes what it
// plays to a file; the file is compared with the segments' samples.
#include "audition/Audition.h"
#include "audition/AuditionKeys.h"
#include "fakes/JackMidiLoopback.h"
#include "fileio/WaveFileWriter.h"
#include "midi/MidiDevices.h"
#include "slicing/SliceTables.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::int16_t> readSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

PointRecord slicePoint(std::uint32_t position) {
    PointRecord p;
    p.Position = position;
    p.Strength = 100;
    p.Enabled = 1;
    p.Channel = kChannelMonoOrRight;
    return p;
}

// A keyboard on the JACK server (a loopback client whose output the audition reads) and the
// capture device, with the audition between them.
class JackAudition : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.ok()) << "no JACK server (JACK_DEFAULT_SERVER)";
        std::filesystem::remove(TOLVANE_AUDITION_CAPTURE);
        // Before PortAudio first reads the ALSA configuration.
        setenv("ALSA_CONFIG_PATH", TOLVANE_AUDITION_ALSA_CONFIG, 1);
        midi = makeRtMidiBackend(MidiApi::Jack);
        const auto sendTo = findPortByName(midi->outputs(), keys.inputPort());
        ASSERT_TRUE(sendTo);
        keyboard = midi->openOutput(*sendTo);
        audio = makePortAudioBackend();
        ASSERT_TRUE(audio) << "PortAudio did not start";
        const auto devices = audio->outputDevices();
        const auto found = std::find(devices.begin(), devices.end(), "tolvane_capture");
        std::string listed;
        for (const std::string& name : devices)
            listed += " '" + name + "'";
        ASSERT_NE(found, devices.end()) << "the capture device is not listed:" << listed;
        device = static_cast<int>(found - devices.begin());
    }

    void start(const SampleDocument& doc) {
        AudioOpenError error;
        output = audio->open(device, doc.Channels, static_cast<int>(doc.SampleRate), error);
        ASSERT_TRUE(output) << error.text;
        const auto readFrom = findPortByName(midi->inputs(), keys.outputPort());
        ASSERT_TRUE(readFrom);
        audition = std::make_unique<Audition>(*midi, *readFrom, *output, doc.SampleRate);
        audition->setProgram(makeAuditionProgram(doc, KeymapSettings{}, false));
    }

    void play(std::initializer_list<std::array<std::uint8_t, 3>> notes) {
        for (const auto& note : notes)
            keyboard->send(note);
    }

    // Waits until `count` voices have started and every one has ended.
    void waitForVoices(std::uint64_t count) {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < deadline && (audition->mixer().voicesStarted() < count ||
                                           audition->mixer().voicesEnded() < count))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(audition->mixer().voicesStarted(), count);
        ASSERT_EQ(audition->mixer().voicesEnded(), count);
    }

    // Ends the audition and the output; what was played.
    std::vector<std::int16_t> captured() {
        audition.reset();
        output.reset();
        audio.reset();
        auto samples = readSamples(TOLVANE_AUDITION_CAPTURE);
        // The device has no clock and writes tens of megabytes a second.
        std::filesystem::remove(TOLVANE_AUDITION_CAPTURE);
        return samples;
    }

    test::JackMidiLoopback keys{"tolvane-audition-keys"};
    std::unique_ptr<MidiBackend> midi;
    std::unique_ptr<MidiOutPort> keyboard;
    std::unique_ptr<AudioBackend> audio;
    int device = 0;
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<Audition> audition;
};

TEST_F(JackAudition, ANotePlaysItsSegmentThroughTheAudioOutputScaledByVelocity) {
    SampleDocument doc =
        test::documentWithSlices(1, false, 40000, {slicePoint(12000), slicePoint(26000)});
    doc.SampleRate = 44100;
    auto* samples = reinterpret_cast<std::int16_t*>(doc.SampleData.data());
    for (int i = 0; i < 20000; ++i)
        samples[i] = static_cast<std::int16_t>((i * 7919) % 50001 - 25000);
    start(doc);
    play({{0x90, 49, 127}}); // the second segment: bytes 12000 to 26000
    waitForVoices(1);
    play({{0x80, 49, 0}, {0x91, 50, 64}}); // the third at half level, on another channel
    waitForVoices(2);
    const auto stream = captured();

    const std::vector<std::int16_t> second(samples + 6000, samples + 13000);
    EXPECT_NE(std::search(stream.begin(), stream.end(), second.begin(), second.end()), stream.end())
        << "the second segment plays whole, in one piece";
    std::vector<std::int16_t> third;
    for (int i = 13000; i < 19999; ++i)
        third.push_back(static_cast<std::int16_t>(std::nearbyint(samples[i] * (64 / 127.0))));
    EXPECT_NE(std::search(stream.begin(), stream.end(), third.begin(), third.end()), stream.end())
        << "the third segment plays at the velocity's level";
    const auto sounding =
        std::count_if(stream.begin(), stream.end(), [](std::int16_t s) { return s != 0; });
    EXPECT_LE(sounding, static_cast<long>(second.size() + third.size())) << "nothing else sounds";
}

// Sixteen keys struck together: each segment of a merged stereo loop holds one bit of the
// sum (voices 0 to 7 on the left, 8 to 15 on the right), so every captured frame says which
// voices sounded. Each must sound for exactly its segment's length, in one run: a block missed
// or mixed twice would show.
TEST_F(JackAudition, SixteenNotesMixWithoutDropouts) {
    std::vector<std::uint32_t> lengths;
    std::vector<PointRecord> points;
    std::uint32_t frames = 0;
    for (int k = 0; k < 16; ++k) {
        lengths.push_back(20000 + 1000 * static_cast<std::uint32_t>(k));
        frames += lengths.back();
        points.push_back(slicePoint(frames * 4));
    }
    points.pop_back();
    // One frame more: the last segment ends a frame before locator R, at the data's end.
    SampleDocument doc =
        test::documentWithSlices(2, true, static_cast<std::int32_t>(frames * 4 + 4), points);
    doc.SampleRate = 44100;
    auto* samples = reinterpret_cast<std::int16_t*>(doc.SampleData.data());
    for (std::uint32_t k = 0, f = 0; k < 16; ++k)
        for (std::uint32_t i = 0; i < lengths[k]; ++i, ++f)
            samples[2 * f + (k < 8 ? 0 : 1)] = static_cast<std::int16_t>(128 << (k % 8));
    start(doc);
    for (std::uint8_t k = 0; k < 16; ++k)
        play({{0x90, static_cast<std::uint8_t>(48 + k), 127}});
    waitForVoices(16);
    const auto stream = captured();

    std::vector<std::size_t> first(16, 0), count(16, 0), last(16, 0);
    std::size_t together = 0;
    for (std::size_t f = 0; f + 1 < stream.size(); f += 2) {
        const auto left = static_cast<std::uint16_t>(stream[f]);
        const auto right = static_cast<std::uint16_t>(stream[f + 1]);
        ASSERT_EQ(left & 0x807F, 0) << "a sum of whole voices, frame " << f / 2;
        ASSERT_EQ(right & 0x807F, 0) << "a sum of whole voices, frame " << f / 2;
        const unsigned voices = (left >> 7) | ((right >> 7) << 8);
        together = std::max<std::size_t>(together, std::popcount(voices));
        for (int k = 0; k < 16; ++k) {
            if (voices & (1u << k)) {
                if (count[static_cast<std::size_t>(k)]++ == 0)
                    first[static_cast<std::size_t>(k)] = f / 2;
                last[static_cast<std::size_t>(k)] = f / 2;
            }
        }
    }
    for (std::size_t k = 0; k < 16; ++k) {
        const std::size_t length = lengths[k];
        EXPECT_EQ(count[k], length) << "voice " << k << " sounds for its whole segment";
        EXPECT_EQ(last[k] - first[k] + 1, length) << "voice " << k << " in one run";
    }
    // How many overlap depends on when the MIDI thread ran against the audio thread (the
    // capture device plays far faster than real time); on an idle machine all 16 do.
    std::cout << "at most " << together << " of 16 voices sounded in one frame\n";
}

// The built command in a process of its own, its standard output read line by line.
class CommandProcess {
public:
    CommandProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> all{TOLVANE_COMMAND};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = env;
        for (char** e = environ; *e; ++e)
            environment.emplace_back(*e);
        for (std::string& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, TOLVANE_COMMAND, &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fds[0];
    }
    ~CommandProcess() {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            close(m_out);
    }
    bool started() const { return m_pid > 0; }

    // Reads the output until a line holds `text`; false at its end.
    bool waitForLine(const std::string& text) {
        std::string line;
        char ch;
        while (read(m_out, &ch, 1) == 1) {
            if (ch != '\n') {
                line += ch;
                continue;
            }
            lines += line + "\n";
            if (line.find(text) != std::string::npos)
                return true;
            line.clear();
        }
        return false;
    }
    // Sends the signal and waits for the process to end; its exit status, or -1 when the
    // signal ended it.
    int stop(int signal) {
        kill(m_pid, signal);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_ended = true;
        waitForLine("\x01"); // the rest of the output
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string lines;

private:
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_ended = false;
};

TEST_F(JackAudition, TheCommandPlaysTheKeysSegmentUntilInterruptedAndEndsCleanly) {
    test::TempDir dir;
    std::vector<std::int16_t> samples(30000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((static_cast<int>(i) * 6007) % 40001 - 20000);
    writeWaveFile(dir.file("loop.wav"), 1, 44100, samples.data(), samples.size() * 2);
    for (const int signal : {SIGINT, SIGTERM}) {
        CommandProcess command({"audition", dir.file("loop.wav"), "--port", keys.outputPort(),
                                "--device", "tolvane_capture", "--locators", "20000", "40000",
                                "--base-note", "60"},
                               {std::string("ALSA_CONFIG_PATH=") + TOLVANE_AUDITION_ALSA_CONFIG});
        ASSERT_TRUE(command.started());
        ASSERT_TRUE(command.waitForLine("playing the segments from")) << command.lines;
        play({{0x90, 60, 127}});
        ASSERT_TRUE(command.waitForLine("note 60: segment 1")) << command.lines;
        play({{0x90, 61, 127}});
        ASSERT_TRUE(command.waitForLine("note 61: no segment")) << command.lines;
        EXPECT_EQ(command.stop(signal), 0) << "a signal ends it cleanly";
        EXPECT_NE(command.lines.find("stopped"), std::string::npos) << command.lines;
    }
    // The last run's note: from locator L to the frame before locator R.
    const auto stream = readSamples(TOLVANE_AUDITION_CAPTURE);
    std::filesystem::remove(TOLVANE_AUDITION_CAPTURE);
    const std::vector<std::int16_t> segment(samples.begin() + 10000, samples.begin() + 19999);
    EXPECT_NE(std::search(stream.begin(), stream.end(), segment.begin(), segment.end()),
              stream.end())
        << "the key's segment plays";
}

} // namespace
} // namespace tolvane
