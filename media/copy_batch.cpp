// Copies made ahead on workers, put in place in their owner's order.
#include "media/copy_batch.h"

#include "sys/drive_providers.h"
#include "sys/files.h"
#include "sys/paths.h"
#include "sys/text_file.h"

namespace {

// How many copies per job may be begun past the one the owner waits for:
// enough to keep every worker busy while the owner takes its turns, few
// enough that not many temporary files are about at once.
constexpr size_t AHEAD_PER_JOB = 4;

// The progress of a copy on a worker: counted, and passed on by the owner.
void batch_progress(void* user, uint32_t bytes) {
    BatchCopy* copy = static_cast<BatchCopy*>(user);
    CopyBatch* batch = copy->batch;
    {
        std::lock_guard<std::mutex> held(batch->lock);
        copy->moved += bytes;
    }
    batch->told.notify_all();
}

bool door_open(const CopyBatch* batch, unsigned door) {
    return door == 0 || batch->doors[door - 1];
}

// Marks `copy` done with `code`; the lock is held.
void batch_done(CopyBatch* batch, BatchCopy* copy, ResultCode code) {
    copy->code = code;
    copy->state = BATCH_DONE;
    batch->told.notify_all();
}

// Moves the whole temporary file of `copy` into place (by the names its
// worker found on the host), or removes it when it is not to be kept (or
// cannot be moved).
ResultCode batch_settle(BatchCopy* copy, bool keep) {
    ResultCode code = keep ? file_move_make(copy->move) : RC_OK;
    if (!keep || code != RC_OK) (void)file_delete(copy->temporary);
    return code;
}

// A worker's part: the temporary file, and the move into place when the
// owner has come to it already; or nothing at all when the owner passed
// it by.
void batch_run(BatchCopy* copy) {
    CopyBatch* batch = copy->batch;
    std::unique_lock<std::mutex> held(batch->lock);
    batch->changed.wait(held, [&] {
        return copy->abandoned || copy->granted ||
               (door_open(batch, copy->door) && copy->ticket < batch->passed + batch->ahead);
    });
    if (copy->abandoned) return batch_done(batch, copy, RC_OK);
    copy->state = BATCH_COPYING;
    held.unlock();

    CopyOptions options = copy->options;
    options.progress = batch_progress;
    options.user = copy;
    ResultCode code = copy_file(copy->source, copy->temporary, options);
    // The names are found here, so that the owner's turn is the rename alone.
    if (code == RC_OK) code = file_move_prepare(copy->temporary, copy->destination, &copy->move);
    if (code != RC_OK) (void)file_delete(copy->temporary);

    held.lock();
    if (code != RC_OK) return batch_done(batch, copy, code);
    if (!copy->granted && !copy->abandoned) {
        // The owner has not come to it yet: it puts the copy in place (or
        // gives it up) when it does, and this worker goes on with another.
        copy->state = BATCH_COPIED;
        batch->told.notify_all();
        return;
    }
    bool keep = copy->granted;
    held.unlock();
    code = batch_settle(copy, keep);
    held.lock();
    batch_done(batch, copy, code);
}

}  // namespace

void copy_batch_start(CopyBatch* batch, unsigned jobs) {
    if (jobs > 1) work_pool_start(&batch->pool, jobs);
    batch->ahead = batch->pool.workers.size() * AHEAD_PER_JOB;
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
    if (!copy->on_owner) copy->temporary = text_file_temporary_path(copy->destination);
    BatchCopy* queued = copy.get();
    {
        std::lock_guard<std::mutex> held(batch->lock);
        copy->ticket = batch->copies.size();
        batch->copies.push_back(std::move(copy));
    }
    if (!queued->on_owner) work_pool_queue(&batch->pool, [queued] { batch_run(queued); });
    return queued->ticket;
}

unsigned copy_batch_door(CopyBatch* batch) {
    std::lock_guard<std::mutex> held(batch->lock);
    batch->doors.push_back(false);
    return unsigned(batch->doors.size());
}

void copy_batch_open(CopyBatch* batch, unsigned door) {
    {
        std::lock_guard<std::mutex> held(batch->lock);
        if (door > 0 && door <= batch->doors.size()) batch->doors[door - 1] = true;
    }
    batch->changed.notify_all();
}

// Gives up the copies from `passed` up to `end`; the lock is held.
static void batch_abandon_before(CopyBatch* batch, size_t end) {
    for (size_t t = batch->passed; t < end && t < batch->copies.size(); ++t) {
        BatchCopy* copy = batch->copies[t].get();
        if (copy->abandoned) continue;
        copy->abandoned = true;
        if (copy->on_owner) copy->state = BATCH_DONE;
        // A temporary file made whole and left for the owner is removed
        // here; no worker looks at the copy again.
        if (copy->state == BATCH_COPIED) {
            (void)batch_settle(copy, false);
            copy->state = BATCH_DONE;
        }
    }
    batch->changed.notify_all();
}

ResultCode copy_batch_finish(CopyBatch* batch, size_t ticket) {
    std::unique_lock<std::mutex> held(batch->lock);
    if (ticket >= batch->copies.size() || ticket < batch->passed) return RC_NO_OBJECT;
    batch_abandon_before(batch, ticket);
    BatchCopy* copy = batch->copies[ticket].get();
    if (copy->on_owner) {
        held.unlock();
        ResultCode code = copy_file_replacing(copy->source, copy->destination, copy->options);
        held.lock();
        copy->state = BATCH_DONE;
        copy->code = code;
        batch->passed = ticket + 1;
        batch->changed.notify_all();
        return code;
    }
    copy->granted = true;
    batch->changed.notify_all();
    for (;;) {
        batch->told.wait(held, [&] {
            return copy->state == BATCH_DONE || copy->state == BATCH_COPIED ||
                   copy->moved > copy->told;
        });
        if (copy->moved > copy->told && copy->options.progress) {
            uint64_t bytes = copy->moved - copy->told;
            copy->told = copy->moved;
            held.unlock();
            while (bytes > 0) {
                uint32_t part = bytes > UINT32_MAX ? UINT32_MAX : uint32_t(bytes);
                copy->options.progress(copy->options.user, part);
                bytes -= part;
            }
            held.lock();
            continue;
        }
        copy->told = copy->moved;
        if (copy->state == BATCH_COPIED) {
            // Made ahead and left for the owner: moved into place here.
            copy->state = BATCH_COPYING;
            held.unlock();
            ResultCode code = batch_settle(copy, true);
            held.lock();
            batch_done(batch, copy, code);
        }
        if (copy->state == BATCH_DONE) break;
    }
    batch->passed = ticket + 1;
    batch->changed.notify_all();
    return copy->code;
}

void copy_batch_end(CopyBatch* batch) {
    {
        std::unique_lock<std::mutex> held(batch->lock);
        batch_abandon_before(batch, batch->copies.size());
        // Every copy a worker has begun is seen through, so that nothing is
        // written once the batch is gone.
        batch->told.wait(held, [&] {
            for (size_t t = batch->passed; t < batch->copies.size(); ++t)
                if (batch->copies[t]->state == BATCH_COPYING) return false;
            return true;
        });
        // Those a worker finished meanwhile left their temporary files.
        batch_abandon_before(batch, batch->copies.size());
        batch->passed = batch->copies.size();
    }
    work_pool_stop(&batch->pool);
    batch->copies.clear();
    batch->doors.clear();
    batch->passed = 0;
}
