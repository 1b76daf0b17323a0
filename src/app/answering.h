#pragma once
// Work the window waits for without standing still: the job runs on a thread of its own while
// this thread goes on handling the desktop's events. Only for callers whose busy state keeps a
// close waiting and whose input is kept from starting the same work again.

#include <QCoreApplication>
#include <chrono>
#include <future>

namespace kvx {

// How often the window answers while it waits.
constexpr std::chrono::milliseconds kAnswerEvery{10};

// Runs `job` on another thread and returns what it returns (or throws what it throws). The
// window answers at least once, however quick the job: what can happen meanwhile always can.
template <class Job> auto whileAnswering(Job job) -> decltype(job()) {
    auto running = std::async(std::launch::async, std::move(job));
    do
        QCoreApplication::processEvents();
    while (running.wait_for(kAnswerEvery) != std::future_status::ready);
    return running.get();
}

} // namespace kvx
