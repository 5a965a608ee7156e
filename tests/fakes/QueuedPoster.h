#pragma once

#include "platform/Poster.h"

#include <deque>
#include <functional>
#include <mutex>

namespace tolvane::test {

// Jobs for the window's thread, kept until the test delivers them (device threads post too).
class QueuedPoster {
public:
    void operator()(std::function<void()> job) {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    Poster poster() {
        return [this](std::function<void()> job) { (*this)(std::move(job)); };
    }
    // Runs every job posted so far and those they post; how many ran.
    int deliver() {
        int ran = 0;
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(m_mutex);
                if (m_jobs.empty())
                    return ran;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
            ++ran;
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_jobs;
};

} // namespace tolvane::test
