// A batch of copies that replace their destinations, made ahead on a pool
// of workers while their owner walks its files in order. Each copy is
// written by a worker beside its destination, without a name (or under a
// temporary name where the file system makes no unnamed files), and takes
// its place only when the owner finishes it, so that the
// destinations change in the owner's order and a walk that stops at a
// failure leaves every later destination as it was. Workers take the
// copies in runs of consecutive tickets; a copy no worker has begun when
// the owner comes to it is made by the owner, straight into place, so the
// owner waits only for a copy under way. With one job there are no
// workers: each copy is made when it is finished, on the owner's thread,
// exactly as copy_file_replacing makes it. Needs the copy engine and the
// worker pool.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "media/copy.h"
#include "sys/work_pool.h"

enum BatchCopyState : uint8_t {
    BATCH_WAITING,  // queued, not begun
    BATCH_COPYING,  // a worker writes the temporary file, or the owner the copy
    BATCH_COPIED,   // the copy is whole (without a name, or under its temporary name) and
                    // waits to take its place
    BATCH_DONE,     // in place, failed or given up; `code` tells
};

struct CopyBatch;

struct BatchCopy {
    CopyBatch* batch = nullptr;
    size_t ticket = 0;
    std::string source;
    std::string destination;
    BinaryFile* made = nullptr;  // the whole copy, open without a name, or
    std::string temporary;       // the temporary name it was written under
    CopyOptions options;
    unsigned door = 0;       // 0, or a door that must be open before a worker begins it
    bool on_owner = false;   // made by the owner when finished, never ahead
    bool abandoned = false;  // the owner has passed it by: it must leave no trace
    BatchCopyState state = BATCH_WAITING;
    ResultCode code = RC_OK;
    uint64_t moved = 0;  // bytes the copy has told of
    uint64_t told = 0;   // of which the owner has passed on
};

struct CopyBatch {
    WorkPool pool;
    std::mutex lock;
    std::condition_variable changed;                 // for the workers: window, doors, new copies
    std::condition_variable told;                    // for the owner: progress, copies made
    std::vector<std::unique_ptr<BatchCopy>> copies;  // by ticket
    std::vector<bool> doors;                         // open or not, by door - 1
    std::unordered_set<std::string> destinations;    // of the copies queued, letters folded
    size_t passed = 0;                               // tickets below this are finished or abandoned
    size_t ahead = 0;               // how many tickets past `passed` workers may take
    size_t run = 1;                 // how many consecutive tickets a worker takes at a time
    size_t next = 0;                // the first ticket no worker has taken
    size_t owner_waits = SIZE_MAX;  // the ticket the owner waits for, if any
    bool stopping = false;          // the workers are to end
};

// Makes a batch for `jobs` jobs (1 or 0: none ahead, everything on the owner's
// thread). A worker takes `run` consecutive tickets at a time: runs of many
// tickets keep the owner from waiting on every copy where copies are quick
// (a local disk), runs of one keep every worker busy where each copy waits
// on the host (a file server).
void copy_batch_start(CopyBatch* batch, unsigned jobs, size_t run = 1);
// Queues a copy of `source` over `destination` (as copy_file_replacing
// makes it) and gives its ticket, one more than the last. A copy with a
// cancel callback, or onto a drive provider's disk, is made on the owner's
// thread when finished. With `door` (from copy_batch_door) it begins only
// once that door is open, or when it is finished.
size_t copy_batch_add(CopyBatch* batch, std::string source, std::string destination,
                      const CopyOptions& options, unsigned door = 0);
// A new closed door: for copies that must wait for something the owner
// does first, such as making their directory.
unsigned copy_batch_door(CopyBatch* batch);
void copy_batch_open(CopyBatch* batch, unsigned door);
// Gives up every unfinished copy before `ticket`, lets `ticket` take its
// place and waits for it, telling the copy's progress callback (on this
// thread) of its bytes. The code of copy_file_replacing.
ResultCode copy_batch_finish(CopyBatch* batch, size_t ticket);
// Gives up every copy not finished (none of them changes its destination
// or leaves a temporary file) and ends the workers once they are done.
void copy_batch_end(CopyBatch* batch);
