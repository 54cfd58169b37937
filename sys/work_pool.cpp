// The worker pool.
#include "sys/work_pool.h"

#include <system_error>

static void work_pool_serve(WorkPool* pool) {
    std::unique_lock<std::mutex> held(pool->lock);
    for (;;) {
        pool->queued.wait(held, [&] { return pool->stopping || !pool->tasks.empty(); });
        if (pool->stopping) return;
        std::function<void()> task = std::move(pool->tasks.front());
        pool->tasks.pop_front();
        held.unlock();
        task();
        held.lock();
    }
}

void work_pool_start(WorkPool* pool, unsigned workers) {
    for (unsigned i = 0; i < workers; ++i) {
        // A host out of threads gives a smaller pool, not a failed run.
        try {
            pool->workers.emplace_back(work_pool_serve, pool);
        } catch (const std::system_error&) {
            break;
        }
    }
}

void work_pool_queue(WorkPool* pool, std::function<void()> task) {
    {
        std::lock_guard<std::mutex> held(pool->lock);
        pool->tasks.push_back(std::move(task));
    }
    pool->queued.notify_one();
}

void work_pool_stop(WorkPool* pool) {
    {
        std::lock_guard<std::mutex> held(pool->lock);
        pool->stopping = true;
        pool->tasks.clear();
    }
    pool->queued.notify_all();
    for (std::thread& worker : pool->workers) worker.join();
    pool->workers.clear();
    pool->stopping = false;
}

unsigned work_pool_processors() {
    unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}
