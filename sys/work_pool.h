// A small pool of worker threads that run queued tasks in the order they
// were queued. Needs only the standard library. A pool of no workers runs
// nothing by itself: its owner does the work on its own thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct WorkPool {
    std::vector<std::thread> workers;
    std::mutex lock;
    std::condition_variable queued;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
};

// Starts `workers` threads (fewer when the host will not give them all;
// none at all is a pool that runs nothing).
void work_pool_start(WorkPool* pool, unsigned workers);
// Queues `task` for the first free worker.
void work_pool_queue(WorkPool* pool, std::function<void()> task);
// Drops the tasks no worker has begun, waits for those under way and ends
// the threads.
void work_pool_stop(WorkPool* pool);

// The number of online processors, at least 1.
unsigned work_pool_processors();

// Takes `lock` (any lockable), trying a few times before sleeping on it: for
// locks that several threads of a pass take for a few hundred nanoseconds
// at a time, where sleeping and being woken would cost more than the wait.
template <typename Lockable>
void work_lock(Lockable& lock) {
    constexpr int TRIES = 200;
    for (int tries = 0; tries < TRIES; ++tries) {
        if (lock.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    lock.lock();
}

// `lock` taken as work_lock takes it, held for the scope of the result.
template <typename Lockable>
std::unique_lock<Lockable> work_held(Lockable& lock) {
    work_lock(lock);
    return std::unique_lock<Lockable>(lock, std::adopt_lock);
}
