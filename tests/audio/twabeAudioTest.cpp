#include "audio/twabeAudio.h"

#include "audio/TAudioDriver.h"
#include "fakes/FakeAudio.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <numeric>

namespace tolvane {
namespace {

using test::FakeAudioBackend;
using test::QueuedPoster;

class Player : public testing::Test {
protected:
    Player() : audio(backend, [this](std::function<void()> job) { poster(std::move(job)); }) {
        data.resize(200'000);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        audio.setSource(data.data(), data.size());
        audio.setFormat(2, 1000); // one second of buffer = 4000 bytes
        audio.setSeconds(1);
        audio.setBufferCount(3);
        audio.OnWaveoutput = [this] { ++ended; };
        EXPECT_TRUE(audio.open());
    }

    std::vector<std::uint8_t> range(std::size_t from, std::size_t count) {
        return {data.begin() + static_cast<std::ptrdiff_t>(from),
                data.begin() + static_cast<std::ptrdiff_t>(from + count)};
    }
    test::FakeAudioOutput& out() { return *backend.last; }
    // The device plays one buffer; its return reaches the window's thread.
    void finishOne() {
        out().finishOne();
        poster.deliver();
    }

    FakeAudioBackend backend;
    QueuedPoster poster;
    std::vector<std::uint8_t> data;
    twabeAudio audio;
    int ended = 0;
};

TEST_F(Player, AShortRangePlaysInOneBufferOfExactlyItsBytes) {
    audio.playRange(1000, 1500, false);
    ASSERT_EQ(out().written.size(), 1u);
    EXPECT_EQ(out().written[0].bytes, range(1000, 1500));
    EXPECT_EQ(audio.mode(), twabeAudio::Mode::OneShot);
    finishOne();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(audio.isPlaying());
}

TEST_F(Player, ALoopShorterThanABufferRepeatsWithoutAGap) {
    audio.playRange(400, 1000, true);
    EXPECT_EQ(audio.mode(), twabeAudio::Mode::Loop);
    ASSERT_EQ(out().written.size(), 3u) << "all the buffers of the setting are used";
    std::vector<std::uint8_t> stream;
    for (int round = 0; round < 5; ++round)
        finishOne();
    for (const auto& w : out().written) {
        EXPECT_EQ(w.bytes.size(), 4000u);
        stream.insert(stream.end(), w.bytes.begin(), w.bytes.end());
    }
    for (std::size_t i = 0; i < stream.size(); ++i)
        ASSERT_EQ(stream[i], data[400 + i % 1000]) << "byte " << i;
    EXPECT_EQ(ended, 0);
}

TEST_F(Player, AStreamedRangePlaysEveryByteOnceInOrder) {
    audio.playRange(0, 50'001 & ~1u, false);
    EXPECT_EQ(audio.mode(), twabeAudio::Mode::Streaming);
    while (audio.isPlaying() && out().written.size() < 100)
        finishOne();
    std::vector<std::uint8_t> stream;
    for (const auto& w : out().written)
        stream.insert(stream.end(), w.bytes.begin(), w.bytes.end());
    EXPECT_EQ(stream, range(0, 50'000));
    EXPECT_EQ(ended, 1);
}

TEST_F(Player, StopDuringASegmentAuditionLeavesTheDeviceAlone) {
    audio.playRange(0, 1000, false);
    const int resets = out().resets;
    audio.segmentAudition = true;
    audio.stop();
    EXPECT_EQ(out().resets, resets);
    audio.segmentAudition = false;
    audio.stop();
    EXPECT_EQ(out().resets, resets + 1);
}

TEST_F(Player, ReturnsFromBeforeARestartDoNotEndTheNewPlayback) {
    audio.playRange(0, 20'000, false); // streaming: 3 buffers out
    audio.stop();
    audio.playRange(0, 1000, false); // one buffer out
    poster.deliver();                // the cancelled buffers come back now
    EXPECT_TRUE(audio.isPlaying());
    EXPECT_EQ(ended, 0);
    finishOne();
    EXPECT_EQ(ended, 1);
}

TEST_F(Player, ChannelModesSetTheVolumes) {
    out().left = 30000;
    out().right = 50000;
    audio.channelMode(PlayChannels::Right);
    EXPECT_EQ(out().left, 0);
    EXPECT_EQ(out().right, 50000) << "mode 1 plays the right channel only";
    audio.channelMode(PlayChannels::Left);
    EXPECT_EQ(out().left, 50000);
    EXPECT_EQ(out().right, 0);
    audio.channelMode(PlayChannels::Both);
    EXPECT_EQ(out().left, 50000);
    audio.channelMode(PlayChannels::Restore);
    EXPECT_EQ(out().left, 0xFFFF) << "the volume read when the device was opened";
}

TEST_F(Player, NineOrTenBuffersPlayAsEight) {
    audio.setBufferCount(10);
    audio.playRange(0, 100'000, false);
    EXPECT_EQ(audio.buffersInUse(), kMaxPlayBuffers);
}

TEST_F(Player, AFileLongerThanAllBuffersStreamsEveryByteOnce) {
    test::TempDir dir;
    const std::string path = dir.file("long.wav");
    test::writeBytes(path, test::waveImage(2, 1000, range(0, 30'000)));
    ASSERT_TRUE(audio.playFile(path));
    while (audio.isPlaying() && backend.last->written.size() < 100)
        finishOne();
    std::vector<std::uint8_t> stream;
    for (const auto& w : backend.last->written)
        stream.insert(stream.end(), w.bytes.begin(), w.bytes.end());
    EXPECT_EQ(stream, range(0, 30'000));
}

TEST_F(Player, ARejectedFormatIsReported) {
    backend.refuse = true;
    AudioOpenError error;
    EXPECT_FALSE(audio.open(&error));
    EXPECT_EQ(error.code, kAudioErrorBadFormat);
    EXPECT_FALSE(audio.isOpen());
}

TEST_F(Player, AProductNameChoosesItsDeviceAndARefusedBufferIsKeptAsTheLastStatus) {
    backend.devices = {"Desk speakers", "USB interface"};
    EXPECT_TRUE(audio.setProductName("USB interface"));
    EXPECT_EQ(audio.DeviceID, 1);
    EXPECT_EQ(audio.ProductName(), "USB interface");
    EXPECT_FALSE(audio.setProductName("Missing"));
    EXPECT_EQ(audio.DeviceID, 1) << "an unknown name changes nothing";
    EXPECT_TRUE(audio.setProductName(audio.ProductName()));

    EXPECT_TRUE(audio.lastStatus().empty());
    out().refuseWrites = true;
    audio.playRange(0, 1500, false);
    EXPECT_FALSE(audio.lastStatus().empty());
    EXPECT_EQ(audio.inFlight(), 0);
}

TEST(TAudioDriver, WritesFullBuffersAndWaitsForReturns) {
    FakeAudioBackend backend;
    TAudioDriver driver;
    ASSERT_TRUE(driver.open(backend, kDefaultOutputDevice, 1, 100, 16, 44100));
    std::vector<std::uint8_t> bytes(650);
    std::iota(bytes.begin(), bytes.end(), 0);
    driver.write(bytes.data(), 350);
    EXPECT_EQ(backend.last->written.size(), 3u);
    EXPECT_EQ(backend.last->written[1].bytes,
              std::vector<std::uint8_t>(bytes.begin() + 100, bytes.begin() + 200));
    driver.write(bytes.data() + 350, 300);
    EXPECT_EQ(backend.last->written.size(), 6u);
    EXPECT_EQ(backend.last->written[3].bytes.front(), bytes[300]);
    driver.close();
}

} // namespace
} // namespace tolvane
