#pragma once
// Jobs run on a few threads and their results taken in the order the jobs were given: reading
// files ahead of the one who packs them, or compressing reset intervals on every core while
// the stream is written in order. The caller bounds how far ahead it gives jobs (pending()).
// Plain C++, no Qt.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace kvx::chm {

template <class Result> class OrderedPool {
public:
    // With fewer than two threads there are none: take() runs each job on the caller's.
    explicit OrderedPool(unsigned threads) {
        for (unsigned i = 0; threads > 1 && i < threads; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;
    // Jobs not begun are dropped; those running are waited for.
    ~OrderedPool() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_work.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // Threads are woken once a few jobs wait, or when take() would wait: a job that takes
    // microseconds is not worth a thread's waking on its own.
    void submit(std::function<Result()> job) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slots.push_back(Slot{std::move(job), {}, nullptr, false});
        if (m_slots.size() - m_begun >= m_threads.size())
            m_work.notify_one();
    }

    // Jobs given and not yet taken.
    std::size_t pending() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_slots.size();
    }

    // Whether the oldest job's result is there, so that take() would not wait.
    bool ready() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_slots.empty() && m_slots.front().done();
    }

    // The oldest job's result; the caller runs that job itself when no thread has begun it.
    // A job's exception comes out here.
    Result take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        Slot& slot = m_slots.front();
        if (!slot.started) {
            slot.started = true;
            ++m_begun;
            wake();
            lock.unlock();
            run(slot);
            lock.lock();
        }
        if (!slot.done())
            wake();
        // A job begun is often a short one: waiting a moment costs less than sleeping.
        for (int spins = 0; spins < 64 && !slot.done(); ++spins) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        m_done.wait(lock, [&] { return slot.done(); });
        Slot taken = std::move(slot);
        m_slots.pop_front();
        --m_begun;
        lock.unlock();
        if (taken.error)
            std::rethrow_exception(taken.error);
        return std::move(*taken.result);
    }

private:
    struct Slot {
        std::function<Result()> job;
        std::optional<Result> result;
        std::exception_ptr error;
        bool started;
        bool done() const { return result || error; }
    };

    // A thread for each job not begun, as far as there are threads.
    void wake() {
        for (std::size_t n = std::min(m_slots.size() - m_begun, m_threads.size()); n > 0; --n)
            m_work.notify_one();
    }

    // Outside the lock: a slot is neither moved nor dropped while its job runs (a deque keeps
    // its elements in place when others are added or taken at the ends).
    void run(Slot& slot) {
        std::optional<Result> result;
        std::exception_ptr error;
        try {
            result.emplace(slot.job());
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            slot.result = std::move(result);
            slot.error = error;
            slot.job = nullptr;
        }
        m_done.notify_all();
    }

    void work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [&] { return m_stopping || m_begun < m_slots.size(); });
            if (m_stopping)
                return;
            // Slots before m_begun have all begun: they are taken in order.
            Slot& slot = m_slots[m_begun++];
            slot.started = true;
            lock.unlock();
            run(slot);
            lock.lock();
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_work; // a job was given, or the pool stops
    std::condition_variable m_done; // a job finished
    std::deque<Slot> m_slots;       // given and not yet taken, oldest first
    std::size_t m_begun = 0;        // of m_slots, the first this many have begun
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace kvx::chm
