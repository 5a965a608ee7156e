// The real output path: PortAudio into an ALSA device that writes what it plays to a file.
#include "audio/twabeAudio.h"
#include "fileio/SampleFileReader.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Jobs posted from the audio thread, run on the test's thread.
struct ThreadSafePoster {
    std::mutex mutex;
    std::vector<std::function<void()>> jobs;
    void post(std::function<void()> job) {
        std::lock_guard lock(mutex);
        jobs.push_back(std::move(job));
    }
    void deliver() {
        std::vector<std::function<void()>> now;
        {
            std::lock_guard lock(mutex);
            now.swap(jobs);
        }
        for (auto& job : now)
            job();
    }
};

TEST(PortAudioCapture, TheCapturedStreamHoldsExactlyTheSegmentsBytes) {
    const std::string capture = TOLVANE_CAPTURE_FILE;
    std::filesystem::remove(capture);
    auto backend = makePortAudioBackend();
    ASSERT_TRUE(backend) << "PortAudio did not start";
    const auto devices = backend->outputDevices();
    const auto found = std::find(devices.begin(), devices.end(), "tolvane_capture");
    ASSERT_NE(found, devices.end()) << "the capture device is not listed";

    SampleDocument doc;
    loadSampleFile(doc, TOLVANE_DEMO_LOOP);
    const std::uint32_t start = 88200 * 2;  // one beat in, a whole frame
    const std::uint32_t length = 44100 * 2; // half a second of stereo
    ThreadSafePoster poster;
    bool ended = false;
    {
        twabeAudio audio(*backend,
                         [&poster](std::function<void()> job) { poster.post(std::move(job)); });
        audio.DeviceID = static_cast<int>(found - devices.begin());
        audio.setFormat(doc.Channels, static_cast<int>(doc.SampleRate));
        audio.setSource(doc.SampleData.data(), doc.SampleData.size());
        audio.OnWaveoutput = [&ended] { ended = true; };
        AudioOpenError error;
        ASSERT_TRUE(audio.open(&error)) << error.text;
        audio.playRange(start, length, false);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            poster.deliver();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_TRUE(ended) << "the one-shot playback reports its end";
        audio.close();
    }
    backend.reset();

    const auto captured = readAll(capture);
    const std::vector<std::uint8_t> segment(doc.SampleData.data() + start,
                                            doc.SampleData.data() + start + length);
    ASSERT_GT(captured.size(), segment.size());
    const auto at = std::search(captured.begin(), captured.end(), segment.begin(), segment.end());
    ASSERT_NE(at, captured.end()) << "the segment's bytes are in the stream, in one piece";
    EXPECT_TRUE(std::all_of(captured.begin(), at, [](std::uint8_t b) { return b == 0; }))
        << "silence before";
    EXPECT_TRUE(std::all_of(at + static_cast<std::ptrdiff_t>(segment.size()), captured.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << "silence after";
}

} // namespace
} // namespace tolvane
