#pragma once

#include "fakes/QueuedPoster.h"
#include "platform/AudioBackend.h"

#include <deque>
#include <functional>
#include <vector>

namespace tolvane::test {

// An output that records what is queued and returns buffers when the test says so.
class FakeAudioOutput : public AudioOutput {
public:
    struct Written {
        int id;
        std::vector<std::uint8_t> bytes;
    };

    std::vector<Written> written; // everything ever queued, in order
    std::deque<int> queued;       // ids waiting to be played
    int resets = 0;
    std::uint16_t left = 0xFFFF, right = 0xFFFF;
    std::uint64_t played = 0;
    bool refuseWrites = false; // the device takes no more buffers
    AudioMixSource* mix = nullptr;

    bool setMixSource(AudioMixSource* source) override {
        mix = source;
        return true;
    }
    // One block of the device's thread: silence with what the mix source adds.
    std::vector<std::int16_t> playBlock(std::size_t frames, int channels) {
        std::vector<std::int16_t> block(frames * static_cast<std::size_t>(channels));
        if (mix)
            mix->mixInto(block.data(), frames, channels);
        return block;
    }

    bool write(int bufferId, const std::uint8_t* bytes, std::size_t count) override {
        if (refuseWrites)
            return false;
        written.push_back({bufferId, std::vector<std::uint8_t>(bytes, bytes + count)});
        queued.push_back(bufferId);
        return true;
    }
    bool replace(int bufferId, const std::uint8_t* bytes, std::size_t count) override {
        for (auto it = written.rbegin(); it != written.rend(); ++it)
            if (it->id == bufferId) {
                it->bytes.assign(bytes, bytes + count);
                return true;
            }
        return false;
    }
    void reset() override {
        ++resets;
        played = 0;
        std::deque<int> cancelled;
        cancelled.swap(queued);
        for (int id : cancelled)
            onDone(id);
    }
    std::uint64_t position() const override { return played; }
    void setVolume(std::uint16_t l, std::uint16_t r) override {
        left = l;
        right = r;
    }
    void volume(std::uint16_t& l, std::uint16_t& r) const override {
        l = left;
        r = right;
    }
    // The device finishes the oldest queued buffer.
    void finishOne() {
        if (queued.empty())
            return;
        const int id = queued.front();
        queued.pop_front();
        onDone(id);
    }
};

class FakeAudioBackend : public AudioBackend {
public:
    FakeAudioOutput* last = nullptr;
    bool refuse = false;
    std::vector<std::string> devices = {"Fake output"};
    // The format and device of the last open.
    int lastDevice = 0, lastChannels = 0, lastRate = 0;
    int opens = 0;

    std::vector<std::string> outputDevices() override { return devices; }
    std::string systemName() const override { return "Fake audio"; }
    std::unique_ptr<AudioOutput> open(int device, int channels, int rate,
                                      AudioOpenError& error) override {
        if (refuse) {
            error = {kAudioErrorBadFormat, "rejected"};
            return nullptr;
        }
        ++opens;
        lastDevice = device;
        lastChannels = channels;
        lastRate = rate;
        auto output = std::make_unique<FakeAudioOutput>();
        last = output.get();
        return output;
    }
};

} // namespace tolvane::test
