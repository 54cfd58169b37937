// Copies made ahead on workers, put in place in their owner's order.
#include "media/copy_batch.h"

#include <algorithm>

#include "sys/drive_providers.h"
#include "sys/text.h"

namespace {

// How many copies per job may be begun past the one the owner waits for,
// at the least: enough to keep every worker busy while the owner takes its
// turns. A worker that takes runs of tickets may be two runs ahead. A copy
// made ahead holds a file open until it takes its place, so never more
// than MOST_AHEAD are: far below the usual limit of 1024 open files.
constexpr size_t AHEAD_PER_JOB = 4;
constexpr size_t MOST_AHEAD = 256;

// The progress of a copy on a worker: counted, and passed on by the owner.
void batch_progress(void* user, uint32_t bytes) {
    BatchCopy* copy = static_cast<BatchCopy*>(user);
    CopyBatch* batch = copy->batch;
    auto held = work_held(batch->lock);
    copy->moved += bytes;
    if (batch->owner_waits == copy->ticket) batch->told.notify_all();
}

bool door_open(const CopyBatch* batch, unsigned door) {
    return door == 0 || batch->doors[door - 1];
}

// Puts the whole copy a worker made in place, or gives it up when it is not
// to be kept (or cannot be put in place), leaving nothing behind.
ResultCode batch_settle(BatchCopy* copy, bool keep) {
    ResultCode code = copy_aside_settle(copy->made, copy->temporary, copy->destination, keep);
    copy->made = nullptr;
    return code;
}

// A worker's part of `copy`: the whole copy beside its destination, left
// for the owner to put in place; or nothing at all when the owner has passed it by meanwhile.
// The lock is held on entry and on return.
void batch_make(CopyBatch* batch, BatchCopy* copy, std::unique_lock<std::mutex>& held) {
    copy->state = BATCH_COPYING;
    held.unlock();
    CopyOptions options = copy->options;
    if (options.progress) {
        options.progress = batch_progress;
        options.user = copy;
    }
    ResultCode code =
        copy_file_aside(copy->source, copy->destination, options, &copy->made, &copy->temporary);
    work_lock(held);
    if (code == RC_OK && copy->abandoned) {
        held.unlock();
        (void)batch_settle(copy, false);
        work_lock(held);
    }
    copy->code = code;
    copy->state = code == RC_OK && !copy->abandoned ? BATCH_COPIED : BATCH_DONE;
    if (batch->owner_waits == copy->ticket) batch->told.notify_all();
}

// The tickets a worker may take now, from `*first` to `*end`: the first not
// taken yet, up to a run's length within the window past the owner, ending
// before a copy whose door is still closed (the walk opens it when it comes
// there, and the copies behind it are taken then). The lock is held.
void batch_takeable(const CopyBatch* batch, size_t* first, size_t* end) {
    *first = std::max(batch->next, batch->passed);
    size_t last =
        std::min({*first + batch->run, batch->copies.size(), batch->passed + batch->ahead});
    *end = *first;
    while (*end < last && door_open(batch, batch->copies[*end]->door)) ++*end;
}

bool batch_takeable(const CopyBatch* batch) {
    size_t first = 0, end = 0;
    batch_takeable(batch, &first, &end);
    return end > first;
}

// Wakes the idle workers when a whole run of tickets is ready for them, so
// that each wakes for a run, not for every copy queued or put in place (the
// last few are made by the owner, or by a worker still awake). The lock is
// held.
void batch_wake_workers(CopyBatch* batch) {
    size_t first = 0, end = 0;
    batch_takeable(batch, &first, &end);
    if (end - first >= batch->run) batch->changed.notify_all();
}

// A worker: takes runs of consecutive tickets and makes each copy of the
// run that no one has begun and that is not the owner's own. A copy passed
// by here is made by the owner when it comes to it.
void batch_work(CopyBatch* batch) {
    auto held = work_held(batch->lock);
    for (;;) {
        batch->changed.wait(held, [&] { return batch->stopping || batch_takeable(batch); });
        if (batch->stopping) return;
        size_t first = 0, end = 0;
        batch_takeable(batch, &first, &end);
        batch->next = end;
        for (size_t t = first; t < end; ++t) {
            BatchCopy* copy = batch->copies[t].get();
            if (copy->state == BATCH_WAITING && !copy->abandoned && !copy->on_owner)
                batch_make(batch, copy, held);
        }
    }
}

// Makes the first copy no worker has taken, as a worker would, when there
// is one within the window; the lock is held on entry and on return. True
// when one was made.
bool batch_help(CopyBatch* batch, std::unique_lock<std::mutex>& held) {
    size_t first = 0, end = 0;
    for (batch_takeable(batch, &first, &end); end > first; batch_takeable(batch, &first, &end)) {
        BatchCopy* copy = batch->copies[first].get();
        batch->next = first + 1;
        if (copy->state != BATCH_WAITING || copy->abandoned || copy->on_owner) continue;
        batch_make(batch, copy, held);
        return true;
    }
    return false;
}

}  // namespace

void copy_batch_start(CopyBatch* batch, unsigned jobs, size_t run) {
    if (jobs > 1) work_pool_start(&batch->pool, jobs);
    size_t workers = batch->pool.workers.size();
    batch->run = std::max<size_t>(run, 1);
    batch->ahead = std::min(workers * std::max(AHEAD_PER_JOB, 2 * batch->run), MOST_AHEAD);
    for (size_t i = 0; i < workers; ++i)
        work_pool_queue(&batch->pool, [batch] { batch_work(batch); });
}

size_t copy_batch_add(CopyBatch* batch, std::string source, std::string destination,
                      const CopyOptions& options, unsigned door) {
    auto copy = std::make_unique<BatchCopy>();
    copy->batch = batch;
    copy->source = std::move(source);
    copy->destination = std::move(destination);
    copy->options = options;
    copy->door = door;
    ProvidedPath on;
    copy->on_owner = batch->pool.workers.empty() || options.cancel ||
                     drive_provider_find(copy->destination, &on);
    // A copy made ahead takes the spelling its name has when it is made. A
    // second copy to the same name (letter case aside) is made by the owner
    // in its turn, once the first has its name, so that it replaces it as
    // on one thread rather than standing beside it in another spelling.
    if (!copy->on_owner && !batch->destinations.insert(text_fold(copy->destination)).second)
        copy->on_owner = true;
    auto held = work_held(batch->lock);
    copy->ticket = batch->copies.size();
    batch->copies.push_back(std::move(copy));
    batch_wake_workers(batch);
    return batch->copies.back()->ticket;
}

unsigned copy_batch_door(CopyBatch* batch) {
    auto held = work_held(batch->lock);
    batch->doors.push_back(false);
    return unsigned(batch->doors.size());
}

void copy_batch_open(CopyBatch* batch, unsigned door) {
    auto held = work_held(batch->lock);
    if (door > 0 && door <= batch->doors.size()) batch->doors[door - 1] = true;
    batch_wake_workers(batch);
}

// Gives up the copies from `passed` up to `end`; the lock is held. A copy
// under way is given up by its worker when it ends.
static void batch_abandon_before(CopyBatch* batch, size_t end) {
    for (size_t t = batch->passed; t < end && t < batch->copies.size(); ++t) {
        BatchCopy* copy = batch->copies[t].get();
        if (copy->abandoned) continue;
        copy->abandoned = true;
        if (copy->state == BATCH_WAITING) copy->state = BATCH_DONE;
        // A copy made whole and left for the owner is given up here; no
        // worker looks at it again.
        if (copy->state == BATCH_COPIED) {
            (void)batch_settle(copy, false);
            copy->state = BATCH_DONE;
        }
    }
}

// Passes on to the copy's own progress callback, on the owner's thread, the
// bytes its worker has told of since last time; the lock is held, and let
// go meanwhile.
static void batch_tell(BatchCopy* copy, std::unique_lock<std::mutex>& held) {
    uint64_t bytes = copy->moved - copy->told;
    copy->told = copy->moved;
    if (bytes == 0 || !copy->options.progress) return;
    held.unlock();
    while (bytes > 0) {
        uint32_t part = bytes > UINT32_MAX ? UINT32_MAX : uint32_t(bytes);
        copy->options.progress(copy->options.user, part);
        bytes -= part;
    }
    work_lock(held);
}

ResultCode copy_batch_finish(CopyBatch* batch, size_t ticket) {
    auto held = work_held(batch->lock);
    if (ticket >= batch->copies.size() || ticket < batch->passed) return RC_NO_OBJECT;
    batch_abandon_before(batch, ticket);
    BatchCopy* copy = batch->copies[ticket].get();
    ResultCode code = RC_OK;
    for (;;) {
        if (copy->state == BATCH_WAITING) {
            // No worker has begun it: made here, as one thread makes it.
            copy->state = BATCH_COPYING;
            held.unlock();
            code = copy_file_replacing(copy->source, copy->destination, copy->options);
            work_lock(held);
            break;
        }
        if (copy->state == BATCH_COPYING) {
            // While a worker makes it, the owner makes one no worker has
            // taken yet, rather than wait idle.
            if (batch_help(batch, held)) continue;
            batch->owner_waits = ticket;
            batch->told.wait(
                held, [&] { return copy->state != BATCH_COPYING || copy->moved > copy->told; });
            batch->owner_waits = SIZE_MAX;
            batch_tell(copy, held);
            continue;
        }
        batch_tell(copy, held);
        if (copy->state == BATCH_DONE) {
            code = copy->code;
            break;
        }
        // Made ahead and left for the owner: moved into place here.
        held.unlock();
        code = batch_settle(copy, true);
        work_lock(held);
        break;
    }
    copy->code = code;
    copy->state = BATCH_DONE;
    batch->passed = ticket + 1;
    batch_wake_workers(batch);
    return code;
}

void copy_batch_end(CopyBatch* batch) {
    {
        auto held = work_held(batch->lock);
        batch_abandon_before(batch, batch->copies.size());
        batch->passed = batch->copies.size();
        batch->stopping = true;
        batch->changed.notify_all();
    }
    // A worker ends only between runs: a copy under way is seen through
    // first (and, given up, removed by its worker), so nothing is written
    // once the batch is gone.
    work_pool_stop(&batch->pool);
    batch->copies.clear();
    batch->doors.clear();
    batch->destinations.clear();
    batch->passed = 0;
    batch->next = 0;
    batch->stopping = false;
}
