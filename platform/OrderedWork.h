#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Does `work(0)`, `work(1)`, … `work(count - 1)` on threads of its own, a few items ahead of the
// caller, and hands the results out in order. Memory stays bounded however many items there are.
// `work` must not throw. The destructor stops the threads after their current item and joins them.
template <class T>
class OrderedWork {
public:
    OrderedWork(int count, std::function<T(int)> work, int threads = 2, int ahead = 4)
        : m_work(std::move(work)), m_count(count), m_ahead(ahead) {
        for (int i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { Loop(); });
        }
    }
    ~OrderedWork() {
        {
            std::lock_guard lock(m_mutex);  // so that no thread misses the wake-up
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // The next item's result; nothing when every item has been taken.
    std::optional<T> Take() {
        std::unique_lock lock(m_mutex);
        if (m_nextTake >= m_count) {
            return std::nullopt;
        }
        while (m_done.count(m_nextTake) == 0) {
            m_changed.wait_for(lock, kPoll);
        }
        const auto found = m_done.find(m_nextTake++);
        std::optional<T> result = std::move(found->second);
        m_done.erase(found);
        lock.unlock();
        m_changed.notify_all();  // room for one more ahead
        return result;
    }

private:
    static constexpr auto kPoll = std::chrono::milliseconds(100);

    void Loop() {
        for (;;) {
            std::unique_lock lock(m_mutex);
            while (!m_stop && m_nextStart < m_count && m_nextStart >= m_nextTake + m_ahead) {
                m_changed.wait_for(lock, kPoll);
            }
            if (m_stop || m_nextStart >= m_count) {
                return;
            }
            const int item = m_nextStart++;
            lock.unlock();
            T result = m_work(item);
            lock.lock();
            m_done.emplace(item, std::move(result));
            lock.unlock();
            m_changed.notify_all();
        }
    }

    const std::function<T(int)> m_work;
    const int m_count;
    const int m_ahead;
    std::mutex m_mutex;  // guards the members below
    std::condition_variable m_changed;
    std::atomic<bool> m_stop{false};
    int m_nextStart = 0;
    int m_nextTake = 0;
    std::map<int, T> m_done;
    std::vector<std::thread> m_threads;  // last: started once the rest is set up
};
