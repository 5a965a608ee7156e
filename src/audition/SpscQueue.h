#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace tolvane {

// A fixed ring between one producing thread and one consuming thread: neither side locks,
// allocates or waits, so the audio thread can take from it and a device thread can give to it.
// `push` fails when the ring is full; `pop` when it is empty.
template <typename T, std::size_t Capacity> class SpscQueue {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "the capacity is a power of two");

public:
    // Thread: the producer only.
    bool push(const T& item) {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[tail & (Capacity - 1)] = item;
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Thread: the consumer only.
    bool pop(T& item) {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire))
            return false;
        item = m_items[head & (Capacity - 1)];
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    // Thread: the producer (how much more fits) or the consumer (how much waits).
    std::size_t size() const {
        return m_tail.load(std::memory_order_acquire) - m_head.load(std::memory_order_acquire);
    }

private:
    std::array<T, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0};
    alignas(64) std::atomic<std::size_t> m_tail{0};
};

} // namespace tolvane
