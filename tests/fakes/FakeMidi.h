#pragma once

#include "fakes/QueuedPoster.h"
#include "platform/MidiBackend.h"
#include "platform/Poster.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane::test {

// MIDI ports in memory: every output records what is sent to it; `deliver` hands a message to
// the handler of an open input as the system's MIDI thread would.
class FakeMidiBackend : public MidiBackend {
public:
    std::vector<std::string> inputNames{"Fake In A", "Fake In B"};
    std::vector<std::string> outputNames{"Fake Out A", "Fake Out B", "Fake Out C"};
    std::map<int, std::vector<std::vector<std::uint8_t>>> sent; // by output index
    bool refuseOpen = false;

    std::string apiName() const override { return "fake"; }
    std::vector<std::string> inputs() override { return inputNames; }
    std::vector<std::string> outputs() override { return outputNames; }

    std::unique_ptr<MidiOutPort> openOutput(int index) override {
        if (refuseOpen)
            throw MidiBackendError("device refused");
        return std::make_unique<Out>(*this, index);
    }
    std::unique_ptr<MidiInPort> openInput(int index, MidiInputHandler handler) override {
        if (refuseOpen)
            throw MidiBackendError("device refused");
        std::lock_guard lock(m_mutex);
        m_handlers[index] = std::move(handler);
        return std::make_unique<In>(*this, index);
    }

    // False when the input is not open.
    bool deliver(int input, std::vector<std::uint8_t> message) {
        std::lock_guard lock(m_mutex);
        const auto h = m_handlers.find(input);
        if (h == m_handlers.end())
            return false;
        h->second(0.0, std::move(message));
        return true;
    }
    std::vector<std::vector<std::uint8_t>> sentTo(int output) {
        std::lock_guard lock(m_mutex);
        return sent[output];
    }

private:
    struct Out : MidiOutPort {
        Out(FakeMidiBackend& b, int i) : backend(b), index(i) {}
        void send(std::span<const std::uint8_t> message) override {
            std::lock_guard lock(backend.m_mutex);
            backend.sent[index].emplace_back(message.begin(), message.end());
        }
        FakeMidiBackend& backend;
        int index;
    };
    struct In : MidiInPort {
        In(FakeMidiBackend& b, int i) : backend(b), index(i) {}
        ~In() override {
            std::lock_guard lock(backend.m_mutex);
            backend.m_handlers.erase(index);
        }
        FakeMidiBackend& backend;
        int index;
    };

    std::mutex m_mutex;
    std::map<int, MidiInputHandler> m_handlers;
};

} // namespace tolvane::test
