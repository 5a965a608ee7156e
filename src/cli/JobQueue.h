#pragma once

#include "platform/Poster.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tolvane::cli {

// The command's window thread: what the drivers and runs post is run here, in order.
class JobQueue {
public:
    Poster poster() {
        return [this](std::function<void()> job) {
            {
                std::lock_guard lock(m_mutex);
                m_jobs.push_back(std::move(job));
            }
            m_changed.notify_all();
        };
    }
    // Runs jobs until `done` holds or `limit` has passed; whether `done` holds.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::steady_clock::duration limit = std::chrono::hours(24)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                if (!m_changed.wait_for(lock, std::chrono::milliseconds(20),
                                        [&] { return !m_jobs.empty(); }))
                    continue;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
};

} // namespace tolvane::cli
